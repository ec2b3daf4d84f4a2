#!/usr/bin/env bash
# tolbe-cli.exe under wine as a Windows user meets it, through real parts: a private PulseAudio
# (wine's own sound driver plays into its null sink), a loopback https server whose test
# authority is put into the wine prefix's root store, minisign. In turn:
#  - keyed databases written on either side open on the other;
#  - a twelve-block download played through winmm, recorded from the sink's monitor and checked
#    by the Linux tolbe-cli's verify --strict, every packet and pause, the slot's bytes exact, and
#    recorded at the same time through winmm's sound input by tolbe-cli.exe verify, as strictly;
#  - two tolbe-cli.exe changing the remote's record at the same moment keep both changes;
#  - a signed database update over https is fetched, verified and swapped in; one from a server
#    with a certificate of no trusted authority, and a descriptor signed by a stranger, change
#    nothing;
#  - the users' zip ($TOLBE_WIN_ZIP, made by windows.sh), unpacked where only an administrator
#    writes, answers from its own database and takes the update into the user's %APPDATA%.
# Usage: windows_scenarios.sh TOLBE_CLI_EXE SOURCE_DIR; $TOLBE_LINUX_CLI
# names the Linux tolbe-cli.
set -euo pipefail
exe=$1 src=$2
linux_cli=${TOLBE_LINUX_CLI:?TOLBE_LINUX_CLI must name the Linux tolbe-cli}
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine} WINEDEBUG=${WINEDEBUG:--all}
source "$src/scripts/private-pulse.sh"
# A folder name beyond ASCII, as a Windows user's profile may have: every path below carries it.
work=$(mktemp -d /tmp/tolbe-wïn-scenarios-Жд.XXXXXX)
servers=()
cleanup() {
  [ -n "${mounted:-}" ] && umount "$mounted"
  for r in "${reader:-}" "${wrecorder:-}"; do
    [ -n "$r" ] && { kill "$r" 2>/dev/null || true; wait "$r" 2>/dev/null || true; }
  done
  for s in "${servers[@]}"; do kill "$s" 2>/dev/null || true; wait "$s" 2>/dev/null || true; done
  stop_private_pulse
  rm -rf "$work"
}
trap cleanup EXIT
step() { echo "== $*"; }
fail() { echo "FAILED: $*" >&2; exit 1; }
# tolbe-cli.exe as the scripts run a program.
printf '#!/bin/sh\nexec wine %q "$@"\n' "$exe" >"$work/tolbe-cli"
chmod +x "$work/tolbe-cli"
wcli() { "$work/tolbe-cli" "$@"; }

start_private_pulse

step "keyed databases written on either side open on the other"
wcli db sample --out "$work/codes.db3" --code-sets 80 --seed 3 >/dev/null
"$linux_cli" db sample --out "$work/linux.db3" --code-sets 80 --seed 3 >/dev/null
[ "$(wcli search --db "$work/linux.db3" --device TV | md5sum)" = "$("$linux_cli" search --db "$work/codes.db3" --device TV | md5sum)" ] ||
  fail "the two sides read the same sample differently"

step "a download played through winmm, recorded and decoded on Linux"
best=
best_blocks=0
while IFS=$'\t' read -r source _; do
  blocks=$("$linux_cli" encode --db "$work/codes.db3" --slot AUX --source-id "$source" --seed 1 | head -1)
  if [ "$blocks" -gt "$best_blocks" ]; then best=$source; best_blocks=$blocks; fi
  [ "$blocks" -eq 12 ] && break
done < <("$linux_cli" search --db "$work/codes.db3" --device TV | tail -n +2 | head -15)
[ -n "$best" ] || fail "no code set to download"
expected=$(wcli encode --db "$work/codes.db3" --slot AUX --source-id "$best" --seed 1 | tail -n +2 | tr -d '\n')
[ "$expected" = "$("$linux_cli" encode --db "$work/codes.db3" --slot AUX --source-id "$best" --seed 1 | tail -n +2 | tr -d '\n')" ] ||
  fail "the two sides encode the code set differently"
# The private server's default source is the sink's monitor: what winmm records on Windows.
# It starts first and is let settle: wine sets up its sound input while the recorder starts, and
# doing so beside a playing stream can stall that stream.
wcli --program-dir "$work/program" verify --capture-device default --seconds 18 --strict --json \
  >"$work/wverify.json" 2>"$work/wverify.err" &
wrecorder=$!
sleep 2
parec --latency-msec=10 -d tolbe_null.monitor --raw --format=s16le --rate=44100 --channels=2 >"$work/monitor.raw" &
reader=$!
sleep 0.3
# Wine's PulseAudio driver drops about the first half second of a process's first stream (wine's
# behaviour, not the program's): a longer lead-in carries the signal past it.
wcli --program-dir "$work/program" download --db "$work/codes.db3" --slot AUX --source-id "$best" --seed 1 \
  --lead-in-ms 2000 --pcm-device default
sleep 0.3
kill "$reader"
wait "$reader" 2>/dev/null || true
reader=
sox -q -t raw -r 44100 -e signed -b 16 -c 2 "$work/monitor.raw" "$work/monitor.wav"
"$linux_cli" verify --strict "$work/monitor.wav" | tee "$work/verify.txt" | grep -v "^0x"
grep -q "^Blocks: $best_blocks found, the header announced $best_blocks$" "$work/verify.txt" || fail "blocks missing"
heard=$("$linux_cli" verify --json "$work/monitor.wav" | grep -o '"slot_bytes":"[0-9A-F]*"' | cut -d'"' -f4)
[ "$heard" = "$expected" ] || fail "the slot's bytes heard differ from the encoder's"
wait "$wrecorder" || { cat "$work/wverify.json" "$work/wverify.err"; fail "tolbe-cli.exe verify found the recording faulty"; }
wrecorder=
[ "$(grep -o '"slot_bytes":"[0-9A-F]*"' "$work/wverify.json" | cut -d'"' -f4)" = "$expected" ] ||
  fail "the slot's bytes tolbe-cli.exe recorded differ from the encoder's"
echo "tolbe-cli.exe verify --capture-device: $(grep -o '"worst_pause_error_ms":[0-9.]*' "$work/wverify.json")"
wcli --program-dir "$work/program" remote show | grep -q "^AUX	" || fail "the played download was not recorded"

step "two tolbe-cli.exe change the remote's record at the same moment"
TOLBE_TEST_PCM_DEVICE=default bash "$src/tests/tools/two_writers_test.sh" "$work/tolbe-cli" 8

step "a signed database update over https"
pki=$work/pki
mkdir -p "$pki" "$work/site" "$work/stranger-site"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tolbe test authority" -keyout "$pki/ca.key" \
  -out "$pki/ca.pem" -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
# Wine's WinHTTP matches the host by name only (no IP address entries): the URLs say localhost.
server_cert() { # NAME SIGNER-CERT SIGNER-KEY
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$pki/$1.key" -out "$pki/$1.csr" 2>/dev/null
  printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n' >"$pki/$1.ext"
  openssl x509 -req -in "$pki/$1.csr" -CA "$2" -CAkey "$3" -CAcreateserial -days 2 -extfile "$pki/$1.ext" \
    -out "$pki/$1.pem" 2>/dev/null
}
server_cert server "$pki/ca.pem" "$pki/ca.key"
# The stranger's certificate is as good, but its authority is in no store.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Stranger" -keyout "$pki/sca.key" -out "$pki/sca.pem" \
  -addext basicConstraints=critical,CA:TRUE 2>/dev/null
server_cert stranger "$pki/sca.pem" "$pki/sca.key"
# The root store of the wine prefix holds certificates as serialised properties: the
# certificate itself is property 32 (little-endian id, 1, length, DER bytes).
openssl x509 -in "$pki/ca.pem" -outform DER -out "$pki/ca.der"
thumb=$(openssl x509 -in "$pki/ca.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
blob=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); print((struct.pack("<III",32,1,len(d))+d).hex())' "$pki/ca.der")
wine reg add "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumb" /v Blob /t REG_BINARY \
  /d "$blob" /f >/dev/null
# English texts for the checks below, kept where the program keeps its settings: the registry.
wine reg add 'HKCU\Software\Marvo\MarvoState' /v Language /d 1000 /f >/dev/null

serve() { # FOLDER NAME: an https server of the folder on a free loopback port; prints the port
  python3 - "$1" "$pki/$2.pem" "$pki/$2.key" >"$work/$2.port" 2>"$work/$2.log" <<'EOF' &
import functools, http.server, ssl, sys
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[2], sys.argv[3])
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
EOF
  servers+=($!)
  for _ in $(seq 50); do [ -s "$work/$2.port" ] && break; sleep 0.1; done
  cat "$work/$2.port"
}
port=$(serve "$work/site" server)
stranger_port=$(serve "$work/stranger-site" stranger)

# The program's database, and an offer of the same codes recorded as version 5.
program=$work/update-program
mkdir -p "$program/Database" "$program/Update"
cp "$work/codes.db3" "$program/Database/IR_Database.db3"
"$linux_cli" db export --db "$work/codes.db3" |
  sed 's/^INSERT INTO "M_Version" VALUES(1,1,/INSERT INTO "M_Version" VALUES(1,5,/' >"$work/offer.sql"
grep -q '^INSERT INTO "M_Version" VALUES(1,5,' "$work/offer.sql" || fail "the sample has no version record to raise"
"$linux_cli" db import --sql "$work/offer.sql" --out "$work/site/IR_Database.db3" >/dev/null
cp "$work/site/IR_Database.db3" "$work/stranger-site/IR_Database.db3"
minisign -G -W -p "$pki/publisher.pub" -s "$pki/publisher.key" >/dev/null
minisign -G -W -p "$pki/other.pub" -s "$pki/other.key" >/dev/null
offer() { # FOLDER PORT SIGNING-KEY
  printf '[LiveUpdate]\r\nAPP_Version=2.0.9\r\nDB_Version=5\r\nDB_WEB=https://localhost:%s/IR_Database.db3\r\nDB_SHA256=%s\r\n' \
    "$2" "$(sha256sum "$1/IR_Database.db3" | cut -d' ' -f1)" >"$1/Update.txt"
  rm -f "$1/Update.txt.minisig"
  minisign -S -s "$3" -m "$1/Update.txt" >/dev/null
}
trust() { # PORT
  printf '[LiveUpdate]\r\nIP_Address=https://localhost:%s/Update.txt\r\nPublicKey=%s\r\n' "$1" \
    "$(tail -1 "$pki/publisher.pub")" >"$program/Update/Server.ini"
}
before=$(sha256sum "$program/Database/IR_Database.db3" | cut -d' ' -f1)
unchanged() { [ "$(sha256sum "$program/Database/IR_Database.db3" | cut -d' ' -f1)" = "$before" ]; }

# A server whose certificate no trusted authority signed: nothing is fetched.
offer "$work/stranger-site" "$stranger_port" "$pki/publisher.key"
trust "$stranger_port"
wcli --program-dir "$program" update-check --yes >"$work/stranger.out" 2>&1 || true
unchanged || fail "an update from an untrusted server changed the database"
grep -q 'IR_Database.db3' "$work/stranger.log" && fail "the untrusted server was asked for the database"

# A descriptor signed by a key the Server.ini does not name: refused, nothing fetched.
offer "$work/site" "$port" "$pki/other.key"
trust "$port"
wcli --program-dir "$program" update-check --yes >"$work/hostile.out" 2>&1 || true
unchanged || fail "a descriptor signed by a stranger changed the database"
grep -q 'GET /IR_Database.db3' "$work/server.log" && fail "the stranger's offer was fetched"
grep -q 'GET /Update.txt.minisig' "$work/server.log" || fail "the signature was never asked for"

# Signed by the publisher: fetched over https, its hash and contents checked, swapped in.
offer "$work/site" "$port" "$pki/publisher.key"
wcli --program-dir "$program" update-check --yes >"$work/update.out" 2>&1 || { cat "$work/update.out"; fail "update-check"; }
grep -q 'All Files updated!' "$work/update.out" || { cat "$work/update.out"; fail "no success reported"; }
cmp -s "$program/Database/IR_Database.db3" "$work/site/IR_Database.db3" || fail "the offered database is not in place"
[ -f "$program/Database/IR_Database.db3.bak" ] || fail "the previous database was not kept"
"$linux_cli" search --db "$program/Database/IR_Database.db3" --device TV >/dev/null

step "the zip, unpacked where only an administrator writes"
if [ -z "${TOLBE_WIN_ZIP:-}" ]; then
  echo "(not run: TOLBE_WIN_ZIP names no zip; scripts/windows.sh makes one)"
else
  mkdir -p "$work/Program Files"
  unzip -q "$TOLBE_WIN_ZIP" -d "$work/Program Files"
  folder=$(echo "$work/Program Files"/Tolbe-*-windows-x64)
  for f in tolbe-cli.exe Database/IR_Database.db3 Styles/a1.gif Update/Server.ini README.txt; do
    [ -s "$folder/$f" ] || fail "the zip holds no $f"
  done
  grep -q $'\r$' "$folder/README.txt" || fail "the zip's README.txt has no Windows line ends"
  # Write bits do not stop root; a read-only mount stops everyone.
  if [ "$(id -u)" -eq 0 ]; then
    mount --bind "$folder" "$folder" && mounted=$folder && mount -o remount,ro,bind "$folder"
  else
    chmod -R a-w "$folder"
  fi
  appdata=$(winepath -u "$(wine cmd /c echo %APPDATA% | tr -d '\r')")/Tolbe
  rm -rf "$appdata"
  shipped=$(cd "$folder" && find . -type f -exec sha256sum {} + | sort)
  installed() { (cd "$work" && env -u TOLBE_PROGRAM_DIR wine "$folder/tolbe-cli.exe" "$@"); }
  rows=$(installed search --device TV | tail -n +2 | wc -l)
  [ "$rows" -gt 10 ] || fail "the shipped database answered $rows rows"
  # The first check gives the user the shipped Server.ini; its empty address checks nothing.
  installed update-check --no >"$work/installed-first.out" 2>&1 || { cat "$work/installed-first.out"; fail "update-check"; }
  cmp -s "$appdata/Update/Server.ini" "$folder/Update/Server.ini" || fail "the user was not given the shipped Server.ini"
  printf '[LiveUpdate]\r\nIP_Address=https://localhost:%s/Update.txt\r\nPublicKey=%s\r\n' "$port" \
    "$(tail -1 "$pki/publisher.pub")" >"$appdata/Update/Server.ini"
  installed update-check --yes >"$work/installed.out" 2>&1 || { cat "$work/installed.out"; fail "update-check"; }
  grep -q 'All Files updated!' "$work/installed.out" || { cat "$work/installed.out"; fail "no success reported"; }
  cmp -s "$appdata/Database/IR_Database.db3" "$work/site/IR_Database.db3" ||
    fail "the offered database is not in the user's folder"
  [ "$shipped" = "$(cd "$folder" && find . -type f -exec sha256sum {} + | sort)" ] || fail "the program folder changed"
  rm -rf "$appdata"
fi
echo "windows scenarios: OK"
