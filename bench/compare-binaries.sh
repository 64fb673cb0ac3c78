#!/usr/bin/env bash
# Runs two builds of the program one after the other on the same generated matrices and
# settings, and prints their times, CPU, peak memory and per-stage times side by side, with
# whether they wrote the same bytes.
#
# Usage: bench/compare-binaries.sh OLD_BINARY NEW_BINARY [case...]
#   cases: small, large, bigbin (see bench/cases.sh); default all of them
# Environment:
#   OMP_NUM_THREADS  threads of both programs (default 2)
#   GENERATOR        as for bench/golden-sums.sh
#   KEEP=1           keep the runs (build/bench-runs/compare-*/<case>/{old,new}); they are kept
#                    anyway when a run fails or the outputs differ
# Exit status 1 when a run failed or the outputs differ.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/cases.sh

if [[ $# -lt 2 ]]; then
  echo "usage: $0 OLD_BINARY NEW_BINARY [case...] (cases: ${bench_cases[*]})" >&2
  exit 2
fi
old=$1 new=$2
shift 2
for binary in "$old" "$new"; do
  [[ -x $binary ]] || { echo "$binary is not an executable" >&2; exit 2; }
done
cases=("$@")
[[ ${#cases[@]} -gt 0 ]] || cases=("${bench_cases[@]}")
bench_check_cases "${cases[@]}"

export OMP_NUM_THREADS=${OMP_NUM_THREADS:-2}
echo "old: $old"
echo "new: $new"
echo "OMP_NUM_THREADS=$OMP_NUM_THREADS, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

# Every table of the old run must be in the new one, byte for byte. Files only the new binary
# writes are new tables; execution_description.ini holds the date and host, report.html the
# stage times, and application_settings.ini gains a section for each new settings section (golden-sums.sh
# checks it against the sums of the current program).
same_outputs() {
  local file
  for file in $(ls "$1/out"); do
    [[ $file == execution_description.ini || $file == report.html || $file == application_settings.ini ]] && continue
    cmp -s "$1/out/$file" "$2/out/$file" || return 1
  done
}

bench_make_runs_dir compare
summary=$bench_runs/summary.tsv stages=$bench_runs/stages.tsv
failed=0
for name in "${cases[@]}"; do
  bench_prepare_case "$name" >/dev/null
  base=$bench_runs/$name
  walls=() rows=() case_failed=0
  for label in old new; do
    binary=$old
    [[ $label == new ]] && binary=$new
    echo "running $label on $name ($(bench_case_options "$name"), bins $(bench_case_bins "$name"))" >&2
    status=0
    bench_run_case "$name" "$binary" "$base/$label" || status=$?
    read -r wall cpu rss <<<"$(bench_time_figures "$base/$label/time.txt")"
    walls+=("$wall")
    if [[ $status -ne 0 ]]; then
      echo "$label exited with status $status; $base/$label/stderr.txt:" >&2
      tail -n 5 "$base/$label/stderr.txt" >&2
      failed=1 case_failed=1
      wall="failed($status)"
    fi
    rows+=("$name"$'\t'"$label"$'\t'"$wall"$'\t'"$cpu"$'\t'"$rss")
    bench_stage_times "$base/$label" | sed "s/^/$name\t$label\t/" >>"$stages"
  done
  identical=no
  [[ $case_failed -eq 0 ]] && same_outputs "$base/old" "$base/new" && identical=yes
  [[ $identical == yes ]] || { bench_keep_runs; failed=1; }
  ratio=$(awk -v o="${walls[0]}" -v n="${walls[1]}" 'BEGIN { if (n > 0) printf "%.2f", o / n; else print "-" }')
  printf '%s\n' "${rows[0]}" >>"$summary"
  printf '%s\t%s\t%s\n' "${rows[1]}" "$identical" "$ratio" >>"$summary"
done

echo
awk -F'\t' '
  BEGIN { printf "%-8s %-7s %12s %9s %9s %10s %9s\n", "case", "binary", "wall_s", "cpu_s", "rss_MB", "identical", "old/new" }
  { printf "%-8s %-7s %12s %9s %9s %10s %9s\n", $1, $2, $3, $4, $5, $6, $7 }' "$summary"

# Stage times (see bench_stage_times), in the order of the old binary's report.
echo
awk -F'\t' '
  { key = $1 SUBSEP $3; if (!(key in seen)) { seen[key] = 1; order[++n] = key; cs[n] = $1; st[n] = $3 } t[key, $2] = $4 }
  END {
    printf "%-8s %-48s %7s %7s\n", "case", "stage", "old_s", "new_s"
    for (i = 1; i <= n; i++) {
      k = order[i]
      printf "%-8s %-48s %7s %7s\n", cs[i], st[i], ((k, "old") in t) ? t[k, "old"] : "-", ((k, "new") in t) ? t[k, "new"] : "-"
    }
  }' "$stages"
exit "$failed"
