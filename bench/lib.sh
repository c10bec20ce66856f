# shellcheck shell=bash
# The parts the benchmark scripts share; sourced by them, not run. A script sets bench_name, sources
# this file and calls bench_init with its arguments before anything else.
#
# Measurements: bench_measure KIND COMMAND... runs the command under GNU time and keeps its wall
# time, CPU time (user + system) and peak memory (maximum resident set size, which GNU time takes
# from wait4 and which covers the command's children) under KIND; bench_median and bench_peak read
# them back. Scripts alternate their kinds run by run, so that a slow spell of the machine falls on
# all of them, and report medians.

bench_fail() {
  echo "${bench_name:-bench}: $*" >&2
  exit 2
}

# bench_init [BUILD_DIR]: sets bench_root, bench_build, runs (RUNS, default 3), and work, a
# temporary folder removed on exit that also holds HOME and the XDG folders, so that no program
# run here reads or changes the user's settings.
bench_init() {
  bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  local build=${1:-$bench_root/build}
  [ -d "$build" ] || bench_fail "no build folder $build; build first (bash scripts/build)"
  bench_build=$(cd "$build" && pwd)
  runs=${RUNS:-3}
  [[ $runs =~ ^[1-9][0-9]*$ ]] || bench_fail "RUNS takes a number of runs, not '$runs'"
  [ -x /usr/bin/time ] || bench_fail "needs GNU time (/usr/bin/time, Debian package time)"
  work=$(mktemp -d "${TMPDIR:-/tmp}/korvi-bench-XXXXXX")
  trap 'rm -rf "$work"' EXIT
  # An interrupted run still removes its files, which are large.
  trap 'exit 130' INT TERM
  mkdir -p "$work/home" "$work/config" "$work/data" "$work/cache" "$work/runtime" "$work/results"
  chmod 700 "$work/runtime"
  export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
  export XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime
  # The rips sum their tracks for AccurateRip as always; the answer comes at once from a closed
  # local port instead of the network, which would time the network.
  export KORVI_ACCURATERIP_SERVER=127.0.0.1:9
  # Likewise the lookups of titles.
  export KORVI_MUSICBRAINZ_SERVER=http://127.0.0.1:9
  cli=$bench_build/src/cli/korvi-cli
  make_image=$bench_build/tests/fixtures/make-disc-image
}

# bench_need FILE...: the build's programs and modules that the script runs.
bench_need() {
  local file
  for file in "$@"; do
    [ -e "$file" ] || bench_fail "$file is missing; build first (bash scripts/build)"
  done
}

# bench_need_tool TOOL...: programs from the system.
bench_need_tool() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || bench_fail "needs $tool (bash scripts/install-deps)"
  done
}

# bench_jobs_args N: korvi-cli's arguments for N encoders, one a line; none for an empty N (its
# default, one per core).
bench_jobs_args() {
  [ -n "$1" ] && printf '%s\n' --jobs "$1"
  return 0
}

# bench_measure KIND COMMAND...: one measured run. The command's standard output goes to
# $work/KIND.out, or to the file BENCH_STDOUT names; a failing command ends the script with its
# error output.
bench_measure() {
  local kind=$1
  shift
  local out=${BENCH_STDOUT:-$work/$kind.out}
  if ! /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >"$out" 2>"$work/$kind.err"; then
    cat "$work/$kind.err" >&2
    echo "$bench_name: failed: $*" >&2
    exit 1
  fi
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time.txt" >>"$work/results/$kind"
}

# bench_record KIND WALL CPU PEAK_KIB: a run measured some other way.
bench_record() { echo "$2 $3 $4" >>"$work/results/$1"; }

# bench_median KIND wall|cpu: the median over the runs of KIND.
bench_median() {
  local column
  case $2 in
    wall) column=1 ;;
    cpu) column=2 ;;
    *) column=$2 ;;
  esac
  awk -v c="$column" '{ print $c }' "$work/results/$1" | bench_median_of
}

# The median of the numbers on standard input, one a line.
bench_median_of() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) exit 1; m = int((NR + 1) / 2);
    printf "%.3f\n", (NR % 2 ? v[m] : (v[m] + v[m + 1]) / 2) }'
}

# bench_peak KIND: the largest peak memory of the runs of KIND, in KiB.
bench_peak() { awk '$3 > m { m = $3 } END { print m + 0 }' "$work/results/$1"; }
bench_peak_mb() { awk -v k="$(bench_peak "$1")" 'BEGIN { printf "%.1f", k / 1024 }'; }

bench_ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else printf "n/a" }'; }

# bench_line LABEL KIND: the medians and the peak memory of one kind.
bench_line() {
  printf '  %-24s wall %8.2f s   cpu %8.2f s   peak memory %6s MB\n' "$1" "$(bench_median "$2" wall)" \
    "$(bench_median "$2" cpu)" "$(bench_peak_mb "$2")"
}

# bench_make_disc [SECONDS...]: writes $work/disc.cue over $work/disc.bin with tracks of these
# lengths; without any, those of TRACKS ("370 370 ..."), else the 74-minute disc of twelve tracks
# of 370 s. Sets ranges (each track's "first last" sector) and sectors (their sum) from korvi-cli's
# table of contents.
bench_make_disc() {
  local lengths=("$@") i begin end
  [ ${#lengths[@]} -eq 0 ] && read -r -a lengths <<<"${TRACKS:-}"
  if [ ${#lengths[@]} -eq 0 ]; then
    for i in {1..12}; do lengths+=(370); done
  fi
  "$make_image" "$work/disc.cue" "${lengths[@]}" || bench_fail "could not write the disc image"
  mapfile -t ranges < <("$cli" toc "$work/disc.cue" | awk -F'\t' 'NF == 4 { print $3, $4 }')
  [ ${#ranges[@]} -eq ${#lengths[@]} ] || bench_fail "korvi-cli toc lists ${#ranges[@]} tracks, not ${#lengths[@]}"
  sectors=0
  for i in "${!ranges[@]}"; do
    read -r begin end <<<"${ranges[$i]}"
    sectors=$((sectors + end - begin + 1))
  done
}

# bench_audio_length SECTORS: as m:ss.
bench_audio_length() { awk -v s="$1" 'BEGIN { printf "%d:%02d", s / 75 / 60, (s / 75) % 60 }'; }

# bench_warm FILE...: reads the files once, so that every measured run finds them in the page
# cache (dropping the cache instead would need root).
bench_warm() { cat "$@" >/dev/null; }

# bench_fresh_dir DIR: an empty output folder before a run, and the data of earlier runs on the
# disk, so that neither their deletion nor their write-back falls into the run.
bench_fresh_dir() {
  rm -rf "$1"
  mkdir -p "$1"
  sync
}

bench_load() { cut -d' ' -f1-3 /proc/loadavg; }
