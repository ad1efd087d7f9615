// Resource identifiers of Morvane: the dialog templates, the icon, the link
// picture and the controls named by the pages and the main window.
//
// Shared by app/morvane.rc and the C++ code; it holds plain #defines only, so
// the resource compiler can read it too.
#ifndef MORVANE_PAGES_RESOURCE_IDS_H
#define MORVANE_PAGES_RESOURCE_IDS_H

// Dialog templates.
#define IDD_MAIN 9
#define IDD_PAGE_FILE 104
#define IDD_PAGE_OPTION 105
#define IDD_PAGE_HELP 106
#define IDD_MESSAGE 107

// Pictures.
#define IDI_MORVANE 102
#define IDB_HOMEPAGE_LINK 110

// Main window (template 9).
#define IDC_TAB 1003
#define IDC_EXIT 1002
#define IDC_CONVERT 1023
#define IDC_ADD_FOLDER 1024
#define IDC_ADD_FILES 1025

// File list page (template 104).
#define IDC_FILE_LIST 1004
#define IDC_DROP_HINT 1005

// Settings page (template 105).
#define IDC_OUTPUT 1011
#define IDC_OUTPUT_BROWSE 1012
#define IDC_OUT_SRC_DIRECTORY 1013
#define IDC_COMPRESS_LEVEL 1014
#define IDC_OVERWRITE 1015
#define IDC_INTERLACE_PNG 1016
#define IDC_TOPMOST_WINDOW 1017
#define IDC_AUTO_DELETE_ITEM 1018
#define IDC_UPPER_EXTENSION 1019
#define IDC_AUTO_START_CONVERT 1020
#define IDC_DELETE_SRC_FILE 1021
#define IDC_FILTER 1022
#define IDC_SUB_DIRECTORY 1023
#define IDC_CONVERT_NUM_SLIDER 1026
#define IDC_CONVERT_NUM_TEXT 1027
#define IDC_24BIT 1028
#define IDC_CONVERT_NUM_DEFAULT 1029
#define IDC_FILTER_DEFAULT 1030
#define IDC_COMPRESS_DEFAULT 1031

// Help page (template 106).
#define IDC_PRODUCT_NAME 1032
#define IDC_FILE_VERSION 1033
#define IDC_OPEN_MANUAL 1034
#define IDC_HOMEPAGE_LINK 1035

// Message dialog (template 107).
#define IDC_MESSAGE_TEXT 1030

#endif  // MORVANE_PAGES_RESOURCE_IDS_H
