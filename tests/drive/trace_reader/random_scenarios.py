#!/usr/bin/python3
"""Seeded random scenarios for drive, in its TOML format: codes rising and
falling, gradients with steep descents, trains of many notch counts and rates,
the three options (ATCBrakeNotch below, within and above the driver's notches,
and below 1), the scripted driver braking harder than the ATC and the follow
driver, the selector, restriction and cut-out keys, a reset beacon on a
`stopped = true` trigger, and sometimes [[variant]] tables whose names hold
commas. The same seed always gives the same file.

    random_scenarios.py SEED [SEED...] [--out DIR]
"""
import argparse
import json
import os
import random

# The ATC's aspects and their limits in km/h; 36 and 12 latch the emergency brake in ATC.
CODES = {11: 0, 13: 15, 15: 25, 19: 45, 21: 55, 23: 65, 25: 75, 28: 90, 30: 100, 32: 110,
         34: 110, 10: 120}
NO_CODE = [36, 12]


def toml(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, dict):
        return "{ " + ", ".join(f"{k} = {toml(v)}" for k, v in value.items()) + " }"
    if isinstance(value, list):
        return "[ " + ", ".join(toml(v) for v in value) + " ]"
    if isinstance(value, float):
        return f"{value:.2f}"
    return json.dumps(value) if isinstance(value, str) else str(value)


def table(name, keys):
    return [f"\n{name}"] + [f"{k} = {toml(v)}" for k, v in keys.items() if v is not None]


def next_code(rnd, code):
    """Mostly a step or two up or down the ladder of limits, sometimes a jump or no code."""
    if rnd.random() < 0.06:
        return rnd.choice(NO_CODE)
    ladder = sorted(CODES, key=lambda c: (CODES[c], c))
    here = ladder.index(code) if code in ladder else len(ladder) // 2
    step = rnd.choice([-3, -2, -1, -1, -1, 1, 1, 2, 4]) if rnd.random() < 0.8 else 0
    return ladder[min(max(here + step, 0), len(ladder) - 1)] if step else rnd.choice(ladder)


def events(rnd, follow, service, power, length_s):
    timed, t, code = [], 0.0, rnd.choice([19, 23, 25, 28, 30])
    timed += [(0.0, {"signal": code}), (rnd.uniform(0.2, 1.5), {"key": "mode_up"})]
    if not follow:
        timed.append((2.0, {"brake": "release", "power": power}))
    while t < length_s:
        t += rnd.uniform(2.0, 7.0)
        code = next_code(rnd, code)
        timed.append((t, {"signal": code}))
        if not follow and rnd.random() < 0.6:  # brakes at times harder than the ATC does
            brake = rnd.randint(1, service + 1)
            timed.append((t + rnd.uniform(0.1, 2.0), {"brake": brake, "power": 0}))
            timed.append((t + rnd.uniform(2.0, 6.0), {"brake": "release",
                                                      "power": rnd.randint(1, power)}))
        if code in NO_CODE:
            timed.append((t + rnd.uniform(1.0, 4.0), {"brake": "emergency"}))
            timed.append((t + rnd.uniform(4.0, 6.0), {"signal": rnd.choice(list(CODES))}))
        if rnd.random() < 0.15:
            key = rnd.choice(["restrict", "cut_out", "mode_down", "mode_up",
                              ["restrict", "mode_up"]])
            timed.append((t + rnd.uniform(0.5, 3.0), {"key": key}))
            if key in ("restrict", "cut_out"):
                timed.append((t + rnd.uniform(3.0, 8.0), {"key": key}))
        if follow and rnd.random() < 0.1:
            timed.append((t + rnd.uniform(0.5, 2.0), {"brake": rnd.randint(1, service)}))
    timed.sort(key=lambda e: e[0])
    listed = [dict(time_s=round(at, 2), **action) for at, action in timed]
    # A reset beacon where the train comes to rest under the 0 km/h code, then away again.
    last = timed[-1][0]
    listed.append({"time_s": round(last + 5, 2), "signal": 11, "label": "0 km/h"})
    if not follow:
        listed.append({"after_s": 0.5, "brake": service, "power": 0})
    listed += [{"stopped": True, "beacon": {"type": 600, "parameter": 1}, "label": "reset"},
               {"after_s": 1, "brake": "emergency"},
               {"after_s": 3, "signal": rnd.choice([19, 21, 23, 25])},
               {"after_s": 1, "brake": "release", "power": power}]
    return listed, last + 50


def scenario(seed):
    rnd = random.Random(seed)
    service, power = rnd.randint(4, 10), rnd.randint(2, 6)
    follow = rnd.random() < 0.5
    notch = rnd.choice([None, rnd.randint(-1, 0), rnd.randint(1, service),
                        rnd.randint(1, service), service + 1, service + 2, service + 3])
    listed, duration = events(rnd, follow, service, power, rnd.uniform(90, 180))
    gradients, at = [], 0
    while at < 6000:
        permille = rnd.choice([0, 0, 5, 10, -10, 20, -25, -35, 35])
        gradients.append({"from_m": at, "permille": permille})
        at += rnd.randint(200, 1500)
    service_rate = rnd.uniform(2.5, 5.0)
    out = [f'title = "Random scenario, seed {seed}"']
    out += table("[train]", {
        "service_notches": service, "power_notches": power,
        "acceleration_kmhps": rnd.uniform(1.5, 4.0), "constant_power_from_kmh": rnd.randint(20, 60),
        "service_deceleration_kmhps": service_rate,
        "emergency_deceleration_kmhps": service_rate + rnd.uniform(0.2, 1.5),
        "rolling_resistance_kmhps": rnd.uniform(0.02, 0.1),
        "air_resistance_at_100kmh_kmhps": rnd.uniform(0.1, 0.5)})
    out += table("[options]", {"use_120_signal": rnd.random() < 0.3, "use_ats": rnd.random() < 0.3,
                               "atc_brake_notch": notch})
    out += table("[track]", {"gradients": gradients})
    run = {"frame_rate_hz": rnd.choice([10, 15, 20, 25, 30, 50, 60]),
           "duration_s": round(duration, 1)}
    if rnd.random() < 0.1:  # the speed given, so the ATC's brake shows but never slows the train
        run["loop"] = "open"
        times = sorted({0} | {round(rnd.uniform(1, duration), 1) for _ in range(8)})
        run["speed_profile"] = [[at, rnd.choice([0, rnd.randint(5, 130)])] for at in times]
    out += table("[run]", run)
    start_speed = rnd.choice([0, 0, 0, rnd.randint(10, 60)])
    out += table("[start]", {"speed_kmh": start_speed,
                             "brake": "release" if follow or start_speed else "emergency"})
    if follow:
        out += table("[driver]", {"style": "follow", "margin_kmh": rnd.uniform(0.5, 5.0),
                                  "reaction_s": rnd.uniform(0.3, 2.0)})
    variants = rnd.random() < 0.25
    if variants:  # one named with a comma, one named by drive from its keys
        a, b = rnd.randint(1, service + 2), rnd.randint(1, service + 2)
        out += table("[[variant]]", {"name": f"notch {a}, ATS", "atc_brake_notch": a,
                                     "use_ats": True})
        out += table("[[variant]]", {"atc_brake_notch": b, "use_120_signal": True})
    for event in listed:
        out += table("[[event]]", event)
    return "\n".join(out) + "\n", variants


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("seeds", type=int, nargs="+")
    parser.add_argument("--out", default=".")
    args = parser.parse_args()
    for seed in args.seeds:
        text, _ = scenario(seed)
        with open(os.path.join(args.out, f"random-{seed}.toml"), "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
