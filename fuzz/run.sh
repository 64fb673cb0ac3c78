#!/usr/bin/env bash
# Builds the libFuzzer targets with AddressSanitizer and UndefinedBehaviorSanitizer (clang) and
# runs each for the given number of seconds (default 60) on a copy of its seed corpus.
# Usage: fuzz/run.sh [seconds] [target...]   targets: reader settings
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(reader settings)

scripts/install-dependencies.sh --with-fuzzers
CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOSK_BUILD_FUZZERS=ON \
  -DVARNOSK_BUILD_TESTS=OFF >/dev/null
cmake --build build/fuzz -j "$(nproc)" --target varnosk_fuzz_reader varnosk_fuzz_settings

for target in "${targets[@]}"; do
  work=build/fuzz/corpus-$target
  mkdir -p "$work" build/fuzz/findings-$target
  cp -n fuzz/corpus/$target/* "$work"/ 2>/dev/null || true
  echo "== fuzzing $target for $seconds s =="
  # A zstd frame may ask for a window of up to 2 GiB, which the reader accepts and allocates
  # (untouched beyond what the data fills): one allocation may exceed the 2 GiB RSS limit.
  build/fuzz/varnosk_fuzz_$target -max_total_time="$seconds" -max_len=65536 -timeout=10 -malloc_limit_mb=4096 \
    -artifact_prefix=build/fuzz/findings-$target/ -print_final_stats=1 "$work" 2>&1 | tail -n 15
done
