#!/usr/bin/env bash
# Times how long a batch takes to end after Stop on one large file: a 2 GB video (cleaned where
# it lies) and a 350 MiB Word document (cleaned in memory), pressing Stop at several moments so
# that it lands in each step (copy in, survey, removal, check, copy out).
#   [STOPS="0.5 1 2 4 8"] bench/stop/run.sh [BUILD_DIR]     (default: build)
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

echo "| file | Stop pressed after | batch ended after Stop |"
echo "|---|---|---|"
for stop in ${STOPS:-0.5 1 2 4 8}; do
    TEMP="$work" "$build/bench/batch/batch_bench" --stop-after "$stop" "$build/bin" \
        "$work/corpus" "$work/out" video docx |
        awk '$2 == "stop" { printf "| %s | %s s | %s ms |\n", $1, $3, $4 }
             $2 == "done" { printf "| %s | (ended before the stop) | |\n", $1 }'
    rm -f "$work"/out/*
done
