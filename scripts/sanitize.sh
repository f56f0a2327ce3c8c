#!/usr/bin/env bash
# Builds with clang, AddressSanitizer and UndefinedBehaviorSanitizer (and the
# fuzz targets; the benchmarks are built only by the plain build), runs every
# test, then each fuzz target for a bounded time.
# Usage: scripts/sanitize.sh [SECONDS_PER_FUZZER]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
bash .ci/deps.sh
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTESSEL_SANITIZE=ON -DTESSEL_FUZZ=ON -DTESSEL_BENCH=OFF >/dev/null
cmake --build build-asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/.ci/lsan.supp:print_suppressions=0
ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
bash scripts/fuzz.sh build-asan "$seconds"
