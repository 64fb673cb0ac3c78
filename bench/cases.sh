# shellcheck shell=bash
# Sourced by the bench scripts: the generated test cases, the settings they run with, and
# running one binary on one case. Run from the repository root.

# Order in which the cases run when none is named.
bench_cases=(small large bigbin)

# Generator options of each case. By default the generator puts every species in 15% to 50%
# of the samples (at least a quarter): bigbin gets its single huge bin from turning bins off on
# a matrix of two species with little noise. everywhere is the same with both species present
# in every sample, so that nearly every pair of the bin is co-detected and about half of them
# (47%) join two genes of one species.
bench_case_options() {
  case $1 in
    small) echo "--genes 20000 --samples 100 --species 20 --seed 1" ;;
    large) echo "--genes 200000 --samples 200 --species 100 --seed 1" ;;
    bigbin) echo "--genes 40000 --samples 200 --species 2 --noise-fraction 0.05 --seed 1" ;;
    # run only when named, as million
    everywhere) echo "--genes 40000 --samples 200 --species 2 --noise-fraction 0.05 --prevalence 1 --seed 1" ;;
    # a catalogue-sized case, run only when named (about 1 GB of text)
    million) echo "--genes 1000000 --samples 400 --species 300 --seed 1" ;;
    # species in 10% to 90% of the samples, as common species of real cohorts (raised to a
    # quarter at least): every representative meets most genes in MSP creation
    wide) echo "--genes 200000 --samples 200 --species 100 --prevalence-range 0.1:0.9 --seed 1" ;;
    # the same at catalogue size, run only when named
    wide-million) echo "--genes 1000000 --samples 400 --species 300 --prevalence-range 0.1:0.9 --seed 1" ;;
    # two abundant species in every sample, counts of low dispersion: nearly every pair of a
    # species is co-abundant, in one bin of some 42,000 genes (about 100 reads a gene and sample)
    abundant) echo "--genes 42000 --samples 200 --species 2 --noise-fraction 0.05 --prevalence 1 --abundance-sd 0.3 --level-sd 0 --dispersion 0.05 --depth 85 --seed 1" ;;
    # one bin of genes with one profile (duplicated genes of a catalogue): every pair ties
    identical) echo "--genes 1 --samples 200 --species 1 --noise-fraction 0 --prevalence 1 --duplicates 2999 --seed 1" ;;
    identical-10k) echo "--genes 1 --samples 200 --species 1 --noise-fraction 0 --prevalence 1 --duplicates 9999 --seed 1" ;;
    # the pan-genome of one abundant species in one bin of 100,000 genes, run only when named
    pangenome) echo "--genes 100000 --samples 200 --species 1 --noise-fraction 0 --prevalence 1 --abundance-sd 0.3 --level-sd 0 --dispersion 0.05 --depth 85 --seed 1" ;;
    *) return 1 ;;
  esac
}

bench_case_bins() {
  case $1 in
    bigbin | everywhere | abundant | identical | identical-10k | pangenome) echo false ;;
    *) echo true ;;
  esac
}

# Every file the program writes whose bytes depend only on input and settings
# (execution_description.ini holds the date and host).
bench_tables=(genes_filtered_out.tsv genes_bins.tsv all_seeds.tsv all_merged_seeds.tsv all_core_seeds.tsv
  all_msps.tsv msp_abundance.tsv msp_relative_abundance.tsv msp_summary.tsv application_settings.ini)

bench_check_cases() {
  local name
  for name in "$@"; do
    bench_case_options "$name" >/dev/null || {
      echo "unknown case '$name' (cases: ${bench_cases[*]})" >&2
      return 2
    }
  done
}

# The example's thresholds.
# Usage: bench_write_settings MATRIX OUTPUT_DIR BINS_ENABLED PRINT_GENES_BINS PRINT_SEEDS >settings.ini
bench_write_settings() {
  cat <<EOF
[input]
count_matrix_file = $1
count_matrix_has_header = true

[genes_comparison]
detection_limit = 6
min_prevalence = 3
min_prevalence_for_outliers = 5
max_outliers_fraction = 0.1

[genes_bins_creation]
enabled = $3
normalize_counts = true

[seeds_creation]
num_best_representative_genes = 15
min_concordance = 0.85
min_seed_size = 20

[seeds_merging]
min_concordance = 0.85
min_seed_size = 30

[msp_creation]
min_concordance = 0.85
min_robust_concordance = 0.9

[output]
output_dir = $2
print_genes_bins = $4
print_seeds = $5
EOF
}

# Builds varnosk and varnosk-generate, optimised, into DIR unless both are there.
bench_ensure_built() {
  local dir=$1
  if [[ ! -x $dir/varnosk || ! -x $dir/varnosk-generate ]]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVARNOSK_BUILD_TESTS=OFF >/dev/null
    cmake --build "$dir" --target varnosk varnosk-generate -j "$(nproc)" >&2
  fi
}

bench_generator() {
  if [[ -n ${GENERATOR:-} ]]; then
    echo "$GENERATOR"
  else
    bench_ensure_built build/release
    echo build/release/varnosk-generate
  fi
}

bench_data_dir=build/bench-data

# A new folder for one invocation's runs, so that scripts running at the same time never share
# one; removed at exit unless KEEP=1 or bench_keep_runs was called (a failure or a difference).
bench_make_runs_dir() {
  mkdir -p build/bench-runs
  bench_runs=$(mktemp -d "build/bench-runs/$1-XXXXXX")
  bench_keep=${KEEP:-0}
  trap 'if [[ $bench_keep == 1 ]]; then echo "runs kept in $bench_runs" >&2; else rm -rf "$bench_runs"; fi' EXIT
}
bench_keep_runs() { bench_keep=1; }

# Generates the case's matrix unless a copy made with the same options is cached; prints its path.
bench_prepare_case() {
  local name=$1 dir=$bench_data_dir/$1 options generator
  options=$(bench_case_options "$name")
  if [[ -f $dir/matrix.tsv && -f $dir/options.txt && $(<"$dir/options.txt") == "$options" ]]; then
    echo "$dir/matrix.tsv"
    return
  fi
  generator=$(bench_generator)
  mkdir -p "$dir"
  rm -f "$dir/options.txt"
  echo "generating $name: varnosk-generate $options" >&2
  # Renamed into place so that a run reading the matrix, or another generating it, never sees
  # a partial file; options.txt is written last, so an interrupted generation is redone.
  # shellcheck disable=SC2086 # options are words
  "$generator" $options --out "$dir/matrix.tsv.$$" >"$dir/generate.txt"
  mv "$dir/matrix.tsv.$$" "$dir/matrix.tsv"
  echo "$options" >"$dir/options.txt"
  echo "$dir/matrix.tsv"
}

# Runs BINARY on the case in a fresh RUN_DIR, under /usr/bin/time -v, with the paths in the
# settings relative to the run folder (matrix.tsv, out) so that application_settings.ini is the
# same wherever the run folder is. Returns the program's exit status.
# Usage: bench_run_case NAME BINARY RUN_DIR
bench_run_case() {
  local name=$1 binary=$2 run=$3 matrix bins status=0
  matrix=$(bench_prepare_case "$name")
  [[ $binary == */* ]] || binary=$(command -v "$binary")
  binary=$(realpath "$binary")
  rm -rf "$run"
  mkdir -p "$run/out"
  ln -s "$(realpath "$matrix")" "$run/matrix.tsv"
  bins=$(bench_case_bins "$name")
  bench_write_settings matrix.tsv out "$bins" true true >"$run/settings.ini"
  (cd "$run" && OMP_NUM_THREADS=${OMP_NUM_THREADS:-2} /usr/bin/time -v -o time.txt "$binary" settings.ini \
    >stdout.txt 2>stderr.txt) || status=$?
  return "$status"
}

# Prints "FILE SHA256" for every table in the run's output, "absent" for one not written.
bench_table_sums() {
  local out=$1/out file
  for file in "${bench_tables[@]}"; do
    if [[ -f $out/$file ]]; then
      echo "$file $(sha256sum <"$out/$file" | cut -d' ' -f1)"
    else
      echo "$file absent"
    fi
  done
}

# Wall seconds, user+system CPU seconds and peak RSS in MB (10^6 bytes) from a time -v report.
bench_time_figures() {
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, p, ":"); wall = 0; for (i = 1; i <= n; i++) wall = wall * 60 + p[i] }
    /User time \(seconds\)/ { cpu += $2 }
    /System time \(seconds\)/ { cpu += $2 }
    /Maximum resident set size/ { rss = $2 * 1024 / 1e6 }
    END { printf "%.2f %.2f %.1f\n", wall, cpu, rss }' "$1"
}

# "<stage>\t<seconds>" for each stage of a run folder: from report.html's stage bars, to six
# significant digits where the bars carry data-seconds, else from their labels (two
# significant figures), else from the Time Statistics report on standard output (whole seconds).
bench_stage_times() {
  local run=$1
  if [[ -f $run/out/report.html ]] && grep -q 'class="stage-bar"' "$run/out/report.html"; then
    grep -o '<g class="stage-bar"[^>]*><text[^>]*>[^<]*</text><rect[^>]*/><text[^>]*>[^<]*</text>' "$run/out/report.html" |
      sed -E 's/^<g class="stage-bar"( data-seconds="([^"]*)")?><text[^>]*>([^<]*)<\/text><rect[^>]*\/><text[^>]*>([^<]*)<\/text>$/\3\t\2\t\4/' |
      awk -F'\t' '{
        seconds = $2
        if (seconds == "") {
          n = split($3, p, " ")
          seconds = (n == 4) ? p[1] * 60 + p[3] : p[1]
        }
        printf "%s\t%s\n", $1, seconds
      }'
    return
  fi
  tr '\r' '\n' <"$run/stdout.txt" | sed -n '/^Time Statistics:/,$p' |
    sed -n 's/^\(.*\): \([0-9][0-9]*\) min \([0-9][0-9]*\) sec$/\1\t\2\t\3/p' |
    awk -F'\t' '{ printf "%s\t%d\n", $1, $2 * 60 + $3 }'
}
