"""tessara beside the Python FCA packages concepts, fcapy and caspailleur, and mlxtend, on the same jobs.

Jobs: concept enumeration on seeded random contexts and on mushroom (FIMI), the
canonical (Duquenne-Guigues) implication base, drawing a lattice to SVG from
the context, and on mushroom: the proper-premise base, the keys of every
concept (given the intents), delta stability, and association rules at
min_support 40% and min_confidence 0.8 (tessara: the Luxenburger basis;
mlxtend: FP-growth and every rule). `--derive` counts how many of mlxtend's
rules tessara's Luxenburger basis derives with the canonical base. Each tool runs each job it offers in a process of its own,
with a time limit; only the job itself is timed (imports and building the
tool's context object are not). The concept and implication counts of every
tool are checked against tessara's. The table gives min and median wall time
over the runs and the median's ratio to tessara's.

Run it through bench/run_peers.sh, which keeps the peers in their own virtual
environment (bench/.venv-peers) and never touches the project's .venv:

    bash bench/run_peers.sh [--runs 5] [--limit 90] [--jobs NAME ...] [--tools NAME ...]

A tool that exceeds the limit on its first run is not run again on that job.
"""

import argparse
import datetime
import io
import json
import os
import platform
import random
import statistics
import subprocess
import sys
import time
from importlib import metadata
from pathlib import Path

HERE = Path(__file__).resolve().parent
MUSHROOM = HERE.parent.parent / "shared" / "data" / "mushroom.dat"
TOOLS = ["tessara", "concepts", "fcapy", "caspailleur", "mlxtend"]
RULES_SUPPORT, RULES_CONFIDENCE = 0.4, 0.8


# ---------------------------------------------------------------- contexts


def random_rows(n_objects, n_attributes, density, seed):
    rng = random.Random(seed)
    return [{m for m in range(n_attributes) if rng.random() < density} for _ in range(n_objects)], n_attributes


def fimi_rows(path):
    rows = [{int(item) for item in line.split()} for line in Path(path).read_text().splitlines() if line.strip()]
    return rows, 1 + max(max(row) for row in rows if row)


# name -> (kind, description, rows factory)
JOBS = {
    "concepts-random-small": ("concepts", "concepts, random 200 x 30 at 20%", lambda: random_rows(200, 30, 0.2, 1)),
    "concepts-random": ("concepts", "concepts, random 1,000 x 60 at 15%", lambda: random_rows(1000, 60, 0.15, 20260101)),
    "concepts-mushroom": ("concepts", "concepts, mushroom (8,124 objects, 119 items)", lambda: fimi_rows(os.environ["PEERS_MUSHROOM"])),
    "base-random-tiny": ("base", "canonical base, random 40 x 12 at 30%", lambda: random_rows(40, 12, 0.3, 3)),
    "base-random-small": ("base", "canonical base, random 200 x 20 at 25%", lambda: random_rows(200, 20, 0.25, 2)),
    "base-mushroom": ("base", "canonical base, mushroom (8,124 objects, 119 items)", lambda: fimi_rows(os.environ["PEERS_MUSHROOM"])),
    "draw-small": ("draw", "lattice to SVG, random 100 x 16 at 30%", lambda: random_rows(100, 16, 0.3, 20260101)),
    "draw": ("draw", "lattice to SVG, random 300 x 24 at 20%", lambda: random_rows(300, 24, 0.2, 20260101)),
    "proper-premises-mushroom": ("proper-premises", "proper-premise base, mushroom",
                                 lambda: fimi_rows(os.environ["PEERS_MUSHROOM"])),
    "keys-mushroom": ("keys", "keys of every concept, mushroom (intents given)",
                      lambda: fimi_rows(os.environ["PEERS_MUSHROOM"])),
    "delta-stability-mushroom": ("delta-stability", "concepts with delta stability, mushroom",
                                 lambda: fimi_rows(os.environ["PEERS_MUSHROOM"])),
    "rules-mushroom": ("rules", "rules at 40% / 0.8, mushroom (tessara: Luxenburger basis)",
                       lambda: fimi_rows(os.environ["PEERS_MUSHROOM"])),
}

# The jobs each tool offers. concepts draws only through Graphviz's dot program
# (it writes DOT source), fcapy and concepts have no implication base, and
# caspailleur draws nothing.
OFFERS = {
    "tessara": {"concepts", "base", "draw", "proper-premises", "keys", "delta-stability", "rules"},
    "concepts": {"concepts"},
    "fcapy": {"concepts", "draw"},
    "caspailleur": {"concepts", "base", "proper-premises", "keys", "delta-stability"},
    "mlxtend": {"rules"},
}
# Jobs whose counts differ by design between tools (a basis against every rule).
UNCOMPARED = {"rules"}


# ---------------------------------------------------------------- workers: prepare(rows, width) -> job() -> count


def lab_context(rows, width):
    import numpy as np
    from tessara import _lab

    words = (width + 63) // 64
    packed = np.zeros((len(rows), words), dtype=np.uint64)
    for g, row in enumerate(rows):
        for m in row:
            packed[g, m // 64] |= np.uint64(1) << np.uint64(m % 64)
    return _lab.make_context([f"g{g}" for g in range(len(rows))], [f"m{m}" for m in range(width)], packed.tobytes())


def tessara_lab_job(kind, rows, width):
    from tessara import _lab

    ctx = lab_context(rows, width)
    if kind == "proper-premises":
        return lambda: len(_lab.implications(ctx, 0, "proper-premise")[2]) // 8
    if kind == "keys":
        lattice = _lab.compute_lattice(ctx, "fcbo")
        return lambda: len(_lab.all_generators(lattice)[1]) // (8 * ((width + 63) // 64))
    if kind == "delta-stability":
        return lambda: len(_lab.delta_stability(_lab.compute_lattice(ctx, "fcbo"))) // 8

    def rules():
        iceberg = _lab.mine_lattice(ctx, "fcbo", -(-len(rows) * 4 // 10), 2**64 - 1, 1, None)
        return len(_lab.association_rules(iceberg, "luxenburger", RULES_CONFIDENCE, -1, b"", b"", b"", b"")[0]) // 4

    return rules


def tessara_job(kind, rows, width):
    import tessara

    if kind in ("proper-premises", "keys", "delta-stability", "rules"):
        return tessara_lab_job(kind, rows, width)

    lines = ["B", "", str(len(rows)), str(width), ""]
    lines += [f"g{g}" for g in range(len(rows))] + [f"m{m}" for m in range(width)]
    lines += ["".join("X" if m in row else "." for m in range(width)) for row in rows]
    ctx = tessara.parse_context(("\n".join(lines) + "\n").encode(), "peers.cxt")
    if kind == "concepts":
        return lambda: len(tessara.compute_concepts(ctx))
    if kind == "base":
        return lambda: len(tessara.compute_implications(ctx))

    def draw():
        lattice = tessara.compute_lattice(ctx)
        lattice.svg()
        return lattice.n_concepts

    return draw


def concepts_job(kind, rows, width):
    import concepts

    bools = [tuple(m in row for m in range(width)) for row in rows]
    ctx = concepts.Context([f"g{g}" for g in range(len(rows))], [f"m{m}" for m in range(width)], bools)
    return lambda: len(ctx.lattice)


def fcapy_job(kind, rows, width):
    from fcapy.algorithms import concept_construction
    from fcapy.context import FormalContext

    data = [[m in row for m in range(width)] for row in rows]
    ctx = FormalContext(data=data, object_names=[f"g{g}" for g in range(len(rows))],
                        attribute_names=[f"m{m}" for m in range(width)])
    if kind == "concepts":
        return lambda: len(concept_construction.lcm_skmine(ctx))

    def draw():
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        from fcapy.lattice import ConceptLattice
        from fcapy.visualizer import LineVizNx

        lattice = ConceptLattice.from_context(ctx)
        figure, axes = plt.subplots(figsize=(10, 10))
        LineVizNx().draw_concept_lattice(lattice, ax=axes)
        figure.savefig(io.StringIO(), format="svg")
        plt.close(figure)
        return len(lattice)

    return draw


def caspailleur_job(kind, rows, width):
    import caspailleur

    # With the names given, caspailleur takes the attribute count from them, not from the items it sees.
    data = ([set(row) for row in rows], [f"g{g}" for g in range(len(rows))], [f"m{m}" for m in range(width)])
    if kind == "concepts":
        return lambda: len(caspailleur.mine_concepts(data, to_compute=["extent", "intent"]))
    if kind == "keys":
        from bitarray import frozenbitarray

        intents = caspailleur.list_intents_via_LCM([frozenbitarray([m in row for m in range(width)]) for row in rows])
        return lambda: len(caspailleur.list_keys(intents))
    if kind == "delta-stability":
        return lambda: len(caspailleur.mine_concepts(data, to_compute=["intent", "delta_stability"]))
    # min_support 0: every implication of the base, not only the frequent ones.
    basis = "Proper Premise" if kind == "proper-premises" else "Canonical"
    return lambda: len(caspailleur.mine_implications(data, basis_name=basis, min_support=0,
                                                     to_compute=["premise", "conclusion"]))


def mlxtend_rules(rows, width):
    import numpy as np
    import pandas as pd
    from mlxtend.frequent_patterns import association_rules, fpgrowth

    table = np.zeros((len(rows), width), dtype=bool)
    for g, row in enumerate(rows):
        table[g, list(row)] = True
    frame = pd.DataFrame(table, columns=[f"m{m}" for m in range(width)])
    itemsets = fpgrowth(frame, min_support=RULES_SUPPORT)
    return association_rules(itemsets, num_itemsets=len(frame), metric="confidence", min_threshold=RULES_CONFIDENCE)


def mlxtend_job(kind, rows, width):
    return lambda: len(mlxtend_rules(rows, width))


def derive(mushroom):
    """How many of mlxtend's rules the Luxenburger basis derives with the canonical base (both from tessara)."""
    import numpy as np
    from tessara import _lab

    rows, width = fimi_rows(mushroom)
    ctx = lab_context(rows, width)
    min_support = -(-len(rows) * 4 // 10)
    iceberg = _lab.mine_lattice(ctx, "fcbo", min_support, 2**64 - 1, 1, None)
    columns = _lab.association_rules(iceberg, "luxenburger", RULES_CONFIDENCE, -1, b"", b"", b"", b"")
    uppers, lowers = np.frombuffer(columns[0], np.uint32), np.frombuffer(columns[1], np.uint32)
    confidences = np.frombuffer(columns[5], np.float64)
    below = {}
    for upper, lower, confidence in zip(uppers.tolist(), lowers.tolist(), confidences.tolist()):
        below.setdefault(upper, []).append((lower, confidence))
    mask = lambda indices: sum(1 << int(m) for m in indices)  # noqa: E731
    concept_of = {mask(np.frombuffer(iceberg.intent(i), np.uint32)): i for i in range(iceberg.n_concepts)}
    words = (width + 63) // 64
    premises, conclusions, _ = _lab.implications(ctx, min_support, "canonical")
    as_int = lambda raw, k: int.from_bytes(raw[8 * words * k: 8 * words * (k + 1)], "little")  # noqa: E731
    base = [(as_int(premises, k), as_int(conclusions, k)) for k in range(len(premises) // (8 * words))]

    def close(x):
        grown = True
        while grown:
            grown = False
            for premise, conclusion in base:
                if premise & ~x == 0 and conclusion & ~x:
                    x |= conclusion
                    grown = True
        return x

    def chain(start, goal):
        stack, reached = [(start, 1.0)], {start}
        while stack:
            at, product = stack.pop()
            if at == goal:
                return product
            for lower, confidence in below.get(at, []):
                if lower not in reached:
                    reached.add(lower)
                    stack.append((lower, product * confidence))
        return None

    theirs = mlxtend_rules(rows, width)  # itemsets as column positions, which are the item numbers
    derived = 0
    for antecedent, consequent, confidence in zip(theirs["antecedents"], theirs["consequents"], theirs["confidence"]):
        start = close(mask(antecedent))
        goal = close(start | mask(consequent))
        product = 1.0 if start == goal else chain(concept_of[start], concept_of[goal])
        derived += product is not None and abs(product - confidence) < 1e-9
    print(f"mushroom at min_support {RULES_SUPPORT:g}, min_confidence {RULES_CONFIDENCE:g}: tessara's Luxenburger "
          f"basis has {len(uppers)} rules; it derives {derived} of mlxtend's {len(theirs)} rules with the "
          f"canonical base ({len(base)} implications)")


WORKERS = {"tessara": tessara_job, "concepts": concepts_job, "fcapy": fcapy_job, "caspailleur": caspailleur_job,
           "mlxtend": mlxtend_job}


def work(tool, job_name):
    """Runs one job once in this process and prints its time and count as JSON."""
    kind, _, factory = JOBS[job_name]
    rows, width = factory()
    job = WORKERS[tool](kind, rows, width)
    start = time.perf_counter()
    count = job()
    seconds = time.perf_counter() - start
    print(json.dumps({"seconds": seconds, "count": count}))


# ---------------------------------------------------------------- driver


def run_once(tool, job_name, limit):
    """(seconds, count) of one run, or (None, reason) when it failed or ran out of time."""
    try:
        result = subprocess.run([sys.executable, __file__, "--worker", tool, job_name], capture_output=True,
                                text=True, timeout=limit)
    except subprocess.TimeoutExpired:
        return None, f"> {limit:g} s"
    if result.returncode != 0:
        last = (result.stderr.strip().splitlines() or ["exit %d" % result.returncode])[-1]
        return None, f"error: {last[:80]}"
    answer = json.loads(result.stdout.strip().splitlines()[-1])
    return answer["seconds"], answer["count"]


def measure(tool, job_name, runs, limit):
    seconds, count, failure = [], None, None
    for _ in range(runs):
        elapsed, outcome = run_once(tool, job_name, limit)
        if elapsed is None:
            failure = outcome
            break
        seconds.append(elapsed)
        count = outcome
    return {"seconds": seconds, "count": count, "failure": failure}


def version(tool):
    try:
        return metadata.version(tool)
    except metadata.PackageNotFoundError:
        return "not installed"


def machine():
    model = next((line.split(":", 1)[1].strip() for line in Path("/proc/cpuinfo").read_text().splitlines()
                  if line.startswith("model name")), platform.processor())
    load = " ".join(f"{value:.1f}" for value in os.getloadavg())
    return f"{model}, {os.cpu_count()} cores, load average {load} at start, Python {platform.python_version()}"


def table(results, runs, limit):
    today = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    lines = [f"Peer table, {today}; {machine()}.",
             f"Versions: " + ", ".join(f"{tool} {version(tool)}" for tool in TOOLS) + ".",
             f"{runs} runs each, limit {limit:g} s per run; times in seconds; ratio = median / tessara's median.",
             "",
             "| job | tool | min | median | ratio | count |",
             "|---|---|---:|---:|---:|---:|"]
    for job_name, per_tool in results.items():
        description = JOBS[job_name][1]
        reference = per_tool.get("tessara")
        reference_median = statistics.median(reference["seconds"]) if reference and reference["seconds"] else None
        reference_count = reference["count"] if reference else None
        for tool, outcome in per_tool.items():
            if outcome["seconds"] and outcome["failure"] is None:
                low, median = min(outcome["seconds"]), statistics.median(outcome["seconds"])
                ratio = f"{median / reference_median:.1f}x" if reference_median else "-"
                count = str(outcome["count"])
                if reference_count is not None and outcome["count"] != reference_count and \
                        JOBS[job_name][0] not in UNCOMPARED:
                    count += f" (differs from {reference_count})"
                lines.append(f"| {description} | {tool} | {low:.3f} | {median:.3f} | {ratio} | {count} |")
            elif outcome["failure"].startswith(">") and reference_median:
                bound = limit / reference_median
                shown = f"{bound:.1f}" if bound < 10 else f"{bound:.0f}"
                lines.append(f"| {description} | {tool} | {outcome['failure']} | | > {shown}x | |")
            else:
                lines.append(f"| {description} | {tool} | {outcome['failure']} | | | |")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--limit", type=float, default=90.0, help="seconds per run")
    parser.add_argument("--jobs", nargs="+", choices=list(JOBS), default=list(JOBS))
    parser.add_argument("--tools", nargs="+", choices=TOOLS, default=TOOLS)
    parser.add_argument("--mushroom", type=Path, default=MUSHROOM, help="path of mushroom.dat")
    parser.add_argument("--derive", action="store_true", help="count mlxtend's rules that tessara's bases derive")
    parser.add_argument("--worker", nargs=2, metavar=("TOOL", "JOB"), help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        work(*args.worker)
        return
    if args.derive:
        derive(args.mushroom)
        return
    os.environ["PEERS_MUSHROOM"] = str(args.mushroom)
    jobs = [job for job in args.jobs if "mushroom" not in job or args.mushroom.exists()]
    results = {}
    for job_name in jobs:
        kind = JOBS[job_name][0]
        results[job_name] = {}
        for tool in [tool for tool in args.tools if kind in OFFERS[tool]]:
            outcome = measure(tool, job_name, args.runs, args.limit)
            results[job_name][tool] = outcome
            shown = outcome["failure"] or f"{min(outcome['seconds']):.3f} s, count {outcome['count']}"
            print(f"{job_name:22} {tool:12} {shown}", file=sys.stderr, flush=True)
    print(table(results, args.runs, args.limit))


if __name__ == "__main__":
    main()
