#!/usr/bin/env bash
# Runs an MPI build of varnosk on one case at several numbers of ranks, each rank under
# /usr/bin/time, and prints per run the wall time, every rank's peak RSS and CPU time, and
# whether every table is identical to the first run's (and to the recorded golden sums).
# Usage: bench/mpi-ranks.sh BINARY CASE NP [NP...]
# OMP_NUM_THREADS (default 1) is the threads per rank; KEEP=1 keeps the run folders.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/cases.sh

if [[ $# -lt 3 ]]; then
  echo "usage: bench/mpi-ranks.sh BINARY CASE NP [NP...]" >&2
  exit 2
fi
binary=$(realpath "$1")
name=$2
shift 2
bench_check_cases "$name"
threads=${OMP_NUM_THREADS:-1}
launcher=(mpirun -q --oversubscribe --bind-to none)
[[ $(id -u) == 0 ]] && launcher+=(--allow-run-as-root)

bench_make_runs_dir "mpi-$name"
matrix=$(bench_prepare_case "$name")
golden=$(awk -v c="$name" '$1 == c && $2 != "matrix.tsv" { print $2, $3 }' bench/golden-sums.txt)

reference=""
status=0
printf 'case %s, %s thread(s) per rank, binary %s\n' "$name" "$threads" "$binary"
printf '%-4s %9s %10s %8s  %s\n' ranks "wall (s)" identical tables "per rank: peak RSS (MB), CPU (s)"
for np in "$@"; do
  run=$bench_runs/np$np
  mkdir -p "$run/out"
  ln -s "$(realpath "$matrix")" "$run/matrix.tsv"
  bench_write_settings matrix.tsv out "$(bench_case_bins "$name")" true true >"$run/settings.ini"
  start=$(date +%s.%N)
  # Each rank writes its own figures; Open MPI names the rank in the environment.
  (cd "$run" && OMP_NUM_THREADS=$threads "${launcher[@]}" -x OMP_NUM_THREADS -np "$np" sh -c \
    'exec /usr/bin/time -f "$OMPI_COMM_WORLD_RANK %M %U %S" -o "time.$OMPI_COMM_WORLD_RANK.txt" "$0" settings.ini' \
    "$binary" >stdout.txt 2>stderr.txt) || {
    echo "np $np failed: see $run/stderr.txt" >&2
    bench_keep_runs
    status=1
    continue
  }
  wall=$(echo "$(date +%s.%N) - $start" | bc)
  sums=$(bench_table_sums "$run")
  [[ -z $reference ]] && reference=$sums
  identical=no
  if [[ $sums == "$reference" ]]; then identical=yes; fi
  if [[ -n $golden && $sums != "$golden" ]]; then identical="no (golden)"; fi
  [[ $identical == yes ]] || {
    bench_keep_runs
    status=1
  }
  ranks=$(cat "$run"/time.*.txt | sort -n | awk '{ printf "%s%d: %.1f, %.1f", (NR > 1 ? "; " : ""), $1, $2 * 1024 / 1e6, $3 + $4 }')
  # a digest of every table's sum, to compare runs of separate invocations
  printf '%-4s %9.1f %10s %8s  %s\n' "$np" "$wall" "$identical" "$(sha256sum <<<"$sums" | cut -c1-8)" "$ranks"
  # the root's stages that took a second or more, and what the run found
  printf '     stages (s): %s\n' "$(bench_stage_times "$run" | awk -F'\t' '$2 >= 1 { printf "%s%s %g", (n++ ? ", " : ""), $1, $2 }')"
  printf '     found: %s\n' "$(tr '\r' '\n' <"$run/stdout.txt" | grep -E '^Done\. .*(genes remaining|bins|seeds created|core seeds)' |
    sed 's/^Done\. //; s/\.$//' | paste -sd ';' | sed 's/;/; /g')"
done
exit "$status"
