#!/usr/bin/env bash
# Builds everything and runs every test: in Release with GCC and with clang,
# then under ThreadSanitizer, AddressSanitizer and UndefinedBehaviorSanitizer;
# then runs each fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure

# Benchmarks must keep building and running; one short run each.
for bench in build/tools/bench_*; do
  if [ -x "$bench" ]; then "$bench" --quick; fi
done

# Everything again with clang, the compiler of the fuzz targets: its build
# must pass the same tests, the wide kernels included.
CC=clang CXX=clang++ cmake -S . -B build-clang -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build-clang -j"$jobs"
ctest --test-dir build-clang -j"$jobs" --output-on-failure

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVB_SANITIZE_THREAD=ON -DVB_BUILD_PLUGIN=OFF
cmake --build build-tsan -j"$jobs"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan -j"$jobs" --output-on-failure

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVB_SANITIZE_ADDRESS=ON -DVB_BUILD_PLUGIN=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure

cmake -S . -B build-ubsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVB_SANITIZE_UNDEFINED=ON -DVB_BUILD_PLUGIN=OFF
cmake --build build-ubsan -j"$jobs"
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-ubsan -j"$jobs" --output-on-failure

# The fuzz targets: built with clang and libFuzzer, each run for a short while
# from its seeds and kept inputs; what it finds new stays under build-fuzz.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVB_BUILD_FUZZERS=ON -DVB_BUILD_PLUGIN=OFF
cmake --build build-fuzz -j"$jobs"
for target in state vst3state tracker filedump; do
  corpora=("build-fuzz/corpus/$target")
  mkdir -p "${corpora[0]}"
  for kept in "fuzz/corpus/$target" "fuzz/regressions/$target"; do
    if [ -d "$kept" ]; then corpora+=("$kept"); fi
  done
  "build-fuzz/fuzz/fuzz_$target" -max_total_time="${VB_FUZZ_SECONDS:-30}" -print_final_stats=1 \
    -artifact_prefix="build-fuzz/$target-" "${corpora[@]}"
done
