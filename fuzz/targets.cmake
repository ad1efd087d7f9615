# The fuzz targets' bodies and seeds as one library, shared by the libFuzzer executables (fuzz/)
# and by the regression test that replays every saved finding (tests/hardening/).
include_guard(GLOBAL)
include(${PROJECT_SOURCE_DIR}/tests/support/support.cmake)
if(NOT TARGET morvane_startup)
  add_subdirectory(${PROJECT_SOURCE_DIR}/app/startup ${CMAKE_BINARY_DIR}/app/startup)
endif()

morvane_library(morvane_fuzz_targets
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/targets.cpp
    ${CMAKE_CURRENT_LIST_DIR}/seeds.cpp
  LIBS morvane_image morvane_settings morvane_startup morvane_test_support)

# Where the inputs that once made a target fail are kept, one folder per target.
set(MORVANE_FUZZ_REGRESSIONS ${CMAKE_CURRENT_LIST_DIR}/regressions)
