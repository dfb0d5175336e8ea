#!/bin/sh
# Builds the Windows registry, mutex and locale layers and their tests with
# the mingw-w64 cross compiler, by hand (no CMake), and runs the tests under
# Wine. Usage: scripts/dev/win32-layers.sh [gtest arguments...]
#   BUILD   where objects go        (default: build-win32-layers in the tree)
#   WINEPREFIX                       (default: $BUILD/wineprefix, made on first use)
set -eu
here=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${BUILD:-$here/build-win32-layers}
CXX=${CXX:-x86_64-w64-mingw32-g++-posix}
AR=${AR:-x86_64-w64-mingw32-ar}
GTEST=${GTEST:-/usr/src/googletest/googletest}
mkdir -p "$BUILD/obj"
flags="-std=c++20 -O1 -g -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
  -Wimplicit-fallthrough -Wformat=2 -Werror -DUNICODE -D_UNICODE -I$here/support/include
  -I$here/platform/registry/include -I$here/platform/mutex/include -I$here/platform/locale/include"

# GoogleTest, once.
if [ ! -f "$BUILD/libgtest.a" ]; then
  $CXX -std=c++20 -O1 -I"$GTEST/include" -I"$GTEST" -c "$GTEST/src/gtest-all.cc" -o "$BUILD/obj/gtest-all.o"
  $CXX -std=c++20 -O1 -I"$GTEST/include" -c "$GTEST/src/gtest_main.cc" -o "$BUILD/obj/gtest_main.o"
  $AR rcs "$BUILD/libgtest.a" "$BUILD/obj/gtest-all.o" "$BUILD/obj/gtest_main.o"
fi

objects=""
for source in support/src/text.cpp support/src/paths.cpp support/src/numbers.cpp \
    platform/registry/win32/value_store.cpp platform/mutex/win32/named_mutex.cpp \
    platform/locale/win32/measurement.cpp \
    tests/platform/registry_test.cpp tests/platform/registry_layer_test.cpp tests/platform/registry_win32_test.cpp \
    tests/platform/named_mutex_test.cpp tests/platform/measurement_test.cpp; do
  object="$BUILD/obj/$(echo "$source" | tr / _).o"
  case "$source" in tests/*) extra="-I$GTEST/include" ;; *) extra="" ;; esac
  # shellcheck disable=SC2086
  $CXX $flags $extra -c "$here/$source" -o "$object"
  objects="$objects $object"
done
# shellcheck disable=SC2086
$CXX -static -o "$BUILD/tests_platform_layers.exe" $objects "$BUILD/libgtest.a" -ladvapi32

export WINEPREFIX="${WINEPREFIX:-$BUILD/wineprefix}"
export WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1 || true
wine "$BUILD/tests_platform_layers.exe" "$@"
