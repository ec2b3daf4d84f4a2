#!/bin/bash
# Two tolbe-cli commands mark verdicts on two slots at the same moment, round after round; fails
# unless every round kept both. Usage: two_writers_test.sh TOLBE_CLI [ROUNDS]; the downloads play to
# $TOLBE_TEST_PCM_DEVICE (default ALSA's null).
set -u
cli=$1 rounds=${2:-40} dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT && mkdir -p "$dir/program"
run() { "$cli" --program-dir "$dir/program" "$@" --db "$dir/codes.db3"; }
"$cli" db sample --out "$dir/codes.db3" --code-sets 50 >/dev/null || exit 2
# Two code sets written from this computer, one into TV and one into SAT.
read -r tvSource satSource < <(run search --device TV | awk -F'\t' 'NR > 1 { print $1 }' | head -2 | xargs)
out=${TOLBE_TEST_PCM_DEVICE:-null}
run download --slot TV --source-id "$tvSource" --pcm-device "$out" >/dev/null 2>&1 || exit 2
run download --slot SAT --source-id "$satSource" --pcm-device "$out" >/dev/null 2>&1 || exit 2
read -r tvSet satSet < <(run remote show | awk -F'\t' '$1 == "TV" || $1 == "SAT" { print $2 }' | xargs)
kept=0
for ((i = 0; i < rounds; i++)); do
    if ((i % 2)); then tv=works sat=failed satKeys=(); else tv=failed sat=partly satKeys=(--keys power); fi
    run remote mark --slot TV --set-of-code-id "$tvSet" --verdict "$tv" &
    run remote mark --slot SAT --set-of-code-id "$satSet" --verdict "$sat" "${satKeys[@]}" &
    wait
    shown=$(run remote show)
    grep -q "^TV	.*	$tv	" <<<"$shown" && grep -q "^SAT	.*	$sat	" <<<"$shown" && kept=$((kept + 1))
done
echo "both verdicts kept in $kept of $rounds rounds"
((kept == rounds))
