# The third-party libraries of the Windows build, for the target:
# - zlib from Debian's libz-mingw-w64-dev (found like any library; static, so
#   that the programs need no zlib1.dll),
# - libjpeg-turbo built from the pinned source tarball in the cache
#   (scripts/fetch-windows-deps.sh puts it there; its checksum is checked
#   again here, and nothing is downloaded),
# - libpng, for the tests only, built from its pinned tarball the same way,
# - GoogleTest from the sources in /usr/src/googletest.
# Each gives the same target name as on Linux.

set(TESSALY_THIRD_PARTY_CACHE "" CACHE PATH
  "Directory of the fetched third-party sources (default ~/.cache/tessaly/third-party)")
set(tessaly_cache "${TESSALY_THIRD_PARTY_CACHE}")
if(NOT tessaly_cache)
  if(DEFINED ENV{TESSALY_THIRD_PARTY_CACHE})
    set(tessaly_cache "$ENV{TESSALY_THIRD_PARTY_CACHE}")
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(tessaly_cache "$ENV{XDG_CACHE_HOME}/tessaly/third-party")
  else()
    set(tessaly_cache "$ENV{HOME}/.cache/tessaly/third-party")
  endif()
endif()

file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/windows-sources.txt tessaly_pins REGEX "^[A-Z0-9_]+=")
foreach(line IN LISTS tessaly_pins)
  string(REGEX MATCH "^([A-Z0-9_]+)=(.*)$" _ "${line}")
  set(TESSALY_PIN_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
endforeach()

# zlib: the static library, not the import library of zlib1.dll.
find_library(ZLIB_LIBRARY NAMES libz.a z REQUIRED)
find_package(ZLIB REQUIRED)

# The path of a pinned tarball in the cache, checked against its SHA-256.
function(tessaly_pinned_tarball out name)
  set(tarball "${tessaly_cache}/${TESSALY_PIN_${name}_FILE}")
  if(NOT EXISTS "${tarball}")
    message(FATAL_ERROR "${tarball} is missing: run scripts/fetch-windows-deps.sh first")
  endif()
  file(SHA256 "${tarball}" sum)
  if(NOT sum STREQUAL TESSALY_PIN_${name}_SHA256)
    message(FATAL_ERROR "${tarball} does not have the pinned SHA-256; remove it and run "
      "scripts/fetch-windows-deps.sh again")
  endif()
  set(${out} "${tarball}" PARENT_SCOPE)
endfunction()

# libjpeg-turbo, the libjpeg 6b interface as Debian's libjpeg62-turbo.
tessaly_pinned_tarball(jpeg_tarball LIBJPEG_TURBO)
include(ExternalProject)
set(jpeg_prefix ${CMAKE_BINARY_DIR}/third-party/libjpeg-turbo)
set(jpeg_library ${jpeg_prefix}/lib/libjpeg.a)
# Only the static library is built (not the command-line tools), and it and
# the four public headers are what the "install" copies. No SIMD: that needs
# NASM for the target, and the encoder's output is the same without it.
get_filename_component(target_toolchain "${CMAKE_TOOLCHAIN_FILE}" ABSOLUTE BASE_DIR "${CMAKE_BINARY_DIR}")
if(NOT EXISTS "${target_toolchain}")
  get_filename_component(target_toolchain "${CMAKE_TOOLCHAIN_FILE}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
endif()
ExternalProject_Add(libjpeg_turbo_build
  URL "${jpeg_tarball}"
  URL_HASH SHA256=${TESSALY_PIN_LIBJPEG_TURBO_SHA256}
  DOWNLOAD_EXTRACT_TIMESTAMP ON
  PREFIX ${jpeg_prefix}/build
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${target_toolchain}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=${jpeg_prefix}
    -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
    -DENABLE_SHARED=OFF
    -DENABLE_STATIC=ON
    -DWITH_TURBOJPEG=OFF
    -DWITH_SIMD=OFF
    -DWITH_JPEG8=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target jpeg-static
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/libjpeg.a ${jpeg_prefix}/lib/
    COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/jconfig.h <SOURCE_DIR>/jpeglib.h
      <SOURCE_DIR>/jmorecfg.h <SOURCE_DIR>/jerror.h ${jpeg_prefix}/include/
  BUILD_BYPRODUCTS ${jpeg_library})
file(MAKE_DIRECTORY ${jpeg_prefix}/include ${jpeg_prefix}/lib)
add_library(JPEG::JPEG STATIC IMPORTED GLOBAL)
set_target_properties(JPEG::JPEG PROPERTIES IMPORTED_LOCATION ${jpeg_library}
  INTERFACE_INCLUDE_DIRECTORIES ${jpeg_prefix}/include)
add_dependencies(JPEG::JPEG libjpeg_turbo_build)

# libpng, for the tests only (the PNG reader is compared with it): the static
# library over the same zlib, without its programs and tests.
if(TESSALY_TESTS)
  tessaly_pinned_tarball(png_tarball LIBPNG)
  set(png_prefix ${CMAKE_BINARY_DIR}/third-party/libpng)
  set(png_library ${png_prefix}/lib/libpng16.a)
  ExternalProject_Add(libpng_build
    URL "${png_tarball}"
    URL_HASH SHA256=${TESSALY_PIN_LIBPNG_SHA256}
    DOWNLOAD_EXTRACT_TIMESTAMP ON
    PREFIX ${png_prefix}/build
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${target_toolchain}
      -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
      -DPNG_SHARED=OFF
      -DPNG_STATIC=ON
      -DPNG_EXECUTABLES=OFF
      -DPNG_TESTS=OFF
      -DZLIB_LIBRARY=${ZLIB_LIBRARY}
      -DZLIB_INCLUDE_DIR=${ZLIB_INCLUDE_DIR}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target png_static
    INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/libpng16.a ${png_prefix}/lib/
      COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/pnglibconf.h <SOURCE_DIR>/png.h
        <SOURCE_DIR>/pngconf.h ${png_prefix}/include/
    BUILD_BYPRODUCTS ${png_library})
  file(MAKE_DIRECTORY ${png_prefix}/include ${png_prefix}/lib)
  add_library(PNG::PNG STATIC IMPORTED GLOBAL)
  set_target_properties(PNG::PNG PROPERTIES IMPORTED_LOCATION ${png_library}
    INTERFACE_INCLUDE_DIRECTORIES ${png_prefix}/include INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
  add_dependencies(PNG::PNG libpng_build)
endif()

# GoogleTest, built with the project's compiler.
if(TESSALY_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/third-party/googletest EXCLUDE_FROM_ALL)
  foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
endif()
