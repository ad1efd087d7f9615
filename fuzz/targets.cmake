# The fuzz targets' bodies and seeds as libraries, shared by the libFuzzer executables (fuzz/)
# and by the regression test that replays every saved finding (tests/hardening/).
include_guard(GLOBAL)
include(${PROJECT_SOURCE_DIR}/tests/support/support.cmake)
if(NOT TARGET morvane_startup)
  add_subdirectory(${PROJECT_SOURCE_DIR}/app/startup ${CMAKE_BINARY_DIR}/app/startup)
endif()

# The readers and the PNG writer: only the codecs, the file layer and the reference decoder.
morvane_library(morvane_fuzz_image_targets
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/image_targets.cpp
    ${CMAKE_CURRENT_LIST_DIR}/image_checks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/declared_pixels.cpp
    ${CMAKE_CURRENT_LIST_DIR}/format_targets.cpp
  LIBS morvane_image morvane_base morvane_test_support)
# The settings file, the command line and the hand-off block.
morvane_library(morvane_fuzz_input_targets
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/input_targets.cpp
  LIBS morvane_settings morvane_startup morvane_base)
# Every target in one list, with the seeds.
morvane_library(morvane_fuzz_targets
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/targets.cpp
    ${CMAKE_CURRENT_LIST_DIR}/seeds.cpp
    ${CMAKE_CURRENT_LIST_DIR}/format_seeds.cpp
  LIBS morvane_fuzz_image_targets morvane_fuzz_input_targets morvane_settings morvane_startup
    morvane_test_support)

# Where the inputs that once made a target fail are kept, one folder per target.
set(MORVANE_FUZZ_REGRESSIONS ${CMAKE_CURRENT_LIST_DIR}/regressions)

# Built only for what links them: the fuzz executables (their plain copies) and the regression
# test (its sanitized copies), not for every build of the tree that holds them.
set_target_properties(morvane_fuzz_image_targets morvane_fuzz_input_targets morvane_fuzz_targets
  PROPERTIES EXCLUDE_FROM_ALL ON)
