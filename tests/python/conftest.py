"""Shared helpers for the Python tests: building small contexts as CXT bytes."""

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
