#!/usr/bin/env bash
# Start-up time and memory of the kestu program under a virtual X server.
#
#   bench/startup_bench.sh [BIN_DIR] [--screenshot FILE.png]
#
# 1. Start-up: runs kestu RUNS times (default 5) with KESTU_STARTUP_PROBE=1,
#    which prints the time from process start until the login window is on
#    screen (splash included) and ends at once. Target: under 1500 ms.
# 2. Memory: logs a participant in, sets the fastest speed, sets up and starts
#    a trial, lets it run TRIAL_SECONDS (default 10) and reads the peak resident
#    memory (VmHWM). Target: under 120 MB.
# Everything runs on a copy of the program in a temporary folder with a new
# database, so the build folder's KESTU.MDB is never touched.
set -euo pipefail

bin_dir=build/bin
screenshot=
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshot) screenshot=$(realpath -m "$2"); shift 2 ;;
    *) bin_dir=$1; shift ;;
  esac
done
runs=${RUNS:-5}
trial_seconds=${TRIAL_SECONDS:-10}
for tool in Xvfb xdotool sqlite3; do
  command -v "$tool" >/dev/null || { echo "startup_bench: $tool is needed" >&2; exit 2; }
done

work=$(mktemp -d)
xvfb_pid=
kestu_pid=
cleanup() {
  [ -n "$kestu_pid" ] && kill "$kestu_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cp "$bin_dir/kestu" "$work/"
"$bin_dir/kestu-initdb" "$work/KESTU.MDB" >/dev/null
sqlite3 "$work/KESTU.MDB" \
  "INSERT INTO UserData (UserID, FirstName, LastName, SchoolYear, Major, Age, Sex) VALUES ('bench', 'B', 'B', 'Other', 'Other', '30', 'Female');"

display=:$((100 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
unset QT_QPA_PLATFORM

echo "== start-up: process start to login window shown (splash included), $runs runs"
times=()
for i in $(seq "$runs"); do
  started=$(date +%s%N)
  line=$(KESTU_STARTUP_PROBE=1 "$work/kestu" | grep 'login window shown' || true)
  ended=$(date +%s%N)
  ms=$(echo "$line" | grep -o '[0-9]\+ ms' | grep -o '[0-9]\+' || echo "?")
  times+=("$ms")
  echo "run $i: $ms ms to the login window; process ran $(( (ended - started) / 1000000 )) ms in all"
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
echo "median: $median ms (target < 1500 ms)"

echo "== memory: simulation window open, trial running ${trial_seconds} s at the fastest speed"
"$work/kestu" >/dev/null 2>&1 &
kestu_pid=$!
focus() { # no window manager: keys go to the window under the pointer
  local id
  id=$(xdotool search --sync --onlyvisible --name "$1" | head -1)
  xdotool mousemove --window "$id" 20 20
  sleep 0.3
}
focus '^Login$'
xdotool type --delay 30 bench
xdotool key Return
focus '^Simulator Options$'
xdotool key Tab Home Return
# The window opens at its design size, 15 twips per pixel: Setup lies at
# twips (10530, 4357), "Start Simulation" at (10530, 4897).
sim=$(xdotool search --sync --onlyvisible --name '^Kestu Simulation$' | head -1)
xdotool mousemove --window "$sim" 702 290 click 1
sleep 0.5
xdotool mousemove --window "$sim" 702 326 click 1
sleep "$trial_seconds"
[ -n "$screenshot" ] && import -window root "$screenshot" && echo "screenshot: $screenshot"
peak=$(awk '/VmHWM/ {print $2}' "/proc/$kestu_pid/status")
echo "peak resident memory: $((peak / 1024)) MB (target < 120 MB)"
kill "$kestu_pid"
wait "$kestu_pid" 2>/dev/null || true
kestu_pid=
