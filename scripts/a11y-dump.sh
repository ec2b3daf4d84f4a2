#!/usr/bin/env bash
# Starts Tolbe under Xvfb with a private sound server and prints its accessibility tree as a screen
# reader gets it over AT-SPI (main window, progress window, finish picture, announcements), in the
# language given as the string-table base: bash scripts/a11y-dump.sh [BUILD_DIR] [1000|4000|...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
base=${2:-1000}
download=$(awk -F'\t' -v col=$((base / 1000 + 2)) '$1 == "135" { print $col }' i18n/strings.tsv)
source scripts/private-pulse.sh
work=$(mktemp -d /tmp/tolbe-a11y.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null || true; stop_private_pulse; rm -rf "$work"' EXIT
start_private_pulse
mkdir -p "$work/config/Marvo"
printf '[MarvoState]\nLanguage=%s\nAudioDevice=pulse\n' "$base" >"$work/config/Marvo/settings.ini"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
Xvfb :87 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:87 QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
sleep 1
dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  sleep 1
  "'"$build"'/program/tolbe" >"'"$work"'/tolbe.log" 2>&1 &
  /usr/bin/python3 scripts/a11y-dump.py "'"$download"'" || cat "'"$work"'/tolbe.log" >&2
'
