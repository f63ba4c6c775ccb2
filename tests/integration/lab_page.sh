#!/usr/bin/env bash
# Eight seats run trials at the fastest speed (125 ms a tick) with their
# reports on, while `kestuctl serve` watches the study: through HTTP, every
# seat shows with its participant, trial and phase; a seat killed with
# SIGKILL shows silent within 12 s while the others run on.
#
# Usage: lab_page.sh KESTUCTL sqlite
#        lab_page.sh KESTUCTL server ADMIN_URL_FILE
# On the server each seat logs in with a role of its own (a member of
# kestu_seat) and the page with one of kestu_monitor, as a lab sets them up.
set -uo pipefail
kestuctl=$1
backend=$2
work=$(mktemp -d)
name=""
admin=""
roles=()
seat_pids=()
serve_pid=""
cleanup() {
  for pid in "${seat_pids[@]}" $serve_pid; do kill -9 "$pid" 2>/dev/null; done
  wait 2>/dev/null
  if [[ -n $name ]]; then
    psql -qAt "$admin" -c "DROP DATABASE IF EXISTS $name WITH (FORCE)" >/dev/null 2>&1
    for role in "${roles[@]}"; do psql -qAt "$admin" -c "DROP ROLE IF EXISTS $role" >/dev/null 2>&1; done
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "lab_page ($backend): $*" >&2
  [[ -f $work/board.json ]] && { echo "the page's last seats:" >&2; cat "$work/board.json" >&2; echo >&2; }
  for f in "$work"/serve.err "$work"/seat*.err; do [[ -s $f ]] && { echo "== $f" >&2; tail -5 "$f" >&2; }; done
  exit 1
}

if [[ $backend == sqlite ]]; then
  "$kestuctl" init "$work/KESTU.MDB" >/dev/null || fail "init"
  seat_db() { echo "$work/KESTU.MDB"; }
  watch_db=$work/KESTU.MDB
else
  admin=$(cat "$3")
  name=kestu_lab_$$
  psql -qAt "$admin" -c "CREATE DATABASE $name" >/dev/null || fail "cannot create the study's database"
  url=${admin%/*}/$name
  "$kestuctl" init "$url" >/dev/null || fail "init"
  for s in 1 2 3 4 5 6 7 8; do
    roles+=("lab$$seat$s")
    psql -qAt "$admin" -c "CREATE ROLE lab$$seat$s LOGIN IN ROLE kestu_seat" >/dev/null || fail "seat role"
  done
  roles+=("lab$$watch")
  psql -qAt "$admin" -c "CREATE ROLE lab$$watch LOGIN IN ROLE kestu_monitor" >/dev/null || fail "monitor role"
  server=${admin#postgresql://}; server=${server#*@}; server=${server%%/*}
  seat_db() { echo "postgresql://lab$$seat$1@$server/$name"; }
  watch_db="postgresql://lab$$watch@$server/$name"
fi

# fetch PATH: the page's answer at PATH, failing unless it is 200.
fetch() {
  python3 -c 'import sys, urllib.request; sys.stdout.write(urllib.request.urlopen(sys.argv[1], timeout=5).read().decode())' \
    "http://127.0.0.1:$port$1"
}

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$kestuctl" serve "$watch_db" --listen "127.0.0.1:$port" >"$work/serve.out" 2>"$work/serve.err" &
serve_pid=$!
for _ in $(seq 1 100); do
  fetch "/" >/dev/null 2>&1 && break
  kill -0 "$serve_pid" 2>/dev/null || fail "serve stopped"
  sleep 0.1
done

for s in 1 2 3 4 5 6 7 8; do
  mkdir -p "$work/logs$s"
  "$kestuctl" run-trial "$(seat_db $s)" "u$s" --seat "seat-$s" --speed 125 --seed "$s" --logs "$work/logs$s" \
    >"$work/seat$s.out" 2>"$work/seat$s.err" &
  seat_pids+=($!)
done

# board QUERY: runs a Python expression over the page's seats (`seats`, a
# list of dicts) and prints what it prints; fails when the page cannot be read.
board() {
  fetch /snapshot.json >"$work/board.json" 2>/dev/null || return 1
  python3 - "$work/board.json" "$1" <<'PY'
import json, sys
seats = {s["seat"]: s for s in json.load(open(sys.argv[1]))["seats"]}
exec(sys.argv[2])
PY
}

# Every seat running its participant's first trial.
ok=no
for _ in $(seq 1 150); do
  if [[ $(board 'print(all(seats.get("seat-%d" % n, {}).get("user") == "u%d" % n and seats["seat-%d" % n].get("trial") == 1 and seats["seat-%d" % n].get("phase") == "Running" for n in range(1, 9)))') == True ]]; then
    ok=yes; break
  fi
  sleep 0.1
done
[[ $ok == yes ]] || fail "not every seat showed its participant, trial 1 and Running within 15 s"

kill -9 "${seat_pids[2]}"
killed_at=$(date +%s.%N)
silent_after=""
for _ in $(seq 1 140); do
  if [[ $(board 'print("silent" in [a["kind"] for a in seats["seat-3"].get("alarms", [])])') == True ]]; then
    silent_after=$(python3 -c "import time; print(round(time.time() - $killed_at, 1))")
    break
  fi
  sleep 0.1
done
[[ -n $silent_after ]] || fail "seat-3 was not shown silent within 14 s of its kill"
python3 -c "import sys; sys.exit(0 if $silent_after <= 12 else 1)" || fail "seat-3 shown silent only after $silent_after s"
[[ $(board 'print(any("silent" in [a["kind"] for a in seats["seat-%d" % n].get("alarms", [])] for n in (1, 2, 4, 5, 6, 7, 8)))') == False ]] ||
  fail "a seat still running was shown silent"
echo "lab_page ($backend): 8 seats shown running their trials; the killed seat shown silent after $silent_after s"
