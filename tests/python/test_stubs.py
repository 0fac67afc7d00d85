"""The type stubs shipped in the wheel: they match the built module, type checkers accept correct use of every
function and report misuse."""

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

import tessara

SAMPLES = Path(__file__).resolve().parent / "typing_samples"
CORRECT = SAMPLES / "correct_use.py"
MISUSE = SAMPLES / "misuse.py"
STUBS = Path(__file__).resolve().parents[2] / "stubs" / "tessara-stubs" / "__init__.pyi"
TOOLS = Path(sys.executable).parent


def misuse_lines():
    """The 1-based numbers and texts of the lines marked as misuse."""
    lines = MISUSE.read_text().splitlines()
    return [(number, line) for number, line in enumerate(lines, start=1) if "# misuse:" in line]


def mypy_error_lines(path, cwd):
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--cache-dir", os.devnull, "--no-error-summary", str(path)],
        capture_output=True,
        text=True,
        cwd=cwd,
    )
    lines = [line for line in result.stdout.splitlines() if ": error: " in line]
    assert (result.returncode == 0) == (not lines), result.stdout + result.stderr
    return lines, {int(line.split(":")[1]) for line in lines}


def pyright_diagnostics(path, cwd):
    result = subprocess.run(
        [str(TOOLS / "basedpyright"), "--outputjson", "--pythonpath", sys.executable, str(path)],
        capture_output=True,
        text=True,
        cwd=cwd,
    )
    report = json.loads(result.stdout)
    return report["generalDiagnostics"]


def test_installed_stubs_are_the_repository_stubs():
    import importlib.util

    module = importlib.util.find_spec("tessara")
    # tessara is a package whose __init__ is the extension; the stub package sits beside it.
    installed = Path(module.origin).parents[1] / "tessara-stubs" / "__init__.pyi"
    assert installed.read_text() == STUBS.read_text()


def test_correct_use_runs_and_mypy_strict_accepts_it(tmp_path):
    subprocess.run([sys.executable, str(CORRECT)], check=True, capture_output=True, cwd=tmp_path)
    lines, _ = mypy_error_lines(CORRECT, tmp_path)
    assert lines == []


def test_correct_use_has_no_pyright_diagnostic(tmp_path):
    assert pyright_diagnostics(CORRECT, tmp_path) == []


@pytest.mark.parametrize(("number", "line"), misuse_lines())
def test_each_misuse_fails_at_run_time(number, line):
    namespace = {"tessara": tessara, "ctx": tessara.parse_context(b"B\n\n2\n3\n\ng1\ng2\nm1\nm2\nm3\nX.X\n.XX\n")}
    with pytest.raises((TypeError, KeyError, AttributeError)):
        exec(compile(line.split("#")[0].strip(), f"misuse.py:{number}", "exec"), namespace)


def test_mypy_reports_every_misuse_and_nothing_else(tmp_path):
    _, reported = mypy_error_lines(MISUSE, tmp_path)
    assert reported == {number for number, _ in misuse_lines()}


def test_pyright_reports_every_misuse_and_nothing_else(tmp_path):
    errors = [d for d in pyright_diagnostics(MISUSE, tmp_path) if d["severity"] == "error"]
    assert {d["range"]["start"]["line"] + 1 for d in errors} == {number for number, _ in misuse_lines()}


def stubtest(tmp_path, stub_dir=None):
    env = dict(os.environ)
    if stub_dir is not None:
        env["MYPYPATH"] = str(stub_dir)
    return subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "tessara", "--concise", "--mypy-config-file", os.devnull]
        + ["--allowlist", str(SAMPLES / "stubtest_allowlist.txt")],
        capture_output=True,
        text=True,
        cwd=tmp_path,
        env=env,
    )


def test_stubtest_finds_the_stubs_match_the_module(tmp_path):
    result = stubtest(tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


# Each edit makes the stubs disagree with the module in one way stubtest must catch, so a
# passing stubtest above means it compared the stubs with the module.
@pytest.mark.parametrize(
    ("original", "broken"),
    [
        ('algorithm: str = "next-closure") -> Lattice', 'algorithm: str = "fcbo") -> Lattice'),
        ("def compute_implications(ctx: Context)", "def compute_implications(ctx: Context, limit: int)"),
        ("    def svg(self) -> str:", "    def svg_text(self) -> str:"),
        ('    "__version__",\n]', "]"),
    ],
    ids=["default", "parameter", "method", "all"],
)
def test_stubtest_catches_a_stub_that_disagrees(tmp_path, original, broken):
    text = STUBS.read_text()
    assert original in text
    (tmp_path / "tessara.pyi").write_text(text.replace(original, broken))
    result = stubtest(tmp_path, stub_dir=tmp_path)
    assert result.returncode != 0, result.stdout


def test_lab_sample_runs_and_both_checkers_accept_it_and_the_lab_itself(tmp_path):
    # The lab ships inline types (py.typed): user code typed against it, and the installed package itself, pass
    # mypy --strict; basedpyright reports nothing on the sample.
    sample = SAMPLES / "lab_use.py"
    subprocess.run([sys.executable, str(sample)], check=True, capture_output=True, cwd=tmp_path)
    lines, _ = mypy_error_lines(sample, tmp_path)
    assert lines == []
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--cache-dir", os.devnull, "-p", "tessara.lab"],
        capture_output=True,
        text=True,
        cwd=tmp_path,
    )
    assert result.returncode == 0, result.stdout + result.stderr
    assert pyright_diagnostics(sample, tmp_path) == []
