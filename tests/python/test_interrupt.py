"""Ctrl-C during the long computations of the tessara module.

Each case runs in a child interpreter that builds a context whose computation
takes far longer than the test, starts it, and gets a real SIGINT from this
process. The child must raise KeyboardInterrupt soon (the bound is a loose
sanity check, not a timing assertion) and give the run's memory back.
"""

import textwrap

import pytest

from conftest import interrupt_child

CHILD = textwrap.dedent(
    """
    import random, sys, time
    import tessara

    def megabytes(field):
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith(field):
                    return int(line.split()[1]) / 1024

    n_objects, n_attributes, density, call = {n_objects}, {n_attributes}, {density}, {call!r}
    rng = random.Random(20261208)
    lines = ["B", "", str(n_objects), str(n_attributes), ""]
    lines += [f"g{{g}}" for g in range(n_objects)] + [f"m{{m}}" for m in range(n_attributes)]
    lines += ["".join("X" if rng.random() < density else "." for _ in range(n_attributes))
              for _ in range(n_objects)]
    ctx = tessara.parse_context(("\\n".join(lines) + "\\n").encode())
    before = megabytes("VmRSS:")
    # A shell that starts jobs in the background ignores SIGINT for them, and Python then
    # installs no KeyboardInterrupt handler: put it back, as an interactive session has it.
    import signal; signal.signal(signal.SIGINT, signal.default_int_handler)
    print("ready", flush=True)
    try:
        getattr(tessara, call)(ctx)
    except KeyboardInterrupt:
        print("interrupted", before, megabytes("VmRSS:"), megabytes("VmHWM:"), flush=True)
    else:
        print("finished", flush=True)
    """
)

CASES = [
    # 3,000 x 100 at 35%: hundreds of millions of concepts; the run fills memory fast.
    ("compute_lattice", 3000, 100, 0.35),
    ("compute_concepts", 3000, 100, 0.35),
    ("compute_implications", 3000, 80, 0.2),
]


@pytest.mark.parametrize("call, n_objects, n_attributes, density", CASES)
def test_sigint_stops_the_computation_and_frees_its_memory(call, n_objects, n_attributes, density):
    script = CHILD.format(n_objects=n_objects, n_attributes=n_attributes, density=density, call=call)
    out, err, elapsed = interrupt_child(script)
    words = out.split()
    assert words and words[0] == "interrupted", (out, err)
    assert elapsed < 5, elapsed
    before, after, peak = map(float, words[1:4])
    # The run's records are given back: the process ends up near where it started.
    assert after - before <= max(50.0, (peak - before) / 2), (before, after, peak)
