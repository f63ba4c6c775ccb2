#!/usr/bin/env bash
# Times the first build a new developer meets: a fresh clone of COMMIT
# (default HEAD), then `make run` without ccache until the login window is on
# screen (offscreen; the program ends there as a Cancel at the login would).
# Prints one line: the commit, the wall time, the CPU time of the build and
# the machine's load average when it started.
#   scripts/time-first-build.sh [COMMIT]
set -euo pipefail
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
commit=$(git -C "$source_dir" rev-parse "${1:-HEAD}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git clone --quiet --no-hardlinks "$source_dir" "$work/kestu"
git -C "$work/kestu" checkout --quiet "$commit"
load=$(cut -d' ' -f1-3 /proc/loadavg)
start=$(date +%s.%N)
export CCACHE_DISABLE=1 QT_QPA_PLATFORM=offscreen KESTU_STARTUP_PROBE=1
unset CMAKE_CXX_COMPILER_LAUNCHER
if ! output=$(cd "$work/kestu" && /usr/bin/time -f '%U %S' -o "$work/cpu" make run 2>&1); then
  printf '%s\n' "$output" | tail -20 >&2
  echo "time-first-build: make run failed" >&2
  exit 1
fi
end=$(date +%s.%N)
grep -q 'login window shown' <<<"$output" || { printf '%s\n' "$output" | tail -20 >&2; echo "time-first-build: the login window never showed" >&2; exit 1; }
read -r user sys <"$work/cpu"
printf '%s wall %.1f s, cpu %.1f s, load at start %s\n' "${commit:0:7}" "$(echo "$end - $start" | bc)" \
  "$(echo "$user + $sys" | bc)" "$load"
