"""The module surface: attributes, documentation, import behaviour, the two classes."""

import importlib
import subprocess
import sys
import textwrap

import pytest

import tessara
from conftest import make_context

EXPECTED_ALL = [
    "Context",
    "Lattice",
    "parse_context",
    "supported_algorithms",
    "compute_concepts",
    "compute_lattice",
    "compute_implications",
    "__version__",
]


def test_version_and_all():
    assert tessara.__version__ == "0.2.0"
    assert tessara.__all__ == EXPECTED_ALL
    assert tessara.__doc__ == ""


def test_attributes_are_added_in_documented_order():
    public = [name for name in vars(tessara) if name in EXPECTED_ALL]
    assert public == EXPECTED_ALL


@pytest.mark.parametrize(
    "name, signature, doc",
    [
        ("parse_context", "(bytes, filename=...)", "Parses raw bytes into a `Context`."),
        (
            "supported_algorithms",
            "()",
            "Returns the list of algorithm names accepted by `compute_concepts`.",
        ),
        (
            "compute_concepts",
            '(ctx, algorithm="next-closure")',
            "Computes the concept lattice and returns concepts as a list of dicts.\n\n"
            "Each dict has keys `extent` (list of object names) and `intent`\n"
            "(list of attribute names). For notebook-friendly rendering, see\n"
            "`compute_lattice`.",
        ),
        (
            "compute_lattice",
            '(ctx, algorithm="next-closure")',
            "Computes the concept lattice and returns a `Lattice` object.\n\n"
            "The returned object renders as SVG in Jupyter (via `_repr_svg_`).\n"
            "Use `.concepts()` to get the same dict-list as `compute_concepts`.",
        ),
        (
            "compute_implications",
            "(ctx)",
            "Computes the Duquenne-Guigues canonical implication base.",
        ),
    ],
)
def test_function_signatures_and_docstrings(name, signature, doc):
    function = getattr(tessara, name)
    assert function.__text_signature__ == signature
    assert function.__doc__ == doc
    assert function.__module__ == "tessara"
    assert type(function).__name__ == "builtin_function_or_method"


def test_class_docstrings_and_names():
    assert tessara.Context.__doc__ == "Wraps a parsed `Context` so Python can hold it across calls."
    assert tessara.Lattice.__doc__ == (
        "Wraps a `Lattice` so Python can render it.\n\n"
        "Carries the originating context alongside the lattice so attribute\n"
        "and object names can be projected into the rendered output and dict\n"
        "views."
    )
    assert (tessara.Context.__module__, tessara.Context.__qualname__) == ("tessara", "Context")
    assert (tessara.Lattice.__module__, tessara.Lattice.__qualname__) == ("tessara", "Lattice")


def test_reimport_returns_the_same_module_object():
    first = sys.modules.pop("tessara")
    try:
        again = importlib.import_module("tessara")
        assert again is first
    finally:
        sys.modules["tessara"] = first


def test_second_interpreter_is_refused():
    interpreters = pytest.importorskip("_xxsubinterpreters")
    interpreter = interpreters.create()
    try:
        with pytest.raises(Exception) as caught:
            interpreters.run_string(interpreter, "import tessara")
        assert "ImportError" in str(caught.value) or "subinterpreter" in str(caught.value)
        assert "subinterpreters" in str(caught.value)
    finally:
        interpreters.destroy(interpreter)


@pytest.mark.parametrize("cls", [tessara.Context, tessara.Lattice])
def test_classes_cannot_be_called_or_subclassed(cls):
    with pytest.raises(TypeError, match="no constructor defined"):
        cls()
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


def test_context_properties_are_read_only_and_there_is_no_dict(g1g2_context):
    ctx = g1g2_context
    assert (ctx.n_objects, ctx.n_attributes) == (2, 3)
    assert repr(ctx) == str(ctx) == "Context(objects=2, attributes=3)"
    for name in ("n_objects", "n_attributes"):
        with pytest.raises(AttributeError):
            setattr(ctx, name, 5)
        with pytest.raises(AttributeError):
            delattr(ctx, name)
    with pytest.raises(AttributeError):
        ctx.anything = 1
    assert not hasattr(ctx, "__dict__")
    assert tessara.Context.n_objects.__doc__ == ""


def test_context_equality_is_identity():
    a = make_context(["g"], ["m"], [[1]])
    b = make_context(["g"], ["m"], [[1]])
    assert a == a and a != b
    assert hash(a) != hash(b) or a is not b


def test_internal_fault_class_is_not_a_module_attribute():
    assert not any(
        isinstance(value, type) and issubclass(value, BaseException) for value in vars(tessara).values()
    )


def test_only_pyinit_is_exported():
    symbols = subprocess.run(
        ["nm", "-D", "--defined-only", tessara.__file__], capture_output=True, text=True, check=True
    ).stdout.split()
    exported = [word for word in symbols if not word.startswith("0") and len(word) > 1]
    assert exported == ["PyInit_tessara"]


def test_module_needs_no_c_library_of_the_readers_at_run_time():
    needed = subprocess.run(["ldd", tessara.__file__], capture_output=True, text=True, check=True).stdout
    assert not any(name in needed for name in ("libcsv", "libexpat", "libutf8proc"))


def test_module_is_built_for_the_stable_abi():
    assert tessara.__file__.endswith(".abi3.so")


def test_import_in_a_fresh_interpreter_and_fault_class_derives_from_base_exception():
    # The internal-fault class is reachable only through a raised fault; check its
    # base through the C API's documented name.
    code = textwrap.dedent(
        """
        import tessara, gc
        faults = [o for o in gc.get_objects()
                  if isinstance(o, type) and o.__name__ == 'InternalFault' and o.__module__ == 'tessara']
        assert len(faults) == 1 and faults[0].__bases__ == (BaseException,), faults
        print('ok')
        """
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
