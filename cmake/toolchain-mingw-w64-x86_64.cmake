# Cross build for 64-bit Windows with Debian's mingw-w64 (the POSIX-threads
# flavour, for std::thread and std::mutex), tests run under Wine:
#
#   cmake -S . -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake
#
# scripts/cross-windows.sh does this, with the third-party sources in place.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TESSALY_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSALY_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSALY_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSALY_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${TESSALY_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${TESSALY_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "Archive indexer")

# Headers and libraries come from the target's tree only; programs (the
# build's own tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TESSALY_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config would answer with the host's libraries.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${TESSALY_MINGW_TRIPLET}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The runtime libraries go into every program and DLL, so that they run
# without libgcc, libstdc++ or winpthread DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Programs built for the target run under Wine: ctest and the discovery of
# GoogleTest cases go through it.
find_program(TESSALY_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
# Wine keeps its own prefix (a private C: drive and registry) in the build
# directory unless TESSALY_WINEPREFIX names another, and stays quiet.
if(TESSALY_WINE)
  if(NOT TESSALY_WINEPREFIX)
    set(TESSALY_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${TESSALY_WINEPREFIX} WINEDEBUG=-all ${TESSALY_WINE})
endif()
