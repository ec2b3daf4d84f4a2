#!/usr/bin/env bash
# The Windows download: a zip of tolbe-cli.exe (stripped), the sample code database, the styles,
# Update\Server.ini and a README of its own, unpacked as one program folder.
#   bash scripts/package-windows.sh [OUT-DIR]     (default dist/)
# Builds build-win/ first when it holds no tolbe-cli.exe (scripts/windows.sh build); the styles'
# pictures are drawn by a Linux build with Qt: $TOLBE_LINUX_BUILD when it names one (windows.sh's),
# else build/ (scripts/build-config.sh).
# TOLBE_UPDATE_URL sets the update descriptor's URL in the shipped Server.ini, as for Linux.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-dist}
build=${TOLBE_WIN_BUILD:-build-win}
program=$build/program
[ -f "$program/tolbe-cli.exe" ] || bash scripts/windows.sh build
command -v zip >/dev/null || { echo "package-windows.sh: zip is missing (apt-get install zip)" >&2; exit 1; }
version=$(sed -n 's/^project(Tolbe VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=Tolbe-$version-windows-x64
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
dir=$stage/$name
mkdir -p "$dir/Database" "$dir/Styles" "$dir/Update"
x86_64-w64-mingw32-strip -o "$dir/tolbe-cli.exe" "$program/tolbe-cli.exe"
cp "$program/Database/IR_Database.db3" "$dir/Database/"
source scripts/build-config.sh
tolbe_build=${TOLBE_LINUX_BUILD:-$tolbe_build}
if [ ! -f "$tolbe_build/program/Styles/a1.gif" ]; then
  [ -f "$tolbe_build/CMakeCache.txt" ] || tolbe_configure >/dev/null
  cmake --build "$tolbe_build" --target tolbe_picture_files >/dev/null
fi
cp "$tolbe_build"/program/Styles/* "$dir/Styles/"
# The Server.ini the Linux install ships, with Windows line ends.
url=${TOLBE_UPDATE_URL:-}
printf '[LiveUpdate]\r\nIP_Address=%s\r\n' "$url" >"$dir/Update/Server.ini"
sed 's/$/\r/' >"$dir/README.txt" <<EOF
Tolbe $version for Windows (64-bit): tolbe-cli, the command-line program
=====================================================================

Tolbe programs a four-slot universal infrared remote control (TV, SAT, DVD, AUX) over an
audio cable. This download holds the command-line program; the window follows later.

Unpack the folder anywhere you may write (Desktop, Documents): it is the program folder.
  tolbe-cli.exe              the program (tolbe-cli --help, tolbe-cli COMMAND --help)
  Database\\IR_Database.db3   the code database (a sample one in this download)
  Styles\\                    the pictures the window will use
  Update\\Server.ini          where the live update looks (empty: it looks nowhere)

Unpacked where only an administrator writes (Program Files), what the program writes goes to
%APPDATA%\\Tolbe instead. Settings (Language, DatabasePath, AudioDevice) are kept in the
registry under HKEY_CURRENT_USER\\Software\\Marvo\\MarvoState.

Program a slot, in a Command Prompt in this folder:
  tolbe-cli search --device TV --brand Samsung
  tolbe-cli download --slot TV --source-id N        (N from the search's first column)
Hold the two keys beside the remote's OK key for 3 seconds before the download starts.
tolbe-cli download --wav FILE.wav writes the sound to a file for any player instead.
--pcm-device NAME plays on the sound output of that name (default: Windows' default output).
EOF
mkdir -p "$out"
rm -f "$out/$name.zip"
(cd "$stage" && zip -qr -X - "$name") >"$out/$name.zip"
echo "package-windows.sh: $out/$name.zip ($(stat -c %s "$out/$name.zip") bytes)"
unzip -l "$out/$name.zip"
