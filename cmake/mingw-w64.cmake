# Cross-compiles the Windows build with Debian's MinGW-w64 g++ (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MORVANE_MINGW_TRIPLE}-windres)

get_filename_component(_morvane_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
if(NOT MORVANE_DEPS_PREFIX)
  set(MORVANE_DEPS_PREFIX "${_morvane_root}/.deps/mingw")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${MORVANE_MINGW_TRIPLE} ${MORVANE_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and tools built here run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${_morvane_root}/scripts/wine-run")

# Link zlib statically like libpng and libjpeg, so the programs need no
# zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
