#!/usr/bin/python3
"""Recomputes every figure of a drive run from its trace.csv alone, and says
where drive's own files disagree.

It knows only the documented meaning of the columns (tools/README.md, "What
each figure means") and shares nothing with drive: the trace's intervention
and cause columns frame by frame, every intervention span of interventions.csv,
every row of braking.csv, the summary's counts, every row exactly as wide as
its header, and under --compare that the top-level files hold each set's own.

Tolerances. The trace prints speed and position to 3 decimals and time to 4;
the reports print fewer. A figure agrees when it lies within half a unit of
its own printed precision plus the trace's rounding of every trace value it is
made of (one for a value, two for a difference). Where a threshold decision is
within the trace's rounding of the threshold, either answer is accepted: a
speed within 0.0005 km/h of the new limit may be at or over it, and a speed
printed 0.000 may be at rest or a hair from it (an open loop's profile point
lands a little off the frame's time), so under a 0 km/h limit any such frame
may be the first at rest, or none. Every other difference is a disagreement.

    check_figures.py SCENARIO.toml OUT_DIR [--compare] [--seed N]
"""
import argparse
import collections
import csv
import os
import re
import sys
import tomllib

HALF = {"time": 0.00005, "pos": 0.0005, "speed": 0.0005}
AT_END = "still applied at the end"
HELD = "held when the limit changed"
WHY = re.compile(r"aspect -?\d+|restriction switch|selector|limit display")


class Report:
    """Disagreements, counted by file and column, the first few of each printed."""

    def __init__(self, seed=None, shown_per_kind=5):
        self.seed, self.shown_per_kind = seed, shown_per_kind
        self.kinds = collections.Counter()
        self.figures = collections.Counter()

    def add(self, path, line, column, expected, found):
        kind = (os.path.basename(path), column)
        self.kinds[kind] += 1
        if self.kinds[kind] <= self.shown_per_kind:
            where = f"{path}:{line}" if line else path
            seed = f" (seed {self.seed})" if self.seed is not None else ""
            print(f"{where}: {column}: expected {expected!r}, found {found!r}{seed}")

    def total(self):
        return sum(self.kinds.values())


def read_csv(path, report):
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    if not rows:
        report.add(path, 1, "(header)", "a header", "an empty file")
        return [], []
    header, records = rows[0], []
    for n, row in enumerate(rows[1:], start=2):
        if len(row) != len(header):  # its columns can't be told apart: checked no further
            report.add(path, n, "(fields)", len(header), len(row))
        records.append(dict(zip(header, row)) if len(row) == len(header) else None)
    return header, records


def read_trace(path, emergency_notch, report):
    header, rows = read_csv(path, report)
    if None in rows:
        return None
    t, x, v = ([float(r[c]) for r in rows] for c in ("time_s", "position_m", "speed_kmh"))
    limit, brake = ([int(r[c]) for r in rows] for c in ("limit_kmh", "brake"))
    acting, emergency, supervised = [], [], []
    for r in rows:
        driver = (r["driver_brake"], r["driver_power"], r["driver_reverser"])
        lamps = r["brake_lamp"] == "1" or r["emergency_lamp"] == "1"
        acting.append((r["brake"], r["power"], r["reverser"]) != driver or lamps)
        emergency.append(r["emergency_lamp"] == "1" or (
            int(r["brake"]) == emergency_notch and int(r["driver_brake"]) < emergency_notch))
        supervised.append(r["atc_active"] == "1" and r["cut_out"] == "0" and
                          not (r["mode"].upper() == "ATS" and r["atc_signal"] == "0"))
    for n, r in enumerate(rows):
        kind = ("emergency" if emergency[n] else "service") if acting[n] else ""
        if r["intervention"] != kind:
            report.add(path, n + 2, "intervention", kind, r["intervention"])
        if bool(r["cause"]) != acting[n]:
            report.add(path, n + 2, "cause", "filled" if acting[n] else "empty", r["cause"])
    spans, start = [], None
    for n, on in enumerate(acting + [False]):
        if on and start is None:
            start = n
        elif not on and start is not None:
            spans.append((start, n if n < len(rows) else None))
            start = None
    return dict(t=t, x=x, v=v, limit=limit, brake=brake, emergency=emergency,
                supervised=supervised, spans=spans, n=len(rows))


def agrees(expected, found):
    """expected: None (empty), a str/int compared as text, or (value, slack)."""
    if expected is None:
        return found == ""
    if not isinstance(expected, tuple):
        return found == str(expected)
    try:
        value = float(found)
    except ValueError:
        return False
    decimals = len(found.split(".")[1]) if "." in found else 0
    return abs(value - expected[0]) <= 0.5 * 10**-decimals + expected[1] + 1e-9


def shown(expected):
    if isinstance(expected, tuple):
        return round(expected[0], 4)
    return "" if expected is None else expected


def compare_row(path, line, row, candidates, report):
    """Accepts the row when any candidate reading agrees in every column; else
    reports where the first, the plainest reading, disagrees."""
    first = None
    for expected in candidates:
        misses = [c for c, e in expected.items() if c not in row or not agrees(e, row[c])]
        if not misses:
            return
        first = first or (expected, misses)
    for column in first[1]:
        report.add(path, line, column, shown(first[0][column]), row.get(column, "(missing)"))


def span_figures(tr, number, span):
    start, end = span
    t, x, v = tr["t"], tr["x"], tr["v"]
    stop = tr["n"] if end is None else end
    figures = {
        "intervention": number, "start_s": (t[start], HALF["time"]),
        "start_m": (x[start], HALF["pos"]), "start_kmh": (v[start], HALF["speed"]),
        "start_limit_kmh": tr["limit"][start],
        "kind": "emergency" if any(tr["emergency"][start:stop]) else "service",
        "notch": max(tr["brake"][start:stop]),
        "end_s": None, "end_m": None, "end_kmh": None}
    if end is not None:
        figures.update(end_s=(t[end], HALF["time"]), end_m=(x[end], HALF["pos"]),
                       end_kmh=(v[end], HALF["speed"]))
    return [figures]


def under_candidates(tr, drop, force_end, limit):
    """The frames that may be the first at or under the limit, then None: none is."""
    v = tr["v"]
    for n in range(drop, force_end):
        if limit > 0 and v[n] <= limit - HALF["speed"]:
            yield n
            return
        if abs(v[n] - limit) <= HALF["speed"]:  # at rest under 0 km/h is never certain
            yield n
    yield None


def drop_figures(tr, number, drop):
    t, x, v, limit = tr["t"], tr["x"], tr["v"], tr["limit"]
    new = limit[drop]
    force_end = next((n for n in range(drop + 1, tr["n"])
                      if not tr["supervised"][n] or limit[n] != new), None)
    stop = tr["n"] if force_end is None else force_end
    base = {
        "drop": number, "time_s": (t[drop], HALF["time"]), "position_m": (x[drop], HALF["pos"]),
        "speed_kmh": (v[drop], HALF["speed"]), "limit_before_kmh": limit[drop - 1],
        "limit_after_kmh": new, "in_force_s": (t[stop - 1 if force_end is None else stop] - t[drop],
                                               2 * HALF["time"]),
        "peak_over_kmh": (max([0.0] + [s - new for s in v[drop:stop] if s > new]), HALF["speed"])}
    for under in under_candidates(tr, drop, stop, new):
        fig = dict(base, under_m=None, under_s=None)
        if under is not None:
            fig.update(under_m=(x[under] - x[drop], 2 * HALF["pos"]),
                       under_s=(t[under] - t[drop], 2 * HALF["time"]))
        window_end = stop if under is None else under
        began = next((s for s in tr["spans"] if s[0] <= drop < (s[1] or tr["n"])), None) or \
            next((s for s in tr["spans"] if drop < s[0] < window_end), None)
        fig.update(release_m=None, release_s=None, notch=None, release="no intervention")
        if began is not None:
            end = began[1]
            fig["notch"] = max(tr["brake"][max(began[0], drop):min(end or tr["n"], stop)])
            if end is not None and (force_end is None or end <= force_end):
                fig.update(release="released", release_m=(x[end] - x[drop], 2 * HALF["pos"]),
                           release_s=(t[end] - t[drop], 2 * HALF["time"]))
            elif force_end is None:
                fig["release"] = AT_END
            else:
                fig["release"] = HELD
        yield fig


def summary_count(text, pattern):
    match = re.search(pattern, text, re.MULTILINE)
    if match is None:
        return None
    return 0 if match.group(1) in ("no", "none") else int(match.group(1))


def check_run(folder, emergency_notch, report, set_name=""):
    """Checks one run's folder; returns its braking and interventions rows.

    set_name None: a --compare set's folder, whose rows all name the same set.
    """
    tr = read_trace(os.path.join(folder, "trace.csv"), emergency_notch, report)
    if tr is None:
        return {}
    report.figures["runs"] += 1
    report.figures["frames"] += tr["n"]
    report.figures["interventions"] += len(tr["spans"])
    drops = [n for n in range(1, tr["n"]) if tr["supervised"][n] and tr["supervised"][n - 1]
             and tr["limit"][n] < tr["limit"][n - 1]]
    report.figures["drops"] += len(drops)
    files = {}
    for name, items, figures in (
            ("interventions.csv", tr["spans"], span_figures),
            ("braking.csv", drops, drop_figures)):
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            report.add(path, 0, "(file)", "written", "missing")
            continue
        header, rows = read_csv(path, report)
        files[name] = rows
        if len(rows) != len(items):
            report.add(path, 0, "(rows)", len(items), len(rows))
        for line, (row, item) in enumerate(zip(rows, items), start=2):
            if row is None:
                continue
            if set_name is None:
                set_name = row.get("set") or "(the set's name)"
            if row.get("set") != set_name:
                report.add(path, line, "set", set_name, row.get("set"))
            compare_row(path, line, row, figures(tr, line - 1, item), report)
            if name == "braking.csv" and not WHY.fullmatch(row.get("why", "")):
                report.add(path, line, "why", "aspect N|restriction switch|selector|limit display",
                           row.get("why"))
            if name == "interventions.csv":
                at_end = item[1] is None
                if (row.get("released_by") == AT_END) != at_end or not row.get("released_by"):
                    report.add(path, line, "released_by", AT_END if at_end else "what released it",
                               row.get("released_by"))
                if not row.get("cause"):
                    report.add(path, line, "cause", "why it began", "")
    with open(os.path.join(folder, "summary.txt")) as f:
        summary = f.read()
    counts = ((r"^ATC interventions: (\d+|no|none)", tr["spans"]),
              (r"^Braking: (\d+|no|none) drop", drops))
    for pattern, items in counts:
        count = summary_count(summary, pattern)
        if (count or 0) != len(items) or (count is None and pattern.startswith("^ATC")):
            report.add(os.path.join(folder, "summary.txt"), 0, pattern[1:pattern.index(":")],
                       len(items), count)
    return files


def check_compare(folder, emergency_notch, report):
    """Each set's folder as a run, and the top-level files as every set's own rows."""
    per_set = collections.defaultdict(list)
    for sub in sorted(os.listdir(folder)):
        path = os.path.join(folder, sub)
        if not os.path.exists(os.path.join(path, "trace.csv")):
            continue
        for file_name, rows in check_run(path, emergency_notch, report, None).items():
            per_set[file_name] += [tuple(r.values()) for r in rows if r is not None]
    for file_name, rows in per_set.items():
        path = os.path.join(folder, file_name)
        if not os.path.exists(path):
            if file_name == "braking.csv":
                report.add(path, 0, "(file)", "written", "missing")
            continue
        header, top = read_csv(path, report)
        top = [tuple(r.values()) for r in top if r is not None]
        for line, row in enumerate(top, start=2):
            if row not in rows:
                report.add(path, line, "(row)", "a row of its set's own file", ",".join(row))
        if sorted(top) != sorted(rows):
            report.add(path, 0, "(rows)", f"{len(rows)} rows of the sets' files",
                       f"{len(top)} rows")


def check(scenario, folder, compare=False, report=None):
    with open(scenario, "rb") as f:
        emergency_notch = tomllib.load(f)["train"]["service_notches"] + 1
    report = report or Report()
    if compare:
        check_compare(folder, emergency_notch, report)
    else:
        check_run(folder, emergency_notch, report)
    return report


def print_kinds(report):
    for (file_name, column), count in sorted(report.kinds.items()):
        print(f"  {count:7d}  {file_name} {column}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("scenario")
    parser.add_argument("out_dir")
    parser.add_argument("--compare", action="store_true", help="OUT_DIR holds a --compare run")
    parser.add_argument("--seed", type=int, help="the random scenario's seed, for the messages")
    args = parser.parse_args()
    report = check(args.scenario, args.out_dir, args.compare, Report(args.seed))
    print_kinds(report)
    print(f"{report.total()} disagreements; " +
          ", ".join(f"{v} {k}" for k, v in report.figures.items()))
    return 1 if report.total() else 0


if __name__ == "__main__":
    sys.exit(main())
