#!/usr/bin/env bash
# Checks the layout of the sources (.clang-format), then builds Varnosk with warnings as
# errors and runs the whole test suite: an optimised build, the optimised MPI build
# (the suite again, with the golden cases and faults under mpirun), then the suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer. After each optimised build, it builds its
# Debian package and checks it unpacked; after the first, it runs the conda recipe's build
# and tests into a temporary prefix. Set VARNOSK_SKIP_SANITIZERS=1 to skip the sanitizer build,
# VARNOSK_SKIP_MPI=1 the MPI one, VARNOSK_SKIP_PACKAGES=1 the package and recipe.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
scripts/check-format.sh
jobs=$(nproc)
passed=0
skipped=0

run_suite() {
  local build_dir=$1; shift
  cmake -S . -B "$build_dir" -DVARNOSK_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
  cmake --build "$build_dir" -j "$jobs"
  ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" | tee "$build_dir/ctest-summary.txt"
  local log="$build_dir/Testing/Temporary/LastTest.log"
  # A skipped test says why, also when the run passes.
  grep -h -A1 ': Skipped$' "$log" | grep -v -e '^--$' -e ': Skipped$' | sed 's/^/skipped: /' || true
  local total
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$build_dir/ctest-summary.txt")
  local skips
  skips=$(grep -c ': Skipped$' "$log" || true)
  passed=$((passed + total - skips))
  skipped=$((skipped + skips))
}

echo "== Optimised build =="
run_suite build/test -DCMAKE_BUILD_TYPE=Release

if [ "${VARNOSK_SKIP_PACKAGES:-0}" != 1 ]; then
  echo "== Debian package (from the optimised build) =="
  scripts/check-package.sh build/test
  echo "== conda recipe =="
  scripts/check-conda-recipe.sh
fi

if [ "${VARNOSK_SKIP_MPI:-0}" != 1 ]; then
  echo "== Optimised MPI build =="
  run_suite build/test-mpi -DCMAKE_BUILD_TYPE=Release -DVARNOSK_MPI=ON
  if [ "${VARNOSK_SKIP_PACKAGES:-0}" != 1 ]; then
    echo "== Debian package of the MPI build =="
    scripts/check-package.sh build/test-mpi
  fi
fi

if [ "${VARNOSK_SKIP_SANITIZERS:-0}" != 1 ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
  # -O1 with line tables only: quick to build, still readable sanitizer reports.
  run_suite build/test-sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DVARNOSK_SANITIZE=ON
fi

echo "tests: $passed passed, 0 failed, $skipped skipped"
