"""The `tessara` command line, run as `python -m tessara.lab` in a child: every command on real files against the
library's own results, bad input (exit 1, one line, no traceback), Ctrl-C (exit 130) and a reader that stops early."""

import csv
import io
import json
import os
import re
import subprocess
import sys
import textwrap
from pathlib import Path

import numpy as np
import pytest

import tessara
import tessara.lab as tl
from conftest import DATA, interrupt_command

EXAMPLES = Path(__file__).resolve().parent.parent.parent / "examples" / "data"
ENV = {**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)}


def tessara_cli(*args, stdin=None):
    return subprocess.run([sys.executable, "-m", "tessara.lab", *map(str, args)], input=stdin, capture_output=True,
                          env=ENV, timeout=300)


def succeeded(*args, stdin=None):
    finished = tessara_cli(*args, stdin=stdin)
    assert finished.returncode == 0 and finished.stderr == b"", finished.stderr.decode()
    return finished.stdout.decode("utf-8")


def jsonl(text):
    return [json.loads(line) for line in text.splitlines()]


# -- every command on real files, against the library ----------------------------------------------------------------

FILES = [DATA / "animals_en.cxt", DATA / "liveinwater.csv", DATA / "seasoningplanner_de.cxt", EXAMPLES / "animals.cxt"]


# Every case starts an interpreter, which takes seconds under the sanitizers (numpy and pandas loaded through
# them); there the tables are left to the plain run, and the single cases stand for them.
TABLE_ONLY_UNSANITIZED = pytest.mark.skipif(bool(os.environ.get("TESSARA_SANITIZED")),
                                            reason="one interpreter per case is too slow under the sanitizers")

@TABLE_ONLY_UNSANITIZED
@pytest.mark.parametrize("path", FILES, ids=lambda path: path.name)
def test_concepts_in_every_output_format_are_the_module_concepts(path):
    context = tl.read(path)
    module = tessara.compute_concepts(tessara.parse_context(path.read_bytes(), path.name), "fcbo")
    expected = [(d["intent"], d["extent"]) for d in module]
    rows = jsonl(succeeded("concepts", path))
    assert [(row["intent"], row["extent"]) for row in rows] == expected
    assert [row["support"] for row in rows] == [len(extent) for _, extent in expected]
    assert [row["index"] for row in rows] == list(range(len(expected)))

    table = list(csv.DictReader(io.StringIO(succeeded("concepts", path, "--output-format", "csv"))))
    split = lambda cell: cell.split(";") if cell else []  # noqa: E731
    assert [(split(row["intent"]), split(row["extent"])) for row in table] == expected

    positions = {name: i for i, name in enumerate(context.attributes)}
    lines = succeeded("concepts", path, "--output-format", "fimi").splitlines()
    assert lines == [
        " ".join([str(positions[name]) for name in intent] + [f"({len(extent)})"]) for intent, extent in expected
    ]


@pytest.mark.parametrize("min_support, algorithm", [("3", "fcbo"), ("0.25", "in-close-5"), ("1.0", "next-closure")])
def test_concepts_with_minimum_support_algorithm_and_threads(min_support, algorithm):
    path = DATA / "animals_en.cxt"
    context = tl.read(path)
    support = float(min_support) if "." in min_support else int(min_support)
    expected = [(list(c.intent), c.support) for c in context.iter_concepts(support, algorithm, threads=1)]
    rows = jsonl(succeeded("concepts", path, "--min-support", min_support, "--algorithm", algorithm,
                           "--threads", 2, "--no-extents"))
    assert [(row["intent"], row["support"]) for row in rows] == expected
    assert all("extent" not in row for row in rows)


@TABLE_ONLY_UNSANITIZED
@pytest.mark.parametrize("extension", [".svg", ".html", ".dot", ".tex", ".json"])
def test_lattice_writes_the_diagram_the_library_draws(extension, tmp_path):
    out = tmp_path / f"diagram{extension}"
    assert succeeded("lattice", DATA / "liveinwater.csv", "-o", out, "--labels", "full", "--layout", "additive") == ""
    expected = tmp_path / f"expected{extension}"
    tl.read(DATA / "liveinwater.csv").lattice().draw("full", "additive").save(expected)
    assert out.read_bytes() == expected.read_bytes()


def test_lattice_with_minimum_support_from_a_bundled_dataset(tmp_path):
    out = tmp_path / "planets.json"
    succeeded("lattice", "dataset:planets", "--min-support", 4, "-o", out)
    expected = tmp_path / "expected.json"
    tl.datasets.load("planets").lattice(min_support=4).draw().save(expected)
    assert out.read_bytes() == expected.read_bytes()


@pytest.mark.parametrize("basis", ["canonical", "proper-premise"])
def test_implications_are_the_basis(basis):
    path = DATA / "tealady.cxt"
    context = tl.read(path)
    expected = [(list(i.premise), list(i.conclusion), i.support) for i in context.implications(basis=basis)]
    rows = jsonl(succeeded("implications", path, "--basis", basis))
    assert [(row["premise"], row["conclusion"], row["support"]) for row in rows] == expected

    positions = {name: str(i) for i, name in enumerate(context.attributes)}
    lines = succeeded("implications", path, "--basis", basis, "--output-format", "fimi").splitlines()
    assert lines == [
        f"{' '.join(positions[m] for m in premise)} -> {' '.join(positions[m] for m in conclusion)} ({support})"
        for premise, conclusion, support in expected
    ]


def test_implications_with_minimum_support_as_csv():
    path = EXAMPLES / "animals.cxt"
    expected = tl.read(path).implications(min_support=3)
    table = list(csv.DictReader(io.StringIO(succeeded("implications", path, "--min-support", 3,
                                                      "--output-format", "csv"))))
    assert [(row["premise"], row["conclusion"], int(row["support"])) for row in table] == [
        (";".join(i.premise), ";".join(i.conclusion), i.support) for i in expected
    ]


@pytest.mark.parametrize("basis", ["luxenburger", "all"])
def test_rules_carry_every_measure(basis):
    path = DATA / "animals_en.cxt"
    expected = tl.read(path).rules(0.1, 0.6, basis, max_premise=2)
    rows = jsonl(succeeded("rules", path, "--min-support", "0.1", "--min-confidence", "0.6", "--basis", basis,
                           "--max-premise", 2))
    assert len(rows) == len(expected) > 0
    for row, rule in zip(rows, expected):
        assert (row["premise"], row["conclusion"]) == (list(rule.premise), list(rule.conclusion))
        for measure in ("support", "support_fraction", "confidence", "lift", "leverage", "conviction"):
            assert row[measure] == getattr(rule, measure)
    table = list(csv.DictReader(io.StringIO(succeeded("rules", path, "--min-support", "0.1", "--min-confidence",
                                                      "0.6", "--basis", basis, "--max-premise", 2,
                                                      "--output-format", "csv"))))
    assert [float(row["lift"]) for row in table] == [rule.lift for rule in expected]
    lines = succeeded("rules", path, "--min-support", "0.1", "--min-confidence", "0.6", "--basis", basis,
                      "--max-premise", 2, "--output-format", "fimi").splitlines()
    assert [re.search(r"\((\d+), ", line)[1] for line in lines] == [str(rule.support) for rule in expected]


@TABLE_ONLY_UNSANITIZED
@pytest.mark.parametrize("target", ["animals.json", "animals.dat", "animals.xml", "animals.tsv"])
def test_convert_writes_a_file_that_reads_back_equal(target, tmp_path):
    original = tl.read(DATA / "animals_en.cxt")
    assert succeeded("convert", DATA / "animals_en.cxt", tmp_path / target) == ""
    converted = tl.read(tmp_path / target)
    if target.endswith(".dat"):  # FIMI carries no names
        assert np.array_equal(converted.incidence, original.incidence)
    else:
        assert converted == original


def test_convert_to_stdout_and_from_stdin():
    cxt = succeeded("convert", "dataset:planets", "-", "--to", "cxt")
    assert cxt.encode() == tl.datasets.load("planets").to_bytes("cxt")
    assert tl.read(succeeded("convert", "-", "-", "--to", "json", "--format", "cxt", stdin=cxt.encode()).encode()) \
        == tl.datasets.load("planets")


def test_info_describes_the_context_in_each_output_format():
    text = succeeded("info", "dataset:liveinwater", "--count-concepts")
    # 34: the X cells of the file.
    assert text.splitlines()[:4] == ["source: dataset:liveinwater", "objects: 8", "attributes: 9", "crosses: 34"]
    assert "concepts: 19" in text.splitlines()
    facts = json.loads(succeeded("info", DATA / "tealady.cxt", "--output-format", "jsonl", "--count-concepts",
                                 "--min-support", 5))
    context = tl.read(DATA / "tealady.cxt")
    assert (facts["objects"], facts["attributes"]) == context.shape
    assert facts["crosses"] == int(context.incidence.sum())
    assert facts["concepts"] == len(context.lattice(min_support=5))
    assert facts["clarified"] == "x".join(map(str, context.clarify().shape))
    assert facts["reduced"] == "x".join(map(str, context.reduce().shape))
    rows = dict(csv.reader(io.StringIO(succeeded("info", "dataset:planets", "--output-format", "csv"))))
    assert (rows["fact"], rows["objects"], rows["density"]) == ("value", "9", "0.428571")


def test_the_bundled_tables_are_scaled():
    pytest.importorskip("pandas")
    facts = json.loads(succeeded("info", "dataset:mushroom", "--output-format", "jsonl"))
    assert (facts["objects"], facts["attributes"]) == (8124, 118)


def test_help_shows_examples_and_every_command():
    text = succeeded("--help")
    for command in ("concepts", "lattice", "implications", "rules", "convert", "info"):
        assert f"tessara {command} " in text
    assert "dataset:planets" in text
    assert "examples:" in succeeded("rules", "--help") and "tessara rules dataset:mushroom" in succeeded("rules", "-h")


# -- bad input: exit 1 and one line on stderr --------------------------------------------------------------------------

BAD = [
    ((), "tessara: choose a command: concepts, lattice, implications, rules, convert, info (see tessara --help)"),
    (("frobnicate", "x"), "tessara: argument COMMAND: invalid choice: 'frobnicate'"),
    (("concepts",), "tessara concepts: the following arguments are required: FILE (see tessara concepts --help)"),
    (("concepts", "missing.cxt"), "tessara: error: cannot read missing.cxt: No such file or directory"),
    (("info", DATA), f"tessara: error: cannot read {DATA}: Is a directory"),
    (("concepts", DATA / "README.md"), "could not detect format"),
    (("info", DATA / "animals_en.cxt", "--format", "xml"), "parse error: invalid fca-xml data"),
    (("info", DATA / "animals_en.cxt", "--format", "pdf"), "argument --format: invalid choice: 'pdf'"),
    (("concepts", "dataset:nope"), "tessara: error: no bundled dataset named 'nope': expected one of adult, animals, "
                                   "liveinwater, mushroom, planets, seasoningplanner, tealady"),
    (("concepts", "dataset:planets", "--min-support", "many"),
     "tessara concepts: argument --min-support: expected a count of objects or a fraction, not 'many'"),
    (("concepts", "dataset:planets", "--min-support", "-1"), "tessara: error: --min-support must be at least 0"),
    (("concepts", "dataset:planets", "--min-support", "1.5"), "--min-support as a fraction must lie in (0, 1]"),
    (("concepts", "dataset:planets", "--threads", "0"), "tessara: error: --threads must be at least 1, got 0"),
    (("concepts", "dataset:planets", "--threads", "two"), "argument --threads: invalid int value: 'two'"),
    (("concepts", "dataset:planets", "--algorithm", "quick"), "tessara: error: unknown algorithm `quick`"),
    (("concepts", "dataset:planets", "--max-concepts", "3", "--output-format", "fimi"),
     "tessara: error: more than 3 concepts; raise --max-concepts, or set --min-support"),
    (("concepts", "dataset:planets", "--output-format", "xml"), "argument --output-format: invalid choice: 'xml'"),
    (("lattice", "dataset:planets"), "the following arguments are required: -o/--output"),
    (("lattice", "dataset:planets", "-o", "planets.png"),
     "tessara: error: cannot tell the diagram format from 'planets.png': end it in .svg, .html, .dot, .tex, .json"),
    (("lattice", "dataset:planets", "-o", "/nonexistent/planets.svg"),
     "tessara: error: cannot write /nonexistent/planets.svg: No such file or directory"),
    (("lattice", "dataset:planets", "-o", "planets.svg", "--labels", "some"), "tessara: error: unknown labels 'some'"),
    (("implications", "dataset:planets", "--basis", "minimal"), "tessara: error: unknown basis 'minimal'"),
    (("rules", "dataset:planets", "--min-support", "2"), "the following arguments are required: --min-confidence"),
    (("rules", "dataset:planets", "--min-support", "2", "--min-confidence", "3"),
     "tessara: error: --min-confidence must lie in [0, 1], got 3.0"),
    (("convert", "dataset:planets", "planets.doc"), "tessara: error: cannot tell the format from 'planets.doc'"),
    (("convert", "dataset:planets", "-"), "tessara: error: writing to stdout needs --to FORMAT"),
    (("convert", "dataset:planets", "planets.dat", "--to", "cxt", "--format", "cxt"), None),  # control: succeeds
]


@TABLE_ONLY_UNSANITIZED
@pytest.mark.parametrize("args, message", BAD, ids=lambda value: " ".join(map(str, value)) if isinstance(value, tuple)
                         else None)
def test_bad_input_exits_1_with_one_line(args, message, tmp_path):
    args = [tmp_path / arg if str(arg).startswith("planets.") else arg for arg in args]
    finished = tessara_cli(*args)
    if message is None:
        assert finished.returncode == 0 and (tmp_path / "planets.dat").exists()
        return
    err = finished.stderr.decode()
    assert finished.returncode == 1, (finished.returncode, err)
    assert err.endswith("\n") and err.count("\n") == 1, err
    assert message in err.replace(str(tmp_path) + os.sep, ""), err
    assert not any(tmp_path.iterdir())  # nothing half-written


def test_nothing_but_concepts_reach_stdout_before_a_limit_stops_the_stream():
    finished = tessara_cli("concepts", "dataset:planets", "--max-concepts", 3, "--output-format", "fimi")
    assert finished.returncode == 1
    assert finished.stdout.decode().splitlines() == ["(9)", "0 (5)", "0 1 2 3 4 5 6 (0)"]


# -- Ctrl-C, early readers, the entry point ---------------------------------------------------------------------------


def test_sigint_stops_a_long_run_with_status_130(tmp_path):
    rng = np.random.default_rng(7)
    big = tmp_path / "big.cxt"
    tl.Context([f"g{i}" for i in range(400)], [f"m{j}" for j in range(60)], rng.random((400, 60)) < 0.5).write(big)
    script = textwrap.dedent(f"""
        import os, sys
        from tessara.lab._cli import main
        print("ready", flush=True)
        os.dup2(os.open(os.devnull, os.O_WRONLY), 1)
        sys.exit(main(["concepts", {str(big)!r}, "--output-format", "fimi"]))
    """)
    finished, seconds = interrupt_command([sys.executable, "-c", script])
    assert finished.returncode == 130, finished.stderr
    assert "Traceback" not in finished.stderr and finished.stderr == ""
    assert seconds < 10


@TABLE_ONLY_UNSANITIZED
@pytest.mark.parametrize("output_format", ["jsonl", "csv", "fimi"])
def test_a_reader_that_stops_early_gets_no_traceback(output_format):
    pytest.importorskip("pandas")  # the mushroom table: output far beyond what a pipe buffers
    # bash's pipefail makes the pipeline's status the command's own.
    command = (f"set -o pipefail; {sys.executable} -m tessara.lab concepts dataset:mushroom "
               f"--output-format {output_format} | head -n 2")
    finished = subprocess.run(["bash", "-c", command], capture_output=True, text=True, env=ENV, timeout=300)
    assert len(finished.stdout.splitlines()) == 2
    assert finished.stderr == ""
    assert finished.returncode == 141  # as for any command stopped by SIGPIPE


def test_the_console_script_is_declared_and_runs_main(capsys):
    pyproject = (Path(__file__).resolve().parent.parent.parent / "pyproject.toml").read_text()
    scripts = re.search(r"^\[project\.scripts\]\n((?:.+\n)+)", pyproject, re.MULTILINE)[1]
    assert 'tessara = "tessara.lab._cli:main"' in scripts.splitlines()
    from tessara.lab._cli import main

    assert main(["info", "dataset:tealady", "--output-format", "jsonl"]) == 0
    assert json.loads(capsys.readouterr().out)["objects"] == 18
