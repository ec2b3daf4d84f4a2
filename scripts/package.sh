#!/usr/bin/env bash
# Builds the Debian package tolbe_<version>-1_amd64.deb into OUTDIR and checks it with lintian.
#   bash scripts/package.sh OUTDIR
# The package is built in build-package/ with Debian's compiler flags; the update server's URL
# for the shipped Update/Server.ini may be given as TOLBE_UPDATE_URL=https://.../Update.txt.
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: bash scripts/package.sh OUTDIR" >&2
  exit 2
fi
mkdir -p "$1"
out=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# Debian's hardening and optimisation flags, given on every run (CMake reads the environment's
# only when it first configures a build folder).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DTOLBE_BUILD_TESTS=OFF -DTOLBE_BUILD_BENCH=OFF -DTOLBE_UPDATE_URL="${TOLBE_UPDATE_URL:-}"
cmake --build build-package -j"$(nproc)"
(cd build-package && cpack -G DEB -B "$out/_cpack")
deb=$(find "$out/_cpack" -maxdepth 1 -name 'tolbe_*.deb' -print -quit)
mv -f "$deb" "$out/"
rm -rf "$out/_cpack"
deb="$out/$(basename "$deb")"
echo "package: $deb ($(du -k "$deb" | cut -f1) KiB)"
# Errors fail the script; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb"
