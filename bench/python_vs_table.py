#!/usr/bin/python3
"""Cells per second of lvlim.limits against lvlim-table on the same 10,000 one-sided cells.

The table: alpha 0.95, sigma from 0.1 to 10 and nu from 2 to 1000, a hundred values each spaced
evenly in the logarithm, lambda 0.5, gammasquared nu + 1, a one-sided upper limit; lvlim-table
is timed as a whole process (its start and its CSV output included), lvlim.limits as the call
on the same sigma and nu values read back from the table (import excluded). Each is run
--repeat times per thread count, alternating, and the median is reported. Before timing, the
script checks that both give the same limits.

Run from the source directory after `cmake --preset bench && cmake --build --preset bench`:
    /usr/bin/python3 bench/python_vs_table.py [--build build/bench] [--repeat 7]
"""

import argparse
import csv
import io
import statistics
import subprocess
import sys
import time
from pathlib import Path

import numpy as np

TABLE_ARGS = ["--kind=upper", "-a", "0.95", "-s", "0.1:10:100:log", "-n", "2:1000:100:log"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build/bench", type=Path)
    parser.add_argument("--repeat", default=7, type=int)
    args = parser.parse_args()
    table = args.build / "lvlim-table"
    sys.path.insert(0, str(args.build / "python"))
    import lvlim

    # Exit status 3: the table is complete, but some cells' searches failed (marked per cell).
    done = subprocess.run([str(table), *TABLE_ARGS], capture_output=True, text=True)
    if done.returncode not in (0, 3):
        sys.exit(f"lvlim-table failed: {done.stderr}")
    rows = list(csv.DictReader(io.StringIO(done.stdout)))
    sigma = np.array([float(r["sigma"]) for r in rows])
    nu = np.array([float(r["nu"]) for r in rows])
    cells = len(rows)
    result = lvlim.limits(sigma, nu, kind="upper", confidence=0.95)
    same = all(f"{k:.8e}" == f"{float(r['k']):.8e}" and status == r.get("status", status)
               for k, status, r in zip(result.k_upper, result.status, rows))
    failed = int(np.count_nonzero(result.status != "ok"))
    print(f"{cells} cells ({failed} with a failed search); same limits and statuses as "
          f"lvlim-table: {same}")
    if not same:
        sys.exit(1)

    def time_table(threads):
        start = time.perf_counter()
        subprocess.run([str(table), *TABLE_ARGS, f"--threads={threads}"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return time.perf_counter() - start

    def time_python(threads):
        start = time.perf_counter()
        lvlim.limits(sigma, nu, kind="upper", confidence=0.95, workers=threads)
        return time.perf_counter() - start

    print("| Threads | lvlim-table cells/s | lvlim.limits cells/s | ratio |")
    print("|---:|---:|---:|---:|")
    for threads in (1, 2):
        table_times, python_times = [], []
        for _ in range(args.repeat):
            table_times.append(time_table(threads))
            python_times.append(time_python(threads))
        table_rate = cells / statistics.median(table_times)
        python_rate = cells / statistics.median(python_times)
        print(f"| {threads} | {table_rate:,.0f} | {python_rate:,.0f} | "
              f"{python_rate / table_rate:.2f} |")


if __name__ == "__main__":
    main()
