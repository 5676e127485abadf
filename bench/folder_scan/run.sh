#!/usr/bin/env bash
# Builds a tree of 100,000 files in 10,000 folders once, then times "Add All File(s) In Folder"
# with "*" on it beside `find DIR -type f`, both with a warm cache, in one hyperfine run.
#   bench/folder_scan/run.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=${1:-build}
tree=${PARCHWIPE_BENCH_TREE:-$build_dir/bench-tree}

cmake -S . -B "$build_dir" -G Ninja -DPARCHWIPE_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" --target folder_scan -j2 >/dev/null

if [ ! -f "$tree/.complete" ]; then
    rm -rf "$tree"
    # 10 x 10 x 100 leaf folders (plus 110 above them), 10 files in each leaf.
    python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
for a in range(10):
    for b in range(10):
        for c in range(100):
            folder = os.path.join(root, f"a{a}", f"b{b}", f"c{c:02d}")
            os.makedirs(folder)
            for f in range(10):
                with open(os.path.join(folder, f"file{f}.txt"), "wb") as out:
                    out.write(b"x")
PY
    touch "$tree/.complete"
fi
echo "tree: $tree ($(find "$tree" -type d | wc -l) folders, $(find "$tree" -type f ! -name .complete | wc -l) files)"

export QT_QPA_PLATFORM=offscreen
"$build_dir/bench/folder_scan/folder_scan" "$tree"
hyperfine --warmup 2 --runs 10 -N \
    "find $tree -type f" \
    "$build_dir/bench/folder_scan/folder_scan $tree"
