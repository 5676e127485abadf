#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer in build-fuzz/ and runs each for MINUTES.
#   tests/fuzz/run.sh MINUTES [TARGET...]     (targets: jpeg png gif webp tiff pdfcheck
#                                              officedocument opendocument mp3 flac ogg
#                                              compoundfile epub svg rtf psd matroska avi wav
#                                              aiff asf isobmff jpegxl archive aac; all by default)
# Each target starts from its stored corpus in tests/fuzz/corpus/TARGET and grows a working
# corpus in build-fuzz/corpus/TARGET. An input that crashes, hangs or breaks an oracle lands in
# build-fuzz/artifacts/TARGET/: mend the fault, then add the input to the stored corpus.
set -euo pipefail
cd "$(dirname "$0")/../.."
minutes=${1:?usage: run.sh MINUTES [TARGET...]}
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(jpeg png gif webp tiff pdfcheck officedocument opendocument mp3 flac ogg compoundfile
        epub svg rtf psd matroska avi wav aiff asf isobmff jpegxl archive aac)
fi

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DPARCHWIPE_FUZZ=ON -DPARCHWIPE_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
    corpus=build-fuzz/corpus/$target
    artifacts=build-fuzz/artifacts/$target/
    mkdir -p "$corpus" "$artifacts"
    log=build-fuzz/fuzz-$target.log
    status=0
    build-fuzz/tests/fuzz/fuzz_"$target" "$corpus" "tests/fuzz/corpus/$target" \
        -max_total_time=$((minutes * 60)) -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -artifact_prefix="$artifacts" -print_final_stats=1 >"$log" 2>&1 || status=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || true)
    echo "$target: exit $status, ${runs:-?} runs, ${coverage:-no coverage line}"
done
