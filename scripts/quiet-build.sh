#!/usr/bin/env bash
# Configures and builds the given targets (all when none are given) with one
# line per finished target; the full output goes to BUILD_DIR/build.log and
# is shown, errors and all, only when the build fails.
#   quiet-build.sh BUILD_DIR [TARGET...]
set -uo pipefail
build=${1:?usage: quiet-build.sh BUILD_DIR [TARGET...]}
shift
mkdir -p "$build"
log=$build/build.log
if ! cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$log" 2>&1; then
  cat "$log" >&2
  echo "build: configuring failed (the whole output is in $log)" >&2
  exit 1
fi
targets=()
for target in "$@"; do targets+=(--target "$target"); done
# One line per target as it is finished.
cmake --build "$build" -j2 "${targets[@]}" -- --no-print-directory 2>&1 | tee -a "$log" |
  bash "$(dirname "${BASH_SOURCE[0]}")/built-targets.sh"
status=${PIPESTATUS[0]}
if [[ $status -ne 0 ]]; then
  grep -E -A5 'error|Error' "$log" >&2
  echo "build: failed (the whole output is in $log)" >&2
  exit "$status"
fi
