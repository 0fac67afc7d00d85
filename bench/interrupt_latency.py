"""Ctrl-C latency of every phase of the lab's long calls: from a real SIGINT to the KeyboardInterrupt.

    python bench/interrupt_latency.py [--phase NAME ...] [--repeats R] [--pythonpath DIR]

Each run starts a child interpreter that prepares its input, then makes one public call. The function that
starts the phase under test is wrapped to print "ready" as it is entered; the parent waits the phase's delay,
sends SIGINT, and the child prints the monotonic time (one clock for every process on Linux) at which its
``except KeyboardInterrupt`` began. The latency is that time less the time the signal was sent.

``--pythonpath`` puts another build's python/ directory first, so one run can set main's build beside the new one.
Data: ``TESSARA_BENCH_DATA`` (default /work/shared/data) holds mushroom.dat and fimi/retail.dat.
"""

import argparse
import os
import signal
import statistics
import subprocess
import sys
import time

DATA = os.environ.get("TESSARA_BENCH_DATA", "/work/shared/data")

CHILD = """
import os, signal, sys, tempfile, time
import numpy as np
import tessara.lab as tl
from tessara import _lab

def context(n_objects, n_attributes, density):
    rng = np.random.default_rng(20261209)
    return tl.Context([f"g{{i}}" for i in range(n_objects)], [f"m{{j}}" for j in range(n_attributes)],
                      rng.random((n_objects, n_attributes)) < density)

{prepare}
owner, _, attribute = {target!r}.rpartition(".")
owner = {{"_lab": _lab}}.get(owner) or __import__(owner, fromlist=["_"])
wrapped = getattr(owner, attribute)

def announced(*args, **kwargs):
    if not announced.done:
        announced.done = True
        print("ready", flush=True)
    return wrapped(*args, **kwargs)

announced.done = False
setattr(owner, attribute, announced)
signal.signal(signal.SIGINT, signal.default_int_handler)
try:
    {call}
    print("finished", flush=True)
except KeyboardInterrupt:
    print("caught", time.monotonic(), flush=True)
"""

# (phase, preparation, function that starts it, call, seconds from its start to the signal).
PHASES = [
    ("rules all: mining", "K = context(200, 24, 0.45)", "_lab.mine_lattice", 'K.rules(0, 0.0, basis="all")', 0.05),
    ("rules all: finding", "K = context(200, 24, 0.45)", "_lab.association_rules", 'K.rules(0, 0.0, basis="all")',
     0.5),
    ("rules all: names", "K = context(200, 24, 0.45)", "_lab.set_names", 'K.rules(0, 0.0, basis="all")', 0.6),
    ("rules Luxenburger", "K = context(400, 30, 0.45)", "_lab.association_rules",
     'K.rules(0, 0.0, basis="luxenburger")', 0.5),
    ("read retail.dat", f"path = {os.path.join(DATA, 'fimi', 'retail.dat')!r}", "_lab.read_context", "tl.read(path)",
     0.03),
    ("load 1.1M concepts",
     "path = os.path.join(tempfile.gettempdir(), 'tessara_interrupt_load.json')\n"
     "if not os.path.exists(path): context(1400, 26, 0.45).lattice().save(path)",
     "_lab.load_lattice", "tl.load(path)", 0.5),
    ("draw mushroom: layering", f"L = tl.read({os.path.join(DATA, 'mushroom.dat')!r}).lattice()",
     "_lab.draw", "L.draw()", 0.15),
    ("draw mushroom: ordering", f"L = tl.read({os.path.join(DATA, 'mushroom.dat')!r}).lattice()",
     "_lab.draw", "L.draw()", 1.5),
    ("draw mushroom: labels", f"L = tl.read({os.path.join(DATA, 'mushroom.dat')!r}).lattice()",
     "_lab.draw", "L.draw()", 8.0),
    ("to_pandas: names", "L = context(1400, 26, 0.45).lattice()", "_lab.name_tuples", "L.to_pandas()", 0.2),
    ("to_pandas: frame", "L = context(1400, 26, 0.45).lattice()", "pandas.DataFrame", "L.to_pandas()", 0.05),
    ("generators", "L = context(3000, 40, 0.25).lattice()", "_lab.all_generators",
     'L.to_pandas(measures=["generators"])', 0.5),
    ("stability past its budget", "L = context(300, 18, 0.45).lattice()", "_lab.sampled_stability",
     "L.stability(samples=1_000_000, max_visits=0)", 0.5),
]


def measure(phase, pythonpath, repeats):
    _, prepare, target, call, delay = phase
    env = dict(os.environ)
    if pythonpath:
        env["PYTHONPATH"] = os.pathsep.join([pythonpath] + ([env["PYTHONPATH"]] if env.get("PYTHONPATH") else []))
    script = CHILD.format(prepare=prepare, target=target, call=call)
    latencies, finished = [], 0
    for _ in range(repeats):
        child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True, env=env)
        line = child.stdout.readline().strip()
        assert line == "ready", line
        time.sleep(delay)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        words = child.stdout.readline().split()
        child.wait()
        if words and words[0] == "caught":
            latencies.append(float(words[1]) - sent)
        else:
            finished += 1
    return latencies, finished


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--phase", action="append", help="a phase name starting with this (repeatable)")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--pythonpath", action="append", default=[],
                        help="a build's python directory; several are measured one after the other")
    args = parser.parse_args()
    chosen = [p for p in PHASES if not args.phase or any(p[0].startswith(name) for name in args.phase)]
    print(f"load average {os.getloadavg()[0]:.2f} {os.getloadavg()[1]:.2f}, {args.repeats} runs per phase")
    for phase in chosen:
        for pythonpath in args.pythonpath or [""]:
            latencies, finished = measure(phase, pythonpath, args.repeats)
            shown = " ".join(f"{s:.3f}" for s in sorted(latencies))
            summary = (f"min {min(latencies):.3f} s, median {statistics.median(latencies):.3f} s, "
                       f"max {max(latencies):.3f} s" if latencies else "never interrupted")
            tag = f" [{pythonpath}]" if pythonpath else ""
            print(f"{phase[0]}{tag}: {summary} ({shown}){f', {finished} ran to the end' if finished else ''}",
                  flush=True)
    print(f"load average {os.getloadavg()[0]:.2f} {os.getloadavg()[1]:.2f}")


if __name__ == "__main__":
    main()
