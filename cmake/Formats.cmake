# The decoders of the source kinds beyond BMP, PNG and JPEG: libwebp (with its demuxer), giflib,
# libtiff and libheif (with libde265 and dav1d). Debian's -dev packages in the native build; the
# static libraries cross-built into the deps prefix for Windows, so that the programs need no
# DLL beyond Windows' own. Defines Morvane::Formats, which links them all.

# morvane_find_static(VAR HEADER NAMES...): the header's folder in VAR_INCLUDE and the first
# library found in VAR_LIBRARY (a static archive for Windows); a fatal error when missing.
function(morvane_find_static var header)
  find_path(${var}_INCLUDE ${header})
  set(names)
  foreach(name IN LISTS ARGN)
    if(WIN32)
      list(APPEND names lib${name}.a)
    else()
      list(APPEND names ${name})
    endif()
  endforeach()
  find_library(${var}_LIBRARY NAMES ${names})
  if(NOT ${var}_INCLUDE OR NOT ${var}_LIBRARY)
    message(FATAL_ERROR "${header} or its library not found (scripts/bootstrap installs it)")
  endif()
endfunction()

morvane_find_static(MORVANE_WEBP webp/decode.h webp)
morvane_find_static(MORVANE_WEBPDEMUX webp/demux.h webpdemux)
morvane_find_static(MORVANE_GIF gif_lib.h gif)
morvane_find_static(MORVANE_TIFF tiffio.h tiff)
if(WIN32)
  morvane_find_static(MORVANE_HEIF libheif/heif.h heif)
  morvane_find_static(MORVANE_DE265 libde265/de265.h de265)
  morvane_find_static(MORVANE_DAV1D dav1d/dav1d.h dav1d)
else()
  find_path(MORVANE_HEIF_INCLUDE libheif/heif.h PATH_SUFFIXES ${CMAKE_LIBRARY_ARCHITECTURE})
  find_library(MORVANE_HEIF_LIBRARY NAMES heif)
  if(NOT MORVANE_HEIF_INCLUDE OR NOT MORVANE_HEIF_LIBRARY)
    message(FATAL_ERROR "libheif not found (scripts/bootstrap installs it)")
  endif()
endif()

add_library(morvane_formats_libs INTERFACE)
target_include_directories(morvane_formats_libs SYSTEM INTERFACE
  ${MORVANE_WEBP_INCLUDE} ${MORVANE_GIF_INCLUDE} ${MORVANE_TIFF_INCLUDE} ${MORVANE_HEIF_INCLUDE})
# The demuxer stands on the decoder; libtiff on libjpeg and zlib; libheif on its two decoders.
target_link_libraries(morvane_formats_libs INTERFACE
  ${MORVANE_WEBPDEMUX_LIBRARY} ${MORVANE_WEBP_LIBRARY} ${MORVANE_GIF_LIBRARY}
  ${MORVANE_TIFF_LIBRARY} ${MORVANE_HEIF_LIBRARY})
if(WIN32)
  # libjpeg and zlib are named again by file: a program whose other parts name them first would
  # otherwise have them placed before libtiff, and the static link would miss their symbols.
  target_link_libraries(morvane_formats_libs INTERFACE
    ${MORVANE_DE265_LIBRARY} ${MORVANE_DAV1D_LIBRARY} JPEG::JPEG ZLIB::ZLIB
    $<TARGET_FILE:JPEG::JPEG> $<TARGET_FILE:ZLIB::ZLIB>)
  target_compile_definitions(morvane_formats_libs INTERFACE LIBHEIF_STATIC_BUILD
    LIBDE265_STATIC_BUILD)
endif()
add_library(Morvane::Formats ALIAS morvane_formats_libs)

# libwebp's muxer and animation encoder, for the tests that make WebP files.
morvane_find_static(MORVANE_WEBPMUX webp/mux.h webpmux)
add_library(morvane_webpmux INTERFACE)
target_link_libraries(morvane_webpmux INTERFACE ${MORVANE_WEBPMUX_LIBRARY} Morvane::Formats)
add_library(Morvane::WebpMux ALIAS morvane_webpmux)
