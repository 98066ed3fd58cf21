#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Whole-process benchmarks of uitrans against cp, the copy floor and a peer.

Runs every command of one input round-robin, `--reps` times, from a fresh copy
of the input each time (the copy is not timed), and records the wall time and
the peak resident set of each run. The peer is the same repack done with the
resedit library under Node.js (bench/peer/repack.mjs, installed by
scripts/bench.sh): load the image, rebuild its resources unchanged, write it.

Then times one uitrans run over a batch of small executables, with and without
the flush to stable storage, and traces its system calls; runs the
micro-benchmarks and the rebuild growth statistics; and writes the report.
"""
import argparse
import json
import os
import platform
import shutil
import statistics
import struct
import subprocess
import sys
import time

IMAGES = ["large", "menus", "dialogs"]
LISTS = ["1k", "10k", "100k"]
PARTS = ["images", "batch", "micro"]
PEER = "resedit repack"
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MIB = 1024 * 1024

# The batch list: a few texts that every copy of the fixture holds, so that
# each executable is rewritten, backed up and flushed.
BATCH_PAIRS = [
    ("&Open...\tCtrl+O", "&Öffnen...\tStrg+O"),
    ("&Save", "&Speichern"),
    ("E&xit", "&Beenden"),
    ("&About...", "&Info..."),
]

# ---------------------------------------------------------------- running


def timed_run(argv, cwd):
    """Wall and CPU seconds and peak RSS (KiB) of one run of argv.

    The figures come from /usr/bin/time, whose child starts small: a child
    forked from this interpreter would report the interpreter's pages."""
    report = os.path.join(cwd, "..", "time.txt")
    timed = ["/usr/bin/time", "-f", "%e %U %S %M", "-o", report] + argv
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        done = subprocess.run(timed, cwd=cwd, stdout=null,
                              stderr=subprocess.PIPE)
        wall = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"failed ({done.returncode}): {' '.join(argv)}\n"
                 f"{done.stderr.decode(errors='replace')}")
    with open(report) as f:
        _, user, system, rss = f.read().split()[-4:]
    return {"wall": wall, "user": float(user), "sys": float(system),
            "rss": int(rss)}


def run_once(argv, cwd):
    """Wall seconds and peak RSS (KiB) of one run of argv."""
    r = timed_run(argv, cwd)
    return r["wall"], r["rss"]


def empty_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)


def prepare(inputs, work, image):
    """A fresh copy of the image as work/t.exe, no backup, no outputs."""
    for name in os.listdir(work):
        os.unlink(os.path.join(work, name))
    shutil.copyfile(os.path.join(inputs, image + ".exe"),
                    os.path.join(work, "t.exe"))


def tool_output(argv):
    """First line of a command's output, or "?" when it does not run."""
    try:
        out = subprocess.run(argv, capture_output=True, text=True).stdout
    except OSError:
        return "?"
    return (out.splitlines() or ["?"])[0].strip()


# ---------------------------------------------------------------- the peer


def peer_command(peer_dir):
    """The argv that runs the peer repack, or None when it is not installed."""
    script = os.path.join(peer_dir, "repack.mjs")
    library = os.path.join(peer_dir, "node_modules", "resedit")
    if not (os.path.exists(script) and os.path.isdir(library)
            and shutil.which("node")):
        return None
    return ["node", script]


def peer_version(peer_dir):
    path = os.path.join(peer_dir, "node_modules", "resedit", "package.json")
    with open(path) as f:
        return json.load(f)["version"]


def try_peer(peer, source, work):
    """None when the peer repacks source, else the error it printed."""
    out = os.path.join(work, "peer-probe.exe")
    done = subprocess.run(peer + [source, out], capture_output=True,
                          text=True)
    if os.path.exists(out):
        os.unlink(out)
    if done.returncode == 0:
        return None
    lines = done.stderr.strip().splitlines() or [f"status {done.returncode}"]
    return lines[-1]


def pe_layout(header):
    """Offsets of the data directory and the sections (VA, virtual size) of a
    PE header, or None when the bytes are not one."""
    try:
        nt = struct.unpack_from("<I", header, 0x3C)[0]
        sections, = struct.unpack_from("<H", header, nt + 6)
        optional_size, = struct.unpack_from("<H", header, nt + 20)
        magic, = struct.unpack_from("<H", header, nt + 24)
        directory = nt + 24 + (96 if magic == 0x10B else 112)
        table = nt + 24 + optional_size
        spans = [struct.unpack_from("<II", header, table + 40 * i + 8)[::-1]
                 for i in range(sections)]
        struct.unpack_from("<II", header, directory + 5 * 8)
    except struct.error:
        return None
    return directory, spans


def relocation_named_copy(source, target):
    """Copies source to target with the base relocation directory naming the
    one section that follows the resources; False when that does not apply.

    The generated images end with a relocation section that no directory
    entry names; resedit only accepts a section after the resources when it
    is the one the base relocation entry names."""
    with open(source, "rb") as f:
        data = bytearray(f.read())
    layout = pe_layout(data[:65536])
    if layout is None:
        return False
    directory, spans = layout
    resource_va, = struct.unpack_from("<I", data, directory + 2 * 8)
    after = [span for span in spans if span[0] > resource_va]
    relocation = struct.unpack_from("<II", data, directory + 5 * 8)
    if len(after) != 1 or relocation != (0, 0):
        return False
    struct.pack_into("<II", data, directory + 5 * 8, *after[0])
    with open(target, "wb") as f:
        f.write(data)
    return True


def peer_input(peer, inputs, work, image):
    """The file the peer runs on for image, how it was made, and the error
    the peer gave on the image as generated (None when it took it)."""
    source = os.path.join(inputs, image + ".exe")
    error = try_peer(peer, source, work)
    if error is None:
        return {"path": source, "input": "the image as generated",
                "error": None}
    variant = os.path.join(inputs, f"peer-{image}.exe")
    if relocation_named_copy(source, variant):
        if try_peer(peer, variant, work) is None:
            return {"path": variant, "error": error,
                    "input": "a copy naming its relocation section"}
    return {"path": None, "input": None, "error": error}


# ---------------------------------------------------------------- images


def commands(build, inputs, image, peer_argv):
    uitrans = os.path.join(build, "src", "uitrans")
    floor = os.path.join(build, "bench", "copy_floor")
    source = os.path.join(inputs, image + ".exe")
    cases = [
        ("cp", ["cp", source, "copy.exe"]),
        ("copy floor", [floor, source, "copy.exe"]),
    ]
    if peer_argv:
        cases.append((PEER, peer_argv))
    for size in LISTS:
        cases.append((f"uitrans {size} pairs",
                      [uitrans, os.path.join(inputs, f"{image}-{size}.txt"),
                       "t.exe"]))
    for size in LISTS:
        cases.append((f"uitrans {size} absent",
                      [uitrans, os.path.join(inputs, f"absent-{size}.txt"),
                       "t.exe"]))
    return cases


def measure(build, inputs, work, reps, peer):
    results = {}
    for image in IMAGES:
        peer_info = peer_input(peer, inputs, work, image) if peer else None
        peer_argv = None
        if peer_info and peer_info["path"]:
            peer_argv = peer + [peer_info["path"], "peer.exe"]
        cases = commands(build, inputs, image, peer_argv)
        samples = {name: [] for name, _ in cases}
        for _ in range(reps):
            for name, argv in cases:
                prepare(inputs, work, image)
                samples[name].append(run_once(argv, work))
        size = os.path.getsize(os.path.join(inputs, image + ".exe"))
        results[image] = {"size": size, "samples": samples,
                          "peer": peer_info}
        print(f"{image}: done", file=sys.stderr)
    return results


# ---------------------------------------------------------------- batch


def write_batch_list(path):
    text = "\ufeff" + "".join(f"{find}\r\n{replacement}\r\n"
                              for find, replacement in BATCH_PAIRS)
    with open(path, "wb") as f:
        f.write(text.encode("utf-16-le"))


def batch_names(count):
    return [f"e{i:04d}.exe" for i in range(count)]


def prepare_batch(fixture, run_dir, names):
    """Fresh copies of the fixture, written out to disk before the timed
    run so that its flushes carry only its own files."""
    empty_dir(run_dir)
    for name in names:
        shutil.copyfile(fixture, os.path.join(run_dir, name))
    os.sync()


def check_batch(run_dir, names):
    """Every executable must have been rewritten (and so backed up)."""
    missing = [n for n in names
               if not os.path.exists(os.path.join(run_dir, n + ".old"))]
    if missing:
        sys.exit(f"batch: {len(missing)} executables not rewritten, "
                 f"first {missing[0]}")


def trace_command(out_file):
    """A system call summary wrapper: perf trace where it works (it costs
    little per call), else strace, whose stops inflate every call."""
    if shutil.which("perf"):
        probe = subprocess.run(["perf", "trace", "-s", "-o", os.devnull,
                                "--", "true"], capture_output=True)
        if probe.returncode == 0:
            return "perf trace -s", ["perf", "trace", "-s", "-o", out_file,
                                     "--"]
    if shutil.which("strace"):
        return "strace -c -w -f", ["strace", "-c", "-w", "-f", "-o",
                                   out_file]
    return None, None


def parse_perf_trace(text):
    """{syscall: (calls, seconds)} from a perf trace -s summary."""
    calls = {}
    for line in text.splitlines():
        fields = line.split()
        if (len(fields) >= 4 and fields[1].isdigit()
                and fields[2].isdigit()):
            # One summary per thread: add them up.
            n, seconds = calls.get(fields[0], (0, 0.0))
            calls[fields[0]] = (n + int(fields[1]),
                                seconds + float(fields[3]) / 1000)
    return calls


def parse_strace(text):
    """{syscall: (calls, seconds)} from an strace -c summary."""
    calls = {}
    for line in text.splitlines():
        fields = line.split()
        if len(fields) < 5 or not fields[3].isdigit():
            continue
        if fields[-1] != "total":
            calls[fields[-1]] = (int(fields[3]), float(fields[1]))
    return calls


def trace_batch(command, run_dir):
    """System calls of one traced run, or None when no tracer works."""
    out_file = os.path.join(run_dir, "..", "trace.txt")
    tracer, prefix = trace_command(out_file)
    if tracer is None:
        return None
    done = subprocess.run(prefix + command, cwd=run_dir,
                          stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    if done.returncode != 0 or not os.path.exists(out_file):
        return None
    with open(out_file) as f:
        text = f.read()
    parse = parse_perf_trace if tracer.startswith("perf") else parse_strace
    return {"tracer": tracer, "calls": parse(text)}


def measure_batch(build, batch_dir, fixture, count, reps):
    """Plain and flush-free (eatmydata) runs round-robin, then one traced
    run; each over count fresh copies of the fixture."""
    os.makedirs(batch_dir, exist_ok=True)
    list_file = os.path.join(batch_dir, "list.txt")
    write_batch_list(list_file)
    run_dir = os.path.join(batch_dir, "run")
    names = batch_names(count)
    command = [os.path.join(build, "src", "uitrans"), list_file] + names
    modes = {"plain": command}
    if shutil.which("eatmydata"):
        modes["no flush"] = ["eatmydata"] + command
    samples = {mode: [] for mode in modes}
    for _ in range(reps):
        for mode, argv in modes.items():
            prepare_batch(fixture, run_dir, names)
            samples[mode].append(timed_run(argv, run_dir))
            check_batch(run_dir, names)
    prepare_batch(fixture, run_dir, names)
    trace = trace_batch(command, run_dir)
    fs = tool_output(["stat", "-f", "-c", "%T", batch_dir])
    print("batch: done", file=sys.stderr)
    return {"count": count, "samples": samples, "trace": trace,
            "fixture": fixture, "fixture_size": os.path.getsize(fixture),
            "fs": fs, "dir": batch_dir}


# ---------------------------------------------------------------- others


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
    fs = tool_output(["stat", "-f", "-c", "%T", inputs])
    cxx = tool_output(["c++", "--version"])
    return (f"{model}, {os.cpu_count()} cores, {mem} RAM, "
            f"Linux {platform.release()}, {cxx}; inputs on {fs} ({inputs})")


# ---------------------------------------------------------------- report


def median(values):
    return statistics.median(values)


def spread(values):
    """Half the interquartile range relative to the median, in percent."""
    if len(values) < 4:
        return (max(values) - min(values)) / 2 / median(values) * 100
    q = statistics.quantiles(values, n=4)
    return (q[2] - q[0]) / 2 / median(values) * 100


def wall_median(runs):
    return median([w for w, _ in runs])


def peak_kib(runs):
    return max(m for _, m in runs)


def image_table(image, r, out):
    """One input's table; returns the figures the targets are judged by."""
    size, samples = r["size"], r["samples"]
    floor = wall_median(samples["copy floor"])
    out(f"### {image}.exe ({size / MIB:.1f} MiB)")
    out("")
    out("| command | median s | ± % | × copy floor | peak RSS MiB "
        "| RSS / file |")
    out("|---|---:|---:|---:|---:|---:|")
    for name, runs in samples.items():
        walls = [w for w, _ in runs]
        rss = peak_kib(runs) * 1024
        out(f"| {name} | {median(walls):.3f} | {spread(walls):.0f} "
            f"| {median(walls) / floor:.2f} | {rss / MIB:.0f} "
            f"| {rss / size:.2f} |")
    out("")
    return {
        "ratio_100k": wall_median(samples["uitrans 100k pairs"]) / floor,
        "absent_growth": wall_median(samples["uitrans 100k absent"]) /
        wall_median(samples["uitrans 1k absent"]) - 1,
        "rss": max(peak_kib(runs) for name, runs in samples.items()
                   if name.startswith("uitrans")) * 1024 / size,
    }


def peer_table(results, peer_dir, out):
    """uitrans's time and memory as ratios to the peer, per input."""
    if not any(results[image]["peer"] for image in IMAGES):
        out(f"Peer: not run (resedit is not installed in {peer_dir}; "
            "scripts/bench.sh installs it with npm).")
        out("")
        return
    node = tool_output(["node", "--version"])
    out(f"Peer: the same repack with resedit {peer_version(peer_dir)} "
        f"(Node.js {node}; bench/peer/repack.mjs: load the image, rebuild "
        "its resources unchanged, write it and flush it). It translates "
        "nothing, so it is a floor of what existing parts do, not a rival "
        "in features. uitrans as a ratio to it (below 1: uitrans is faster "
        "or smaller):")
    out("")
    out("| image | resedit s | resedit peak RSS MiB | uitrans 1k pairs time "
        "× | uitrans 100k pairs time × | uitrans 100k pairs RSS × "
        "| resedit ran on |")
    out("|---|---:|---:|---:|---:|---:|---|")
    errors = []
    for image in IMAGES:
        info, samples = results[image]["peer"], results[image]["samples"]
        if PEER not in samples:
            out(f"| {image} | — | — | — | — | — | failed: {info['error']} |")
            errors.append((image, info))
            continue
        if info["error"]:
            errors.append((image, info))
        peer = samples[PEER]
        t, m = wall_median(peer), peak_kib(peer)
        small = samples["uitrans 1k pairs"]
        big = samples["uitrans 100k pairs"]
        out(f"| {image} | {t:.3f} | {m / 1024:.0f} "
            f"| {wall_median(small) / t:.2f} | {wall_median(big) / t:.2f} "
            f"| {peak_kib(big) / m:.2f} | {info['input']} |")
    out("")
    peer_errors(errors, out)


def peer_errors(errors, out):
    """One note per distinct failure, naming the inputs it hit."""
    by_error = {}
    for image, info in errors:
        by_error.setdefault((info["error"], bool(info["input"])),
                            []).append(f"{image}.exe")
    for (error, worked_around), images in by_error.items():
        names = ", ".join(images)
        if worked_around:
            out(f"resedit refuses {names} as generated (\"{error}\"): the "
                "images end with a relocation section that no directory "
                "entry names. It ran on copies whose base relocation entry "
                "names that section (8 header bytes differ; the resources, "
                "and uitrans's work, are the same).")
        else:
            out(f"resedit fails on {names}: \"{error}\".")
        out("")


def rebuild_table(stats, out):
    out("The rebuild output after the rebuild (100k-pair lists):")
    out("")
    out("| image | items' data MiB | final capacity MiB | allocated MiB "
        "| rebuild s |")
    out("|---|---:|---:|---:|---:|")
    for image in IMAGES:
        s = stats[image]
        out(f"| {image} | {s.get('used', 0) / MIB:.1f} "
            f"| {s.get('capacity', 0) / MIB:.1f} "
            f"| {s.get('allocated', 0) / MIB:.1f} "
            f"| {s.get('rebuild_seconds', 0):.3f} |")
    out("")


def micro_table(micro_rows, out):
    """The micro-benchmark table; returns the rows by name."""
    out("Micro-benchmarks (Google Benchmark, median of 3 repetitions):")
    out("")
    out("| benchmark | time ms | throughput |")
    out("|---|---:|---:|")
    by_name = {}
    for b in micro_rows:
        name = b["run_name"]
        by_name[name] = b
        ms = b["real_time"] if b["time_unit"] == "ms" else b["real_time"] / 1e6
        rate = ""
        if "bytes_per_second" in b:
            rate = f"{b['bytes_per_second'] / MIB:.0f} MiB/s"
        if "items_per_second" in b:
            rate += f", {b['items_per_second'] / 1e6:.2f} M pairs/s"
        out(f"| {name} | {ms:.2f} | {rate} |")
    out("")
    return by_name


def verdict(met, aim_met=False):
    return ("yes" if met else "no") + (" (aim met)" if aim_met else "")


def image_targets(targets, out):
    a = targets["large"]["ratio_100k"]
    out(f"| (a) large, 100k pairs ≤ 0.5 × copy floor (aim 0.25) | {a:.2f} × "
        f"| {verdict(a <= 0.5, a <= 0.25)} |")
    for image, letter in [("menus", "b"), ("dialogs", "c")]:
        v = targets[image]["ratio_100k"]
        out(f"| ({letter}) {image}, 100k pairs ≤ 1.5 × copy floor "
            f"| {v:.2f} × | {verdict(v <= 1.5)} |")
    for image in IMAGES:
        g = targets[image]["absent_growth"] * 100
        out(f"| {image}: 1k → 100k absent texts grows ≤ 15 % "
            f"| {g:+.1f} % | {verdict(g <= 15)} |")
    for image in IMAGES:
        r = targets[image]["rss"]
        out(f"| {image}: peak RSS ≤ 1.5 × file (aim 1.2) | {r:.2f} × "
            f"| {verdict(r <= 1.5, r <= 1.2)} |")


def micro_targets(micro_rows, out):
    for what, name in [("menu scanning", "BM_RewriteMenus"),
                       ("dialog and creation-data scanning",
                        "BM_RewriteDialogs")]:
        for absent, pairs in [(0, "100k pairs"), (1, "100k absent texts")]:
            row = micro_rows.get(f"{name}/pairs:100000/absent:{absent}")
            if row and "bytes_per_second" in row:
                rate = row["bytes_per_second"] / MIB
                out(f"| {what} ≥ 1 GiB/s ({name}, {pairs}) "
                    f"| {rate:.0f} MiB/s | {verdict(rate >= 1024)} |")
    small = micro_rows.get("BM_ListLoad/1000", {})
    big = micro_rows.get("BM_ListLoad/100000", {})
    if "items_per_second" in small and "items_per_second" in big:
        ratio = big["items_per_second"] / small["items_per_second"]
        ms = big["real_time"] if big["time_unit"] == "ms" else \
            big["real_time"] / 1e6
        out(f"| list loading stays linear (pairs/s at 100k vs 1k) "
            f"| {ms:.1f} ms, {ratio:.2f} × the 1k rate | — |")


def targets_table(targets, micro_rows, out):
    out("Targets (computed from the figures above):")
    out("")
    out("| target | measured | met |")
    out("|---|---|---|")
    if targets:
        image_targets(targets, out)
    if micro_rows:
        micro_targets(micro_rows, out)
    out("")


def batch_times(batch, out):
    """Time per executable, split into CPU and waiting, with and without
    the flush; returns the plain run's median wall time per executable."""
    count = batch["count"]
    per = 1000 / count
    out("| run | median s | ± % | ms / executable | user ms | system ms "
        "| waiting ms |")
    out("|---|---:|---:|---:|---:|---:|---:|")
    walls = {}
    for mode, runs in batch["samples"].items():
        wall = [r["wall"] for r in runs]
        user = median([r["user"] for r in runs])
        system = median([r["sys"] for r in runs])
        walls[mode] = median(wall)
        waiting = max(0.0, median(wall) - user - system)
        label = "uitrans" if mode == "plain" else \
            "uitrans under eatmydata (flush skipped)"
        out(f"| {label} | {median(wall):.3f} | {spread(wall):.0f} "
            f"| {median(wall) * per:.3f} | {user * per:.3f} "
            f"| {system * per:.3f} | {waiting * per:.3f} |")
    if "no flush" in walls:
        flush = walls["plain"] - walls["no flush"]
        out(f"| the flush (difference) | {flush:.3f} | | {flush * per:.3f} "
            f"| | | |")
    out("")
    return walls["plain"] * per


def batch_calls(trace, count, out):
    """The system calls of one traced run, per executable, costliest first."""
    calls = trace["calls"]
    total = sum(seconds for _, seconds in calls.values()) or 1
    ranked = sorted(calls.items(), key=lambda kv: -kv[1][1])
    out(f"System calls of one traced run (`{trace['tracer']}`; time inside "
        "each call, tracing included):")
    out("")
    out("| system call | calls / executable | ms / executable "
        "| share of time in calls |")
    out("|---|---:|---:|---:|")
    rest_calls, rest_seconds = 0, 0.0
    for i, (name, (n, seconds)) in enumerate(ranked):
        if i >= 8:
            rest_calls += n
            rest_seconds += seconds
            continue
        out(f"| {name} | {n / count:.2f} | {seconds * 1000 / count:.3f} "
            f"| {seconds / total * 100:.0f} % |")
    if rest_calls:
        out(f"| others | {rest_calls / count:.2f} "
            f"| {rest_seconds * 1000 / count:.3f} "
            f"| {rest_seconds / total * 100:.0f} % |")
    out("")


def batch_section(batch, out):
    count = batch["count"]
    fixture = os.path.relpath(batch["fixture"], REPO)
    out(f"### Batch: {count:,} small executables in one run")
    out("")
    out(f"One uitrans run over {count:,} fresh copies of `{fixture}` "
        f"({batch['fixture_size'] / 1024:.1f} KiB each; "
        f"{len(BATCH_PAIRS)} texts replaced in each: each is backed up, "
        f"written and flushed), on {batch['fs']} ({batch['dir']}); "
        "median over the runs, round-robin with a run under eatmydata, "
        "which makes the flush a no-op. Waiting is wall time less CPU "
        "time: the process blocked on the flush, on the file system's "
        "journal (creating and renaming files), or waiting for a core.")
    out("")
    batch_times(batch, out)
    if batch["trace"]:
        batch_calls(batch["trace"], count, out)


def report(parts, args, started):
    lines = []
    out = lines.append
    out("## Figures")
    out("")
    out(f"Produced by `{args.command}` on {started} "
        f"({args.reps} runs of each command, round-robin).")
    out("")
    out(f"Machine: {machine(args.inputs)}.")
    out("")
    targets = {}
    if "images" in parts:
        out("Whole process, median wall time (± half the interquartile "
            "range), ratio to the copy floor of the same input, and peak "
            "resident set (maximum over the runs) relative to the file size:")
        out("")
        for image in IMAGES:
            targets[image] = image_table(image, parts["images"][image], out)
        peer_table(parts["images"], args.peer, out)
    if "batch" in parts:
        batch_section(parts["batch"], out)
    micro_rows = {}
    if "micro" in parts:
        rebuild_table(parts["stats"], out)
        micro_rows = micro_table(parts["micro"], out)
    if targets or micro_rows:
        targets_table(targets, micro_rows, out)
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


# ---------------------------------------------------------------- main


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True)
    p.add_argument("--inputs", required=True)
    p.add_argument("--reps", type=int, default=7)
    p.add_argument("--results", required=True)
    p.add_argument("--command", default="scripts/bench.sh")
    p.add_argument("--micro-filter", default=".")
    p.add_argument("--peer", help="installed peer (default: BUILD/peer)")
    p.add_argument("--batch-dir", help="batch folder (default: BUILD/batch)")
    p.add_argument("--batch-count", type=int, default=1000)
    p.add_argument("--fixture",
                   default=os.path.join(REPO, "tests", "fixtures",
                                        "app64.exe"))
    p.add_argument("--parts", default=",".join(PARTS),
                   help=f"comma-separated subset of {','.join(PARTS)}")
    args = p.parse_args()
    args.build = os.path.abspath(args.build)
    args.inputs = os.path.abspath(args.inputs)
    args.peer = os.path.abspath(args.peer or os.path.join(args.build, "peer"))
    args.batch_dir = os.path.abspath(
        args.batch_dir or os.path.join(args.build, "batch"))
    args.parts = [part for part in args.parts.split(",") if part]
    unknown = set(args.parts) - set(PARTS)
    if unknown:
        p.error(f"unknown parts: {', '.join(sorted(unknown))}")
    return args


def main():
    args = parse_args()
    started = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    parts = {}
    if "images" in args.parts:
        work = os.path.join(args.inputs, "work")
        os.makedirs(work, exist_ok=True)
        peer = peer_command(args.peer)
        if peer is None:
            print(f"peer: not installed in {args.peer}", file=sys.stderr)
        parts["images"] = measure(args.build, args.inputs, work, args.reps,
                                  peer)
    if "batch" in args.parts:
        parts["batch"] = measure_batch(args.build, args.batch_dir,
                                       args.fixture, args.batch_count,
                                       args.reps)
    if "micro" in args.parts:
        parts["stats"] = rebuild_stats(args.build, args.inputs)
        parts["micro"] = micro(args.build, args.micro_filter)
    figures = report(parts, args, started)
    write_results(args.results, figures)
    print(figures)


if __name__ == "__main__":
    main()
