"""Many threads over shared contexts and lattices, and memory over many calls."""

import gc
import os
import random
import sys
import threading

import pytest

import tessara
from conftest import cxt_bytes

ALGORITHMS = ["next-closure", "in-close-5", "fcbo"]
THREADS = 8
CALLS_PER_THREAD = 300


def random_cxt(seed, n_objects=10, n_attributes=8, density=0.4):
    rng = random.Random(seed)
    rows = [[rng.random() < density for _ in range(n_attributes)] for _ in range(n_objects)]
    return cxt_bytes([f"g{i}" for i in range(n_objects)], [f"a{j}" for j in range(n_attributes)], rows)


SOURCES = [random_cxt(seed) for seed in range(6)]
BAD_SOURCES = [b"B\n\n2\n", b"<Context><Object>", b'{"tessara_version": 1}', b"0 x\n"]
BAD_NAMES = ["bad.cxt", "bad.xml", "bad.json", "bad.dat"]


def expected_results(data):
    """Everything the stress calls return for one context, computed in this thread alone."""
    ctx = tessara.parse_context(data)
    lattice = tessara.compute_lattice(ctx)
    return {
        # Positions in the drawing follow the algorithm's concept order.
        "svg_by_algorithm": {name: tessara.compute_lattice(ctx, name).svg() for name in ALGORITHMS},
        "concepts": {name: tessara.compute_concepts(ctx, name) for name in ALGORITHMS},
        "lattice": {name: tessara.compute_lattice(ctx, name).concepts() for name in ALGORITHMS},
        "implications": tessara.compute_implications(ctx),
        "svg": lattice.svg(),
        "repr": repr(ctx),
    }


def error_text(call):
    try:
        call()
    except ValueError as error:
        return str(error)
    raise AssertionError("no ValueError")


@pytest.fixture
def fast_switching():
    """Switches threads every 10 microseconds so calls interleave as much as they can."""
    before = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    yield
    sys.setswitchinterval(before)


def test_threads_share_contexts_and_lattices_and_get_single_threaded_results(fast_switching):
    expected = [expected_results(data) for data in SOURCES]
    expected_errors = [error_text(lambda: tessara.parse_context(d, n)) for d, n in zip(BAD_SOURCES, BAD_NAMES)]
    shared_contexts = [tessara.parse_context(data) for data in SOURCES]
    shared_lattices = [tessara.compute_lattice(ctx) for ctx in shared_contexts]
    # Slots other threads replace: the old object loses its last reference
    # while a thread that took it out may still be using it.
    slots = [(k, tessara.parse_context(SOURCES[k]), None, None) for k in range(len(SOURCES))]
    slots_lock = threading.Lock()
    start = threading.Barrier(THREADS)
    failures = []

    def take_slot(rng):
        with slots_lock:
            return slots[rng.randrange(len(slots))]

    def replace_slot(rng):
        k = rng.randrange(len(SOURCES))
        ctx = tessara.parse_context(SOURCES[k])
        name = rng.choice(ALGORITHMS)
        fresh = (k, ctx, tessara.compute_lattice(ctx, name) if rng.random() < 0.5 else None, name)
        with slots_lock:
            slots[k] = fresh

    def one_call(rng):
        k = rng.randrange(len(SOURCES))
        want = expected[k]
        kind = rng.randrange(9)
        if kind == 0:
            name = rng.choice(ALGORITHMS)
            assert tessara.compute_concepts(shared_contexts[k], name) == want["concepts"][name]
        elif kind == 1:
            name = rng.choice(ALGORITHMS)
            assert tessara.compute_lattice(shared_contexts[k], name).concepts() == want["lattice"][name]
        elif kind == 2:
            assert tessara.compute_implications(shared_contexts[k]) == want["implications"]
        elif kind == 3:
            assert shared_lattices[k].svg() == want["svg"]
        elif kind == 4:
            assert repr(tessara.parse_context(SOURCES[k])) == want["repr"]
        elif kind == 5:
            j = rng.randrange(len(BAD_SOURCES))
            assert error_text(lambda: tessara.parse_context(BAD_SOURCES[j], BAD_NAMES[j])) == expected_errors[j]
        elif kind == 6:
            replace_slot(rng)
        else:
            k, ctx, lattice, name = take_slot(rng)
            assert tessara.compute_concepts(ctx) == expected[k]["concepts"]["next-closure"]
            if lattice is not None:
                # The first drawing of a fresh lattice fills its covering cache,
                # possibly in several threads at once.
                assert lattice.svg() == expected[k]["svg_by_algorithm"][name]
            del ctx, lattice

    def worker(seed):
        rng = random.Random(seed)
        start.wait()
        try:
            for _ in range(CALLS_PER_THREAD):
                one_call(rng)
        except BaseException as error:  # reported by the main thread
            failures.append(error)

    threads = [threading.Thread(target=worker, args=(seed,)) for seed in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def every_function_once(data, ctx, lattice):
    tessara.parse_context(data)
    for bad, name in zip(BAD_SOURCES, BAD_NAMES):
        with pytest.raises(ValueError):
            tessara.parse_context(bad, name)
    with pytest.raises(TypeError):
        tessara.parse_context("not bytes")
    for name in ALGORITHMS:
        tessara.compute_concepts(ctx, name)
        tessara.compute_lattice(ctx, name)
    with pytest.raises(ValueError):
        tessara.compute_concepts(ctx, "no-such-algorithm")
    with pytest.raises(TypeError):
        tessara.compute_lattice(lattice)
    tessara.compute_implications(ctx)
    tessara.compute_lattice(ctx).svg()  # a fresh covering cache each time
    lattice.svg()
    lattice._repr_html_()
    lattice.concepts()
    repr(lattice), repr(ctx), lattice.n_concepts
    tessara.supported_algorithms()


@pytest.mark.skipif(bool(os.environ.get("TESSARA_SANITIZED")), reason="LeakSanitizer checks leaks in this run")
def test_memory_stays_flat_over_thousands_of_calls_of_every_function():
    data = random_cxt(99, n_objects=8, n_attributes=6)
    ctx = tessara.parse_context(data)
    lattice = tessara.compute_lattice(ctx)
    for _ in range(300):  # warm up the allocator and the interpreter's caches
        every_function_once(data, ctx, lattice)
    gc.collect()
    before = resident_bytes()
    rounds = 3000
    for _ in range(rounds):
        every_function_once(data, ctx, lattice)
    gc.collect()
    grown = resident_bytes() - before
    # 3000 rounds of 25 calls: a leak of 32 bytes a call would show as 2.4 MB.
    assert grown < 2 * 1024 * 1024, f"resident memory grew by {grown} bytes over {rounds} rounds"
