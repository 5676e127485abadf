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
floor_png() { floor_copy png; }
floor_gif() { floor_copy gif; }
floor_webp() { floor_copy webp; }
floor_tiff() { floor_copy tiff; }
# Sound and video are cleaned in process, where they lie: the copy in and out is their floor.
floor_mkv() { floor_copy mkv; }
floor_avi() { floor_copy avi; }
floor_wav() { floor_copy wav; }
floor_aiff() { floor_copy aiff; }
floor_wma() { floor_copy wma; }
floor_heic() { floor_copy heic; }
floor_mp4() { floor_copy mp4; }
# Packages are cleaned in process: no tool, so the copy in and out is their floor.
floor_office() { floor_copy office; }
floor_opendocument() { floor_copy opendocument; }
# The tool alone, on copies made beforehand, writing where it likes.
tool_jpeg() { for f in "$work"/copies/*; do exiv2 rm "$f"; done; }
tool_pdf() {
    for f in "$work"/copies/*; do
        "$build/bin/pdftk" "$f" update_info "$work/info.txt" output "$work/out/${f##*/}" dont_ask
    done
}
tool_other() { for f in "$work"/copies/*; do cp "$f" "$work/out/"; done; }
tool_png() { tool_other; }
tool_gif() { tool_other; }
tool_webp() { tool_other; }
tool_tiff() { tool_other; }
tool_heic() { tool_other; }
tool_mp4() { tool_other; }
tool_office() { tool_other; }
tool_opendocument() { tool_other; }
tool_mkv() { tool_other; }
tool_avi() { tool_other; }
tool_wav() { tool_other; }
tool_aiff() { tool_other; }
tool_wma() { tool_other; }
exiftool_all() { exiftool -q -q -overwrite_original -all= "$work"/copies/*; }

routes="jpeg pdf office opendocument other png gif webp tiff mkv avi wav aiff wma heic mp4"
for _ in $(seq "${ROUNDS:-3}"); do
    "${shown[@]}" "$build/bench/batch/batch_bench" ${shown:+--window} "$build/bin" \
        "$work/corpus" "$work/out" >>"$work/batch.txt"
    for route in $routes; do
        echo "$route $(seconds "floor_$route")" >>"$work/floor.txt"
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
    tool=$(seconds "tool_$route")
    exif="n/a"
    case $route in
        office | opendocument | mkv | avi | wav | aiff | wma) ;; # exiftool cannot write these
        *)
            copies "$route"
            exif=$(printf '%.1f' "$(ms "$(seconds exiftool_all)" "$files")")
            ;;
    esac
    printf '| %s | %d | %.1f | %.1f | %.2f | %.1f | %s |\n' "$route" "$files" \
        "$(ms "$batch" "$files")" "$(ms "$floor" "$files")" "$(echo "$batch / $floor" | bc -l)" \
        "$(ms "$tool" "$files")" "$exif"
done
