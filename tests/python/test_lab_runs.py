"""The lab's long-run kernels against the tessara module and brute force.

mine_lattice must list the concepts of the module's compute_concepts whose
extents hold at least min_support objects, in the same order, on any number
of threads, with the cover edges of the full lattice among them; a stream
must hand out exactly those concepts in that order; limits, progress and
Ctrl-C end runs cleanly.
"""

import os
import random
import sys
import textwrap

from array import array

import pytest

import tessara
from tessara import _lab
from tessara.lab import _run
from conftest import cxt_bytes, interrupt_child

ALGORITHMS = ["next-closure", "in-close-5", "fcbo"]
UNLIMITED = _run.UNLIMITED


def random_data(seed, n_objects, n_attributes, density):
    rng = random.Random(seed)
    rows = [[rng.random() < density for _ in range(n_attributes)] for _ in range(n_objects)]
    return cxt_bytes([f"g{i}" for i in range(n_objects)], [f"m{j}" for j in range(n_attributes)], rows)


def indices(data):
    """The uint32 items of a kernel's bytes (array, not numpy: numpy leaks at exit under LeakSanitizer)."""
    return tuple(array("I", data))


def edge_pairs(lattice):
    flat = indices(lattice.edges())
    return [(flat[k], flat[k + 1]) for k in range(0, len(flat), 2)]


def concepts_of(lattice):
    """(extent, intent) index tuples of a kernel lattice, in its order."""
    return [(indices(lattice.extent(i)), indices(lattice.intent(i))) for i in range(lattice.n_concepts)]


def module_concepts(data, algorithm, min_support):
    """The module's concepts as index tuples, filtered by extent size."""
    found = []
    for concept in tessara.compute_concepts(tessara.parse_context(data), algorithm):
        extent = tuple(int(name[1:]) for name in concept["extent"])
        if len(extent) >= min_support:
            found.append((extent, tuple(int(name[1:]) for name in concept["intent"])))
    return found


SHAPES = [(0, 0, 0.0), (1, 3, 0.5), (12, 7, 0.4), (65, 10, 0.3), (130, 12, 0.25), (40, 66, 0.1)]


@pytest.mark.parametrize("seed", range(3))
@pytest.mark.parametrize("n_objects, n_attributes, density", SHAPES)
def test_iceberg_lattices_filter_the_full_lattice_in_order(seed, n_objects, n_attributes, density):
    data = random_data(seed, n_objects, n_attributes, density)
    kernel = _lab.read_context(data, "case.cxt")
    full = _lab.compute_lattice(kernel, "fcbo")
    full_concepts = concepts_of(full)
    full_edges = edge_pairs(full)
    for min_support in sorted({0, 1, 2, n_objects // 3, n_objects, n_objects + 1}):
        for algorithm in ALGORITHMS:
            expected = module_concepts(data, algorithm, min_support)
            for threads in (1, 2):
                lattice = _lab.mine_lattice(kernel, algorithm, min_support, UNLIMITED, threads, None)
                assert concepts_of(lattice) == expected, (algorithm, min_support, threads)
        # Cover edges: those of the full lattice between two frequent concepts.
        lattice = _lab.mine_lattice(kernel, "fcbo", min_support, UNLIMITED, 1, None)
        position = {concept: i for i, concept in enumerate(concepts_of(lattice))}
        expected_edges = sorted((position[full_concepts[a]], position[full_concepts[b]]) for a, b in full_edges
                                if full_concepts[a] in position and full_concepts[b] in position)
        assert edge_pairs(lattice) == expected_edges, min_support


def stream_concepts(kernel, algorithm, min_support, max_concepts, threads):
    found = []
    for batch in _run.stream_batches(kernel, kernel.n_objects, algorithm, min_support, max_concepts, threads):
        found += concepts_of(batch)
    return found


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize("algorithm", ALGORITHMS)
def test_streams_hand_out_the_lattice_in_order(algorithm, threads):
    kernel = _lab.read_context(random_data(7, 600, 30, 0.3), "case.cxt")  # tens of thousands of concepts
    for min_support in (0, 5):
        expected = concepts_of(_lab.mine_lattice(kernel, algorithm, min_support, UNLIMITED, 1, None, False))
        assert len(expected) > 3 * 4096
        assert stream_concepts(kernel, algorithm, min_support, None, threads) == expected


def test_max_concepts_stops_runs_and_streams_past_the_limit():
    kernel = _lab.read_context(random_data(3, 60, 12, 0.4), "case.cxt")
    count = _lab.mine_lattice(kernel, "fcbo", 0, UNLIMITED, 1, None).n_concepts
    assert _lab.mine_lattice(kernel, "fcbo", 0, count, 2, None).n_concepts == count
    for threads in (1, 2):
        with pytest.raises(_run.TooManyConcepts) as raised:
            _lab.mine_lattice(kernel, "in-close-5", 0, count - 1, threads, None)
        assert isinstance(raised.value, ValueError)
        assert str(raised.value) == (f"more than {count - 1} concepts; raise max_concepts, or set min_support to "
                                     "keep only the concepts of at least that many objects")
    # A stream hands out the first max_concepts concepts, then raises.
    expected = concepts_of(_lab.mine_lattice(kernel, "fcbo", 0, UNLIMITED, 1, None))
    assert stream_concepts(kernel, "fcbo", 0, count, 2) == expected
    taken = []
    with pytest.raises(_run.TooManyConcepts):
        for batch in _run.stream_batches(kernel, kernel.n_objects, "fcbo", 0, 10, 2):
            taken += concepts_of(batch)
    assert taken == expected[:10]


def test_progress_reports_running_counts_and_errors_end_the_run():
    kernel = _lab.read_context(random_data(5, 3000, 40, 0.3), "case.cxt")
    seen = []
    lattice = _run.mine_lattice(kernel, kernel.n_objects, "fcbo", 0, None, 2, seen.append)
    assert seen and seen == sorted(seen) and seen[-1] == lattice.n_concepts

    def refuse(count):
        raise RuntimeError(f"stop at {count}")

    with pytest.raises(RuntimeError, match="stop at"):
        _lab.mine_lattice(kernel, "fcbo", 0, UNLIMITED, 1, refuse)


@pytest.mark.parametrize("value, n_objects, expected", [
    (0, 10, 0), (7, 10, 7), (0.1, 25, 3), (0.5, 10, 5), (1.0, 10, 10), (0.3, 10, 3), (1e-9, 10, 1)])
def test_min_support_counts_objects_or_a_fraction_rounded_up(value, n_objects, expected):
    assert _run.resolve_min_support(value, n_objects) == expected


@pytest.mark.parametrize("value, error", [(-1, ValueError), (0.0, ValueError), (1.5, ValueError),
                                          (True, TypeError), ("1", TypeError)])
def test_bad_min_support_is_refused(value, error):
    with pytest.raises(error):
        _run.resolve_min_support(value, 10)


def test_threads_default_to_the_cores_the_process_may_use():
    assert _run.resolve_threads(None) == len(os.sched_getaffinity(0))
    with pytest.raises(ValueError):
        _run.resolve_threads(0)


CHILD = textwrap.dedent(
    """
    import random
    from tessara import _lab
    from tessara.lab import _run

    def megabytes(field):
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith(field):
                    return int(line.split()[1]) / 1024

    rng = random.Random(11)
    rows = bytearray()
    n_objects, n_attributes = 3000, 100
    words = (n_attributes + 63) // 64
    for _ in range(n_objects):
        bits = sum(1 << m for m in range(n_attributes) if rng.random() < 0.35)
        rows += bits.to_bytes(8 * words, "little")
    kernel = _lab.make_context([f"g{{g}}" for g in range(n_objects)], [f"m{{m}}" for m in range(n_attributes)],
                               bytes(rows))
    # Through the public API: the lab's context over the same kernel.
    import tessara.lab as tl
    context = tl.Context._from_kernel(kernel)
    before = megabytes("VmRSS:")
    # A shell that starts jobs in the background ignores SIGINT for them, and Python then
    # installs no KeyboardInterrupt handler: put it back, as an interactive session has it.
    import signal; signal.signal(signal.SIGINT, signal.default_int_handler)
    print("ready", flush=True)
    try:
        if {stream}:
            for concept in context.iter_concepts(threads=2):
                pass
        else:
            context.lattice(threads=2)
    except KeyboardInterrupt:
        print("interrupted", before, megabytes("VmRSS:"), megabytes("VmHWM:"), flush=True)
    """
)


@pytest.mark.parametrize("stream", [False, True])
def test_sigint_stops_threaded_runs_and_streams(stream):
    out, err, elapsed = interrupt_child(CHILD.format(stream=stream))
    words = out.split()
    assert words and words[0] == "interrupted", (out, err)
    assert elapsed < 5, elapsed
    before, after, peak = map(float, words[1:4])
    assert after - before <= max(50.0, (peak - before) / 2), (before, after, peak)


@pytest.mark.parametrize("have_tqdm", [True, False])
def test_progress_true_shows_a_bar_or_a_stderr_line(have_tqdm, monkeypatch, capsys):
    if have_tqdm:
        tqdm = pytest.importorskip("tqdm")
        # No monitor thread: it would outlive the test (and count as a leak in the sanitized run).
        monkeypatch.setattr(tqdm.tqdm, "monitor_interval", 0)
    else:
        monkeypatch.setitem(sys.modules, "tqdm.auto", None)  # importing it now raises ImportError
    kernel = _lab.read_context(random_data(5, 60, 12, 0.4), "case.cxt")
    lattice = _run.mine_lattice(kernel, kernel.n_objects, "fcbo", 0, None, 1, True)
    shown = capsys.readouterr().err
    assert str(lattice.n_concepts) in shown.replace(",", "")
    assert ("concepts/s]" in shown) == have_tqdm  # tqdm's rate, or the plain line
