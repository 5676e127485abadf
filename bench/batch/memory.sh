#!/usr/bin/env bash
# Runs one batch of large files (make_large_corpus.py: Word and OpenDocument texts whose text
# unpacks to about 300 MB, PDFs of about 40 MB, ZIPs holding such a Word text) through the
# window code and prints its wall time and the batch's peak resident memory.
#   bench/batch/memory.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/batch/make_large_corpus.py "$work/corpus"
mkdir -p "$work/out"
/usr/bin/time -f '%e s, peak %M KB' -o "$work/time" \
    "$build/bench/batch/batch_bench" "$build/bin" "$work/corpus" "$work/out" large || true
cat "$work/time"
