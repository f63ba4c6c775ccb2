#!/usr/bin/env bash
# Exports a study of several participants and trials with kestuctl
# export-bids and runs the BIDS validator from npm on it (npm ci from
# package-lock.json when it is missing). Fails on any error; prints the
# warnings. Usage: validate_export.sh KESTUCTL
set -euo pipefail
kestuctl=$1
here=$(cd "$(dirname "$0")" && pwd)
if [[ ! -x "$here/node_modules/.bin/bids-validator" ]]; then
  (cd "$here" && npm ci --no-audit --no-fund >/dev/null)
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
db="$work/study/KESTU.MDB"
mkdir "$work/study"
"$kestuctl" init "$db" 2>/dev/null
# Four participants, one whose User ID loses characters and one that then
# meets another's label; three trials each, one stopped early.
for user in p01 ab_12 ab12 Q-7; do
  for seed in 1 2 3; do
    "$kestuctl" run-trial "$db" "$user" --seed "$seed$RANDOM" --no-report >/dev/null 2>&1
  done
done
sqlite3 "$db" "INSERT INTO UserData (UserID, FirstName, LastName, SchoolYear, Major, Age, Sex)
               VALUES ('p01', 'A', 'B', 'Junior', 'Psychology', '21', 'Female');
               UPDATE UserData SET Age = '23', Sex = 'Male' WHERE UserID = 'ab12';
               UPDATE Experiments SET SimRate = 1 WHERE UserID = 'Q-7';"
# The window closed on ab12's third trial: its log ends with a STOP, its row holds no result.
log="$work/study/ab12.3"
head -n 12 "$log" > "$log.cut"
sed -n 11p "$log" | sed 's/,"[A-Z]*",[0-9]*\r$/,"STOP",0\r/' > "$log.stop"
sed -n 12p "$log" >> "$log.stop"
cat "$log.cut" "$log.stop" > "$log" && rm "$log.cut" "$log.stop"
sqlite3 "$db" "UPDATE Experiments SET EndTime = NULL, MissedBuckets = NULL, BusyTime = NULL, SweepTime = NULL,
               IdleTime = NULL WHERE UserID = 'ab12' AND Experiment = 3"

"$kestuctl" export-bids "$db" "$work/bids" 2>"$work/export.err"
grep -q $'\tstop\t' "$work/bids/sub-ab12/beh/sub-ab12_task-kestu_run-3_events.tsv"
ls "$work/bids"/sub-*/beh/*_events.tsv | wc -l | grep -qx 12

"$here/node_modules/.bin/bids-validator" --version
"$here/node_modules/.bin/bids-validator" --json "$work/bids" > "$work/report.json" 2>/dev/null || true
node -e '
const report = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
const say = (kind, issue) => console.log(kind + ": " + issue.key + " (code " + issue.code + "): " + issue.reason +
  (issue.files || []).filter(f => f && f.file).map(f => "\n    " + f.file.relativePath).join(""));
for (const issue of report.issues.warnings) say("warning", issue);
for (const issue of report.issues.errors) say("error", issue);
console.log(report.summary.subjects.length + " subjects, " + report.summary.totalFiles + " files; " +
  report.issues.errors.length + " errors, " + report.issues.warnings.length + " warnings");
process.exit(report.issues.errors.length === 0 && report.summary.subjects.length === 4 ? 0 : 1);
' "$work/report.json"
