"""What `import tessara.lab` loads: the API a script needs to read and stream, the rest on first use."""

import importlib
import os
import subprocess
import sys

import pytest

import tessara.lab as tl

# Public names and the module that defines each.
HOMES = [
    ("Concept", "tessara.lab._lattice"),
    ("Context", "tessara.lab._context"),
    ("Diagram", "tessara.lab._diagram"),
    ("Lattice", "tessara.lab._lattice"),
    ("Rules", "tessara.lab._rules"),
    ("Stability", "tessara.lab._rules"),
    ("scale", "tessara.lab._scale"),
    ("Verdict", "tessara.lab._structure"),
    ("read_concepts", "tessara.lab._parquet"),
    ("Expert", "tessara.lab._explore"),
    ("random_context", "tessara.lab._operations"),
    ("StreamedConcept", "tessara.lab._stream"),
    ("TooManyConcepts", "tessara.lab._run"),
    ("read", "tessara.lab._io"),
]


def child(code):
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120,
                          env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})


@pytest.mark.parametrize("name", tl.__all__)
def test_every_public_name_resolves_and_is_listed_by_dir(name):
    assert getattr(tl, name) is not None
    assert name in dir(tl)


@pytest.mark.parametrize("name, home", HOMES)
def test_a_name_is_the_object_its_module_defines(name, home):
    assert getattr(tl, name) is getattr(importlib.import_module(home), name)


def test_datasets_is_the_subpackage():
    assert tl.datasets is importlib.import_module("tessara.lab.datasets")
    assert tl.datasets.load("planets").shape == (9, 7)


def test_an_unknown_name_is_an_attribute_error():
    with pytest.raises(AttributeError, match="module 'tessara.lab' has no attribute 'lattice_of'"):
        tl.lattice_of  # noqa: B018


def test_star_import_gives_all():
    namespace = {}
    exec("from tessara.lab import *", namespace)
    assert set(tl.__all__) <= set(namespace)


# Reading a file and streaming its concepts needs none of these.
DEFERRED = ["numpy", "pandas", "scipy", "networkx", "html", "tessara.lab._diagram", "tessara.lab._lattice",
            "tessara.lab._parquet", "tessara.lab._explore", "tessara.lab.datasets", "tessara.lab._rules"]


def test_reading_and_streaming_import_nothing_heavy(tmp_path):
    path = tmp_path / "baskets.dat"
    path.write_text("1 2 3\n2 3\n3 4\n1 2 3 4\n")
    done = child(
        "import sys, tessara.lab as tl\n"
        f"K = tl.read({str(path)!r})\n"
        "n = sum(1 for _ in K.iter_concepts(min_support=1))\n"
        f"print(n, [m for m in {DEFERRED!r} if m in sys.modules])\n"
    )
    assert done.returncode == 0, done.stderr
    assert done.stdout.split(maxsplit=1) == ["5", "[]\n"]


def test_numpy_comes_with_the_first_array_asked_for(tmp_path):
    path = tmp_path / "baskets.dat"
    path.write_text("1 2 3\n2 3\n3 4\n")
    done = child(
        "import sys, tessara.lab as tl\n"
        f"K = tl.read({str(path)!r})\n"
        "c = list(K.iter_concepts(min_support=2))[-1]\n"
        "before = 'numpy' in sys.modules\n"
        "print(before, c.intent, c.support, c.intent_indices.tolist(), K.incidence.sum(), 'numpy' in sys.modules)\n"
    )
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["False", "('m2',", "'m3')", "2", "[2,", "3]", "7", "True"]


def test_the_first_use_of_a_deferred_name_imports_it():
    done = child("import sys, tessara.lab as tl\n"
                 "before = 'tessara.lab._lattice' in sys.modules\n"
                 "L = tl.datasets.load('planets').lattice()\n"
                 "print(before, type(L) is tl.Lattice, 'tessara.lab._lattice' in sys.modules)\n")
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["False", "True", "True"]
