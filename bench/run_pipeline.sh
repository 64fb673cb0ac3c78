#!/usr/bin/env bash
# Times the real program on a generated matrix: wall time, peak memory (RSS) and the program's
# own per-stage Time Statistics.
#
# Usage: bench/run_pipeline.sh [genes] [samples] [species] [seed]
#   defaults: 200000 genes, 200 samples, 50 species, seed 1
# Environment:
#   BUILD_DIR  build directory holding varnosk and varnosk-generate (default build/release;
#              built there, optimised, when missing)
#   WORK_DIR   where the matrix, settings and outputs go (default: a new temporary directory,
#              removed at the end unless KEEP=1)
#   OMP_NUM_THREADS  passed through to the program
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/cases.sh

genes=${1:-200000}
samples=${2:-200}
species=${3:-50}
seed=${4:-1}
build_dir=${BUILD_DIR:-build/release}

bench_ensure_built "$build_dir"

if [[ -n ${WORK_DIR:-} ]]; then
  work=$WORK_DIR
  mkdir -p "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/varnosk-bench-XXXXXX")
  [[ ${KEEP:-0} == 1 ]] || trap 'rm -rf "$work"' EXIT
fi
matrix=$work/matrix.tsv
output=$work/out
rm -rf "$output"
mkdir -p "$output"

echo "== generating $genes genes x $samples samples ($species species, seed $seed)"
start=$(date +%s.%N)
"$build_dir/varnosk-generate" --genes "$genes" --samples "$samples" --species "$species" --seed "$seed" \
  --out "$matrix" >/dev/null
end=$(date +%s.%N)
printf 'matrix: %s bytes, generated in %.2f s\n' "$(stat -c %s "$matrix")" "$(echo "$end - $start" | bc)"

# The example's thresholds, with output tables limited to the MSPs.
bench_write_settings "$matrix" "$output" true false false >"$work/settings.ini"

echo "== running varnosk (OMP_NUM_THREADS=${OMP_NUM_THREADS:-default}, $(nproc) cores)"
status=0
/usr/bin/time -v -o "$work/time.txt" "$build_dir/varnosk" "$work/settings.ini" >"$work/stdout.txt" 2>"$work/stderr.txt" ||
  status=$?
if [[ $status -ne 0 ]]; then
  echo "varnosk failed with status $status:" >&2
  cat "$work/stderr.txt" >&2
  exit "$status"
fi

wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
rss_kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
user=$(sed -n 's/.*User time (seconds): //p' "$work/time.txt")
system=$(sed -n 's/.*System time (seconds): //p' "$work/time.txt")
echo "wall time: $wall (user $user s, system $system s)"
echo "peak RSS: $((rss_kb / 1024)) MiB"
echo "MSP lines: $(($(wc -l <"$output/all_msps.tsv") - 1))"
echo
# The report is the last block of standard output; progress lines end in carriage returns.
tr '\r' '\n' <"$work/stdout.txt" | sed -n '/Time Statistics/,$p'
