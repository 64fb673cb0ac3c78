#!/usr/bin/env bash
# Rewrites tests/e2e/expected/ from the current program. Run it only for an intended change of
# output, and commit the new tables on their own with the reason.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/golden -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/golden -j "$(nproc)" --target varnosk varnosk_tests
VARNOSK_UPDATE_GOLDEN=1 build/golden/varnosk_tests --gtest_filter='Cases/GoldenTables.*'
git status --short tests/e2e/expected
