# Test support shared by the test folders: image makers, reference decoders and temporary
# folders. Included by each test folder that needs it; the library is defined once.
include_guard(GLOBAL)

morvane_library(morvane_test_support
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bmp_maker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/png_tools.cpp
    ${CMAKE_CURRENT_LIST_DIR}/jpeg_tools.cpp
    ${CMAKE_CURRENT_LIST_DIR}/temp_dir.cpp
  LIBS morvane_settings PNG::PNG JPEG::JPEG)
