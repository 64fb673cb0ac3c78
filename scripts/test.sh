#!/usr/bin/env bash
# Builds Varnosk and runs the whole test suite: an optimised build, then the same suite built
# with AddressSanitizer and UndefinedBehaviorSanitizer. Set VARNOSK_SKIP_SANITIZERS=1 to run
# the optimised build only.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
jobs=$(nproc)

run_suite() {
  local build_dir=$1; shift
  cmake -S . -B "$build_dir" "$@" >/dev/null
  cmake --build "$build_dir" -j "$jobs"
  ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
}

echo "== Optimised build =="
run_suite build/test -DCMAKE_BUILD_TYPE=Release

if [ "${VARNOSK_SKIP_SANITIZERS:-0}" != 1 ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
  run_suite build/test-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOSK_SANITIZE=ON
fi
