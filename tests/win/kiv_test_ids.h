// Resource and control ids of the framework tests' dialog templates.
#ifndef TESTS_WIN_KIV_TEST_IDS_H_
#define TESTS_WIN_KIV_TEST_IDS_H_

// A dialog with one control of every kind the framework wraps.
#define IDD_TEST_CONTROLS 200
#define IDC_T_OUT_SRC 1101
#define IDC_T_TOPMOST 1102
#define IDC_T_OUTPUT 1103
#define IDC_T_BROWSE 1104
#define IDC_T_FILTER 1105
#define IDC_T_HISTORY 1106
#define IDC_T_OVERWRITE 1107
#define IDC_T_LABEL 1108
#define IDC_T_SLIDER 1109
#define IDC_T_SLIDER_TEXT 1110
#define IDC_T_LIST 1111
#define IDC_T_TAB 1112

// A dialog holding only a multi-selection report list.
#define IDD_TEST_LIST 201
#define IDC_L_LIST 1201

// A child page (DS_CONTROL) to nest inside another dialog.
#define IDD_TEST_PAGE 202
#define IDC_P_FIRST 1301
#define IDC_P_SECOND 1302

// An id that no template uses.
#define IDC_T_MISSING 1999
#define IDD_TEST_MISSING 299

#endif  // TESTS_WIN_KIV_TEST_IDS_H_
