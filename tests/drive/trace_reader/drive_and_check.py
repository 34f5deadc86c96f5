#!/usr/bin/python3
"""Plays every example, the scenarios beside this file, seeded random scenarios
and a --compare run with set names holding commas through drive, and checks
every figure each run wrote against its own trace. Any disagreement, or a run
that fails, fails the whole.

    drive_and_check.py --drive PATH --examples DIR --work DIR [--seed N] [--count N]
"""
import argparse
import csv
import glob
import os
import shutil
import subprocess
import sys
import time
import tomllib

import check_figures
import random_scenarios

HERE = os.path.dirname(os.path.abspath(__file__))
COMPARE_SETS = ["--set", "ATCBrakeNotch=4,UseATS=1", "--set", "ATCBrakeNotch=default"]


def play(drive, scenario, out, extra, report):
    try:
        done = subprocess.run([drive, scenario, "--quiet", "--out", out, *extra],
                              capture_output=True, text=True)
    except OSError as error:
        report.add(scenario, 0, "(drive)", "a run", str(error))
        return
    if done.returncode != 0:
        report.add(scenario, 0, "(exit status)", 0, f"{done.returncode}: {done.stderr.strip()}")
        return
    check_figures.check(scenario, out, "--compare" in extra, report)


def driver_brakes_harder(scenario, trace):
    """Frames where the ATC brakes and only its lamp shows it: the scenario's point."""
    with open(scenario, "rb") as f:
        notch = tomllib.load(f)["options"]["atc_brake_notch"]
    with open(trace, newline="") as f:
        return sum(1 for r in csv.DictReader(f)
                   if r["brake_lamp"] == "1" and int(r["driver_brake"]) > notch)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--drive", required=True)
    parser.add_argument("--examples", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=220)
    args = parser.parse_args()
    began = time.monotonic()
    shutil.rmtree(args.work, ignore_errors=True)  # a set's folder left from before is no set now
    report = check_figures.Report()
    own = sorted(glob.glob(os.path.join(HERE, "scenarios", "*.toml")))
    for scenario in sorted(glob.glob(os.path.join(args.examples, "*.toml"))) + own:
        name = os.path.splitext(os.path.basename(scenario))[0]
        play(args.drive, scenario, os.path.join(args.work, name), [], report)
        if name == "driver_brakes_harder":
            harder = driver_brakes_harder(scenario, os.path.join(args.work, name, "trace.csv"))
            if not harder:
                report.add(scenario, 0, "(scenario)", "lamp lit, the driver's notch stronger", 0)
    for scenario in own:
        name = os.path.splitext(os.path.basename(scenario))[0]
        play(args.drive, scenario, os.path.join(args.work, name + "-compare"),
             ["--compare", *COMPARE_SETS], report)
    os.makedirs(os.path.join(args.work, "random"), exist_ok=True)
    for seed in range(args.seed, args.seed + args.count):
        text, variants = random_scenarios.scenario(seed)
        scenario = os.path.join(args.work, "random", f"random-{seed}.toml")
        with open(scenario, "w") as f:
            f.write(text)
        report.seed = seed
        play(args.drive, scenario, os.path.join(args.work, "random", str(seed)),
             ["--compare"] if variants else [], report)
    check_figures.print_kinds(report)
    print(f"{report.total()} disagreements in {time.monotonic() - began:.1f} s; " +
          ", ".join(f"{v} {k}" for k, v in report.figures.items()))
    return 1 if report.total() else 0


if __name__ == "__main__":
    sys.exit(main())
