# libdeflate, the PNG writer's compressor: Debian's libdeflate-dev in the native build, the
# static library cross-built into the deps prefix for Windows. Defines Libdeflate::Libdeflate.
find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h)
if(WIN32)
  # Only the static library: the programs must need no DLL beyond Windows' own.
  find_library(LIBDEFLATE_LIBRARY NAMES libdeflate.a)
else()
  find_library(LIBDEFLATE_LIBRARY NAMES deflate)
endif()
if(NOT LIBDEFLATE_INCLUDE_DIR OR NOT LIBDEFLATE_LIBRARY)
  message(FATAL_ERROR "libdeflate not found (scripts/bootstrap installs it)")
endif()
add_library(Libdeflate::Libdeflate UNKNOWN IMPORTED)
set_target_properties(Libdeflate::Libdeflate PROPERTIES
  IMPORTED_LOCATION "${LIBDEFLATE_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${LIBDEFLATE_INCLUDE_DIR}")
