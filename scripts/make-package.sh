#!/usr/bin/env bash
# Builds the Debian package of Tessaly, out/tessaly_<version>_<arch>.deb, in
# a build directory of its own (build-package/, or TESSALY_PACKAGE_BUILD_DIR)
# configured for /usr, and lists what it holds. Needs what `setup.sh example`
# installs, plus dpkg-dev (dpkg-shlibdeps works out the package's
# dependencies). Install the package with `apt install ./out/tessaly_*.deb`.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${TESSALY_PACKAGE_BUILD_DIR:-$ROOT/build-package}"
OUT_DIR="${1:-$ROOT/out}"
JOBS="${TESSALY_JOBS:-2}"

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DTESSALY_TESTS=OFF -DTESSALY_BENCH=OFF "${launcher[@]}" >/dev/null
ninja -C "$BUILD_DIR" -j"$JOBS"
rm -f "$BUILD_DIR"/tessaly_*.deb
(cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
mkdir -p "$OUT_DIR"
package="$(ls "$BUILD_DIR"/tessaly_*.deb)"
cp "$package" "$OUT_DIR/"
dpkg-deb --info "$OUT_DIR/$(basename "$package")"
dpkg-deb --contents "$OUT_DIR/$(basename "$package")" | grep -v '/$' |
  sed -E 's/^([^ ]+) +[^ ]+ +[^ ]+ +[^ ]+ +[^ ]+ +/\1 /'
echo "package: $OUT_DIR/$(basename "$package")"
