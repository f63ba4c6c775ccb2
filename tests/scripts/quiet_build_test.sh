#!/usr/bin/env bash
# scripts/quiet-build.sh shows each finished target while the build goes on:
# a stand-in cmake prints a target, then waits for the test to see that line
# before it finishes the next. Each target is shown once; a failing build
# shows its errors and passes on its exit status.
#   quiet_build_test.sh SOURCE_DIR
set -uo pipefail
source_dir=${1:?usage: quiet_build_test.sh SOURCE_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mkdir -p "$work/bin"
cat >"$work/bin/cmake" <<'STANDIN'
#!/usr/bin/env bash
# Configuring succeeds at once; a build prints its targets as the test lets it.
[[ $1 == --build ]] || exit 0
echo "[ 10%] Building CXX object first.o"
echo "[ 20%] Built target first"
echo "[ 20%] Built target first"
for _ in $(seq 600); do [[ -e $WORK/go ]] && break; sleep 0.05; done
[[ -e $WORK/go ]] || { echo "the test never saw the first target" >&2; exit 3; }
if [[ -e $WORK/fail ]]; then
  echo "second.cpp:1:1: error: expected something"
  exit 2
fi
echo "[100%] Built target second"
STANDIN
chmod +x "$work/bin/cmake"
export PATH="$work/bin:$PATH" WORK="$work"

run_build() {
  (cd "$work" && bash "$source_dir/scripts/quiet-build.sh" out >"$work/shown" 2>"$work/errors"; echo $? >"$work/status") &
}
wait_for() {  # wait_for FILE PATTERN: up to 10 s
  for _ in $(seq 200); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.05; done
  return 1
}

# The first target shows while the build still waits for the second.
run_build
if wait_for "$work/shown" 'Built target first'; then
  [[ ! -e $work/status ]] || fail "the build had ended before its first target was shown"
else
  fail "the first target was not shown while the build went on"
fi
touch "$work/go"
wait
[[ $(cat "$work/status") == 0 ]] || fail "a build that succeeded ended with $(cat "$work/status"): $(cat "$work/errors")"
expected=$'Built target first\nBuilt target second'
[[ $(cat "$work/shown") == "$expected" ]] || fail "shown: [$(cat "$work/shown")], expected each target once, in order"
grep -q 'Building CXX object first.o' "$work/out/build.log" || fail "the whole output is not in build.log"

# A failing build: its error is shown and its status passed on.
rm -f "$work/status" && touch "$work/fail"
run_build
wait
[[ $(cat "$work/status") == 2 ]] || fail "a failed build ended with $(cat "$work/status"), not the build's 2"
grep -q 'error: expected something' "$work/errors" || fail "the failed build's error was not shown"

[[ $failures -eq 0 ]] && echo "quiet-build: all cases passed"
exit $((failures > 0))
