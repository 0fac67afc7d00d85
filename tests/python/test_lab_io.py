"""tessara.lab files: every writer against every reader, tl.read's choice of reader, and lattices saved and loaded,
including documents that were changed, cut or built to exhaust memory."""

import json

import numpy as np
import pytest

import tessara.lab as tl
from conftest import run_limited
from lab_shapes import shaped_contexts

FORMATS = ["cxt", "csv", "tsv", "dat", "xml", "json"]
AWKWARD = ["plain", "", " lead", "a\nb", "a\r\nb", "a,b", "a\tb", '"q"', "<&>", "x\x01", "\ufeffbom", "B", "1 2", "ü"]


def awkward_contexts():
    rng = np.random.default_rng(17)
    for objects, attributes, matrix in shaped_contexts(seed=9, rounds=3):
        rename = lambda names: [AWKWARD[rng.integers(len(AWKWARD))] if rng.random() < 0.1 else n for n in names]
        yield tl.Context(rename(objects), rename(attributes), matrix)


@pytest.mark.parametrize("format", FORMATS)
def test_every_writer_reads_back_through_the_readers_or_refuses(format, tmp_path):
    written = 0
    for context in awkward_contexts():
        try:
            data = context.to_bytes(format)
        except ValueError as refusal:
            assert str(refusal).startswith(format) and format != "json"
            continue
        written += 1
        back = tl.read(data, format=format)
        if format == "dat":  # FIMI carries no names
            assert back.objects == tuple(f"g{i}" for i in range(context.shape[0]))
            assert np.array_equal(back.incidence, context.incidence)
        else:
            assert back == context
    assert written >= 10
    plain = tl.Context(["o1", "o2"], ["a", "b"], [[1, 0], [1, 1]])
    plain.write(tmp_path / f"plain.{format}")
    assert tl.read(tmp_path / f"plain.{format}").incidence.tolist() == [[True, False], [True, True]]


def test_read_chooses_the_reader_like_parse_context(tmp_path):
    cxt = b"B\n\n1\n1\n\no\na\nX\n"
    (tmp_path / "k.cxt").write_bytes(cxt)
    (tmp_path / "k.txt").write_bytes(cxt)
    (tmp_path / "k.csv").write_bytes(cxt)
    expected = tl.Context(["o"], ["a"], [[1]])
    assert tl.read(tmp_path / "k.cxt") == tl.read(str(tmp_path / "k.txt")) == tl.read(cxt) == expected
    assert tl.read(tmp_path / "k.csv", format="cxt") == expected
    with pytest.raises(ValueError, match=r"k\.csv: parse error: "):
        tl.read(tmp_path / "k.csv")  # the extension decides, as in tessara.parse_context
    with pytest.raises(ValueError, match="^parse error: invalid auto data"):
        tl.read(b"\tno commas here\n")
    with pytest.raises(ValueError, match="unknown format 'txt'"):
        tl.read(cxt, format="txt")
    with pytest.raises(FileNotFoundError):
        tl.read(tmp_path / "missing.cxt")
    with pytest.raises(TypeError, match="path"):
        tl.read(42)
    with pytest.raises(ValueError, match="cannot tell the format"):
        expected.write(tmp_path / "k.txt")


def test_saved_lattices_load_equal_without_recomputing(tmp_path):
    for objects, attributes, matrix in shaped_contexts(seed=4, rounds=2):
        lattice = tl.Context(objects, attributes, matrix).lattice("next-closure")
        lattice.save(tmp_path / "l.json")
        loaded = tl.load(tmp_path / "l.json")
        assert loaded.context == lattice.context
        assert [(c.extent, c.intent) for c in loaded] == [(c.extent, c.intent) for c in lattice]
        assert np.array_equal(loaded.edges, lattice.edges)
    assert loaded.join(0, len(loaded) - 1) == loaded.top


@pytest.fixture
def saved(tmp_path):
    """The saved document of a small lattice."""
    context = tl.Context(["duck", "dog", "cat"], ["flies", "barks", "legs"], [[1, 0, 1], [0, 1, 1], [0, 0, 1]])
    context.lattice().save(tmp_path / "l.json")
    return (tmp_path / "l.json").read_bytes()


def edited(edit):
    """A change to a saved document (the checksum left as it was)."""

    def apply(saved):
        document = json.loads(saved)
        edit(document)
        return json.dumps(document).encode()

    return apply


@pytest.mark.parametrize(
    ("change", "words"),
    [
        (lambda saved: saved[:-5], "JSON parse error"),
        (lambda saved: saved + b"{}", "JSON parse error"),
        (lambda saved: b"", "JSON parse error"),
        (lambda saved: b"[" * 100000 + b"]" * 100000, "expected a JSON object, found an array"),
        (edited(lambda d: d["objects"].__setitem__(0, "duck!")), "checksum mismatch"),
        (edited(lambda d: d.__setitem__("extra", 1)), 'unknown key "extra"'),
        (edited(lambda d: d.pop("upper")), 'missing key "upper"'),
        (edited(lambda d: d.__setitem__("version", 2)), '"version" is 2'),
        (edited(lambda d: d["intents"].__setitem__(0, [[0]])), '"intents"[0] holds an array'),
        (edited(lambda d: d["intents"].__setitem__(0, [-1])), "holds a negative number"),
        (edited(lambda d: d["intents"].__setitem__(0, [2**40])), "beyond any index"),
        (edited(lambda d: d["intents"].__setitem__(0, [7])), "intents[0] holds 7, but there are 3 attributes"),
        (edited(lambda d: d["rows"].__setitem__(0, [2, 0])), "rows[0] is not strictly ascending"),
        (edited(lambda d: d["rows"].pop()), '"rows" holds 2 rows for 3 objects'),
        (edited(lambda d: d["objects"].__setitem__(0, 1)), '"objects" holds a number, expected strings'),
        (edited(lambda d: d["intents"].__setitem__(0, [])), "intents[0] is not a concept intent"),
        (edited(lambda d: d["intents"].__setitem__(1, d["intents"][2])), "repeats intents"),
        (edited(lambda d: d["upper"].__setitem__(0, [1])), "upper[0] lists concept 1, which is not above it"),
    ],
)
def test_changed_cut_or_foreign_documents_are_refused(saved, change, words):
    with pytest.raises(ValueError, match="^invalid lattice data: ") as raised:
        tl.load(change(saved))
    assert words in str(raised.value)


def test_documents_built_to_exhaust_memory_fail_quickly_within_a_gigabyte():
    result = run_limited(
        """
        import json, tessara.lab as tl
        names = [""] * 200_000
        document = {"format": "tessara.lab lattice", "version": 1, "checksum": "", "objects": names,
                    "attributes": names, "rows": [[]] * 200_000, "intents": [[]], "upper": [[]]}
        try:
            tl.load(json.dumps(document).encode())
        except ValueError as error:
            print(error)
        """
    )
    assert "too large" in result.stdout, result.stdout + result.stderr
