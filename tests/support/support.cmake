# Test support shared by the test folders: temporary folders and whole-file helpers
# and an ended process's number (morvane_test_files), and image makers with reference decoders (morvane_test_support, which
# brings the files helpers along). Included by each test folder that needs it; the libraries
# are defined once.
include_guard(GLOBAL)

morvane_library(morvane_test_files
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/exited_process_posix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exited_process_win32.cpp
    ${CMAKE_CURRENT_LIST_DIR}/temp_dir.cpp
    ${CMAKE_CURRENT_LIST_DIR}/temp_dir_posix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/temp_dir_win32.cpp
  LIBS morvane_base)

morvane_library(morvane_test_support
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bmp_maker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/colour_tools.cpp
    ${CMAKE_CURRENT_LIST_DIR}/png_tools.cpp
    ${CMAKE_CURRENT_LIST_DIR}/jpeg_tools.cpp
    ${CMAKE_CURRENT_LIST_DIR}/format_makers.cpp
  LIBS morvane_test_files morvane_base PNG::PNG JPEG::JPEG ZLIB::ZLIB Morvane::WebpMux
    Morvane::Formats)
