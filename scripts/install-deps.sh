#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Tolbe need.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ca-certificates
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlcipher-dev sqlcipher sqlite3
  libasound2-dev alsa-utils
  libcurl4-openssl-dev libssl-dev curl
  libsodium-dev minisign
  libinih-dev libcli11-dev libgif-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  sox xauth
  libsndfile1-dev
  pulseaudio pulseaudio-utils libasound2-plugins
  fonts-dejavu-core fonts-wqy-microhei
  clang libclang-rt-14-dev  # scripts/fuzz.sh: libFuzzer
  help2man desktop-file-utils appstream dpkg-dev file lintian fakeroot debootstrap
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
