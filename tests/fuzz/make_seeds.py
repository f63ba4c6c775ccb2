#!/usr/bin/env python3
"""Writes the seed corpora in tests/fuzz/corpus/ from the reference trials in
tests/conformance. Run it again when the reference trials change; the seeds
are small on purpose, so the fuzzer spends its time on mutations rather than
on reading long logs.

  log_reader:   four whole logs, and from every other log its first records
                plus its last ones (the STOP at the end), and one record of
                each kind with a save and a restore.
  snapshot:     every U.DAT there is.
  scenario_csv: each case's three scenario tables as CSV, the files joined by
                "%%", a few written the ways spreadsheets write them.
  number_text:  numbers as the log and the snapshot write them, each after
                one flag byte ('0': C locale, '1': a decimal-comma locale).
"""
import json
import pathlib
import shutil

HERE = pathlib.Path(__file__).resolve().parent
CASES = sorted((HERE.parent / "conformance").glob("case_*"))
CORPUS = HERE / "corpus"


def fresh(name):
    folder = CORPUS / name
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    return folder


def records(log):
    lines = log.split(b"\r\n")
    assert lines[-1] == b""
    lines = lines[:-1]
    return [lines[i] + b"\r\n" + lines[i + 1] + b"\r\n" for i in range(0, len(lines), 2)]


def log_seeds():
    out = fresh("log_reader")
    logs = [(case.name, (case / "U.1").read_bytes()) for case in CASES]
    logs.sort(key=lambda item: len(item[1]))
    for name, log in logs[:4]:
        (out / f"{name}.1").write_bytes(log)
    kinds = {}
    for name, log in logs[4:]:
        recs = records(log)
        (out / f"{name}_ends.1").write_bytes(b"".join(recs[:3] + recs[-2:]))
    for name, log in logs:
        for rec in records(log):
            kind = rec.split(b",")[2]
            kinds.setdefault(kind, rec)
    def time_of(rec):
        minute, second = rec.split(b",")[:2]
        return int(minute), int(second)
    (out / "one_of_each_kind.1").write_bytes(b"".join(sorted(kinds.values(), key=time_of)))
    # A save, later records, a restore and records from the save's time again.
    state = kinds[b'"ON"'].split(b"\r\n")[1]
    def rec(minute, second, kind, switch):
        return b"%d,%d,%s,%d\r\n%s\r\n" % (minute, second, kind, switch, state)
    (out / "save_restore.1").write_bytes(
        rec(1, 5, b'"FF"', 0) + rec(1, 9, b'"ON"', 4) + rec(1, 20, b'"FFR"', 0) + rec(1, 5, b'"ON"', 7)
        + rec(2, 0, b'"STOP"', 0))
    (out / "lf_line_ends.1").write_bytes(rec(0, 30, b'"ON"', 3).replace(b"\r\n", b"\n"))


def snapshot_seeds():
    out = fresh("snapshot")
    for case in CASES:
        # A trial that never saved leaves no snapshot.
        if (case / "U.DAT").exists():
            shutil.copy(case / "U.DAT", out / f"{case.name}.DAT")


def number(value):
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    return repr(value)


def csv_files(scenario):
    exogenous = ["Hr,Min," + ",".join(str(t) for t in range(23))]
    for hr, minute, water in scenario["exogenous"]:
        exogenous.append(",".join([str(hr), str(minute)] + [number(w) for w in water]))
    deadline = ["TankNum,Hr,Min,ExpectAmt"] + [",".join(str(v) for v in row) for row in scenario["deadline"]]
    sorttable = ["head,tail,sorta"] + [",".join(number(v) for v in row) for row in scenario["sorttable"]]
    return exogenous, deadline, sorttable


def joined(files, end="\r\n"):
    return "%%".join(end.join(lines) + end for lines in files).encode()


def scenario_seeds():
    out = fresh("scenario_csv")
    for case in CASES:
        scenario = json.loads((case / "scenario.json").read_text())
        (out / f"{case.name}.csv").write_bytes(joined(csv_files(scenario)))
    exogenous, deadline, sorttable = csv_files(json.loads((CASES[0] / "scenario.json").read_text()))
    # As spreadsheets write them: LF line ends, a byte-order mark, quoted
    # cells, blank lines, columns in another order, blanks around numbers.
    (out / "lf_bom.csv").write_bytes(b"\xef\xbb\xbf" + joined((exogenous, deadline, sorttable), "\n"))
    quoted = ['"' + line.replace(",", '","') + '"' for line in deadline]
    reordered = ["sorta,head,tail"] + [",".join([r.split(",")[2], *r.split(",")[:2]]) for r in sorttable[1:]]
    (out / "quoted_reordered.csv").write_bytes(joined((exogenous, quoted + [""], reordered)))
    spaced = [line.replace(",", ", ") for line in exogenous]
    (out / "spaced_exponents.csv").write_bytes(
        joined((spaced, deadline, ["head,tail,sorta", "5,-1,5e-1", "5,6,+.5", "7,-1,1"])))


def number_seeds():
    out = fresh("number_text")
    texts = ["0", "7", "-1", ".5", "-.5", "12.25", ".3", ".333333333333333", "1.11022302462516E-16", ".00001",
             "1E-06", "-2.5E-06", "1E+15", "999999999999999", "123456789.125", "1E+100", "37.8", "128.3",
             "2.675", ".35", "1E+12", "-1E+12", "4.94065645841247E-324", "2.2250738585072E-308",
             "1.7976931348623E+308", "99999999999999.95", ".05", "1e5", "0.5"]
    for i, text in enumerate(texts):
        (out / f"c_{i:02d}").write_bytes(b"0" + text.encode())
    for i, text in enumerate([".5", "12.25", "1E-06", "2.675"]):
        (out / f"comma_{i:02d}").write_bytes(b"1" + text.encode())


if __name__ == "__main__":
    log_seeds()
    snapshot_seeds()
    scenario_seeds()
    number_seeds()
