#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Tolbe need.
# Safe to run again: packages already present are left alone. Every failure says which step
# failed and why; nothing ends silently.
set -euo pipefail
export LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive

step="starting"
trap 'rc=$?; echo "install-deps: failed while ${step} (exit status ${rc})" >&2; exit "$rc"' ERR

packages=(
  build-essential cmake ninja-build pkg-config git ca-certificates
  qt6-base-dev qt6-base-dev-tools libgl-dev
  sqlite3
  libasound2-dev alsa-utils
  libcurl4-openssl-dev curl
  libsodium-dev minisign
  libinih-dev libcli11-dev libgif-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  sox xauth xvfb xdotool imagemagick at-spi2-core python3-pyatspi dbus-x11
  libsndfile1-dev
  pulseaudio pulseaudio-utils libasound2-plugins
  fonts-dejavu-core fonts-wqy-microhei
  clang libclang-rt-14-dev  # scripts/fuzz.sh: libFuzzer
  help2man desktop-file-utils appstream dpkg-dev file lintian fakeroot debootstrap
)

# SQLCipher 4.6 (SQLite of 2024) comes from bookworm-backports: bookworm's own 3.4.1 carries the
# SQLite of 2016 with published faults.
backports=(libsqlcipher-dev sqlcipher)
backports_min=4.6.1

# The installed version of a package, empty when dpkg has never heard of it or it is not
# fully installed (dpkg-query then fails, which must not end the script).
installed_version() {
  dpkg-query -W -f='${Status} ${Version}' "$1" 2>/dev/null | sed -n 's/^install ok installed //p' || true
}

step="looking up installed packages"
missing=()
for p in "${packages[@]}"; do
  [ -n "$(installed_version "$p")" ] || missing+=("$p")
done
missing_bpo=()
for p in "${backports[@]}"; do
  v=$(installed_version "$p")
  if [ -z "$v" ] || dpkg --compare-versions "$v" lt "$backports_min"; then
    missing_bpo+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ] && [ ${#missing_bpo[@]} -eq 0 ]; then
  exit 0
fi
echo "install-deps: installing ${missing[*]} ${missing_bpo[*]}" >&2

step="finding a way to install as root"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "install-deps: need root or sudo to install: ${missing[*]} ${missing_bpo[*]}" >&2
  exit 1
fi

sources=/etc/apt/sources.list.d/debian-backports.sources
if [ ${#missing_bpo[@]} -gt 0 ] && ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  step="adding bookworm-backports as ${sources}"
  printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
    'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
    "${as_root[@]}" tee "$sources" >/dev/null
fi
step="reading the package lists (apt-get update)"
"${as_root[@]}" env LC_ALL=C.UTF-8 apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  step="installing ${missing[*]}"
  "${as_root[@]}" env LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ${#missing_bpo[@]} -gt 0 ]; then
  step="installing ${missing_bpo[*]} from bookworm-backports"
  "${as_root[@]}" env LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends -t bookworm-backports "${missing_bpo[@]}"
fi
step="checking the result"
still=()
for p in "${packages[@]}" "${backports[@]}"; do
  [ -n "$(installed_version "$p")" ] || still+=("$p")
done
if [ ${#still[@]} -gt 0 ]; then
  echo "install-deps: still not installed after apt-get: ${still[*]}" >&2
  exit 1
fi
