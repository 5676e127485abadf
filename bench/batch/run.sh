#!/usr/bin/env bash
# Times one whole batch per route through the window code against the per-file floor (a plain
# shell loop that copies each file in, runs its tool once and copies the result out), against the
# tool alone, and against exiftool.
#   [ROUNDS=3] bench/batch/run.sh [--window] [BUILD_DIR]     (default: build)
# --window shows the real window on an X server of its own (Xvfb) instead of running offscreen.
# The batch and the floor take turns ROUNDS times; each keeps its fastest round, the one least
# disturbed by whatever else the machine runs.
set -euo pipefail
cd "$(dirname "$0")/../.."
shown=()
if [ "${1:-}" = --window ]; then
    shown=(xvfb-run -a -s "-screen 0 1280x1024x24")
    shift
fi
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 bench/batch/make_corpus.py "$work/corpus"
cat "$work"/corpus/*/* >/dev/null  # warm cache
mkdir -p "$work/out" "$work/tmp"
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

floor_jpeg() {
    for f in "$work"/corpus/jpeg/*; do
        cp "$f" "$work/tmp/temp.jpg"
        exiv2 rm "$work/tmp/temp.jpg"
        cp "$work/tmp/temp.jpg" "$work/out/${f##*/}"
    done
}
floor_pdf() {
    for f in "$work"/corpus/pdf/*; do
        cp "$f" "$work/tmp/temp.pdf"
        "$build/bin/pdftk" "$work/tmp/temp.pdf" update_info "$work/info.txt" \
            output "$work/tmp/temp.pdf2" dont_ask
        cp "$work/tmp/temp.pdf2" "$work/out/${f##*/}"
    done
}
floor_copy() {
    for f in "$work"/corpus/"$1"/*; do
        cp "$f" "$work/tmp/temp.dat"
        cp "$work/tmp/temp.dat" "$work/out/${f##*/}"
    done
}
floor_other() { floor_copy other; }
# Pictures are cleaned in process: no tool, so the copy in and out is their floor.
# Sound and video are cleaned in process, where they lie: the copy in and out is their floor.
# Packages are cleaned in process: no tool, so the copy in and out is their floor.
# The tool alone, on copies made beforehand, writing where it likes.
tool_jpeg() { for f in "$work"/copies/*; do exiv2 rm "$f"; done; }
tool_pdf() {
    for f in "$work"/copies/*; do
        "$build/bin/pdftk" "$f" update_info "$work/info.txt" output "$work/out/${f##*/}" dont_ask
    done
}
tool_other() { for f in "$work"/copies/*; do cp "$f" "$work/out/"; done; }
exiftool_all() { exiftool -q -q -overwrite_original -all= "$work"/copies/*; }

# Kinds cleaned in process have no tool: the copy in and out is their floor and their tool.
floor_of() { if declare -F "floor_$1" >/dev/null; then "floor_$1"; else floor_copy "$1"; fi; }
tool_of() { if declare -F "tool_$1" >/dev/null; then "tool_$1"; else tool_other; fi; }

routes=${ROUTES:-"jpeg pdf office opendocument other png gif webp tiff mkv avi wav aiff wma heic mp4
    mp3 flac ogg epub svg rtf psd doc xls ppt zip targz"}
for _ in $(seq "${ROUNDS:-3}"); do
    # A user's first batch writes new files, which sync once at the end rather than one by one.
    rm -rf "${work:?}"/out/*
    # shellcheck disable=SC2086
    "${shown[@]}" "$build/bench/batch/batch_bench" ${shown:+--window} "$build/bin" \
        "$work/corpus" "$work/out" $routes >>"$work/batch.txt"
    for route in $routes; do
        echo "$route $(seconds floor_of "$route")" >>"$work/floor.txt"
    done
done

fastest() { # fastest FILE ROUTE: the shortest time in the file's last column for that route
    awk -v route="$2" '$1 == route && (best == "" || $NF < best) { best = $NF } END { print best }' "$1"
}
ms() { echo "$1 * 1000 / $2" | bc -l; }
printf '| route | files | batch ms/file | floor ms/file | batch / floor | tool alone ms/file | exiftool ms/file |\n'
printf '|---|---|---|---|---|---|---|\n'
for route in $routes; do
    files=$(awk -v route="$route" '$1 == route { print $2; exit }' "$work/batch.txt")
    batch=$(fastest "$work/batch.txt" "$route")
    floor=$(fastest "$work/floor.txt" "$route")
    copies "$route"
    tool=$(seconds tool_of "$route")
    exif="n/a"
    case $route in
        office | opendocument | mkv | avi | wav | aiff | wma | ogg | epub | svg | rtf | doc | xls | ppt | zip | targz) ;; # exiftool cannot write these
        *)
            copies "$route"
            exif=$(printf '%.1f' "$(ms "$(seconds exiftool_all)" "$files")")
            ;;
    esac
    printf '| %s | %d | %.1f | %.1f | %.2f | %.1f | %s |\n' "$route" "$files" \
        "$(ms "$batch" "$files")" "$(ms "$floor" "$files")" "$(echo "$batch / $floor" | bc -l)" \
        "$(ms "$tool" "$files")" "$exif"
done
