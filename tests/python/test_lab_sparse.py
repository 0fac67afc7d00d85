"""Contexts stored sparse: the constructors that never build the dense matrix, the FIMI reader of the lab, the
public facts of both storages, bad input, and the lab's operations on a sparse context against the dense one."""

import textwrap
from pathlib import Path

import numpy as np
import pytest

import tessara
import tessara.lab as tl
from conftest import interrupt_child

sp = pytest.importorskip("scipy.sparse")
pd = pytest.importorskip("pandas")

# The shared data folder sits beside the repository (a worktree sits one level deeper).
REPO = Path(__file__).resolve().parents[2]
FIMI_DIR = next(
    (folder for folder in (REPO.parent / "shared" / "data" / "fimi", REPO.parents[1] / "shared" / "data" / "fimi")
     if folder.is_dir()),
    REPO.parent / "shared" / "data" / "fimi",
)


def random_table(seed, n_objects, n_attributes, density):
    """A bool table with empty rows, duplicate rows and unused attributes, and its names."""
    rng = np.random.default_rng(seed)
    matrix = rng.random((n_objects, n_attributes)) < density
    if n_objects > 2:
        matrix[1] = False  # an empty row
        matrix[2] = matrix[0]  # a duplicate row
    if n_attributes > 1:
        matrix[:, -1] = False  # an item no transaction uses
    objects = [f"o{g}" for g in range(n_objects)]
    attributes = [f"a{m}" for m in range(n_attributes)]
    return objects, attributes, matrix


SHAPES = [(0, 0), (0, 3), (3, 0), (1, 1), (5, 63), (7, 64), (9, 65), (40, 129), (200, 30)]


@pytest.mark.parametrize("n_objects, n_attributes", SHAPES)
@pytest.mark.parametrize("density", [0.05, 0.5])
def test_sparse_constructors_equal_the_dense_one(n_objects, n_attributes, density):
    objects, attributes, matrix = random_table(n_objects * 131 + n_attributes, n_objects, n_attributes, density)
    dense = tl.Context(objects, attributes, matrix)
    rows, columns = np.nonzero(matrix)

    # Every scipy format, a COO matrix with repeated and explicitly stored zero entries among them.
    repeated = sp.coo_array(
        (np.r_[np.ones(rows.size), np.ones(min(rows.size, 3)), [0.0]],
         (np.r_[rows, rows[:3], [0]], np.r_[columns, columns[:3], [0]])),
        shape=matrix.shape,
    ) if n_objects and n_attributes else sp.coo_array(matrix.shape)
    for built in (sp.csr_array(matrix), sp.csc_matrix(matrix.astype(np.int8)), repeated):
        assert tl.Context.from_sparse(built, objects, attributes) == dense

    # Baskets of str items (repeated within a basket), and the same as a long table of pairs.
    baskets = [[attributes[m] for m in np.flatnonzero(row)] * 2 for row in matrix]
    from_baskets = tl.Context.from_transactions(baskets, objects)
    used = [a for a, column in zip(attributes, matrix.T) if column.any()]
    assert from_baskets.attributes == tuple(sorted(used))
    assert from_baskets == dense.select(attributes=sorted(used))
    pairs = pd.DataFrame({"basket": [objects[g] for g in rows] * 2, "item": [attributes[m] for m in columns] * 2})
    from_pairs = tl.Context.from_pandas(pairs, transactions=("basket", "item"))
    assert from_pairs == dense.select(sorted({objects[g] for g in rows}), sorted(used))

    # Integer ids: every id up to the largest gets an attribute, named by the id.
    ids = tl.Context.from_transactions([np.flatnonzero(row).tolist() for row in matrix], objects)
    width = int(columns.max()) + 1 if columns.size else 0
    assert ids == tl.Context(objects, [str(m) for m in range(width)], matrix[:, :width])

    # A DataFrame of pandas sparse bool columns.
    frame = pd.DataFrame({a: pd.arrays.SparseArray(matrix[:, m]) for m, a in enumerate(attributes)}, index=objects)
    if n_attributes:
        assert tl.Context.from_pandas(frame) == dense

    for context in (dense, tl.Context.from_sparse(sp.csr_array(matrix), objects, attributes)):
        assert context.nnz == int(matrix.sum())
        assert context.density == (matrix.mean() if matrix.size else 0.0)
        assert (context.to_sparse().toarray() == matrix).all() if matrix.size else context.to_sparse().shape == matrix.shape
        assert hash(context) == hash(dense)


def test_storage_is_chosen_by_size_and_density_and_invisible():
    objects, attributes, matrix = random_table(3, 20_000, 500, 0.004)
    sparse = tl.Context.from_sparse(sp.csr_array(matrix), objects, attributes)
    dense_input = tl.Context(objects, attributes, matrix)
    assert sparse._kernel.is_sparse and dense_input._kernel.is_sparse  # the rule, not the constructor, decides
    assert not tl.Context(objects[:100], attributes, matrix[:100])._kernel.is_sparse
    assert repr(sparse) == f"Context(objects=20000, attributes=500, nnz={int(matrix.sum())})"
    assert (sparse.incidence == matrix).all()
    assert "<caption>Context: 20000 objects × 500 attributes" in sparse._repr_html_()


def test_operations_on_a_sparse_context_equal_those_on_the_dense_one():
    objects, attributes, matrix = random_table(11, 20_000, 500, 0.004)
    matrix[:, :5] |= np.random.default_rng(1).random((20_000, 5)) < 0.3  # a few frequent items
    sparse = tl.Context.from_sparse(sp.csr_array(matrix), objects, attributes)
    assert sparse._kernel.is_sparse
    small = tl.Context(objects[:3000], attributes, matrix[:3000])
    dense = tl.Context(objects, attributes, matrix)
    lattice = sparse.lattice(min_support=300)
    assert [(c.extent, c.intent) for c in lattice] == [(c.extent, c.intent) for c in dense.lattice(min_support=300)]
    for items in (["a0"], ["a0", "a1"], [], ["a499"]):
        assert sparse.extent(items) == tuple(o for o, row in zip(objects, matrix) if all(row[attributes.index(a)] for a in items))
    for chosen in (["o0"], ["o4", "o7"], [], ["o1"]):
        rows = [objects.index(o) for o in chosen]
        assert sparse.intent(chosen) == tuple(a for m, a in enumerate(attributes) if matrix[rows, m].all())
    for items in (["a0"], [], ["a1", "a2"], ["a499"]):
        assert sparse.closure(items) == dense.closure(items)
    assert sparse.transpose() == dense.transpose()
    for chosen_objects, chosen_attributes in (
        (objects[:50], attributes[::-1]),
        (["o7", "o3", "o7"], ["a2", "a0", "a2", "a499"]),  # repeats and order kept
        ([], attributes[:3]),
        (objects[::2], []),
        (np.arange(20_000) % 3 == 0, None),
    ):
        assert sparse.select(chosen_objects, chosen_attributes) == dense.select(chosen_objects, chosen_attributes)
    assert sparse.clarify() == dense.clarify()
    assert sparse.to_bytes("json") == dense.to_bytes("json")
    assert sparse.rules(0.02, 0.3).to_pandas().equals(dense.rules(0.02, 0.3).to_pandas())
    assert list(small.implications(0.05)) == list(
        tl.Context.from_sparse(sp.csr_array(matrix[:3000]), objects[:3000], attributes).implications(0.05))


def test_a_context_too_large_for_its_dense_form_says_how_large(tmp_path):
    n_objects, n_attributes = 300_000, 60_000
    rows = np.arange(0, n_objects, 1000)
    K = tl.Context.from_sparse(sp.csr_array((np.ones(rows.size, dtype=bool), (rows, rows % n_attributes)),
                                            shape=(n_objects, n_attributes)))
    assert (K.nnz, K.shape) == (rows.size, (n_objects, n_attributes))
    assert K.to_sparse().nnz == rows.size
    assert K.extent(["0"]) == ("0", "60000", "120000", "180000", "240000") and K.intent(["1000"]) == ("1000",)
    assert K.closure(["1000"]) == ("1000",) and len(K.closure(["1000", "0"])) == n_attributes
    assert K.transpose().transpose() == K and K.transpose().shape == (n_attributes, n_objects)
    assert K.select([str(g) for g in rows[:5]], ["0", "1000", "2000"]).to_sparse().nnz == 3
    shown = r"dense form of this context \(300000 objects x 60000 attributes\) would take "
    with pytest.raises(ValueError, match=shown + r"18000000000 bytes as a bool array \(17167 MiB\)"):
        K.incidence
    # Mining, cover edges and rules read the index lists: each attribute holds 5 objects.
    L = K.lattice(min_support=2)
    assert sorted(c.support for c in L) == [5] * 60 + [n_objects] and len(L.edges) == 60
    m = int(L[1].intent_indices[0])
    assert L.context is K and L[1].extent_indices.tolist() == [m + 60_000 * k for k in range(5)]
    rules = K.rules(2, 0.0)
    assert len(rules) == 60 and set(rules.to_pandas()["support"]) == {5}
    # Drawing, saving and the look-ups need the dense rows, and say how large they would be.
    too_large = shown + r"2251200000 bytes \(2147 MiB\), more than the limit of 2048"
    for needs_rows in (lambda: L.save(tmp_path / "big.json"), lambda: L.draw(concepts=[0, 1]),
                       lambda: L.object_concept("1000"), lambda: L.join(L[1], L[2]),
                       lambda: K.lattice(min_support=2, algorithm="fcbo")):
        with pytest.raises(ValueError, match=too_large):
            needs_rows()
    assert not (tmp_path / "big.json").exists()


FIMI_INPUTS = [
    b"1 3\n\n# comment\n0 3 3\n",
    b"1\t3\n  0   3\t 3  \n",
    b"1 3\r\n0 3",
    "1\u00a03\n0\u20033\n".encode(),
    b"5\n",
    b"+7 007 1\n2 2 2\n#x\n",
    b"1 3\n\n# c\n1a\n",
    b"1 2 #x\n",
    b"-1\n",
    b"4294967296 1\n",
    b"# only comments\n\n",
    b"",
    b"1 2\n\xff\n",
]


@pytest.mark.parametrize("data", FIMI_INPUTS)
def test_the_fimi_reader_gives_the_modules_results(data):
    try:
        expected = tessara.parse_context(data, "t.dat")
    except ValueError as error:
        with pytest.raises(ValueError) as caught:
            tl.read(data, format="dat")
        assert str(caught.value) == str(error)
        return
    K = tl.read(data, format="dat")
    assert K.shape == (expected.n_objects, expected.n_attributes)
    module = {(tuple(c["extent"]), tuple(c["intent"])) for c in tessara.compute_concepts(expected)}
    assert {(c.extent, c.intent) for c in K.lattice()} == module


def test_the_fimi_limits_follow_what_is_stored():
    # The module refuses one id of 4294967295 for its cells; the lab for the names it would generate.
    with pytest.raises(ValueError, match="largest item id 4294967295 needs 4294967296 attributes, more than the "
                                         "8388608 attribute names this reader generates"):
        tl.read(b"4294967295\n", format="dat")
    # 1,000,000 objects x 100,000 attributes is past the module's cell limit, and a few bytes a cross here.
    K = tl.read(b"0 99999\n" + b"5\n" * 999_999, format="dat")
    assert (K.shape, K.nnz) == ((1_000_000, 100_000), 1_000_001)


@pytest.mark.skipif(not (FIMI_DIR / "retail.dat").exists(), reason="the FIMI data files are not beside the repo")
def test_retail_reads_sparse_with_its_shape_and_crosses():
    K = tl.read(FIMI_DIR / "retail.dat")
    lines = [set(line.split()) for line in (FIMI_DIR / "retail.dat").read_text().splitlines() if line.strip()]
    assert K.shape == (len(lines), max(int(i) for line in lines for i in line) + 1) == (88_162, 16_470)
    assert K.nnz == sum(len(line) for line in lines) == 908_576
    assert K._kernel.is_sparse


BAD_INPUT = [
    (lambda: tl.Context.from_transactions([[1, 2], [3, -4]]), ValueError, "item 1 of transaction 1 is -4, a negative"),
    (lambda: tl.Context.from_transactions([[1], [2, 3.0]]), TypeError, "item 1 of transaction 1 is float 3.0, not an integer"),
    (lambda: tl.Context.from_transactions([[1 << 23]]), ValueError, "item 0 of transaction 0 is 8388608, past the largest item id 8388607"),
    (lambda: tl.Context.from_transactions([[1 << 80]]), ValueError, "is 1208925819614629174706176, past the largest"),
    (lambda: tl.Context.from_transactions([["a"], [True]]), TypeError, "item 0 of transaction 1 is bool True"),
    (lambda: tl.Context.from_transactions(["ab", ["c"]]), TypeError, "transaction 0 is str 'ab', not an iterable"),
    (lambda: tl.Context.from_transactions([[1], 2]), TypeError, "transaction 1 is int 2, not an iterable"),
    (lambda: tl.Context.from_transactions(5), TypeError, "transactions must be an iterable"),
    (lambda: tl.Context.from_transactions([[1]], objects=["a", "b"]), ValueError, "objects has 2 names, but there are 1 transactions"),
    (lambda: tl.Context.from_sparse(np.eye(2)), TypeError, "from_sparse takes a scipy.sparse matrix or array, not ndarray"),
    (lambda: tl.Context.from_sparse(sp.coo_array(np.ones(3))), ValueError, r"the matrix has 1 dimensions \(shape \(3,\)\), expected 2"),
    (lambda: tl.Context.from_sparse(sp.csr_array([[0, 2], [1, 0]])), ValueError, r"matrix\[0, 1\] is 2, not a boolean or 0/1"),
    (lambda: tl.Context.from_sparse(sp.csr_array([[0, np.nan]])), ValueError, r"matrix\[0, 1\] is nan"),
    (lambda: tl.Context.from_sparse(sp.csr_array(np.eye(2, dtype=complex))), TypeError, "not values of dtype complex128"),
    (lambda: tl.Context.from_sparse(sp.eye(2), attributes=["a"]), ValueError, "attributes has 1 names, but there are 2 columns"),
    (lambda: tl.Context.from_sparse(sp.eye(2), objects=["a", 1]), TypeError, r"objects\[1\] is int 1, not a str"),
    (lambda: tl.Context.from_pandas(pd.DataFrame({"b": [1, None], "i": ["x", "y"]}), transactions=("b", "i")), ValueError, "column 'b' has a missing value at row 1"),
    (lambda: tl.Context.from_pandas(pd.DataFrame({"b": [1]}), transactions=("b", "item")), KeyError, "no column 'item'"),
    (lambda: tl.Context.from_pandas(pd.DataFrame({"b": [1]}), transactions="b"), TypeError, "transactions must be a pair"),
    (lambda: tl.Context.from_pandas(pd.DataFrame({"x": pd.arrays.SparseArray([0, 3, 0])})), ValueError, "column 'x' at row 1 is 3"),
    (lambda: tl.Context(["a"], ["x", "y"], [[1, 0, 1]]), ValueError, r"incidence has shape \(1, 3\)"),
    (lambda: tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1]]), ValueError, "incidence is not a rectangular 2-D array"),
]


@pytest.mark.parametrize("build, error, message", BAD_INPUT)
def test_bad_input_is_refused_with_the_value_and_where(build, error, message):
    with pytest.raises(error, match=message):
        build()


def test_missing_scipy_says_what_to_install(monkeypatch):
    import sys

    monkeypatch.setitem(sys.modules, "scipy.sparse", None)
    with pytest.raises(ImportError, match=r"pip install tessara\[sparse\]"):
        tl.Context(["a"], ["x"], [[1]]).to_sparse()


def test_ctrl_c_stops_a_fimi_read():
    script = textwrap.dedent(
        """
        import signal, tessara.lab as tl
        # Lines that take the Unicode path: seconds a read, and little memory (two items a line).
        data = ("1" + "\\u3000" * 20 + "2\\n").encode() * 1_500_000
        signal.signal(signal.SIGINT, signal.default_int_handler)
        print("ready", flush=True)
        try:
            for _ in range(20):
                tl.read(data, format="dat")
        except KeyboardInterrupt:
            print("interrupted", flush=True)
        else:
            print("finished", flush=True)
        """
    )
    out, err, _ = interrupt_child(script)
    assert out.split()[:1] == ["interrupted"], (out, err)


def test_pandas_sparse_columns_of_every_fill_value_and_mixed_frames():
    matrix = np.array([[1, 0, 1], [1, 1, 0], [0, 0, 1], [1, 0, 0]], dtype=bool)
    dense = tl.Context(["w", "x", "y", "z"], ["a", "b", "c"], matrix)
    columns = {
        "a": pd.arrays.SparseArray(matrix[:, 0], fill_value=True),  # mostly True: stores the False cells
        "b": pd.arrays.SparseArray(matrix[:, 1].astype(np.int8), fill_value=0),
        "c": pd.arrays.SparseArray(matrix[:, 2]),
    }
    frame = pd.DataFrame(columns, index=["w", "x", "y", "z"])
    assert tl.Context.from_pandas(frame) == dense
    mixed = frame.assign(a=matrix[:, 0], c=matrix[:, 2])  # dense columns beside a sparse one: the dense path
    assert tl.Context.from_pandas(mixed) == dense
