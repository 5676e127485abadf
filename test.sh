#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine as needed, builds, and runs the whole test suite.
#   ./test.sh             the ordinary build in build/
#   ./test.sh --sanitize  an AddressSanitizer + UndefinedBehaviorSanitizer build in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
parchwipe_install_packages

build_dir=build
cmake_args=()
if [ "${1:-}" = "--sanitize" ]; then
    build_dir=build-sanitize
    cmake_args+=(-DPARCHWIPE_SANITIZE=ON)
    # Qt keeps some allocations until exit on purpose; leaks are not what this build looks for.
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

parchwipe_build "$build_dir" "${cmake_args[@]}"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)"
