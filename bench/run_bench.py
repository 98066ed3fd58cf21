#!/usr/bin/env python3
"""Whole-process benchmarks of uitrans against cp and the copy floor.

Runs every command of one input round-robin, `--reps` times, from a fresh copy
of the input each time (the copy is not timed), and records the wall time and
the peak resident set of each run (getrusage of the child). Then runs the
micro-benchmarks and the rebuild growth statistics and writes the report.
"""
import argparse
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time

IMAGES = ["large", "menus", "dialogs"]
LISTS = ["1k", "10k", "100k"]


def run_once(argv, cwd):
    """Wall seconds and peak RSS (KiB) of one run of argv.

    The peak is taken by /usr/bin/time, whose child starts small: a child
    forked from this interpreter would report the interpreter's pages."""
    rss_file = os.path.join(cwd, "..", "rss.txt")
    timed = ["/usr/bin/time", "-f", "%M", "-o", rss_file] + argv
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        status = subprocess.run(timed, cwd=cwd, stdout=null,
                                stderr=null).returncode
        wall = time.perf_counter() - start
    if status != 0:
        sys.exit(f"failed ({status}): {' '.join(argv)}")
    with open(rss_file) as f:
        return wall, int(f.read().split()[-1])


def prepare(inputs, work, image):
    """A fresh copy of the image as work/t.exe, no backup, no outputs."""
    for name in os.listdir(work):
        os.unlink(os.path.join(work, name))
    shutil.copyfile(os.path.join(inputs, image + ".exe"),
                    os.path.join(work, "t.exe"))


def commands(build, inputs, image):
    uitrans = os.path.join(build, "src", "uitrans")
    floor = os.path.join(build, "bench", "copy_floor")
    source = os.path.join(inputs, image + ".exe")
    cases = [
        ("cp", ["cp", source, "copy.exe"]),
        ("copy floor", [floor, source, "copy.exe"]),
    ]
    for size in LISTS:
        cases.append((f"uitrans {size} pairs",
                      [uitrans, os.path.join(inputs, f"{image}-{size}.txt"),
                       "t.exe"]))
    for size in LISTS:
        cases.append((f"uitrans {size} absent",
                      [uitrans, os.path.join(inputs, f"absent-{size}.txt"),
                       "t.exe"]))
    return cases


def measure(build, inputs, work, reps):
    results = {}
    for image in IMAGES:
        cases = commands(build, inputs, image)
        samples = {name: [] for name, _ in cases}
        for _ in range(reps):
            for name, argv in cases:
                prepare(inputs, work, image)
                samples[name].append(run_once(argv, work))
        size = os.path.getsize(os.path.join(inputs, image + ".exe"))
        results[image] = {"size": size, "samples": samples}
        print(f"{image}: done", file=sys.stderr)
    return results


def rebuild_stats(build, inputs):
    tool = os.path.join(build, "bench", "rebuild_stats")
    stats = {}
    for image in IMAGES:
        out = subprocess.run(
            [tool, os.path.join(inputs, f"{image}-100k.txt"),
             os.path.join(inputs, image + ".exe")],
            check=True, capture_output=True, text=True).stdout
        stats[image] = json.loads(out)
    return stats


def micro(build, filter_):
    tool = os.path.join(build, "bench", "micro_bench")
    out = subprocess.run(
        [tool, "--benchmark_format=json", "--benchmark_repetitions=3",
         "--benchmark_report_aggregates_only=true",
         f"--benchmark_filter={filter_}"],
        check=True, capture_output=True, text=True).stdout
    rows = []
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        rows.append(b)
    return rows


def machine(inputs):
    model = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    mem = "?"
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal"):
                mem = f"{int(line.split()[1]) // 1024} MiB"
                break
    fs = subprocess.run(["stat", "-f", "-c", "%T", inputs],
                        capture_output=True, text=True).stdout.strip()
    cxx = subprocess.run(["c++", "--version"], capture_output=True,
                         text=True).stdout.splitlines()[0]
    return (f"{model}, {os.cpu_count()} cores, {mem} RAM, "
            f"Linux {platform.release()}, {cxx}; inputs on {fs} ({inputs})")


def median(values):
    return statistics.median(values)


def spread(values):
    """Half the interquartile range relative to the median, in percent."""
    if len(values) < 4:
        return (max(values) - min(values)) / 2 / median(values) * 100
    q = statistics.quantiles(values, n=4)
    return (q[2] - q[0]) / 2 / median(values) * 100


def report(results, stats, micro_rows, args, started):
    mib = 1024 * 1024
    lines = []
    out = lines.append
    out("## Figures")
    out("")
    out(f"Produced by `{args.command}` on {started} "
        f"({args.reps} runs of each command, round-robin).")
    out("")
    out(f"Machine: {machine(args.inputs)}.")
    out("")
    out("Whole process, median wall time (± half the interquartile range), "
        "ratio to the copy floor of the same input, and peak resident set "
        "(maximum over the runs) relative to the file size:")
    out("")
    targets = {}
    for image in IMAGES:
        r = results[image]
        size = r["size"]
        samples = r["samples"]
        floor = median([w for w, _ in samples["copy floor"]])
        out(f"### {image}.exe ({size / mib:.1f} MiB)")
        out("")
        out("| command | median s | ± % | × copy floor | peak RSS MiB "
            "| RSS / file |")
        out("|---|---:|---:|---:|---:|---:|")
        for name, runs in samples.items():
            walls = [w for w, _ in runs]
            rss = max(m for _, m in runs) * 1024
            out(f"| {name} | {median(walls):.3f} | {spread(walls):.0f} "
                f"| {median(walls) / floor:.2f} | {rss / mib:.0f} "
                f"| {rss / size:.2f} |")
        out("")
        t = targets[image] = {}
        t["ratio_100k"] = median(
            [w for w, _ in samples["uitrans 100k pairs"]]) / floor
        t["absent_growth"] = median(
            [w for w, _ in samples["uitrans 100k absent"]]) / median(
                [w for w, _ in samples["uitrans 1k absent"]]) - 1
        t["rss"] = max(max(m for _, m in runs)
                       for name, runs in samples.items()
                       if name.startswith("uitrans")) * 1024 / size
    out("The rebuild output after the rebuild (100k-pair lists):")
    out("")
    out("| image | items' data MiB | final capacity MiB | allocated MiB "
        "| rebuild s |")
    out("|---|---:|---:|---:|---:|")
    for image in IMAGES:
        s = stats[image]
        out(f"| {image} | {s['used'] / mib:.1f} | {s['capacity'] / mib:.1f} "
            f"| {s['allocated'] / mib:.1f} | {s['rebuild_seconds']:.3f} |")
    out("")
    out("Micro-benchmarks (Google Benchmark, median of 3 repetitions):")
    out("")
    out("| benchmark | time ms | throughput |")
    out("|---|---:|---:|")
    menu_rate = None
    for b in micro_rows:
        name = b["run_name"]
        ms = b["real_time"] if b["time_unit"] == "ms" else b["real_time"] / 1e6
        rate = ""
        if "bytes_per_second" in b:
            rate = f"{b['bytes_per_second'] / mib:.0f} MiB/s"
            if name.startswith("BM_RewriteMenus/pairs:100000/absent:0"):
                menu_rate = b["bytes_per_second"] / mib
        if "items_per_second" in b:
            rate += f", {b['items_per_second'] / 1e6:.2f} M pairs/s"
        out(f"| {name} | {ms:.2f} | {rate} |")
    out("")
    out("Targets (computed from the figures above):")
    out("")
    out("| target | measured | met |")
    out("|---|---|---|")
    a = targets["large"]["ratio_100k"]
    out(f"| (a) large ≤ 1.0 × copy floor (aim 0.25) | {a:.2f} × "
        f"| {'yes' if a <= 1.0 else 'no'}"
        f"{' (aim met)' if a <= 0.25 else ''} |")
    for image in ["menus", "dialogs"]:
        v = targets[image]["ratio_100k"]
        out(f"| ({'b' if image == 'menus' else 'c'}) {image}, 100k pairs "
            f"≤ 1.5 × copy floor | {v:.2f} × | "
            f"{'yes' if v <= 1.5 else 'no'} |")
    for image in IMAGES:
        g = targets[image]["absent_growth"] * 100
        out(f"| {image}: 1k → 100k absent texts grows ≤ 15 % | {g:+.1f} % "
            f"| {'yes' if g <= 15 else 'no'} |")
    if menu_rate is not None:
        out(f"| menu scanning ≥ 100 MiB/s (rewrite_menu, 100k pairs) "
            f"| {menu_rate:.0f} MiB/s | {'yes' if menu_rate >= 100 else 'no'} |")
    for image in IMAGES:
        r = targets[image]["rss"]
        out(f"| {image}: peak RSS ≤ 2.2 × file (aim 1.2) | {r:.2f} × "
            f"| {'yes' if r <= 2.2 else 'no'}"
            f"{' (aim met)' if r <= 1.2 else ''} |")
    out("")
    return "\n".join(lines)


def write_results(path, figures):
    """Replaces the generated part of the results file, keeping the notes."""
    begin, end = "<!-- figures:begin -->", "<!-- figures:end -->"
    text = ""
    if os.path.exists(path):
        with open(path) as f:
            text = f.read()
    if begin in text and end in text:
        head = text[:text.index(begin)]
        tail = text[text.index(end) + len(end):]
    else:
        head, tail = "# Benchmark results\n\n", "\n"
    with open(path, "w") as f:
        f.write(head + begin + "\n" + figures + "\n" + end + tail)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True)
    p.add_argument("--inputs", required=True)
    p.add_argument("--reps", type=int, default=7)
    p.add_argument("--results", required=True)
    p.add_argument("--command", default="scripts/bench.sh")
    p.add_argument("--micro-filter", default=".")
    args = p.parse_args()
    args.build = os.path.abspath(args.build)
    args.inputs = os.path.abspath(args.inputs)
    started = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    work = os.path.join(args.inputs, "work")
    os.makedirs(work, exist_ok=True)
    results = measure(args.build, args.inputs, work, args.reps)
    stats = rebuild_stats(args.build, args.inputs)
    micro_rows = micro(args.build, args.micro_filter)
    figures = report(results, stats, micro_rows, args, started)
    write_results(args.results, figures)
    print(figures)


if __name__ == "__main__":
    main()
