#!/usr/bin/env python3
"""Times zemlotriage --csv over a generated fleet against cat of the same files.

For each fleet size (the first N files, taken by whole folders where it can):
  1. one untimed run of zemlotriage whose CSV must hold one row per run that
     the generator wrote, so a fast failure is never mistaken for speed;
  2. one warm-up of each command (the page cache then holds every file);
  3. REPEAT rounds, each timing cat and then zemlotriage, both writing to
     /dev/null; interleaved, so that load from other processes on the machine
     hits both alike.
It prints the median wall times, their ratio and the peak resident memory of
each command (largest over the rounds).

Exit code: 0 when every measurement ran (whether or not the goal was met),
1 when zemlotriage is missing, failed or wrote the wrong number of rows.
"""

import argparse
import csv
import io
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

GOAL_RATIO = 3.0


GNU_TIME = "/usr/bin/time"


def run_timed(argv, cwd):
    """Wall seconds, CPU seconds (user + system), peak RSS in KiB and exit
    status of one run, output discarded.

    A child's peak RSS includes the memory of the process it was forked from,
    up to its exec: forked from this interpreter, even cat would show some
    15 MiB. GNU time, small itself, forks the command and reports its peak."""
    with tempfile.NamedTemporaryFile("r") as rss_file, open(os.devnull, "wb") as devnull:
        began = time.perf_counter()
        status = subprocess.call([GNU_TIME, "-q", "-f", "%M %U %S", "-o", rss_file.name] + argv, cwd=cwd,
                                 stdout=devnull)
        elapsed = time.perf_counter() - began
        fields = rss_file.read().split()
    if len(fields) < 3:
        return elapsed, 0.0, 0, status
    return elapsed, float(fields[-2]) + float(fields[-1]), int(fields[-3]), status


def fleet_slice(manifest, logs, size):
    """(files for cat, arguments for zemlotriage, runs they hold) for the first `size` files."""
    per_folder = manifest["files_per_folder"]
    folders = sorted(os.listdir(logs))
    whole, rest = divmod(size, per_folder)
    triage_args = folders[:whole]
    runs = sum(manifest["runs_per_file"][:size])
    files = []
    for folder in folders[:whole]:
        files += [os.path.join(folder, name) for name in sorted(os.listdir(os.path.join(logs, folder)))]
    if rest:
        folder = folders[whole]
        extra = [os.path.join(folder, name) for name in sorted(os.listdir(os.path.join(logs, folder)))[:rest]]
        files += extra
        triage_args += extra
    return files, triage_args, runs


def csv_rows(triage, args, cwd):
    result = subprocess.run([triage, "--csv"] + args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    rows = list(csv.reader(io.StringIO(result.stdout.decode("utf-8", "replace"), newline="")))
    return result.returncode, len(rows) - 1 if rows else 0, result.stderr.decode("utf-8", "replace")


def mib(kib):
    return kib / 1024.0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--fleet", required=True, help="folder written by make_fleet.py")
    parser.add_argument("--triage", required=True, help="path of the Linux zemlotriage")
    parser.add_argument("--sizes", default="", help="comma-separated file counts (default: a tenth and all)")
    parser.add_argument("--repeat", type=int, default=5, help="timed rounds per size (default 5)")
    parser.add_argument("--cat-only", action="store_true", help="time cat alone (checks the runner)")
    args = parser.parse_args()

    with open(os.path.join(args.fleet, "manifest.json")) as f:
        manifest = json.load(f)
    logs = os.path.join(args.fleet, "logs")
    total = manifest["files"]
    sizes = [int(s) for s in args.sizes.split(",") if s] or sorted({max(1, total // 10), total})
    if any(s < 1 or s > total for s in sizes):
        parser.error("sizes must lie between 1 and %d, the files of the fleet" % total)

    if not os.access(GNU_TIME, os.X_OK):
        sys.exit("bench: %s is missing (Debian package time); it measures the peak memory" % GNU_TIME)
    triage = os.path.abspath(args.triage)
    with_triage = not args.cat_only
    if with_triage and not os.access(triage, os.X_OK):
        print("bench: no zemlotriage at %s (build it first); timing cat alone" % triage, file=sys.stderr)
        with_triage = False
    failed = not with_triage and not args.cat_only

    print("fleet: %d files, %d runs, %.1f MiB in %s" % (total, manifest["runs"], manifest["bytes"] / 2**20, logs))
    print("%d timed rounds per size; wall and CPU (user + system) seconds are medians, peak RSS the largest"
          % args.repeat)
    print(("%7s %7s | %8s %8s %8s | %8s %8s %8s | %6s" % ("files", "MiB", "cat", "", "", "triage", "", "",
                                                        "ratio")).rstrip())
    print("%7s %7s | %8s %8s %8s | %8s %8s %8s | %6s %6s" % ("", "", "wall s", "CPU s", "RSS MiB", "wall s", "CPU s",
                                                          "RSS MiB", "wall", "CPU"))
    results = []
    for size in sizes:
        files, triage_args, runs = fleet_slice(manifest, logs, size)
        size_bytes = sum(os.path.getsize(os.path.join(logs, name)) for name in files)
        cat_argv = ["cat"] + files
        triage_argv = [triage, "--csv"] + triage_args
        if with_triage:
            status, rows, errors = csv_rows(triage, triage_args, logs)
            if status != 0 or rows != runs:
                print("bench: zemlotriage --csv over %d files: exit %d, %d rows for %d runs%s"
                      % (size, status, rows, runs,
                         "; stderr: " + errors.strip().splitlines()[0] if errors.strip() else ""), file=sys.stderr)
                failed = True
        run_timed(cat_argv, logs)
        if with_triage:
            run_timed(triage_argv, logs)
        cat_wall, cat_cpu, cat_rss, triage_wall, triage_cpu, triage_rss = [], [], 0, [], [], 0
        for _ in range(args.repeat):
            elapsed, cpu, rss, status = run_timed(cat_argv, logs)
            if status != 0:
                sys.exit("bench: cat failed with exit %d" % status)
            cat_wall.append(elapsed)
            cat_cpu.append(cpu)
            cat_rss = max(cat_rss, rss)
            if with_triage:
                elapsed, cpu, rss, status = run_timed(triage_argv, logs)
                if status != 0:
                    failed = True
                triage_wall.append(elapsed)
                triage_cpu.append(cpu)
                triage_rss = max(triage_rss, rss)
        cat_s, cat_c = statistics.median(cat_wall), statistics.median(cat_cpu)
        line = "%7d %7.1f | %8.4f %8.2f %8.1f | " % (size, size_bytes / 2**20, cat_s, cat_c, mib(cat_rss))
        if with_triage:
            triage_s, triage_c = statistics.median(triage_wall), statistics.median(triage_cpu)
            ratio = triage_s / cat_s
            cpu_ratio = "%5.1fx" % (triage_c / cat_c) if cat_c > 0 else "-"
            print(line + "%8.4f %8.2f %8.1f | %5.2fx %6s" % (triage_s, triage_c, mib(triage_rss), ratio, cpu_ratio))
            results.append((size, ratio, triage_rss))
        else:
            print(line + "%8s %8s %8s | %6s %6s" % ("-", "-", "-", "-", "-"))
        sys.stdout.flush()

    if results and failed:
        print("goal not judged: zemlotriage failed or wrote the wrong number of rows")
    elif results:
        size, ratio, _ = results[-1]
        print("goal, wall time within %.0fx of cat: %s (%.2fx at %d files)"
              % (GOAL_RATIO, "met" if ratio <= GOAL_RATIO else "missed", ratio, size))
        if len(results) > 1:
            (small, _, small_rss), (large, _, large_rss) = results[0], results[-1]
            print("zemlotriage peak memory: %.1f MiB at %d files, %.1f MiB at %d files (x%.2f for x%.0f the files)"
                  % (mib(small_rss), small, mib(large_rss), large, large_rss / small_rss, large / small))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
