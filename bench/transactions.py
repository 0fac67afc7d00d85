"""Seeded sparse transaction data: the shape itemset users bring.

    python bench/transactions.py [--transactions N] [--items M] [--mean-length L] [--exponent E] [--seed S] > sparse.dat
    python bench/transactions.py --groups G [--transactions N] [--items M] [--exponent E] > dense.dat

Item frequencies follow a Zipf-like law (item of rank r drawn with weight
1 / (r + 10) ** exponent, so the most frequent items are common but not in
every transaction); transaction lengths are Poisson with the given mean (at
least one item). Duplicates within a transaction are dropped, so the mean
length comes out slightly below the requested one. The output is a FIMI
transaction file: one line per transaction, item numbers separated by spaces.

With --groups, the rows are dense attribute-value data instead (the shape of
the FIMI chess and connect sets): the items are split into G groups (values
of one attribute) and every row holds exactly one item of each group, the
value of rank r within its group drawn with weight 1 / (r + 1) ** exponent.
chess-like: --transactions 3196 --items 75 --groups 36 --exponent 2.5;
connect-like: --transactions 10000 --items 127 --groups 42 --exponent 3.
"""

import argparse
import sys

import numpy as np


def zipf_transactions(n_transactions: int = 100_000, n_items: int = 1_000, mean_length: float = 10.0,
                      exponent: float = 1.0, seed: int = 20261208) -> bytes:
    """The FIMI text of a seeded sparse transaction table."""
    rng = np.random.default_rng(seed)
    weights = 1.0 / (np.arange(n_items) + 10.0) ** exponent
    weights /= weights.sum()
    # Item numbers are shuffled, so frequent items are not all at the front.
    item_of_rank = rng.permutation(n_items)
    lengths = np.maximum(rng.poisson(mean_length, n_transactions), 1)
    drawn = item_of_rank[rng.choice(n_items, size=int(lengths.sum()), p=weights)]
    lines = []
    start = 0
    for length in lengths.tolist():
        items = np.unique(drawn[start:start + length])
        start += length
        lines.append(" ".join(map(str, items.tolist())))
    return ("\n".join(lines) + "\n").encode("ascii")


def grouped_transactions(n_transactions: int, n_items: int, n_groups: int, exponent: float = 2.5,
                         seed: int = 20261208) -> bytes:
    """The FIMI text of seeded attribute-value rows: one item of each group per row."""
    rng = np.random.default_rng(seed)
    bounds = np.linspace(0, n_items, n_groups + 1).astype(int)
    columns = []
    for lo, hi in zip(bounds[:-1].tolist(), bounds[1:].tolist()):
        weights = 1.0 / (np.arange(hi - lo) + 1.0) ** exponent
        columns.append(lo + rng.choice(hi - lo, size=n_transactions, p=weights / weights.sum()))
    rows = np.stack(columns, axis=1)
    return ("\n".join(" ".join(map(str, row)) for row in rows.tolist()) + "\n").encode("ascii")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--transactions", type=int, default=100_000)
    parser.add_argument("--items", type=int, default=1_000)
    parser.add_argument("--mean-length", type=float, default=10.0)
    parser.add_argument("--exponent", type=float, default=1.0)
    parser.add_argument("--seed", type=int, default=20261208)
    parser.add_argument("--groups", type=int, default=0, help="dense attribute-value rows with this many groups")
    args = parser.parse_args()
    if args.groups:
        sys.stdout.buffer.write(grouped_transactions(args.transactions, args.items, args.groups, args.exponent,
                                                     args.seed))
        return
    sys.stdout.buffer.write(zipf_transactions(args.transactions, args.items, args.mean_length, args.exponent,
                                              args.seed))


if __name__ == "__main__":
    main()
