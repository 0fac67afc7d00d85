"""Concepts written as Parquet by units of the walk: local threads, a Dask cluster and a Ray session on loopback.

Every dataset is compared with Context.iter_concepts (content and order) and, across engines, byte for byte
through the manifest's part checksums.
"""

import json
import os
import textwrap

import numpy as np
import pytest

import tessara.lab as tl
from conftest import interrupt_child

pa = pytest.importorskip("pyarrow")

SANITIZED = bool(os.environ.get("TESSARA_SANITIZED"))
ALGORITHMS = ["fcbo", "next-closure", "in-close-5", "lcm"]


def random_matrix(n_objects, n_attributes, density, seed):
    """A random incidence with some rows repeated (the walk's duplicate extents)."""
    rng = np.random.default_rng(seed)
    matrix = rng.random((n_objects, n_attributes)) < density
    for g in range(1, n_objects, 7):
        matrix[g] = matrix[g - 1]
    return matrix


def context_of(matrix):
    n, m = matrix.shape
    return tl.Context([f"g{i}" for i in range(n)], [f"m{j}" for j in range(m)], matrix)


def stored(folder):
    return [(c.intent, c.support, c.extent) for c in tl.read_concepts(folder)]


def streamed(K, min_support, algorithm):
    return [(c.intent, c.support, c.extent) for c in K.iter_concepts(min_support, algorithm)]


def parts_of(folder):
    with open(os.path.join(folder, "_manifest.json"), encoding="utf-8") as file:
        return json.load(file)["parts"]


@pytest.fixture
def folder(tmp_path):
    return str(tmp_path / "concepts")


# (objects, attributes, density): empty sides, one cell, word boundaries, full and empty rows.
SHAPES = [(0, 0, 0.5), (0, 5, 0.5), (5, 0, 0.5), (1, 1, 1.0), (7, 63, 0.3), (40, 64, 0.2), (30, 65, 0.25),
          (50, 12, 1.0), (50, 12, 0.0), (120, 20, 0.35)]


@pytest.mark.parametrize("shape", SHAPES, ids=lambda s: "x".join(map(str, s[:2])))
@pytest.mark.parametrize("algorithm", ALGORITHMS)
def test_local_dataset_is_the_stream(shape, algorithm, tmp_path):
    n, m, density = shape
    K = context_of(random_matrix(n, m, density, seed=n * 131 + m))
    for i, (min_support, unit_concepts) in enumerate([(0, 1), (1, 7), (3, 100_000), (n + 1, 5)]):
        folder = str(tmp_path / f"run{i}")
        summary = K.to_parquet(folder, min_support, algorithm, extents=True, unit_concepts=unit_concepts, threads=2)
        expected = [(c.intent, c.support, c.extent) for c in K.iter_concepts(min_support, algorithm)]
        assert stored(folder) == expected
        assert summary.count == len(expected) == len(tl.read_concepts(folder))
        names = [os.path.basename(p) for p in summary.parts]
        assert names == sorted(names) == sorted(n for n in os.listdir(folder) if n.endswith(".parquet"))


def baskets(n_objects, n_items, seed):
    """Transactions of a few items each, skewed to the low ids; empty and repeated ones among them."""
    rng = np.random.default_rng(seed)
    rows = []
    for g in range(n_objects):
        if n_items == 0 or g % 11 == 0:
            rows.append([])
        elif g % 5 == 0 and rows:
            rows.append(rows[-1])
        else:
            size = int(rng.integers(1, 6))
            rows.append(sorted({int(n_items * rng.random() ** 2) for _ in range(size)}))
    return rows


# (transactions, items): past a word of objects or items by one, and large enough to be stored sparse (a small
# context is always packed; the small shapes run "lcm" on packed contexts above).
SPARSE_SHAPES = [(1100, 8193), (2049, 4097), (4097, 2049), (16385, 640)]


@pytest.mark.parametrize("shape", SPARSE_SHAPES, ids=lambda s: "x".join(map(str, s)))
def test_sparse_context_default_is_the_stream(shape, tmp_path):
    n, m = shape
    K = tl.Context.from_sparse(_csr(baskets(n, m, seed=n * 7 + m), n, m))
    assert K._kernel.is_sparse
    for i, (min_support, unit_concepts) in enumerate([(0, 300), (2, 7), (5, 100_000), (n + 1, 5)]):
        folder = str(tmp_path / f"run{i}")
        summary = K.to_parquet(folder, min_support, extents=i == 1, unit_concepts=unit_concepts, threads=2)
        expected = [(c.intent, c.support, c.extent if i == 1 else None) for c in K.iter_concepts(min_support)]
        assert [(c.intent, c.support, c.extent if i == 1 else None) for c in tl.read_concepts(folder)] == expected
        assert summary.count == len(expected)
        assert tl.read_concepts(folder).parameters["algorithm"] == "lcm"


def _csr(rows, n, m):
    sparse = pytest.importorskip("scipy.sparse")
    indptr = np.cumsum([0] + [len(r) for r in rows])
    indices = np.array([j for r in rows for j in r], dtype=np.int64)
    return sparse.csr_array((np.ones(len(indices), dtype=bool), indices, indptr), shape=(n, m))


def test_payload_ships_the_stored_form():
    from tessara.lab._units import ContextPayload

    rows = baskets(1100, 8193, seed=4)
    sparse = tl.Context.from_sparse(_csr(rows, 1100, 8193))
    packed = tl.Context.from_sparse(_csr(rows[:40], 40, 8193))
    assert sparse._kernel.is_sparse and not packed._kernel.is_sparse
    shipped_sparse = ContextPayload.of(sparse._kernel)
    shipped_packed = ContextPayload.of(packed._kernel)
    assert shipped_sparse.rows is None and shipped_sparse.sparse_rows is not None
    assert shipped_packed.rows is not None and shipped_packed.sparse_rows is None
    for payload, K in ((shipped_sparse, sparse), (shipped_packed, packed)):
        rebuilt = payload.kernel()
        assert rebuilt.is_sparse == K._kernel.is_sparse
        assert rebuilt.sparse_rows() == K._kernel.sparse_rows()
        assert ContextPayload.of(rebuilt).checksum == payload.checksum
    # One cross more or less, or another name, and the checksum differs.
    rows[3] = sorted(set(rows[3]) ^ {8192})
    assert ContextPayload.of(tl.Context.from_sparse(_csr(rows, 1100, 8193))._kernel).checksum != shipped_sparse.checksum
    renamed = tl.Context.from_sparse(_csr(rows[:40], 40, 8193), objects=[f"o{i}" for i in range(40)])
    assert ContextPayload.of(renamed._kernel).checksum != shipped_packed.checksum


def huge_sparse_context():
    """150,000 transactions over 120,000 items: its dense form (2.1 GiB) is refused, so only the sparse one can
    travel."""
    rng = np.random.default_rng(11)
    n, m = 150_000, 120_000
    sizes = rng.integers(1, 4, n)
    indptr = np.concatenate([[0], np.cumsum(sizes)])
    indices = np.minimum((rng.random(indptr[-1]) ** 8 * m).astype(np.int64), m - 1)
    sparse = pytest.importorskip("scipy.sparse")
    matrix = sparse.csr_array((np.ones(len(indices), dtype=bool), indices, indptr), shape=(n, m))
    matrix.sum_duplicates()
    return tl.Context.from_sparse(matrix)


def test_first_generations_of_units_are_smaller(tmp_path):
    from tessara.lab._units import RAMP_DEPTH, unit_budget

    assert [unit_budget((0,) * depth, 400_000) for depth in range(1, RAMP_DEPTH + 3)] == [
        1562, 6250, 25_000, 100_000, 400_000, 400_000]
    assert unit_budget((0,), 5) == 1
    K = context_of(random_matrix(600, 36, 0.3, seed=6))
    summary = K.to_parquet(str(tmp_path / "ramp"), unit_concepts=20_000, threads=2)
    assert summary.count == sum(count for _, _, count in summary.timings) > 60_000
    counts = {key: count for key, _, count in summary.timings}
    # The first unit stops near its small budget and its children split again soon: every worker gets work.
    assert counts[(0,)] < 5_000
    assert len([key for key in counts if len(key) == 2]) == 4


@pytest.mark.parametrize("count", [0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 63, 64, 65, 1000])
def test_rest_splits_in_order_into_units_that_halve_from_the_end(count):
    from tessara.lab._units import FAN_OUT, split_rest

    rest = [bytes([i % 256, i // 256]) for i in range(count)]
    units = split_rest(rest)
    assert [task for unit in units for task in unit] == rest
    assert all(units) and len(units) <= FAN_OUT
    assert count < 2 ** (FAN_OUT - 1) or len(units) == FAN_OUT
    sizes = [len(unit) for unit in units]
    assert sizes == sorted(sizes, reverse=True)
    if count >= 2 ** (FAN_OUT - 1):
        # The shallowest subtrees (the end of the rest) get units of their own, the deep ones share the first.
        assert sizes[-1] == count - (count - (count >> (FAN_OUT - 1))) and sizes[0] == count - count // 2


def test_part_names_sort_as_unit_keys():
    from tessara.lab._units import part_name

    keys = [(0,), (0, 0), (0, 0, 15), (0, 0, 16), (0, 1), (0, 9), (0, 10), (0, 255), (0, 256), (0, 4294967295)]
    assert sorted(keys, key=part_name) == keys


def test_same_unit_writes_the_same_bytes_and_threads_do_not_matter(tmp_path):
    K = context_of(random_matrix(150, 25, 0.3, seed=5))
    parts = []
    for run, threads in enumerate((1, 2, 2)):
        K.to_parquet(str(tmp_path / f"r{run}"), 2, threads=threads, unit_concepts=300)
        parts.append(parts_of(str(tmp_path / f"r{run}")))
    assert parts[0] == parts[1] == parts[2]
    assert len(parts[0]) > 5


def test_too_many_concepts_keeps_nothing(tmp_path):
    K = context_of(random_matrix(100, 20, 0.4, seed=3))
    total = sum(1 for _ in K.iter_concepts())
    folder = str(tmp_path / "new")
    with pytest.raises(tl.TooManyConcepts):
        K.to_parquet(folder, max_concepts=total - 1, unit_concepts=50)
    assert not os.path.exists(folder)
    existing = tmp_path / "existing"
    existing.mkdir()
    with pytest.raises(tl.TooManyConcepts):
        K.to_parquet(existing, max_concepts=total - 1, unit_concepts=50)
    assert os.listdir(existing) == []
    assert K.to_parquet(str(tmp_path / "exact"), max_concepts=total).count == total


def _truncate(path):
    with open(path, "r+b") as file:
        file.truncate(os.path.getsize(path) - 1)


def _flip_last_byte(path):
    with open(path, "r+b") as file:
        file.seek(-1, os.SEEK_END)
        last = file.read(1)
        file.seek(-1, os.SEEK_END)
        file.write(bytes([last[0] ^ 0xFF]))


@pytest.mark.parametrize(
    "damage, message",
    [
        (lambda folder, part: os.remove(os.path.join(folder, "_manifest.json")), "has no _manifest.json"),
        (lambda folder, part: os.remove(part), "is incomplete: part 'part-"),
        (lambda folder, part: _truncate(part), "is altered: part 'part-"),
    ],
    ids=["no manifest", "deleted part", "truncated part"],
)
def test_reading_refuses_unfinished_or_damaged_datasets(damage, message, folder):
    summary = context_of(random_matrix(150, 25, 0.3, seed=9)).to_parquet(folder, unit_concepts=50)
    damage(folder, summary.parts[-1])
    with pytest.raises(ValueError, match=message):
        tl.read_concepts(folder)


def test_reading_refuses_a_part_altered_in_place(folder):
    summary = context_of(random_matrix(150, 25, 0.3, seed=9)).to_parquet(folder, unit_concepts=50)
    _flip_last_byte(summary.parts[1])
    concepts = tl.read_concepts(folder)
    with pytest.raises(ValueError, match="does not match its checksum"):
        list(concepts)


def test_to_pandas_and_metadata(folder):
    K = tl.Context(["a", "b", "c"], ["x", "y"], [[1, 0], [1, 1], [0, 1]])
    K.to_parquet(folder, min_support=1, algorithm="next-closure")
    dataset = tl.read_concepts(folder)
    frame = dataset.to_pandas()
    assert list(frame["intent"]) == [c.intent for c in K.iter_concepts(1, "next-closure")]
    assert list(frame.columns) == ["intent", "support"]
    assert dataset.objects == K.objects and dataset.attributes == K.attributes
    assert dataset.parameters["algorithm"] == "next-closure" and dataset.parameters["min_support"] == 1


@pytest.mark.parametrize(
    "arguments, error, message",
    [
        ({"algorithm": "lattice-miner"}, ValueError, "to_parquet runs the algorithms"),
        ({"executor": "spark"}, TypeError, "executor must be None"),
        ({"unit_concepts": 0}, ValueError, "unit_concepts"),
        ({"min_support": -1}, ValueError, "min_support"),
        ({"extents": "yes"}, TypeError, "extents"),
    ],
)
def test_bad_arguments(arguments, error, message, folder):
    with pytest.raises(error, match=message):
        context_of(random_matrix(5, 5, 0.5, seed=1)).to_parquet(folder, **arguments)
    assert not os.path.exists(folder) or os.listdir(folder) == []


def test_refuses_a_folder_that_is_not_empty(tmp_path):
    (tmp_path / "keep.txt").write_text("mine")
    with pytest.raises(ValueError, match="is not empty"):
        context_of(random_matrix(5, 5, 0.5, seed=1)).to_parquet(tmp_path)
    assert os.listdir(tmp_path) == ["keep.txt"]


def test_sigint_to_the_driver_leaves_nothing(tmp_path):
    folder = tmp_path / "concepts"
    out, err, seconds = interrupt_child(textwrap.dedent(f"""
        import os, numpy as np, tessara.lab as tl
        rng = np.random.default_rng(0)
        K = tl.Context([f"g{{i}}" for i in range(3000)], [f"m{{j}}" for j in range(60)], rng.random((3000, 60)) < 0.3)
        print("ready", flush=True)
        try:
            K.to_parquet({str(folder)!r}, unit_concepts=2000, threads=2)
            print("finished")
        except KeyboardInterrupt:
            print("interrupted", os.path.exists({str(folder)!r}))
    """))
    assert out.split() == ["interrupted", "False"], err
    assert seconds < 5


def _interrupt_after_first_report(count):
    if count > 0:
        raise KeyboardInterrupt


# -- clusters on loopback ---------------------------------------------------------------------------------------


@pytest.fixture(scope="module")
def dask_client():
    if SANITIZED:
        pytest.skip("worker processes do not load the sanitized build")
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        yield client


@pytest.fixture(scope="module")
def ray_session():
    if SANITIZED:
        pytest.skip("worker processes do not load the sanitized build")
    ray = pytest.importorskip("ray")
    ray.init(num_cpus=2, include_dashboard=False, log_to_driver=False, configure_logging=False)
    try:
        yield ray
    finally:
        ray.shutdown()


@pytest.fixture(params=["dask", "ray"])
def cluster(request):
    return request.getfixturevalue("dask_client" if request.param == "dask" else "ray_session")


@pytest.mark.parametrize("algorithm", ALGORITHMS)
def test_cluster_dataset_equals_the_local_one(cluster, algorithm, tmp_path):
    for i, (shape, min_support) in enumerate([((120, 20, 0.35), 0), ((90, 65, 0.2), 3), ((0, 4, 0.5), 0)]):
        K = context_of(random_matrix(*shape, seed=i))
        local = K.to_parquet(str(tmp_path / f"local{i}"), min_support, algorithm, unit_concepts=150, extents=True)
        remote = K.to_parquet(str(tmp_path / f"remote{i}"), min_support, algorithm, executor=cluster,
                              unit_concepts=150, extents=True)
        assert remote.count == local.count and remote.units == local.units
        assert parts_of(str(tmp_path / f"remote{i}")) == parts_of(str(tmp_path / f"local{i}"))
        assert stored(str(tmp_path / f"remote{i}")) == streamed(K, min_support, algorithm)


def test_cluster_ships_a_sparse_context_too_large_to_pack(cluster, tmp_path):
    K = huge_sparse_context()
    with pytest.raises(ValueError, match="GiB|too large|dense"):
        K._kernel.rows()
    expected = [(c.intent, c.support) for c in K.iter_concepts(200)]
    assert len(expected) > 50
    for name, executor in (("local", None), ("remote", cluster)):
        summary = K.to_parquet(str(tmp_path / name), 200, executor=executor, unit_concepts=5)
        assert summary.units > 1
        assert [(c.intent, c.support) for c in tl.read_concepts(str(tmp_path / name))] == expected
    assert parts_of(str(tmp_path / "remote")) == parts_of(str(tmp_path / "local"))


def test_cluster_max_concepts_and_interrupt_leave_nothing(cluster, tmp_path):
    K = context_of(random_matrix(200, 25, 0.35, seed=4))
    total = sum(1 for _ in K.iter_concepts())
    with pytest.raises(tl.TooManyConcepts):
        K.to_parquet(str(tmp_path / "limited"), executor=cluster, max_concepts=total // 2, unit_concepts=100)
    assert not os.path.exists(tmp_path / "limited")
    with pytest.raises(KeyboardInterrupt):
        K.to_parquet(str(tmp_path / "interrupted"), executor=cluster, unit_concepts=100,
                     progress=_interrupt_after_first_report)
    assert not os.path.exists(tmp_path / "interrupted")


def test_dask_run_survives_a_killed_worker(dask_client, tmp_path):
    import threading
    import time

    K = context_of(random_matrix(400, 30, 0.3, seed=8))
    folder = tmp_path / "killed"
    workers = list(dask_client.scheduler_info()["workers"])

    def kill_one_worker_after_the_first_part():
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if folder.exists() and any(name.endswith(".parquet") for name in os.listdir(folder)):
                try:
                    dask_client.run(os._exit, 1, workers=[workers[0]])
                except Exception:  # the worker died before it could answer, as it should
                    pass
                return
            time.sleep(0.01)

    killer = threading.Thread(target=kill_one_worker_after_the_first_part)
    killer.start()
    summary = K.to_parquet(str(folder), 2, executor=dask_client, unit_concepts=100)
    killer.join()
    assert summary.units > 20
    assert [c.intent for c in tl.read_concepts(folder)] == [c.intent for c in K.iter_concepts(2)]
    assert not [name for name in os.listdir(folder) if name.endswith(".tmp")]


def test_dask_reads_the_dataset_lazily(dask_client, folder):
    K = context_of(random_matrix(80, 15, 0.4, seed=2))
    K.to_parquet(folder, unit_concepts=40)
    frame = tl.read_concepts(folder).to_dask()
    assert frame.npartitions == len(tl.read_concepts(folder).parts)
    computed = frame.compute()
    assert [tuple(K.attributes[m] for m in intent) for intent in computed["intent"]] == [
        c.intent for c in K.iter_concepts()]
