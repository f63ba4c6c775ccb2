#!/usr/bin/env bash
# Eight copies of `kestuctl run-trial` for one participant started at once on
# one database: each gets a trial number of its own or a clear refusal, no
# log is written over, and every recorded trial re-scores from its log.
set -euo pipefail
kestuctl=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
db=$work/KESTU.MDB
"$kestuctl" init "$db" >/dev/null

fail() { echo "run_trial_copies: $*" >&2; exit 1; }

for round in 1 2; do
  pids=()
  for copy in 1 2 3 4 5 6 7 8; do
    "$kestuctl" run-trial "$db" kim --seed "$round$copy" >"$work/out.$round.$copy" 2>"$work/err.$round.$copy" &
    pids+=($!)
  done
  for copy in 1 2 3 4 5 6 7 8; do
    status=0
    wait "${pids[$((copy - 1))]}" || status=$?
    case $status in
      0) grep -q '^User ID kim, trial [0-9]*: ' "$work/out.$round.$copy" || fail "copy $copy said: $(cat "$work/out.$round.$copy")" ;;
      1) [[ -s "$work/err.$round.$copy" ]] || fail "copy $copy was refused without a message" ;;
      *) fail "copy $copy ended with status $status: $(cat "$work/err.$round.$copy")" ;;
    esac
  done
  # A second round runs while nothing else does: it must record one trial.
  "$kestuctl" run-trial "$db" kim --seed "9$round" >"$work/alone.$round" || fail "a copy alone failed"
done

numbers=$(cat "$work"/out.* "$work"/alone.* | sed -n 's/^User ID kim, trial \([0-9]*\): .*/\1/p' | sort -n)
[[ -z $(uniq -d <<<"$numbers") ]] || fail "trial numbers given twice: $(uniq -d <<<"$numbers" | tr '\n' ' ')"
recorded=$(wc -l <<<"$numbers")
[[ $recorded -ge 2 ]] || fail "only $recorded trials were recorded"
for n in $numbers; do [[ -s "$work/kim.$n" ]] || fail "trial $n has no log"; done
"$kestuctl" rescore "$db" kim --all >"$work/rescore" 2>&1 || { cat "$work/rescore" >&2; fail "rescore disagrees"; }
refused=$(cat "$work"/err.* | sort -u)
echo "run_trial_copies: $recorded trials recorded with distinct numbers; refusals: ${refused:-none}"
