#!/usr/bin/env bash
# Eight seats share one study folder, and their server goes away while each
# is storing its trial: every seat keeps its log and results in the folder's
# one outbox (16 entries, none lost to another seat's append), each tells its
# participant so, and `kestuctl sync` delivers all of them once the server is back.
set -euo pipefail
kestuctl=$1
cluster_script=$2
work=$(mktemp -d)
cleanup() { bash "$cluster_script" stop "$work/cluster" >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "outbox_writers: $*" >&2; exit 1; }

bash "$cluster_script" start "$work/cluster" >/dev/null
admin=$(cat "$work/cluster/url")
psql -qAt "$admin" -c "CREATE DATABASE study" >/dev/null
url=${admin%/*}/study
"$kestuctl" init "$url" >/dev/null
# Every log a seat stores waits on the server, so that the server can be
# stopped while all eight are storing theirs.
psql -qAt "$url" >/dev/null <<'SQL'
CREATE FUNCTION wait_a_minute() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN PERFORM pg_sleep(60); RETURN NEW; END $$;
CREATE TRIGGER wait_a_minute BEFORE INSERT ON "TrialLogs" FOR EACH ROW EXECUTE FUNCTION wait_a_minute();
SQL

study=$work/study
mkdir "$study"
pids=()
for p in 1 2 3 4 5 6 7 8; do
  "$kestuctl" run-trial "$url" "p$p" --seed "$p" --logs "$study" >"$work/out.$p" 2>"$work/err.$p" &
  pids+=($!)
done
waiting=0
for _ in $(seq 1 600); do
  waiting=$(psql -qAt "$admin" -c "SELECT count(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep'")
  [[ $waiting -eq 8 ]] && break
  sleep 0.1
done
[[ $waiting -eq 8 ]] || fail "only $waiting of 8 seats reached the end of their trial"
bash "$cluster_script" halt "$work/cluster"
for p in 1 2 3 4 5 6 7 8; do
  status=0
  wait "${pids[$((p - 1))]}" || status=$?
  [[ $status -le 1 ]] || fail "seat $p: status $status: $(cat "$work/err.$p")"
  grep -q "are kept on this computer, in $study/KESTU.OUTBOX" "$work/err.$p" ||
    fail "seat $p did not say its results were kept: $(cat "$work/err.$p")"
done

# Nothing is delivered nor set aside while the server is away.
status=0
"$kestuctl" sync "$url" "$study" >"$work/sync.away" 2>&1 || status=$?
[[ $status -eq 1 ]] || fail "sync with the server away: status $status"
grep -q "KESTU.OUTBOX: 0 delivered, 16 still kept, 0 set aside" "$work/sync.away" ||
  fail "not all 16 entries were kept: $(cat "$work/sync.away")"

bash "$cluster_script" resume "$work/cluster"
psql -qAt "$url" -c 'DROP TRIGGER wait_a_minute ON "TrialLogs"' >/dev/null
"$kestuctl" sync "$url" "$study" >"$work/sync.back" 2>&1 || fail "sync: $(cat "$work/sync.back")"
grep -q "KESTU.OUTBOX: 16 delivered, 0 still kept, 0 set aside" "$work/sync.back" || fail "$(cat "$work/sync.back")"
[[ ! -e $study/KESTU.OUTBOX ]] || fail "the delivered outbox is still there"
done=$(psql -qAt "$url" -c 'SELECT count(*) FROM "Experiments" WHERE "MissedBuckets" IS NOT NULL')
logs=$(psql -qAt "$url" -c 'SELECT count(*) FROM "TrialLogs"')
[[ $done -eq 8 && $logs -eq 8 ]] || fail "$done completed rows and $logs logs on the server, not 8 and 8"

# An outbox cut off in its last entry: what can be read is delivered, the
# rest kept aside, and the exit status says not everything was delivered.
printf 'KESTU OUTBOX 2\nlog ~ p1 1 seat ~ 400\nCLOCK 00' >"$study/KESTU.OUTBOX"
status=0
"$kestuctl" sync "$url" "$study" >"$work/sync.cut" 2>&1 || status=$?
[[ $status -eq 1 ]] || fail "a cut-off outbox: status $status: $(cat "$work/sync.cut")"
ls "$study" | grep -q '^KESTU\.OUTBOX\.unread-[0-9]\{8\}T[0-9]\{6\}Z$' || fail "the cut-off part was not kept: $(ls "$study")"
echo "outbox_writers: 8 seats kept 16 entries in one outbox while their server was away; all were delivered"
