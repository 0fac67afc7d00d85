"""Shared helpers for the Python tests: building small contexts as CXT bytes."""

import os
import resource
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

import tessara

DATA = Path(__file__).resolve().parent.parent / "data"


def cxt_bytes(objects, attributes, rows):
    """Burmeister CXT text for the given names and rows of booleans."""
    lines = ["B", "", str(len(objects)), str(len(attributes)), ""]
    lines += list(objects) + list(attributes)
    lines += ["".join("X" if cell else "." for cell in row) or "." for row in rows]
    return ("\n".join(lines) + "\n").encode("utf-8")


def make_context(objects, attributes, rows):
    return tessara.parse_context(cxt_bytes(objects, attributes, rows))


@pytest.fixture
def g1g2_context():
    """Objects g1, g2; attributes m1, m2, m3; g1 has m1, m3 and g2 has m2, m3."""
    return make_context(["g1", "g2"], ["m1", "m2", "m3"], [[1, 0, 1], [0, 1, 1]])


def run_limited(code):
    """Runs code in a child interpreter limited to 1 GiB of address space."""
    if os.environ.get("TESSARA_SANITIZED"):
        # AddressSanitizer reserves terabytes of address space for its shadow memory.
        pytest.skip("an address-space limit cannot apply under AddressSanitizer")

    def limit():
        resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))

    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        preexec_fn=limit,
        timeout=300,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )


def parse_error_under_limit(expression, filename):
    """The ValueError text of parse_context(<expression>, filename) in a 1 GiB child."""
    result = run_limited(
        f"""
        import tessara
        try:
            tessara.parse_context({expression}, {filename!r})
        except ValueError as error:
            print(error)
        """
    )
    assert result.returncode == 0, result.stderr
    return result.stdout.strip()


def interrupt_child(script):
    """Runs `script` in a child interpreter; once it prints "ready", sends it a real SIGINT.

    Returns the child's stdout, stderr and the seconds from the signal to its exit. Skips under
    the sanitized build, which is too slow to reach the computation in time.
    """
    finished, seconds = interrupt_command([sys.executable, "-c", script])
    return finished.stdout, finished.stderr, seconds


def interrupt_command(command):
    """Runs `command`; once it prints "ready", sends it a real SIGINT (as interrupt_child does).

    Returns the finished process (returncode, stdout, stderr) and the seconds from the signal to its exit.
    """
    import signal
    import time

    if os.environ.get("TESSARA_SANITIZED"):
        pytest.skip("the sanitized build is too slow to reach the computation in time")
    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True, env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
    try:
        assert child.stdout.readline().strip() == "ready"
        time.sleep(0.7)
        child.send_signal(signal.SIGINT)
        sent = time.monotonic()
        out, err = child.communicate(timeout=60)
        seconds = time.monotonic() - sent
        return subprocess.CompletedProcess(command, child.returncode, out, err), seconds
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
