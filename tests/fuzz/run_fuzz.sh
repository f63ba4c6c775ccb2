#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for a
# bounded time on a scratch copy of its seed corpus and regression inputs
# under build-fuzz/runs/, so no tracked file is ever written to. Prints the
# executions per target and exits non-zero when a target found a fault (a
# crash, a failed property, a sanitizer report, a hang or running out of memory).
#
# Usage: tests/fuzz/run_fuzz.sh [SECONDS] [TARGET...]
#   SECONDS  how long each target runs (default 300)
#   TARGET   log_reader snapshot scenario_csv number_text outbox study_ini (default all)
# Environment:
#   FUZZ_JOBS       targets run at once (default: the number of cores)
#   FUZZ_BUILD_DIR  where to build (default build-fuzz at the top)
#
# Without clang or its libFuzzer runtime it says so and exits 0.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
seconds=${1:-300}
[[ $# -gt 0 ]] && shift
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(log_reader snapshot scenario_csv number_text outbox study_ini)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 1)}

if ! [[ $seconds =~ ^[0-9]+$ ]] || [[ $seconds -eq 0 ]]; then
  echo "fuzz: SECONDS must be a whole number above 0, not \"$seconds\"" >&2
  exit 2
fi

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is not installed; the fuzz targets are skipped (scripts/install-deps.sh installs clang)"
  exit 0
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" >"$probe/log" 2>&1; then
  echo "fuzz: clang++ cannot link libFuzzer programs (libclang-rt-14-dev missing?); the fuzz targets are skipped"
  exit 0
fi

echo "== fuzz: building the targets in $build"
cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >"$probe/configure.log" 2>&1 ||
  { cat "$probe/configure.log"; echo "fuzz: configuring failed" >&2; exit 1; }
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 1)" >"$probe/build.log" 2>&1 ||
  { cat "$probe/build.log"; echo "fuzz: building failed" >&2; exit 1; }

# One target: a fresh scratch corpus (seeds and regression inputs; libFuzzer
# adds what it finds there), crashes kept beside it, the log and exit status
# written for the summary.
run_one() {
  local target=$1 work=$build/runs/$1
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/crashes"
  cp "$here/corpus/$target"/* "$work/corpus/" 2>/dev/null
  if [[ -d $here/regressions/$target ]]; then
    find "$here/regressions/$target" -maxdepth 1 -type f ! -name '.*' -exec cp {} "$work/corpus/" \;
  fi
  local dict=()
  [[ -f $here/dict/$target.dict ]] && dict=(-dict="$here/dict/$target.dict")
  # Files a target writes go to a scratch folder (in memory where there is
  # /dev/shm) that goes away afterwards, crash or not.
  local scratch
  scratch=$(mktemp -d -p "$([[ -d /dev/shm ]] && echo /dev/shm || echo "$work")" kestu-fuzz-XXXXXX)
  # scenario_csv opens six files an input, each stream buffer a fresh
  # allocation; with AddressSanitizer's default 256 MB quarantine most of the
  # time goes to faulting in new pages. A use after free still shows within one input.
  local asan=${ASAN_OPTIONS:-}
  [[ $target == scenario_csv ]] && asan=${ASAN_OPTIONS:-quarantine_size_mb=32}
  TMPDIR=$scratch ASAN_OPTIONS=$asan "$build/fuzz_$target" "$work/corpus" "${dict[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/crashes/" >"$work/log" 2>&1
  echo $? >"$work/status"
  rm -rf "$scratch"
}

echo "== fuzz: ${targets[*]} for ${seconds}s each, $jobs at a time"
running=0
for target in "${targets[@]}"; do
  if [[ ! -x $build/fuzz_$target ]]; then
    echo "fuzz: no target \"$target\"" >&2
    exit 2
  fi
  run_one "$target" &
  running=$((running + 1))
  if [[ $running -ge $jobs ]]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

stat() { grep -m1 "^stat::$2:" "$1" | awk '{print $2}'; }
failed=0
printf '\n%-14s %-8s %12s %9s %9s\n' target result executions exec/s new_units
for target in "${targets[@]}"; do
  work=$build/runs/$target
  status=$(cat "$work/status" 2>/dev/null || echo 1)
  result=ok
  [[ $status -eq 0 ]] || { result=FAULT; failed=1; }
  printf '%-14s %-8s %12s %9s %9s\n' "$target" "$result" "$(stat "$work/log" number_of_executed_units)" \
    "$(stat "$work/log" average_exec_per_sec)" "$(stat "$work/log" new_units_added)"
done
for target in "${targets[@]}"; do
  work=$build/runs/$target
  [[ $(cat "$work/status" 2>/dev/null || echo 1) -eq 0 ]] && continue
  echo
  echo "== fuzz: $target found a fault; the end of its log ($work/log):"
  tail -n 40 "$work/log"
  for crash in "$work/crashes"/*; do
    [[ -e $crash ]] || continue
    echo "input: $crash"
    saved=""
    for regression in "$here/regressions/$target"/*; do
      [[ -f $regression ]] && cmp -s "$crash" "$regression" && saved=$regression
    done
    if [[ -n $saved ]]; then
      echo "  the saved regression input $saved still fails"
    else
      echo "  keep it as a regression: cp '$crash' '$here/regressions/$target/<what it shows>'"
    fi
  done
done
exit $failed
