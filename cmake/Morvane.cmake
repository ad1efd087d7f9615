# Build helpers shared by every folder.
#
# morvane_library(NAME SOURCES ... [LIBS ...])
#   A static library. Sources named *_win32.cpp are compiled only for
#   Windows, *_posix.cpp only elsewhere, so a folder lists both twins.
#   With MORVANE_SANITIZE_TESTS a second copy NAME-san is built with
#   AddressSanitizer and UBSan for the tests; it links the -san copies of
#   the project's libraries it depends on.
#
# morvane_test(NAME SOURCES ... [LIBS ...] [TIMEOUT seconds])
#   A GoogleTest executable registered as one ctest test. Under the
#   Windows build ctest runs it through scripts/wine-run.

set(MORVANE_WARNINGS -Wall -Wextra)
set(MORVANE_SANITIZERS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
# How the sanitized copies and the tests are compiled: line tables (-g1) are all the sanitizers'
# reports need, and full debug information would add a quarter or more to their compile time.
set(MORVANE_SANITIZED_CODE -O1 -g1)

function(_morvane_platform_sources out)
  set(result)
  foreach(src IN LISTS ARGN)
    if(src MATCHES "_win32\\.(cpp|c|rc)$" AND NOT WIN32)
      continue()
    endif()
    if(src MATCHES "_posix\\.(cpp|c)$" AND WIN32)
      continue()
    endif()
    list(APPEND result ${src})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(_morvane_sanitized_libs out)
  set(result)
  foreach(lib IN LISTS ARGN)
    if(TARGET ${lib}-san)
      list(APPEND result ${lib}-san)
    else()
      list(APPEND result ${lib})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(_morvane_common target)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${target} PRIVATE ${MORVANE_WARNINGS})
  if(WIN32)
    target_compile_definitions(${target} PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                _WIN32_WINNT=0x0601)
  endif()
endfunction()

function(morvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  _morvane_platform_sources(srcs ${ARG_SOURCES})
  add_library(${name} STATIC ${srcs})
  _morvane_common(${name})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  if(MORVANE_SANITIZE_TESTS)
    add_library(${name}-san STATIC ${srcs})
    _morvane_common(${name}-san)
    target_compile_options(${name}-san PRIVATE ${MORVANE_SANITIZERS} ${MORVANE_SANITIZED_CODE})
    _morvane_sanitized_libs(libs ${ARG_LIBS})
    target_link_libraries(${name}-san PUBLIC ${libs})
    target_link_options(${name}-san PUBLIC ${MORVANE_SANITIZERS})
  endif()
endfunction()

# Links the static C and C++ runtimes into a Windows program so that it needs
# no DLL beyond those of Windows itself.
function(morvane_static_runtime target)
  if(WIN32)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()

function(morvane_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  _morvane_platform_sources(srcs ${ARG_SOURCES})
  add_executable(${name} ${srcs} ${PROJECT_SOURCE_DIR}/tests/support/test_main.cpp)
  _morvane_common(${name})
  list(APPEND ARG_LIBS morvane_base)
  # The tests' own code runs each case once: unoptimised, and without the sanitizers' checks,
  # it compiles in a third of the time. The libraries under test keep theirs (the -san copies
  # are linked with the sanitizers' runtime), and so do the test support libraries.
  target_compile_options(${name} PRIVATE -O0 -g0)
  if(MORVANE_SANITIZE_TESTS)
    _morvane_sanitized_libs(libs ${ARG_LIBS})
    target_link_options(${name} PRIVATE ${MORVANE_SANITIZERS})
  else()
    set(libs ${ARG_LIBS})
  endif()
  target_link_libraries(${name} PRIVATE ${libs} GTest::gtest Threads::Threads)
  # GoogleTest's header, compiled once per test program rather than once per test file.
  target_precompile_headers(${name} PRIVATE <gtest/gtest.h>)
  morvane_static_runtime(${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()
