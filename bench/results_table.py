#!/usr/bin/env python3
"""Turns a qz_bench JSON report (--benchmark_out=FILE --benchmark_out_format=json,
run with repetitions and aggregates) into the Markdown results table of
bench/README.md: median, min and max of the library's column, its ratio to
the limit and to the best peer, and the target next to it; then the library
against the plain loop and the public API's columns (screen, image)."""

import json
import sys

# row, limit benchmark, peers, target text, target check (ratio to limit,
# ratio to best peer, median ms) -> met?
ROWS = [
    ("W1", "limit/memset_warm", ["opencv", "sdl2"], "<= 1.2 x memset",
     lambda lim, peer, ms: lim is not None and lim <= 1.2),
    ("W2", "limit/memset_warm", ["opencv", "sdl2"], "<= 0.8 x best of OpenCV, SDL2",
     lambda lim, peer, ms: peer is not None and peer <= 0.8),
    ("W3", "limit/memset_warm", ["opencv", "sdl2"], "<= 0.8 x best of OpenCV, SDL2",
     lambda lim, peer, ms: peer is not None and peer <= 0.8),
    ("W4", "limit/memset_warm", ["opencv"], "<= 0.5 x OpenCV",
     lambda lim, peer, ms: peer is not None and peer <= 0.5),
    ("W5", "limit/memset_warm", ["opencv"], "<= 0.5 x OpenCV",
     lambda lim, peer, ms: peer is not None and peer <= 0.5),
    ("W6", "limit/memset_warm", ["opencv"], "<= 0.5 x OpenCV",
     lambda lim, peer, ms: peer is not None and peer <= 0.5),
    ("W7", "limit/memset_warm", ["opencv"], "<= 0.5 x OpenCV and <= 8 x memset",
     lambda lim, peer, ms: peer is not None and peer <= 0.5 and lim <= 8),
    ("W8", "limit/memset_warm", ["opencv"], "<= 0.5 x OpenCV",
     lambda lim, peer, ms: peer is not None and peer <= 0.5),
    ("W4r2", "limit/memset_warm", ["opencv"], "(extra)", None),
    ("W4r3", "limit/memset_warm", ["opencv"], "(extra)", None),
    ("W6o", "limit/memset_warm", ["opencv"], "(extra: W6 - W6o = the fills)", None),
]


PRESENT_ROWS = [
    # A pass always follows at least 10 ms without one (the update loop's
    # spacing), so the bare put it is held against comes after the same pause.
    ("present/pass_band100 vs a bare put after 10 ms idle", "present/pass_band100", "present/bare_band100_after_idle",
     "<= 1.2 x bare XShmPutImage + XSync of the band", lambda r, ms: r is not None and r <= 1.2),
    ("present/pass_band100 vs a bare put back to back", "present/pass_band100", "present/bare_band100",
     "(information: a server kept busy, which a pass never meets)", None),
    ("present/pass_no_rows", "present/pass_no_rows", None, "(information: the pass's own cost)", None),
    ("present/pass_all_rows", "present/pass_all_rows", "present/bare_all_rows", "(information)", None),
    ("present/unlock_to_server", "present/unlock_to_server", None, "<= 11 ms", lambda r, ms: ms <= 11),
    ("present/title_call", "present/title_call", None, "(information: a call to the window thread and back)",
     None),
    ("picture with its window (X11, Xvfb)", "present/picture_with_window", "limit/first_touch_shm",
     "(information: the Null picture's, plus the X connection and the window)", None),
]


# The library against the plain loop, and the public API against the
# internal calls (screen) and against itself on an image: row, is a target.
COLUMN_ROWS = [("W1", True), ("W2", True), ("W3", True), ("W4", True), ("W5", True), ("W6", True),
               ("W7", True), ("W8", True), ("W4r2", False), ("W4r3", False), ("W6o", False)]
PLAIN_LIMIT, API_LIMIT, IMAGE_LIMIT = 1.0, 1.05, 1.1


def load(path):
    with open(path) as f:
        report = json.load(f)
    stats = {}
    for b in report["benchmarks"]:
        if b.get("run_type") != "aggregate":
            continue
        name = b["run_name"].split("/iterations:")[0].replace("/manual_time", "")
        stats.setdefault(name, {})[b["aggregate_name"]] = b["real_time"]
        for key in ("setup_ms", "sweep_ms", "chart_ms"):
            if key in b and b["aggregate_name"] == "median":
                stats[name][key] = b[key]
    return report, stats


def fmt(v):
    if v is None:
        return "–"
    return f"{v:.3f}" if v < 10 else f"{v:.1f}"


def ratio(a, b):
    return None if a is None or not b else a / b


def both(r_median, r_min):
    """The ratio of medians, then in brackets the ratio of minima, which a busy machine disturbs least."""
    if r_median is None:
        return "–"
    return f"{fmt(r_median)} ({fmt(r_min)})" if r_min is not None else fmt(r_median)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: results_table.py REPORT.json")
    report, stats = load(sys.argv[1])
    med = lambda n: stats.get(n, {}).get("median")
    ctx = report["context"]
    print(f"Run: {ctx.get('date', '?')}, {ctx.get('num_cpus', '?')} CPUs at {ctx.get('mhz_per_cpu', '?')} MHz, "
          f"load average {', '.join(f'{x:.2f}' for x in ctx.get('load_avg', []))}.")
    print()
    print("Ratios: of medians, in brackets of minima. Limit: memset of the frame, warm (picture: first touch of a")
    print("System V segment of the frame's size; presentation: the bare XShmPutImage + XSync of the same rows).")
    print()
    print("| workload | median ms | min ms | max ms | limit ms | × limit | OpenCV ms | SDL2 ms | × best peer | target | met |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---|---|")
    for name, limit, peers, target, check in ROWS:
        lib = stats.get(f"{name}/library")
        if not lib:
            continue
        peer_ms = {p: med(f"{name}/{p}") for p in peers}
        present = [v for v in peer_ms.values() if v is not None]
        best = min(present) if present else None
        r_lim, r_peer = ratio(lib["median"], med(limit)), ratio(lib["median"], best)
        mins = [stats.get(f"{name}/{p}", {}).get("min") for p in peers]
        mins = [v for v in mins if v is not None]
        r_lim_min = ratio(lib.get("min"), stats.get(limit, {}).get("min"))
        r_peer_min = ratio(lib.get("min"), min(mins) if mins else None)
        met = "" if check is None else ("yes" if check(r_lim, r_peer, lib["median"]) else "**no**")
        print(f"| {name} | {fmt(lib['median'])} | {fmt(lib.get('min'))} | {fmt(lib.get('max'))} | "
              f"{fmt(med(limit))} | {both(r_lim, r_lim_min)} | {fmt(peer_ms.get('opencv'))} | "
              f"{fmt(peer_ms.get('sdl2'))} | {both(r_peer, r_peer_min)} | {target} | {met} |")
    pic = stats.get("picture/setup_sweep_chart")
    if pic:
        print(f"| picture: mode set + background + sweep + chart | {fmt(pic['median'])} | {fmt(pic.get('min'))} | "
              f"{fmt(pic.get('max'))} | {fmt(med('limit/first_touch_shm'))} | {both(ratio(pic['median'], med('limit/first_touch_shm')), ratio(pic.get('min'), stats.get('limit/first_touch_shm', {}).get('min')))} | – | – | – | "
              f"<= 5 ms | {'yes' if pic['median'] <= 5 else '**no**'} |")
    anim = stats.get("picture/animation_frame")
    if anim:
        print(f"| one animation frame, no waits | {fmt(anim['median'])} | {fmt(anim.get('min'))} | {fmt(anim.get('max'))} "
              f"| – | – | – | – | – | – | |")
    for label, name, bare, target, check in PRESENT_ROWS:
        st = stats.get(name)
        if not st:
            continue
        r = ratio(st["median"], med(bare)) if bare else None
        r_min = ratio(st.get("min"), stats.get(bare, {}).get("min")) if bare else None
        met = "" if check is None else ("yes" if check(r, st["median"]) else "**no**")
        print(f"| {label} | {fmt(st['median'])} | {fmt(st.get('min'))} | {fmt(st.get('max'))} | {fmt(med(bare))} | "
              f"{both(r, r_min)} | – | – | – | {target} | {met} |")
    columns_table(stats)
    print()
    print("| limit | median ms | min ms | max ms |")
    print("|---|---:|---:|---:|")
    for name in sorted(n for n in stats if n.startswith("limit/") or n.startswith("present/bare_")):
        st = stats[name]
        print(f"| {name} | {fmt(st['median'])} | {fmt(st.get('min'))} | {fmt(st.get('max'))} |")
    if pic and "setup_ms" in pic:
        print()
        print(f"Picture, median per phase: mode set + background {pic['setup_ms']:.2f} ms, sweep "
              f"{pic['sweep_ms']:.2f} ms, static chart {pic['chart_ms']:.2f} ms.")


def columns_table(stats):
    """The library against the plain loop, the public API against the internal calls, and the public API on
    an image against the same on the screen: medians, in brackets minima."""
    if not any(f"{name}/plain" in stats or f"{name}/api" in stats for name, _ in COLUMN_ROWS):
        return
    print()
    print(f"Targets: library <= {PLAIN_LIMIT} x plain loop, public API <= {API_LIMIT} x internal calls, "
          f"image <= {IMAGE_LIMIT} x public API on the screen.")
    print()
    print("| workload | library ms | plain ms | library × plain | API ms | API × library | image ms | "
          "image × API | met |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---|")
    for name, is_target in COLUMN_ROWS:
        st = {c: stats.get(f"{name}/{c}", {}) for c in ("library", "plain", "api", "image")}
        if not st["library"]:
            continue
        med = {c: v.get("median") for c, v in st.items()}
        mins = {c: v.get("min") for c, v in st.items()}
        pairs = [("library", "plain", PLAIN_LIMIT), ("api", "library", API_LIMIT), ("image", "api", IMAGE_LIMIT)]
        cells, verdicts = [], []
        for a, b, limit in pairs:
            r = ratio(med[a], med[b])
            cells.append(both(r, ratio(mins[a], mins[b])))
            if r is not None:
                verdicts.append(r <= limit)
        met = "" if not is_target else ("yes" if verdicts and all(verdicts) else "**no**")
        print(f"| {name} | {fmt(med['library'])} | {fmt(med['plain'])} | {cells[0]} | {fmt(med['api'])} | "
              f"{cells[1]} | {fmt(med['image'])} | {cells[2]} | {met} |")


if __name__ == "__main__":
    main()
