#!/usr/bin/env bash
# `kestuctl run-trial` killed with SIGKILL at random moments of its life (from
# right after its start, through the setup and the claim, to its last write),
# each kill followed by a recovery trial for the same participant. Then:
# every recovery succeeded, no trial number is recorded twice, every row is
# whole or holds no results (a trial cut off), `rescore --all` finds no trial
# that DISAGREES, and an SQLite study passes PRAGMA integrity_check.
#
# Usage: kill_trials.sh KESTUCTL sqlite
#        kill_trials.sh KESTUCTL server ADMIN_URL_FILE
# Environment:
#   KILL_TRIALS_KILLS  runs killed per backend (default 100; a run that ends
#                      before its kill is not counted, and the attempts stop
#                      at three times this)
#   KILL_TRIALS_SEED   seed of the kill moments and the trials (default 17)
set -uo pipefail
kestuctl=$1
backend=$2
kills=${KILL_TRIALS_KILLS:-100}
seed=${KILL_TRIALS_SEED:-17}
users=(k1 k2 k3 k4 k5)
work=$(mktemp -d)
name=""
admin=""
cleanup() {
  [[ -n $name ]] && psql -qAt "$admin" -c "DROP DATABASE IF EXISTS $name WITH (FORCE)" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
say() { echo "kill_trials ($backend): $*"; }
problems=()
# Each problem is counted and printed; of the problems of single kills only
# the first ten, the rest are summed up by kind at the end.
kill_problems=()
problem() {
  problems+=("$*")
  echo "kill_trials ($backend): FAILED: $*" >&2
}
kill_problem() {
  kill_problems+=("$*")
  [[ ${#kill_problems[@]} -le 10 ]] && echo "kill_trials ($backend): FAILED: $*" >&2
  return 0
}

[[ $kills =~ ^[0-9]+$ && $kills -gt 0 ]] || { echo "kill_trials: KILL_TRIALS_KILLS must be a number above 0" >&2; exit 2; }
[[ $seed =~ ^[0-9]+$ ]] || { echo "kill_trials: KILL_TRIALS_SEED must be a number" >&2; exit 2; }

case $backend in
  sqlite)
    db=$work/KESTU.MDB
    logs=()
    logdir=$work
    if command -v sqlite3 >/dev/null 2>&1; then
      sql() { sqlite3 -batch -noheader "$db" "$1"; }
    elif command -v python3 >/dev/null 2>&1; then
      sql() { python3 -c 'import sqlite3, sys
for row in sqlite3.connect(sys.argv[1]).execute(sys.argv[2]): print("|".join("" if v is None else str(v) for v in row))' "$db" "$1"; }
    else
      echo "kill_trials: neither sqlite3 nor python3 is installed; the rows cannot be checked" >&2
      exit 1
    fi
    ;;
  server)
    admin=$(cat "$3")
    name=kestu_kills_$$
    psql -qAt "$admin" -c "CREATE DATABASE $name" >/dev/null || exit 1
    db=${admin%/*}/$name
    logdir=$work/logs
    mkdir -p "$logdir"
    logs=(--logs "$logdir")
    sql() { psql -qAt "$db" -c "$1"; }
    ;;
  *)
    echo "usage: kill_trials.sh KESTUCTL sqlite | server ADMIN_URL_FILE" >&2
    exit 2
    ;;
esac
"$kestuctl" init "$db" >/dev/null || { echo "kill_trials: kestuctl init $db failed" >&2; exit 1; }

now_us() { echo $(($(date +%s%N) / 1000)); }
# Waits SECONDS (fractions too) without starting a process: a read that
# times out on a pipe nothing writes to.
exec {nap}<> <(:)
nap() { read -r -t "$1" -u "$nap" || true; }

# How long one run-trial lives here, from its start to its exit, and when
# its log appears (its setup; the claim follows at once): the median of five
# runs each. The kill moments are spread over that life.
times=()
setups=()
for i in 1 2 3 4 5; do
  start=$(now_us)
  "$kestuctl" run-trial "$db" warm "${logs[@]}" --seed "$i" >/dev/null 2>"$work/warm.err" &
  pid=$!
  seen=0
  while kill -0 "$pid" 2>/dev/null; do
    [[ $seen -eq 0 && -e $logdir/warm.$i ]] && seen=$(($(now_us) - start))
    nap 0.001
  done
  wait "$pid" || { echo "kill_trials: a run-trial without a kill failed: $(cat "$work/warm.err")" >&2; exit 1; }
  times+=($(($(now_us) - start)))
  setups+=($seen)
done
median() { printf '%s\n' "$@" | sort -n | sed -n 3p; }
life=$(median "${times[@]}")
setup=$(median "${setups[@]}")
[[ $setup -gt 0 && $setup -lt $life ]] || setup=$((life / 2))
say "a run-trial lives about $((life / 1000)) ms, its log appears after about $((setup / 1000)) ms; $kills kills, seed $seed"

# A moment in microseconds: half of them anywhere from the start to the end;
# a quarter within 20 ms of the log's appearance (the setup and
# the claim); a quarter in what follows (the trial and its results).
RANDOM=$seed
moment() {
  local r=$(((RANDOM << 15) | RANDOM)) window=20000
  case $((RANDOM % 4)) in
    0 | 1) echo $((r % (life + 1))) ;;
    2) echo $((setup > window ? setup - window + r % (2 * window) : r % (setup + window))) ;;
    3) echo $((setup + r % (life - setup + 1))) ;;
  esac
}

# Where in its life a run was killed, from what it left: nothing yet (before
# its setup), a log without a row (between the setup and the claim), a row
# without results (during the trial), or its results (at its very end).
logs_of() { find "$logdir" -maxdepth 1 -regex ".*/$1\.[0-9]+" | wc -l; }
rows_of() { sql "SELECT count(*), count(\"MissedBuckets\") FROM \"Experiments\" WHERE \"UserID\" = '$1'"; }
declare -A stages=()
# What each participant's rows were before its next run (count|with results):
# a recovery adds one whole row, so one query a kill is enough.
declare -A rows_known=()
stage() {  # stage LOGS_BEFORE ROWS_BEFORE ROWS_AFTER USER
  if [[ $3 != "$2" ]]; then
    [[ ${3#*|} != "${2#*|}" ]] && echo "after its results" || echo "during the trial"
  elif [[ $(logs_of "$4") != "$1" ]]; then
    echo "between setup and claim"
  else
    echo "before its setup"
  fi
}

# A participant who cannot run trials any more is left behind and the kills
# go on with a new one in that place, so one fault does not hide the others.
all_users=("${users[@]}")
began=$(date +%s)
killed=0
finished=0
recoveries=0
attempts=0
for ((k = 1; killed < kills && k <= 3 * kills; k++)); do
  attempts=$k
  slot=$((k % ${#users[@]}))
  user=${users[$slot]}
  delay=$(moment)
  logs_before=$(logs_of "$user")
  rows_before=${rows_known[$user]:-0|0}
  "$kestuctl" run-trial "$db" "$user" "${logs[@]}" --seed "$k" >"$work/out" 2>"$work/err" &
  pid=$!
  nap "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
  kill -KILL "$pid" 2>/dev/null
  status=0
  wait "$pid" 2>/dev/null || status=$?
  rows=$(rows_of "$user")
  if [[ $status -eq 137 ]]; then
    killed=$((killed + 1))
    where=$(stage "$logs_before" "$rows_before" "$rows" "$user")
    stages[$where]=$((${stages[$where]:-0} + 1))
  elif [[ $status -eq 0 ]]; then
    finished=$((finished + 1))
  else
    kill_problem "kill $k: run-trial for $user ended by itself with status $status: $(head -c 300 "$work/err")"
  fi
  if "$kestuctl" run-trial "$db" "$user" "${logs[@]}" --seed "$((k + 100000))" >"$work/out" 2>"$work/err" &&
    grep -q "^User ID $user, trial [0-9]*: " "$work/out"; then
    recoveries=$((recoveries + 1))
    count=${rows%|*}
    whole=${rows#*|}
    rows_known[$user]="$((count + 1))|$((whole + 1))"
  else
    kill_problem "kill $k after $((delay / 1000)) ms: the recovery trial for $user failed: $(head -c 300 "$work/err")"
    users[$slot]=k$((slot + 1))r$k
    all_users+=("${users[$slot]}")
  fi
done
say "$killed runs killed in $attempts attempts ($finished finished before their kill); $recoveries of $attempts recoveries succeeded; $(($(date +%s) - began)) s"
[[ $killed -ge $kills ]] || problem "only $killed of $kills runs were killed before they ended, in $attempts attempts"
for where in "before its setup" "between setup and claim" "during the trial" "after its results"; do
  say "  killed $where: ${stages[$where]:-0}"
done

dups=$(sql 'SELECT "UserID", "Experiment", count(*) FROM "Experiments" GROUP BY "UserID", "Experiment" HAVING count(*) > 1')
[[ -z $dups ]] || problem "trial numbers recorded twice (user|trial|rows): $(tr '\n' ' ' <<<"$dups")"

# A claimed row holds its start; its results are all there or none is.
claim='"Date" IS NULL OR "StartTime" IS NULL OR "Scenario" IS NULL OR "SimRate" IS NULL'
results='("EndTime" IS NULL) + ("MissedBuckets" IS NULL) + ("BusyTime" IS NULL) + ("SweepTime" IS NULL) + ("IdleTime" IS NULL)'
[[ $backend == server ]] && results='("EndTime" IS NULL)::int + ("MissedBuckets" IS NULL)::int + ("BusyTime" IS NULL)::int + ("SweepTime" IS NULL)::int + ("IdleTime" IS NULL)::int'
torn=$(sql "SELECT \"UserID\", \"Experiment\" FROM \"Experiments\" WHERE $claim OR ($results) NOT IN (0, 5)")
[[ -z $torn ]] || problem "rows neither whole nor empty (user|trial): $(tr '\n' ' ' <<<"$torn")"
rows=$(sql 'SELECT count(*) FROM "Experiments"')
empty=$(sql 'SELECT count(*) FROM "Experiments" WHERE "MissedBuckets" IS NULL')
say "$rows rows, $empty of them trials cut off"

for user in "${all_users[@]}"; do
  "$kestuctl" rescore "$db" "$user" --all >"$work/rescore.$user" 2>&1
  disagree=$(grep -c 'DISAGREES' "$work/rescore.$user")
  if [[ $disagree -gt 0 ]]; then
    problem "rescore of $user: $disagree trials DISAGREE, e.g. $(grep -m1 -A5 'DISAGREES' "$work/rescore.$user" | tr -s ' \n' ' ')"
  fi
  grep 'MISMATCH:' "$work/rescore.$user" >>"$work/rescore.other"
done
# Not a disagreement, but worth knowing: logs without a row, rows whose log is missing.
if [[ -s $work/rescore.other ]]; then
  say "rescore also reports $(wc -l <"$work/rescore.other") of these, by kind (numbers as N):"
  sed -E 's#/[^ ]*/##g; s/[0-9]+/N/g' "$work/rescore.other" | sort | uniq -c | sort -rn | sed 's/^/  /'
fi

if [[ $backend == sqlite ]]; then
  check=$(sql 'PRAGMA integrity_check')
  [[ $check == ok ]] || problem "PRAGMA integrity_check: $check"
fi

if [[ ${#kill_problems[@]} -gt 0 ]]; then
  say "${#kill_problems[@]} runs failed after a kill; by kind (numbers as N):"
  printf '%s\n' "${kill_problems[@]}" | sed -E 's/^kill [0-9]+( after [0-9]+ ms)?: //; s#/[^ ]*/##g; s/[0-9]+/N/g' |
    sort | uniq -c | sort -rn | sed 's/^/  /'
fi
if [[ $((${#problems[@]} + ${#kill_problems[@]})) -gt 0 ]]; then
  say "$((${#problems[@]} + ${#kill_problems[@]})) problems"
  exit 1
fi
say "every recovery succeeded; no trial number twice; every row whole or empty; no trial disagrees$([[ $backend == sqlite ]] && echo "; integrity_check ok")"
