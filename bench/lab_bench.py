"""Time tessara.lab on mushroom beside the `tessara` module on the same data, in the same run.

Measures (each the best and the median of --repeats runs, at least 5):
  Context.from_pandas of mushroom's one-hot DataFrame (8,124 x 120 bool);
  K.closure of random attribute sets (per call, over 1,000 sets of 1 to 5 attributes);
  K.lattice() with its cover edges;
  a neighbour query, c.upper or c.lower of a random concept (per call, 10,000 calls, after the first);
  L.to_pandas();
  L.save and tl.load of the lattice, and the size of its file;
  tl.scale of UCI Mushroom's many-valued table (23 nominal columns; checks it gives mushroom's 238,710 concepts);
  the module's compute_lattice and compute_concepts (fcbo);
and the peak memory (VmHWM) of a fresh interpreter that reads mushroom and computes the lattice with its edges,
beside one that only reads it.

    python bench/lab_bench.py [--repeats 5] [--data DIR]

DIR holds mushroom.dat and uci/mushroom.csv (default: the shared data folder beside the repository).
"""

import argparse
import pathlib
import random
import statistics
import subprocess
import sys
import tempfile
import time

import tessara
import tessara.lab as tl

ROOT = pathlib.Path(__file__).resolve().parent.parent


def default_data():
    for folder in (ROOT.parent / "shared" / "data", ROOT.parent.parent / "shared" / "data"):
        if (folder / "mushroom.dat").is_file():
            return folder
    return ROOT.parent / "shared" / "data"


def timed(run, repeats):
    """(best, median) wall-clock seconds of `repeats` calls of run()."""
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times), statistics.median(times)


def per_call(run, calls, repeats):
    """(best, median) seconds per call over `repeats` rounds of `calls` calls."""
    best, median = timed(lambda: [run(k) for k in range(calls)], repeats)
    return best / calls, median / calls


def peak_memory(code):
    """VmHWM in MB of a fresh interpreter running code."""
    script = code + "\nprint(next(l.split()[1] for l in open('/proc/self/status') if l.startswith('VmHWM')))"
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True).stdout
    return int(out.split()[-1]) / 1024


def row(label, figures, unit="s", target=""):
    best, median = figures
    scale = {"s": 1, "ms": 1e3, "us": 1e6}[unit]
    print(f"| {label} | {best * scale:.3f} / {median * scale:.3f} {unit} | {target} |", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--data", type=pathlib.Path, default=default_data())
    args = parser.parse_args()
    repeats = max(args.repeats, 5)
    mushroom = args.data / "mushroom.dat"
    pd = __import__("pandas")

    K = tl.read(mushroom)
    print(f"mushroom: {K.shape[0]} objects x {K.shape[1]} attributes ({mushroom}); best / median of {repeats} runs\n")
    print("| measure | best / median | target |")
    print("|---|---|---|")

    frame = K.to_pandas()
    from_pandas = timed(lambda: tl.Context.from_pandas(frame), repeats)
    row("`Context.from_pandas` (one-hot DataFrame)", from_pandas, "ms", "≤ 30 ms")

    rng = random.Random(1)
    sets = [rng.sample(K.attributes, rng.randint(1, 5)) for _ in range(1000)]
    closure = per_call(lambda k: K.closure(sets[k]), len(sets), repeats)
    row("`K.closure` (1 to 5 attributes, per call)", closure, "ms", "≤ 1 ms")

    lattices = []
    with_edges = timed(lambda: lattices.append(K.lattice()) or len(lattices[-1].edges), repeats)
    row("`K.lattice()` with edges", with_edges, "s", "≤ 2.5 s")
    L = lattices[-1]
    del lattices[:-1]
    print(f"|   ({len(L)} concepts, {len(L.edges)} cover edges) | | |")

    start = time.perf_counter()
    L[0].upper, L[0].lower  # the neighbour lists are built on the first query
    print(f"|   (first neighbour queries, building the neighbour lists: {time.perf_counter() - start:.3f} s) | | |")
    picks = [L[rng.randrange(len(L))] for _ in range(10_000)]
    row("`c.upper` (per call)", per_call(lambda k: picks[k].upper, len(picks), repeats), "us", "≤ 5 us")
    row("`c.lower` (per call)", per_call(lambda k: picks[k].lower, len(picks), repeats), "us", "≤ 5 us")

    row("`L.to_pandas()`", timed(L.to_pandas, repeats), "s", "≤ 1 s")

    with tempfile.TemporaryDirectory() as folder:
        path = pathlib.Path(folder) / "mushroom-lattice.json"
        row("`L.save(path)`", timed(lambda: L.save(path), repeats))
        row("`tl.load(path)` (checks every concept)", timed(lambda: tl.load(path), repeats))
        print(f"|   (file of {path.stat().st_size / 1e6:.1f} MB) | | |")

    table = args.data / "uci" / "mushroom.csv"
    if table.is_file():
        many_valued = pd.read_csv(table)
        row("`tl.scale` of UCI Mushroom (23 nominal columns)", timed(lambda: tl.scale(many_valued), repeats))
        scaled = tl.scale(many_valued)
        assert scaled.shape == (8124, 119) and len(scaled.lattice()) == 238_710

    context = tessara.parse_context(mushroom.read_bytes(), "mushroom.dat")
    row("module: `compute_lattice(ctx, 'fcbo')`", timed(lambda: tessara.compute_lattice(context, "fcbo"), repeats))
    row("module: `compute_concepts(ctx, 'fcbo')`", timed(lambda: tessara.compute_concepts(context, "fcbo"), repeats))

    read = f"import tessara.lab as tl; K = tl.read({str(mushroom)!r})"
    base = peak_memory(read)
    peak = peak_memory(read + "; L = K.lattice(); L.edges; L[0].upper; L[0].lower")
    above = peak - base
    print(f"| peak memory, lattice with edges (VmHWM) | {peak:.0f} MB ({above:.0f} MB above reading it) | ≤ 700 MB |")


if __name__ == "__main__":
    main()
