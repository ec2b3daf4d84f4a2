#!/usr/bin/env bash
# The Windows build: cross-compiles every library without Qt and tolbe-cli.exe with Debian's
# mingw-w64 (cmake/toolchain-mingw64.cmake) into build-win/, then runs their tests under wine.
#   bash scripts/windows.sh            install what is missing, build, test
#   bash scripts/windows.sh build      install what is missing, build only
# The libraries Windows lacks are built from Debian's own sources (apt-get source --tar-only):
# SQLCipher as an amalgamation over LibTomCrypt, libsodium, and GoogleTest from /usr/src. They are
# cached, keyed by their source versions and the compiler's, in $TOLBE_WIN_CACHE (default
# /var/cache/tolbe-win as root, ~/.cache/tolbe-win otherwise); nothing else is cached.
# Environment: TOLBE_WIN_BUILD (default build-win), WINEPREFIX (default build-win/wine),
# TOLBE_LINUX_CLI (a Linux tolbe-cli for the scenarios; default: built in build-win/linux-cli).
set -euo pipefail
export LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive
cd "$(dirname "$0")/.."
repo=$PWD
mode=${1:-test}
step="starting"
trap 'rc=$?; echo "windows.sh: failed while ${step} (exit status ${rc})" >&2; exit "$rc"' ERR
started=$SECONDS
timings=()
timing() { timings+=("$(printf '  %-28s %5d s' "$1" "$2")"); }

triple=x86_64-w64-mingw32
if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi
default_cache=/var/cache/tolbe-win
[ "$(id -u)" -eq 0 ] || default_cache=${XDG_CACHE_HOME:-$HOME/.cache}/tolbe-win
cache=${TOLBE_WIN_CACHE:-$default_cache}
build=${TOLBE_WIN_BUILD:-build-win}
case $build in /*) ;; *) build=$repo/$build ;; esac
export WINEPREFIX=${WINEPREFIX:-$build/wine}
export WINEDEBUG=${WINEDEBUG:--all}
jobs=$(nproc)

# --- the cross tools and wine ---------------------------------------------------------------
step="installing the cross compiler and wine"
t=$SECONDS
packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64
  autoconf automake libtool tcl xz-utils cmake ninja-build pkg-config googletest libcli11-dev
  pulseaudio pulseaudio-utils sox minisign openssl zip)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows.sh: installing ${missing[*]}" >&2
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
timing "install" $((SECONDS - t))

# --- the libraries, from Debian's sources -----------------------------------------------------
# The versions the cache is keyed by: what apt-get source serves and the compiler that builds it.
step="reading the source versions"
srcdir=$(mktemp -d /tmp/tolbe-win-src.XXXXXX)
chmod 755 "$srcdir" # apt fetches as its own user
trap 'rm -rf "$srcdir"' EXIT
mkdir -p "$srcdir/lists/partial"
# A private list of Debian's source packages: the machine's own apt settings stay as they are.
cat >"$srcdir/debian.sources" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
apt_src=(-o Dir::Etc::SourceList="$srcdir/debian.sources" -o Dir::Etc::SourceParts=/dev/null
  -o Dir::State::Lists="$srcdir/lists" -o Dir::Cache="$srcdir/cache" -o Debug::NoLocking=1)
mkdir -p "$srcdir/cache/archives/partial"
apt-get "${apt_src[@]}" update -qq
# SQLCipher 4.6 only from backports, whose .dsc is not served: the orig tarball alone.
sources=(sqlcipher/bookworm-backports libtomcrypt libsodium)
uris=$(apt-get "${apt_src[@]}" source --print-uris --tar-only "${sources[@]}" 2>/dev/null | grep "^'")
tar_of() { printf '%s\n' "$uris" | awk -v p="$1" '$2 ~ "^"p"_" && $2 ~ /orig/ {print $2; exit}'; }
version_of() { tar_of "$1" | sed -E "s/^$1_([^/]*)\.orig\.tar\..*/\1/"; }
v_sqlcipher=$(version_of sqlcipher)
v_ltc=$(version_of libtomcrypt)
v_sodium=$(version_of libsodium)
v_gtest=$(dpkg-query -W -f='${Version}' googletest)
v_cc=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix)
[ -n "$v_sqlcipher" ] && [ -n "$v_ltc" ] && [ -n "$v_sodium" ] || {
  echo "windows.sh: Debian's archive did not name the sources: $uris" >&2
  exit 1
}
# The recipe's own revision: raised when the way the sources are built changes.
recipe=2
key="r$recipe-sqlcipher-$v_sqlcipher+ltc-$v_ltc+sodium-$v_sodium+gtest-$v_gtest+gcc-$v_cc"
deps=$cache/$key
export TOLBE_WIN_DEPS=$deps
echo "windows.sh: libraries $key" >&2

if [ ! -f "$deps/.complete" ]; then
  step="fetching the sources of $key"
  t=$SECONDS
  (cd "$srcdir" && apt-get "${apt_src[@]}" source --tar-only "${sources[@]}" >/dev/null 2>&1) || {
    echo "windows.sh: apt-get source failed" >&2
    exit 1
  }
  rm -rf "$deps.tmp"
  mkdir -p "$deps.tmp/include/sqlcipher" "$deps.tmp/lib/pkgconfig"
  for f in "$srcdir"/*.orig.tar.*; do tar -C "$srcdir" -xf "$f"; done
  timing "fetch sources" $((SECONDS - t))

  step="building LibTomCrypt $v_ltc"
  t=$SECONDS
  ltc=$(echo "$srcdir"/libtomcrypt-*/)
  make -C "$ltc" -j"$jobs" CROSS_COMPILE=$triple- CC=$triple-gcc-posix CFLAGS="-O2 -DLTC_NO_TEST" libtomcrypt.a \
    >"$srcdir/ltc.log" 2>&1 || { tail -20 "$srcdir/ltc.log"; exit 1; }
  cp "$ltc/libtomcrypt.a" "$deps.tmp/lib/"

  # The amalgamation is generated by SQLite's own tools on this machine (tclsh), then compiled
  # for Windows with LibTomCrypt as the cipher's provider. SQLITE_WIN32_USE_UUID: the temporary
  # names come from UuidCreate (rpcrt4) rather than a guessable counter.
  step="building SQLCipher $v_sqlcipher"
  sqlc=$(echo "$srcdir"/sqlcipher-*/)
  mkdir -p "$sqlc/bld"
  (cd "$sqlc/bld" && ../configure --disable-tcl --enable-tempstore=yes \
    CFLAGS="-DSQLITE_HAS_CODEC -DSQLCIPHER_CRYPTO_LIBTOMCRYPT" >"$srcdir/sqlc.log" 2>&1 &&
    make sqlite3.c >>"$srcdir/sqlc.log" 2>&1) || { tail -20 "$srcdir/sqlc.log"; exit 1; }
  # Its files are opened sharing delete, as every file is on Linux: the live update can then put a
  # new database in place of the one the program has open (AtomicFileWin's replace), and the open
  # connection reads on from the old one until it is reopened.
  grep -q 'dwShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;' "$sqlc/bld/sqlite3.c"
  sed -i 's/dwShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;/dwShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;/' \
    "$sqlc/bld/sqlite3.c"
  $triple-gcc-posix -O2 -c "$sqlc/bld/sqlite3.c" -o "$srcdir/sqlite3.o" -I"$ltc/src/headers" \
    -DSQLITE_HAS_CODEC -DSQLCIPHER_CRYPTO_LIBTOMCRYPT -DSQLITE_TEMP_STORE=2 -DSQLITE_THREADSAFE=1 \
    -DSQLITE_WIN32_USE_UUID=1 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_DQS=0
  $triple-ar rcs "$deps.tmp/lib/libsqlcipher.a" "$srcdir/sqlite3.o"
  cp "$sqlc/bld/sqlite3.h" "$sqlc/bld/sqlite3ext.h" "$deps.tmp/include/sqlcipher/"
  cat >"$deps.tmp/lib/pkgconfig/sqlcipher.pc" <<EOF
prefix=$deps
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: SQLCipher
Description: SQLCipher $v_sqlcipher over LibTomCrypt $v_ltc, for Windows
Version: $v_sqlcipher
Libs: -L\${libdir} -lsqlcipher -ltomcrypt -lrpcrt4
Cflags: -I\${includedir}/sqlcipher
EOF
  timing "LibTomCrypt + SQLCipher" $((SECONDS - t))

  step="building libsodium $v_sodium"
  t=$SECONDS
  sodium=$(echo "$srcdir"/libsodium-*/)
  (cd "$sodium" && { [ -x configure ] || ./autogen.sh -s; } && ./configure --host=$triple --disable-shared \
    --enable-static --prefix="$deps" --libdir="$deps.tmp/lib" --includedir="$deps.tmp/include" \
    CC=$triple-gcc-posix CFLAGS=-O2 && make -j"$jobs" && make install) >"$srcdir/sodium.log" 2>&1 ||
    { tail -30 "$srcdir/sodium.log"; exit 1; }
  # The installed .pc names the final folder, which the cache gets once complete.
  sed -i "s|$deps.tmp|$deps|g" "$deps.tmp/lib/pkgconfig/libsodium.pc"
  timing "libsodium" $((SECONDS - t))

  step="building GoogleTest $v_gtest"
  t=$SECONDS
  cmake -S /usr/src/googletest -B "$srcdir/gtest" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw64.cmake" -DTOLBE_WIN_DEPS="$deps.tmp" \
    -DCMAKE_INSTALL_PREFIX="$deps.tmp" -Dgtest_disable_pthreads=OFF >"$srcdir/gtest.log" 2>&1 &&
    cmake --build "$srcdir/gtest" -j"$jobs" >>"$srcdir/gtest.log" 2>&1 &&
    cmake --install "$srcdir/gtest" >>"$srcdir/gtest.log" 2>&1 || { tail -30 "$srcdir/gtest.log"; exit 1; }
  # CLI11 is headers only: Debian's own, beside the libraries.
  cp -r /usr/include/CLI "$deps.tmp/include/"
  timing "GoogleTest" $((SECONDS - t))

  # CMake's package files name the folder they were installed to.
  step="finishing the libraries' folder"
  { grep -rl "$deps.tmp" "$deps.tmp/lib" || true; } | xargs -r sed -i "s|$deps.tmp|$deps|g"
  touch "$deps.tmp/.complete"
  rm -rf "$deps"
  mv "$deps.tmp" "$deps"
fi

# --- the cross build ----------------------------------------------------------------------------
step="configuring $build"
t=$SECONDS
# A build folder made over other libraries keeps their paths in its cache: it starts afresh.
if [ "$(cat "$build/libraries" 2>/dev/null)" != "$deps" ]; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
  mkdir -p "$build"
  echo "$deps" >"$build/libraries"
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw64.cmake" \
  -DTOLBE_WIN_DEPS="$deps" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLBE_WERROR=ON -DTOLBE_BUILD_GUI=OFF \
  -DTOLBE_BUILD_BENCH=OFF -DTOLBE_BUILD_TESTS=ON >/dev/null
step="building $build/ (every library without Qt, tolbe-cli.exe, the tests)"
# One wineserver for the build (the sample database is made by tolbe-cli.exe itself, under wine)
# and the tests, so that no program waits for wine's services to come up; ended at the end.
source scripts/private-pulse.sh
trap 'wineserver -k 2>/dev/null || true; stop_private_pulse; rm -rf "$srcdir"' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # A new prefix: made by the first program wine runs; its server is then let go.
  mkdir -p "$WINEPREFIX"
  wine cmd /c exit >/dev/null 2>&1 || true
  wineserver -w
fi
# A server already running for this prefix (an earlier run's) serves as well.
wineserver -p 2>/dev/null || true
wine cmd /c exit >/dev/null 2>&1 || true
cmake --build "$build" -j"$jobs"
timing "cross build" $((SECONDS - t))
[ "$mode" = build ] && { printf '%s\n' "${timings[@]}"; exit 0; }

# --- the tests under wine -----------------------------------------------------------------------
# The scenarios decode what tolbe-cli.exe played with the Linux tolbe-cli: one built here alone,
# without tests or benchmarks, with the pictures the zip's Styles folder takes (drawn through Qt).
if [ -z "${TOLBE_LINUX_CLI:-}" ]; then
  step="building the Linux tolbe-cli in $build/linux-cli/"
  t=$SECONDS
  bash scripts/install-deps.sh
  cmake -S . -B "$build/linux-cli" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLBE_WERROR=ON \
    -DTOLBE_BUILD_GUI=ON -DTOLBE_BUILD_TESTS=OFF -DTOLBE_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build/linux-cli" -j"$jobs" --target tolbe-cli tolbe_picture_files >/dev/null
  export TOLBE_LINUX_CLI=$build/linux-cli/program/tolbe-cli TOLBE_LINUX_BUILD=$build/linux-cli
  timing "Linux tolbe-cli" $((SECONDS - t))
fi
# The users' download, which the scenarios unpack and run as a user would.
step="making the zip (scripts/package-windows.sh)"
t=$SECONDS
TOLBE_WIN_BUILD=$build bash scripts/package-windows.sh "$build/dist" >/dev/null
TOLBE_WIN_ZIP=$(ls "$build"/dist/Tolbe-*-windows-x64.zip)
export TOLBE_WIN_ZIP
timing "zip" $((SECONDS - t))

step="running the tests under wine"
t=$SECONDS
# A private sound server gives wine's PulseAudio driver an output: the downloads of the tests play
# into its null sink.
start_private_pulse
export TOLBE_TEST_PCM_DEVICE=default TOLBE_WINE_SOUND=1
rc=0
ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 300 || rc=$?
timing "tests under wine" $((SECONDS - t))
echo "== windows.sh times"
printf '%s\n' "${timings[@]}"
printf '  %-28s %5d s\n' "total" $((SECONDS - started))
exit $rc
