#!/usr/bin/python3
"""Cells per second of lvlim.dask.limits on a local dask.distributed cluster against the
in-process lvlim.limits, on the same one-sided cells.

The cells: alpha 0.95, sigma from 0.1 to 10 and nu from 2 to 1000, --side values each spaced
evenly in the logarithm (a --side x --side table), lambda 0.5, gammasquared nu + 1, a one-sided
upper limit. In process: one call on every core (workers=None). On the cluster: --workers
worker processes of one thread each, the table cut into chunks of --chunk rows; the cluster's
start is not timed, the scheduling, the transfers and the gathering of the results are. Each
is run --repeat times, alternating, and the median is reported. Before timing, the script
checks that both give the same limits, bit for bit.

Run from the source directory after building the Python package (build/test/python, say):
    PYTHONPATH=build/test/python /usr/bin/python3 bench/python_dask.py [--side 100]
"""

import argparse
import os
import statistics
import time

import numpy as np


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--side", type=int, default=100)
    parser.add_argument("--chunk", type=int, default=10)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    import dask.array as da
    from dask.distributed import Client, LocalCluster

    import lvlim
    import lvlim.dask

    sigma = np.geomspace(0.1, 10.0, args.side)[:, None]
    nu = np.geomspace(2.0, 1000.0, args.side)[None, :]
    cells = args.side * args.side
    with LocalCluster(n_workers=args.workers, processes=True, threads_per_worker=1,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        dsigma = da.from_array(np.broadcast_to(sigma, (args.side, args.side)),
                               chunks=(args.chunk, args.side))

        def on_cluster():
            return lvlim.dask.limits(dsigma, nu, kind="upper", scheduler=client)

        def in_process():
            return lvlim.limits(sigma, nu, kind="upper")

        assert on_cluster() == in_process()
        times = {"in process": [], "cluster": []}
        for _ in range(args.repeat):
            for name, call in (("in process", in_process), ("cluster", on_cluster)):
                start = time.perf_counter()
                call()
                times[name].append(time.perf_counter() - start)
    print(f"{cells} cells, {os.cpu_count()} cores, load average "
          f"{' '.join(f'{x:.1f}' for x in os.getloadavg())}")
    for name, values in times.items():
        median = statistics.median(values)
        print(f"{name:11s} median {median:7.2f} s  {cells / median:8.0f} cells/s  "
              f"(runs: {', '.join(f'{v:.2f}' for v in values)})")


if __name__ == "__main__":
    main()
