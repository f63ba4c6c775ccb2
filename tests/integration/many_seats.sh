#!/usr/bin/env bash
# A lab on one server: 16 seats (each its own process and connection) run
# trials for 8 participants at once, two seats per participant, three trials
# a seat. A seat finds its participant held by the other seat, or records a
# trial under a number of its own; every recorded trial has its whole row and
# its log on the server, and re-scores from the server alone and from a copy
# of the study in one file.
set -euo pipefail
kestuctl=$1
admin=$(cat "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "many_seats: $*" >&2; exit 1; }

name=kestu_seats_$$
psql -qAt "$admin" -c "CREATE DATABASE $name" >/dev/null
url=${admin%/*}/$name
"$kestuctl" init "$url" >/dev/null

seat() {  # seat NUMBER USERID
  mkdir -p "$work/seat$1"
  for trial in 1 2 3; do
    status=0
    "$kestuctl" run-trial "$url" "$2" --seed "$1$trial" --logs "$work/seat$1" \
      >>"$work/out.$1" 2>>"$work/err.$1" || status=$?
    [[ $status -le 1 ]] || { echo "status $status" >>"$work/err.$1"; return 1; }
  done
}
pids=()
for s in $(seq 1 16); do
  seat "$s" "p$(( (s + 1) / 2 ))" &
  pids+=($!)
done
for s in $(seq 1 16); do wait "${pids[$((s - 1))]}" || fail "seat $s: $(cat "$work/err.$s")"; done
grep -h -v -e 'is in use by another Kestu window' -e '^kestuctl: database ' -e '^$' "$work"/err.* && fail "a seat was refused for another reason"

rows=$(psql -qAt "$url" -c 'SELECT count(*) FROM "Experiments"')
[[ $rows -ge 8 ]] || fail "only $rows trials recorded"
dups=$(psql -qAt "$url" -c 'SELECT count(*) FROM (SELECT 1 FROM "Experiments" GROUP BY "UserID", "Experiment" HAVING count(*) > 1) d')
[[ $dups -eq 0 ]] || fail "$dups trial numbers recorded twice"
open=$(psql -qAt "$url" -c 'SELECT count(*) FROM "Experiments" WHERE "EndTime" IS NULL OR "MissedBuckets" IS NULL')
[[ $open -eq 0 ]] || fail "$open rows without results"
logs=$(psql -qAt "$url" -c 'SELECT count(*) FROM "Experiments" e JOIN "TrialLogs" l USING ("UserID", "Experiment")')
[[ $logs -eq $rows ]] || fail "$logs logs on the server for $rows trials"
for p in 1 2 3 4 5 6 7 8; do
  "$kestuctl" rescore "$url" "p$p" --all >"$work/rescore.$p" || fail "rescore of p$p: $(tail -3 "$work/rescore.$p")"
done
# The experimenter's other commands work on the server as on a file.
"$kestuctl" export-scenario "$url" "$work" >/dev/null || fail "export-scenario"
"$kestuctl" import-scenario "$url" "$work" >/dev/null || fail "import-scenario"
[[ $("$kestuctl" export "$url" | wc -l) -eq $((rows + 1)) ]] || fail "export of the trial rows"

# The whole study moves to one file, with its logs, and re-scores there too;
# a copy into a study that holds participants is refused.
mkdir "$work/moved"
"$kestuctl" copy-db "$url" "$work/moved/KESTU.MDB" >/dev/null || fail "copy-db to a file"
"$kestuctl" copy-db "$url" "$work/moved/KESTU.MDB" 2>/dev/null && fail "copy-db wrote over a study"
"$kestuctl" fetch-logs "$work/moved/KESTU.MDB" "$work/moved" >/dev/null || fail "fetch-logs"
[[ $(ls "$work/moved" | grep -c '^p[1-8]\.[0-9]*$') -eq $rows ]] || fail "fetch-logs wrote other than $rows logs"
for p in 1 2 3 4 5 6 7 8; do
  "$kestuctl" rescore "$work/moved/KESTU.MDB" "p$p" --all >/dev/null || fail "rescore of p$p in the copy"
done
psql -qAt "$admin" -c "DROP DATABASE $name WITH (FORCE)" >/dev/null
echo "many_seats: $rows trials by 16 seats for 8 participants, each once, whole, and re-scored from the server and from a copy"
