"""Ctrl-C in every phase of the lab's long calls, and progress through the phases of rules.

Each case runs a child interpreter that prepares a lattice or a context, then makes one public call; the kernel
function of the phase under test is wrapped to print "ready" as it starts, so the real SIGINT the test sends lands
in that phase. The child must raise KeyboardInterrupt well before the phase would end (the bound is a loose sanity
check, not a timing assertion) and give back what the phase had built.
"""

import textwrap

import numpy as np
import pytest

import tessara.lab as tl
from conftest import interrupt_child

CHILD = textwrap.dedent(
    """
    import signal, sys, tempfile, time
    import numpy as np
    import tessara.lab as tl
    from tessara import _lab

    def megabytes(field):
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith(field):
                    return int(line.split()[1]) / 1024

    def context(n_objects, n_attributes, density):
        rng = np.random.default_rng(20261209)
        return tl.Context([f"g{{i}}" for i in range(n_objects)], [f"m{{j}}" for j in range(n_attributes)],
                          rng.random((n_objects, n_attributes)) < density)

    {prepare}
    kernel = getattr(_lab, {kernel!r})

    def announced(*args, **kwargs):
        if not announced.done:
            print("ready", flush=True)
            announced.done = True
        return kernel(*args, **kwargs)

    announced.done = False

    setattr(_lab, {kernel!r}, announced)
    signal.signal(signal.SIGINT, signal.default_int_handler)
    before = megabytes("VmRSS:")
    caught = None
    try:
        result = {call}
    except KeyboardInterrupt:
        caught = time.monotonic()
    # Once the exception (and the frames its traceback holds) is gone: what freeing took, and the memory.
    freed = 0.0 if caught is None else time.monotonic() - caught
    print("finished" if caught is None else "interrupted", freed, before, megabytes("VmRSS:"), megabytes("VmHWM:"),
          flush=True)
    """
)

# (phase, what the child prepares, the kernel function that starts the phase, the public call). Each phase lasts
# a few seconds on a quiet machine, well past the 0.7 s after which the signal comes.
PHASES = [
    ("rules: finding every rule", "K = context(200, 24, 0.45)", "association_rules", 'K.rules(0, 0.0, basis="all")'),
    ("rules: their names", "K = context(200, 24, 0.45)", "list_names", 'K.rules(0, 0.0, basis="all")'),
    ("load", "path = tempfile.mktemp(); context(1400, 26, 0.45).lattice().save(path)", "load_lattice",
     "tl.load(path)"),
    ("generators", "L = context(3000, 40, 0.25).lattice()", "all_generators", 'L.to_pandas(measures=["generators"])'),
    ("stability past its budget", "L = context(300, 18, 0.45).lattice()", "sampled_stability",
     "L.stability(samples=1_000_000, max_visits=0)"),
    ("layout", "L = context(260, 20, 0.5).lattice()", "draw", "L.draw()"),
]


# The phases whose work is held in C++ until it is done, and so must be all given back.
KERNEL_HELD = {"association_rules", "load_lattice", "sampled_stability", "draw"}


@pytest.mark.parametrize("phase, prepare, kernel, call", PHASES, ids=[phase for phase, *_ in PHASES])
def test_sigint_stops_each_phase_and_keeps_nothing(phase, prepare, kernel, call):
    out, err, elapsed = interrupt_child(CHILD.format(prepare=prepare, kernel=kernel, call=call))
    words = out.split()
    assert words and words[0] == "interrupted", (phase, out, err)
    freed, before, after, peak = map(float, words[1:5])
    # From the signal to the KeyboardInterrupt, at most (the rest is freeing millions of objects, and exiting).
    assert elapsed - freed < 3, (elapsed, freed)
    if kernel in KERNEL_HELD:
        # What the phase built in C++ is given back (Python's own allocator may keep its arenas).
        assert after - before <= max(50.0, (peak - before) / 2), (before, after, peak)


def test_rules_report_progress_through_mining_and_finding_the_rules():
    rng = np.random.default_rng(3)
    K = tl.Context([f"g{i}" for i in range(40)], [f"m{j}" for j in range(10)], rng.random((40, 10)) < 0.5)
    counts = []
    rules = K.rules(0.1, 0.2, basis="all", progress=counts.append)
    iceberg = K.lattice(min_support=0.1)
    # The concepts' count closes the mining, the rules' count closes the rules.
    assert len(iceberg) in counts
    assert counts[-1] == len(rules) > 0
    assert counts.index(len(iceberg)) < len(counts) - 1


def random_lattice(n_objects, n_attributes, density, seed=5):
    rng = np.random.default_rng(seed)
    matrix = rng.random((n_objects, n_attributes)) < density
    return tl.Context([f"g{i}" for i in range(n_objects)], [f"m{j}" for j in range(n_attributes)], matrix).lattice()


def saved(lattice, tmp_path):
    path = tmp_path / "lattice.json"
    lattice.save(path)
    return path


# (call, how it is made with a progress argument, the last count it must report or None when the count is of steps).
PROGRESS_CALLS = [
    ("draw", lambda L, tmp, progress: L.draw(progress=progress), None),
    ("load", lambda L, tmp, progress: tl.load(saved(L, tmp), progress=progress), None),
    ("to_pandas", lambda L, tmp, progress: L.to_pandas(measures=["stability", "generators"], progress=progress), 5),
    ("exact stability", lambda L, tmp, progress: L.stability(method="exact", progress=progress), "concepts"),
    ("sampled stability", lambda L, tmp, progress: L.stability(method="sampled", samples=50, progress=progress),
     "concepts"),
]


@pytest.mark.parametrize("call, make, last", PROGRESS_CALLS, ids=[call for call, *_ in PROGRESS_CALLS])
def test_progress_reports_counts_from_the_calling_thread_and_refuses_other_values(call, make, last, tmp_path):
    import threading

    L = random_lattice(120, 12, 0.5)
    caller = threading.get_ident()
    counts, threads = [], set()

    def report(count):
        counts.append(count)
        threads.add(threading.get_ident())

    make(L, tmp_path, report)
    assert threads <= {caller}
    assert all(isinstance(count, int) and count >= 0 for count in counts)
    assert counts == sorted(counts)
    if last == "concepts":
        assert counts[-1] == len(L)
    elif last is not None:
        assert counts == list(range(1, last + 1))
    with pytest.raises(TypeError, match="progress must be a bool or a callable"):
        make(L, tmp_path, "yes")
    # True shows a bar or a line on stderr, and gives the same result as no progress at all.
    assert repr(make(L, tmp_path, True)) == repr(make(L, tmp_path, False))


@pytest.mark.parametrize("call", ["draw", "load"])
def test_a_progress_callable_that_raises_stops_the_call_with_its_exception(call, tmp_path):
    L = random_lattice(300, 18, 0.45)
    path = saved(L, tmp_path)

    class Stop(Exception):
        pass

    def stop(count):
        raise Stop(count)

    with pytest.raises(Stop):
        if call == "draw":
            L.draw(progress=stop)
        else:
            tl.load(path, progress=stop)
