"""The examples of the lab's docstrings and of the documentation's pages run and print what they show.

Each module of tessara.lab and each page under docs/ is one case. A page's examples run in one
namespace, in page order, in a scratch directory; pandas prints 100 columns wide, as on the site.
"""

import doctest
import importlib
import inspect
import os
import pkgutil
import re
import shlex
import subprocess
import sys
from pathlib import Path

import pytest

import tessara.lab

ROOT = Path(__file__).resolve().parent.parent.parent
DOCS = ROOT / "docs"
FLAGS = doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE

MODULES = sorted(
    info.name for info in pkgutil.walk_packages(tessara.lab.__path__, "tessara.lab.") if not info.name.endswith("__main__")
)
PAGES = sorted(
    path.relative_to(DOCS).as_posix()
    for path in DOCS.rglob("*.rst")
    if "_build" not in path.parts and "gallery" not in path.parts and "generated" not in path.parts
)


def _report(failures: list[str]) -> str:
    return "\n".join(failures)


# A runner that collects every failing example with what it printed, for one assertion per module or page.
class _Collecting(doctest.DocTestRunner):
    def __init__(self) -> None:
        super().__init__(optionflags=FLAGS)
        self.problems: list[str] = []

    def report_failure(self, out, test, example, got):  # type: ignore[no-untyped-def]
        self.problems.append(f"{test.name}, line {example.lineno}:\n{example.source}expected:\n{example.want}got:\n{got}")

    def report_unexpected_exception(self, out, test, example, exc_info):  # type: ignore[no-untyped-def]
        self.problems.append(f"{test.name}, line {example.lineno}:\n{example.source}raised {exc_info[1]!r}")


@pytest.fixture
def in_scratch_directory(tmp_path, monkeypatch):
    """Examples that save files write them into a fresh directory."""
    monkeypatch.chdir(tmp_path)
    pd = pytest.importorskip("pandas")
    with pd.option_context("display.width", 100, "display.max_columns", 12):
        yield


@pytest.mark.parametrize("name", MODULES)
def test_docstring_examples(name, in_scratch_directory):
    module = importlib.import_module(name)
    runner = _Collecting()
    tests = doctest.DocTestFinder().find(module, name, globs={})
    for test in tests:
        runner.run(test)
    assert not runner.problems, _report(runner.problems)


def _public_names():
    """Every public function and class of tessara.lab, and every method and property the classes define."""
    for name in tessara.lab.__all__:
        value = getattr(tessara.lab, name)
        if isinstance(value, type(os)):
            yield from (f"{name}.{member}" for member in value.__all__)
            continue
        yield name
        if isinstance(value, type):
            for member, attribute in vars(value).items():
                if not member.startswith("_") and (callable(attribute) or isinstance(attribute, (property, classmethod))):
                    yield f"{name}.{member}"


def test_every_public_name_has_an_example():
    missing = []
    for qualified in _public_names():
        value = tessara.lab
        for part in qualified.split("."):
            value = inspect.getattr_static(value, part) if isinstance(value, type) else getattr(value, part)
        function = value.__func__ if isinstance(value, classmethod) else value
        # A method that overrides a documented one shares its documentation (inspect.getdoc follows it).
        doc = inspect.getdoc(function.fget) if isinstance(function, property) else inspect.getdoc(function)
        if not isinstance(function, property) and doc is None and "." in qualified:
            owner, member = qualified.rsplit(".", 1)
            doc = inspect.getdoc(getattr(getattr(tessara.lab, owner), member))
        if ">>>" not in (doc or ""):
            missing.append(qualified)
    assert not missing, f"public names without an Examples section: {missing}"


@pytest.mark.skipif(not DOCS.is_dir(), reason="no docs/ beside the tests")
# The pages scale the whole Mushroom and Adult tables: seconds here, minutes under the sanitizers,
# where the docstrings' small examples still run.
@pytest.mark.skipif(bool(os.environ.get("TESSARA_SANITIZED")), reason="the pages' examples run against the release build")
@pytest.mark.parametrize("page", PAGES)
def test_page_examples(page, in_scratch_directory):
    path = DOCS / page
    text = path.read_text(encoding="utf-8")
    if ">>>" not in text:
        pytest.skip("no examples on this page")
    test = doctest.DocTestParser().get_doctest(text, {}, page, str(path), 0)
    runner = _Collecting()
    runner.run(test)
    assert not runner.problems, _report(runner.problems)


def _console_examples(text):
    """The (command, expected output) pairs of the ``$ tessara ...`` lines of a page's console blocks."""
    examples = []
    for block in re.findall(r"\.\. code-block:: console\n\n((?:   .*\n|\n)+)", text):
        lines = [line[3:] for line in block.rstrip("\n").split("\n")]
        for line in lines:
            if line.startswith("$ "):
                examples.append((line[2:], []))
            elif examples:
                examples[-1][1].append(line)
    return examples


COMMAND_LINE_PAGE = DOCS / "guide" / "command_line.rst"


@pytest.mark.skipif(not COMMAND_LINE_PAGE.is_file(), reason="no command-line page beside the tests")
@pytest.mark.skipif(bool(os.environ.get("TESSARA_SANITIZED")), reason="the page's examples run against the release build")
def test_command_line_page(tmp_path):
    """Each shell example of the command-line page prints what the page shows (stdout and stderr)."""
    pytest.importorskip("pandas")
    problems = []
    for command, expected in _console_examples(COMMAND_LINE_PAGE.read_text(encoding="utf-8")):
        words, _, pipe = command.partition(" | ")
        argv = shlex.split(words)
        assert argv[0] == "tessara", command
        run = subprocess.run([sys.executable, "-m", "tessara.lab", *argv[1:]], cwd=tmp_path,
                             capture_output=True, text=True, timeout=120)
        got = (run.stdout + run.stderr).splitlines()
        if pipe:
            head, count = pipe.split()
            assert head == "head", command
            got = got[: int(count.lstrip("-"))]
        if got != expected:
            problems.append(f"$ {command}\nexpected:\n" + "\n".join(expected) + "\ngot:\n" + "\n".join(got))
    assert not problems, "\n\n".join(problems)
