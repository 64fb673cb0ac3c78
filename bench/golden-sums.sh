#!/usr/bin/env bash
# SHA-256 sums of every table the program writes on large generated matrices, recorded once
# from a trusted binary and checked against later ones: the tests' golden tables are small,
# and some faults only show on big inputs (many bins, one huge bin, many threads' worth of work).
#
# Usage: bench/golden-sums.sh record BINARY [case...]   writes the cases' lines of bench/golden-sums.txt
#        bench/golden-sums.sh check BINARY [case...]    OK/DIFFERS per file; exit status 1 on any difference
#   cases: small, large, bigbin (see bench/cases.sh); default all of them
# Environment:
#   OMP_NUM_THREADS  threads of the program (default 2)
#   GENERATOR        varnosk-generate to make missing matrices with (default build/release's, built
#                    there when missing); matrices are cached in build/bench-data
#   KEEP=1           keep the runs' folders (they are kept anyway after a failure or a difference)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/cases.sh

usage() {
  echo "usage: $0 record|check BINARY [case...] (cases: ${bench_cases[*]})" >&2
  exit 2
}
[[ $# -ge 2 ]] || usage
mode=$1 binary=$2
shift 2
[[ $mode == record || $mode == check ]] || usage
[[ -x $binary ]] || { echo "$binary is not an executable" >&2; exit 2; }
cases=("$@")
[[ ${#cases[@]} -gt 0 ]] || cases=("${bench_cases[@]}")
bench_check_cases "${cases[@]}"

sums_file=bench/golden-sums.txt
if [[ $mode == check && ! -f $sums_file ]]; then
  echo "$sums_file is missing: record it first" >&2
  exit 2
fi

bench_make_runs_dir golden
different=0
for name in "${cases[@]}"; do
  run=$bench_runs/$name
  matrix=$(bench_prepare_case "$name")
  echo "== $name: $(bench_case_options "$name"), bins $(bench_case_bins "$name"), OMP_NUM_THREADS=${OMP_NUM_THREADS:-2}"
  status=0
  bench_run_case "$name" "$binary" "$run" || status=$?
  if [[ $status -ne 0 ]]; then
    echo "FAILED: $binary exited with status $status; $run/stderr.txt:" >&2
    tail -n 5 "$run/stderr.txt" >&2
    different=1
    bench_keep_runs
    continue
  fi
  read -r wall cpu rss <<<"$(bench_time_figures "$run/time.txt")"
  echo "ran in $wall s wall, $cpu s CPU, peak RSS $rss MB"
  # The input's sum tells a changed generator apart from a changed program.
  actual=$( (echo "matrix.tsv $(sha256sum <"$matrix" | cut -d' ' -f1)"; bench_table_sums "$run") | sed "s/^/$name /")

  if [[ $mode == record ]]; then
    kept=
    [[ -f $sums_file ]] && kept=$(awk -v c="$name" '$1 != c && !($1 == "#" && $2 == c ":")' "$sums_file")
    {
      [[ -n $kept ]] && echo "$kept"
      echo "# $name: $(basename "$binary"), OMP_NUM_THREADS=${OMP_NUM_THREADS:-2}, varnosk-generate $(bench_case_options "$name"), bins $(bench_case_bins "$name")"
      echo "$actual"
    } >"$sums_file.new"
    mv "$sums_file.new" "$sums_file"
    echo "$actual" | sed 's/^/recorded /'
    continue
  fi

  expected=$(awk -v c="$name" '$1 == c' "$sums_file")
  if [[ -z $expected ]]; then
    echo "no sums recorded for $name in $sums_file" >&2
    different=1
    continue
  fi
  while read -r _ file sum; do
    want=$(awk -v f="$file" '$2 == f { print $3 }' <<<"$expected")
    if [[ $want == "$sum" ]]; then
      echo "OK       $file"
    elif [[ $file == matrix.tsv ]]; then
      echo "DIFFERS  $file (the input itself: the generator changed, so the tables cannot match)"
      different=1
    else
      echo "DIFFERS  $file (recorded ${want:-nothing}, got $sum)"
      different=1
    fi
  done <<<"$actual"
done
[[ $different -eq 0 ]] || bench_keep_runs
exit "$different"
