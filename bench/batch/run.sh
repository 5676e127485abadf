#!/usr/bin/env bash
# Times one whole batch per route through the window code against the floor the design allows
# (one tool process per file in a plain shell loop) and against exiftool and mat2.
#   bench/batch/run.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 bench/batch/make_corpus.py "$work/corpus"
cat "$work"/corpus/*/* >/dev/null  # warm cache
mkdir -p "$work/out"
printf 'InfoKey: Title\r\nInfoValue: \r\n\r\n' >"$work/info.txt"

seconds() { # runs the command, prints its wall time in seconds
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

copies() { # fresh copies of a route's files, outside the timing
    rm -rf "$work/copies" && cp -r "$work/corpus/$1" "$work/copies"
}

floor_jpeg() { for f in "$work"/copies/*; do exiv2 rm "$f"; done; }
floor_pdf() {
    for f in "$work"/corpus/pdf/*; do
        "$build/bin/pdftk" "$f" update_info "$work/info.txt" output "$work/out/${f##*/}" dont_ask
    done
}
floor_other() { for f in "$work"/corpus/other/*; do cp "$f" "$work/out/"; done; }
exiftool_all() { exiftool -q -q -overwrite_original -all= "$work"/copies/*; }
mat2_all() { mat2 --inplace "$work"/copies/*; }

"$build/bench/batch/batch_bench" "$build/bin" "$work/corpus" "$work/out" >"$work/batch.txt"

printf '| route | files | batch ms/file | floor ms/file | batch / floor | exiftool ms/file | mat2 ms/file |\n'
printf '|---|---|---|---|---|---|---|\n'
while read -r route files batch; do
    copies "$route"
    floor=$(seconds "floor_$route")
    copies "$route"
    exif=$(seconds exiftool_all)
    mat="n/a"
    if [ "$route" != other ] && command -v mat2 >/dev/null; then
        copies "$route"
        mat=$(printf '%.1f' "$(echo "$(seconds mat2_all) * 1000 / $files" | bc -l)")
    fi
    printf '| %s | %d | %.1f | %.1f | %.2f | %.1f | %s |\n' "$route" "$files" \
        "$(echo "$batch * 1000 / $files" | bc -l)" "$(echo "$floor * 1000 / $files" | bc -l)" \
        "$(echo "$batch / $floor" | bc -l)" "$(echo "$exif * 1000 / $files" | bc -l)" "$mat"
done <"$work/batch.txt"
