#!/usr/bin/python3
"""Opens drive's report.html pages in headless Chromium and checks each against
the trace beside it: no console error; the charts' series and the tables are
there; the readout at three frames equals trace.csv at those frames; a click
on a braking row zooms to that drop; every lamp change and sound start of the
trace is in the page's data.

    report_page_test.py --drive CMD... --examples DIR --work DIR [--only NAME]
    report_page_test.py --check DIR...    (folders drive already wrote)
"""
import argparse
import csv
import glob
import os
import re
import subprocess
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

SERIES = ["speed", "limit", "gradient", "driver's notch", "applied notch"]
TABLES = ["header", "options", "interventions", "braking", "warnings", "events"]
# What the readout shows, by trace.csv's column names; the lamps and the cut-out
# switch lit or dark, the sounds by whether they started in the frame.
LIT = {"brake_lamp", "emergency_lamp", "cut_out"}
SOUNDS = ["sound_5", "sound_110", "sound_111"]
READOUT = ["time_s", "position_m", "speed_kmh", "limit_kmh", "gradient_permille",
           "driver_brake", "driver_power", "brake", "power", "intervention", "mode"]


def trace_value(row, name):
    if name in LIT:
        return "0" if row[name] in ("", "0") else "1"
    if name in SOUNDS:
        return "start" if row[name] == "1" else ""
    return row[name]


def read_csv(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def browser():
    options = webdriver.ChromeOptions()
    for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,1200"]:
        options.add_argument(flag)
    options.binary_location = "/usr/bin/chromium"
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def check_page(driver, folder, faults):
    def fault(what):
        faults.append(f"{folder}: {what}")

    driver.get("file://" + os.path.abspath(os.path.join(folder, "report.html")))
    for _ in range(100):
        if driver.execute_script("return window.report && window.report.drawMs"):
            break
        time.sleep(0.05)
    else:
        fault("never drawn")
    for entry in driver.get_log("browser"):
        if entry["level"] in ("SEVERE", "WARNING"):
            fault(f"console: {entry['message']}")
    js = driver.execute_script
    labels = " | ".join(js("return report.charts.flatMap(u => u.series.map(s => s.label || ''))"))
    for series in SERIES:
        if series not in labels:
            fault(f"no {series} series in {labels}")
    names = js("return report.run.sets.map(s => s.name)")
    for table in TABLES:
        if js(f"return document.querySelectorAll('table.table-{table}').length") != len(names):
            fault(f"not one {table} table per set")
    # The readout, the clicks and the data: on the time axis, where each frame is one place.
    js("document.querySelector('input[value=time]').click()")
    for k, name in enumerate(names):
        own = os.path.join(folder, re.sub(r"[^A-Za-z0-9]", "_", name)) if name else folder
        trace = read_csv(os.path.join(own, "trace.csv"))
        braking = read_csv(os.path.join(own, "braking.csv"))
        if js(f"return report.run.sets[{k}].levels[0].framesPerBucket") != 1:
            fault("a short run's page does not carry every frame")
            continue
        for i in [len(trace) // 3, len(trace) // 2, len(trace) - 1]:
            t = float(trace[i]["time_s"])
            js(f"report.zoomTo({t - 0.05}, {t + 0.05})")
            js(f"const u = report.charts[0]; u.setCursor({{left: u.valToPos({t}, 'x'), top: 20}})")
            shown = js(f"return [...document.querySelectorAll('#readout .readout-set')][{k}]"
                       ".innerText")
            got = dict(re.findall(r"data-col=\"(\w+)\">([^<]*)<", js(
                f"return [...document.querySelectorAll('#readout .readout-set')][{k}].innerHTML")))
            for column in READOUT + sorted(LIT) + SOUNDS:
                if got.get(column) != trace_value(trace[i], column):
                    fault(f"set {k + 1} frame {i}: readout {column} {got.get(column)!r}, "
                          f"trace {trace_value(trace[i], column)!r} ({shown})")
        rows = js(f"return [...document.querySelectorAll('table.table-braking')][{k}]"
                  ".querySelectorAll('tbody tr')")
        if len(rows) != len(braking):
            fault(f"set {k + 1}: {len(rows)} braking rows on the page, {len(braking)} in braking.csv")
        js("report.zoomTo(...[report.charts[0].data[0][0], report.charts[0].data[0].at(-1)])")
        for row, drop in list(zip(rows, braking))[:3]:
            row.click()
            low, high = js("const x = report.charts[0].scales.x; return [x.min, x.max]")
            at, span = float(drop["time_s"]), float(trace[-1]["time_s"])
            if not (low <= at <= high and high - low < span):
                fault(f"set {k + 1}: braking row {drop['drop']} zoomed to {low:.2f}..{high:.2f}, "
                      f"the drop is at {at}")
        page = js(f"const d = report.run.sets[{k}].levels[0].data, c = report.run.columns;"
                  "return ['t', 'brakeLamp', 'emergencyLamp', 'sound5', 'sound110', 'sound111']"
                  ".map(n => d[c.indexOf(n)])")
        if len(page[0]) != len(trace):
            fault(f"set {k + 1}: {len(page[0])} frames on the page, {len(trace)} in the trace")
            continue
        for i, row in enumerate(trace):
            marks = [trace_value(row, n) for n in ["brake_lamp", "emergency_lamp"] + SOUNDS]
            before = trace[i - 1] if i else None
            changed = any(m != trace_value(before, n) for m, n in
                          zip(marks[:2], ["brake_lamp", "emergency_lamp"])) if before else True
            if not (changed or any(marks[2:])):
                continue
            mine = ["1" if page[c][i] else "0" for c in (1, 2)] + \
                   ["start" if page[c][i] else "" for c in (3, 4, 5)]
            if mine != marks or f"{page[0][i]:.4f}" != row["time_s"]:
                fault(f"set {k + 1} frame {i}: page has {mine} at {page[0][i]}, trace {marks}")
                break


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--drive", nargs="+")
    parser.add_argument("--examples")
    parser.add_argument("--work")
    parser.add_argument("--only")
    parser.add_argument("--check", nargs="+", default=[])
    args = parser.parse_args()
    began = time.monotonic()
    folders = list(args.check)
    if args.drive:
        scenarios = sorted(glob.glob(os.path.join(args.examples, "*.toml")))
        runs = [(s, []) for s in scenarios if not args.only or args.only in s]
        runs.append((os.path.join(args.examples, "approach.toml"), ["--compare"]))
        for scenario, extra in runs:
            out = os.path.join(args.work, os.path.basename(scenario)[:-5] + "".join(extra))
            done = subprocess.run([*args.drive, scenario, "--quiet", "--out", out, *extra],
                                  capture_output=True, text=True)
            if done.returncode != 0 or "report.html" not in done.stdout.splitlines()[-1]:
                sys.exit(f"drive {scenario} {extra}: {done.returncode}\n{done.stdout}{done.stderr}")
            folders.append(out)
    faults = []
    driver = browser()
    try:
        for folder in folders:
            check_page(driver, folder, faults)
    finally:
        driver.quit()
    for line in faults:
        print(line)
    print(f"{len(folders)} pages checked in {time.monotonic() - began:.1f} s, {len(faults)} faults")
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
