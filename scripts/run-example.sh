#!/usr/bin/env bash
# Builds Varnosk (optimised) and runs it on the bundled example into a fresh output directory.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVARNOSK_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target varnosk -j "$(nproc)"

# Every run gets its own new, empty output directory; nothing is ever deleted.
mkdir -p out
output_dir=$(mktemp -d "out/example-$(date +%Y%m%d-%H%M%S)-XXXX")
settings="$output_dir.ini"
sed -E "s|^output_dir[[:space:]]*=.*|output_dir = $output_dir|" examples/settings.ini > "$settings"

build/release/varnosk "$settings"

echo "Results are in $output_dir (settings used: $settings)"
awk -F'\t' 'NR > 1 { msps[$1] = 1; genes[$2]++ }
  END {
    n = 0; for (m in msps) n++
    printf "%d MSPs: %d core, %d accessory, %d shared core, %d shared accessory gene entries\n",
      n, genes["core"], genes["accessory"], genes["shared_core"], genes["shared_accessory"]
  }' "$output_dir/all_msps.tsv"
