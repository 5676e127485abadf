#!/usr/bin/env bash
# Cleans and checks each hostile shape of make_walker_inputs.py at N and 2N through the routes
# (walker_bench), under /usr/bin/time, and prints a table of wall time, CPU time (user and
# system) and peak memory. Each file runs ROUNDS times and keeps its run of least CPU time: the
# machine may be shared, and a busy neighbour lengthens the wall time far more than the CPU time.
#   [ROUNDS=2] [FILES="mdat.mp4 ..."] bench/walkers/run.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=${FILES:-"mdat.mp4 attachments.pdf fonts.epub chunks.wav voids.mkv groups.svg deep.rtf"}

for scale in 1 2; do
    python3 bench/walkers/make_walker_inputs.py "$work/$scale" "$scale"
done

measure() { # measure FILE: "<wall s> <CPU s> <peak KB> <outcome>"
    local best="" line wall user system kb
    for _ in $(seq "${ROUNDS:-2}"); do
        /usr/bin/time -f '%e %U %S %M' -o "$work/time" \
            "$build/bench/walkers/walker_bench" "$build/bin" "$1" >"$work/outcome"
        read -r wall user system kb <"$work/time"
        line="$wall $(echo "$user + $system" | bc -l) $kb $(cut -f4 "$work/outcome")"
        if [ -z "$best" ] || awk -v a="$(cut -d' ' -f2 <<<"$line")" \
            -v b="$(cut -d' ' -f2 <<<"$best")" 'BEGIN { exit !(a + 0 < b + 0) }'; then
            best=$line
        fi
    done
    echo "$best"
}

printf '| file | MB at N | N: wall s | N: CPU s | N: peak MB | 2N: wall s | 2N: CPU s | 2N: peak MB | 2N / N CPU | outcome |\n'
printf '|---|---|---|---|---|---|---|---|---|---|\n'
for file in $files; do
    read -r wall1 cpu1 kb1 outcome <<<"$(measure "$work/1/$file")"
    read -r wall2 cpu2 kb2 _ <<<"$(measure "$work/2/$file")"
    printf '| %s | %.1f | %.2f | %.2f | %.0f | %.2f | %.2f | %.0f | %.2f | %s |\n' "$file" \
        "$(echo "$(stat -c %s "$work/1/$file") / 1000000" | bc -l)" "$wall1" "$cpu1" \
        "$(echo "$kb1 / 1024" | bc -l)" "$wall2" "$cpu2" "$(echo "$kb2 / 1024" | bc -l)" \
        "$(echo "$cpu2 / ($cpu1 + 0.005)" | bc -l)" "$outcome"
done
