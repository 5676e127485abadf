#!/usr/bin/env bash
# Times how long a batch takes to show its closing message after Stop, on one large file each: a
# 2 GB video (cleaned where it lies) and a 350 MiB Word document (cleaned in memory). Each file is
# first cleaned whole (twice), then Stop is pressed at 10 % to 90 % of that time, so that it lands in
# every step (copy in, survey, removal, check, copy out).
#   bench/stop/run.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target batch_bench pdftk >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/corpus/video" "$work/corpus/docx" "$work/out"
python3 tests/formats/make_large.py "$work/made" 2000000000 300000000 340000000
mv "$work/made/big.mp4" "$work/corpus/video/"
mv "$work/made/big.docx" "$work/corpus/docx/"
cat "$work"/corpus/*/* >/dev/null # warm cache

# bench [--stop-after SECONDS] ROUTE
bench() {
    TEMP="$work" "$build/bench/batch/batch_bench" "${@:1:$#-1}" "$build/bin" "$work/corpus" \
        "$work/out" "${@: -1}"
}

echo "| file | whole batch | Stop pressed after | closing message after Stop |"
echo "|---|---|---|---|"
for route in video docx; do
    # The second of two whole runs, the first having warmed what the batch touches.
    for _ in 1 2; do
        whole=$(bench "$route" 2>/dev/null | awk '{ print $3 }')
        rm -f "$work"/out/*
    done
    for share in 0.1 0.3 0.5 0.7 0.9; do
        after=$(echo "$whole * $share" | bc -l)
        bench --stop-after "$after" "$route" 2>/dev/null |
            awk -v whole="$whole" '$2 == "stop" { printf "| %s | %.1f s | %.1f s | %d ms |\n", $1, whole, $3, $4 }
                 $2 == "done" { printf "| %s | %.1f s | (ended first) | |\n", $1, whole }'
        rm -f "$work"/out/*
    done
done
