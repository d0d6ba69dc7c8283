"""Refined-lattice table throughput, in values per second, on one worker and on all."""

import sys

from common import best_of, worker_counts, workers

from veldra import Instance

CASES = [
    ("2-D", [64, 64], [64, 64]),        # 4097^2 = 16.8 million values
    ("3-D", [16, 16, 16], [8, 8, 8]),   # 129^3 = 2.1 million values
    ("4-D", [8, 8, 8, 8], [5, 5, 5, 5]),  # 41^4 = 2.8 million values
]


def main():
    print(f"{'table':6} {'values':>12} {'workers':>8} {'seconds':>9} {'Mvalues/s':>10}")
    for name, dims, divisors in CASES:
        field = Instance(dims, seed=1)
        count = 1
        for n in field.table_shape(divisors):
            count *= n
        for count_workers in worker_counts():
            with workers(count_workers):
                seconds, _ = best_of(3, lambda: field.table(divisors))
            print(f"{name:6} {count:12,} {count_workers:8} {seconds:9.3f} {count / seconds / 1e6:10.1f}")
    sys.stdout.flush()


if __name__ == "__main__":
    main()
