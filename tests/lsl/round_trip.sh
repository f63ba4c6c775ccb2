#!/usr/bin/env bash
# A recorded trial sends its markers over a real Lab Streaming Layer stream
# to a recorder, and they are those `kestuctl markers` finds in its log.
# liblsl comes prebuilt from the npm package node-lsl (package-lock.json
# here; npm ci when missing, with no install scripts run). Everything that
# touches LSL runs inside a network namespace of its own with only the
# loopback interface up, so no discovery packet can leave this machine; the
# test is skipped (exit 77) where such a namespace cannot be made.
# Usage: round_trip.sh KESTUCTL MARKER_INLET
set -euo pipefail
kestuctl=$1
inlet=$2
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v unshare >/dev/null || ! command -v ip >/dev/null || ! unshare -n true 2>/dev/null; then
  echo "round_trip: skipped: no private network namespace can be made here (unshare -n needs root or user namespaces, and ip)"
  exit 77
fi
library="$here/node_modules/node-lsl/prebuilt/liblsl64.so"
if [[ ! -f "$library" ]]; then
  (cd "$here" && npm ci --ignore-scripts --no-audit --no-fund >/dev/null)
fi

work=$(mktemp -d)
trap '[[ -n "${KEEP_WORK:-}" ]] || rm -rf "$work"' EXIT
mkdir -p "$work/home/lsl_api"
# Older libraries read lsl_api.cfg in the current folder or ~/lsl_api, newer ones LSLAPICFG.
cp "$here/lsl_api.cfg" "$work/lsl_api.cfg"
cp "$here/lsl_api.cfg" "$work/home/lsl_api/lsl_api.cfg"
"$kestuctl" init "$work/KESTU.MDB" >/dev/null
cd "$work"

KESTU_LSL_LIBRARY="$library" LSLAPICFG="$work/lsl_api.cfg" HOME="$work/home" QT_QPA_PLATFORM=offscreen \
  unshare -n bash -euo pipefail -c '
  ip link set lo up
  if ip -o link show | grep -v ": lo:" | grep -q .; then
    echo "round_trip: the namespace has an interface besides lo" >&2
    exit 1
  fi
  "$1" kestu@seat-rt info.xml received.tsv 30 2> inlet.err &
  inlet=$!
  "$2" run-trial KESTU.MDB rt1 --seed 4 --seat seat-rt --no-report --lsl --lsl-wait 30 > run.out 2> run.err
  wait "$inlet"
' round_trip "$inlet" "$kestuctl" || { cat "$work"/*.err >&2 || true; exit 1; }

fail() { echo "round_trip: $*" >&2; cat run.err inlet.err >&2; exit 1; }
grep -q "^User ID rt1, trial 1: " run.out || fail "the trial did not run to its end"
! grep -q "LSL markers are off\|no recorder connected" run.err || fail "the markers did not go out"

# Outside the namespace only the log is read; nothing is switched on.
"$kestuctl" markers rt1.1 > expected.txt
cut -f2- received.tsv > got.txt
diff expected.txt got.txt >&2 || fail "the markers received differ from those of the log"
study=$(sqlite3 KESTU.MDB 'SELECT "StudyID" FROM "StudyInfo"')
python3 - "$study" <<'PY' || fail "the stream or its markers' times are wrong"
import json, sys
study = sys.argv[1]
rows = [line.rstrip("\n").split("\t", 1) for line in open("received.tsv")]
events = [json.loads(text) for _, text in rows]
kinds = [e["event"] for e in events]
assert kinds.count("click") >= 10 and kinds.count("deadline") >= 10, f"too few markers: {len(rows)}"
assert events[0]["event"] == "setup" and events[-1]["event"] == "end", (events[0], events[-1])
stamps = [float(stamp) for stamp, _ in rows]
for (s0, e0), (s1, e1) in zip(zip(stamps, events), zip(stamps[1:], events[1:])):
    assert s1 >= s0, f"time went back: {s0} {e0} then {s1} {e1}"
    if e1["tick"] > e0["tick"]:
        assert s1 > s0, f"a later tick at the same time: {s0} {e0} then {s1} {e1}"
info = open("info.xml").read()
for part in ["<name>Kestu</name>", "<type>Markers</type>", "<channel_count>1</channel_count>",
             "<channel_format>string</channel_format>", "<nominal_srate>0",
             "<source_id>kestu@seat-rt</source_id>", "<participant>rt1</participant>",
             f"<study>{study}</study>", "<seat>seat-rt</seat>", "<program>Kestu</program>", "<version>"]:
    assert part in info, f"{part} is not in the stream's description:\n{info}"
print(f"round_trip: {len(rows)} markers over {stamps[-1] - stamps[0]:.6f} s, as the log implies")
PY
