"""numpy imported when the lab first uses it, not when ``tessara.lab`` is imported.

Reading a transaction file and streaming its concepts need no numpy; importing it costs a short script about a
tenth of a second (its import, and OpenBLAS starting and stopping its threads). The modules on that path
(contexts, names, sparse builders, streams) reach numpy through :data:`np`, which imports it on the first
attribute asked for and keeps each attribute it hands out, so later look-ups cost what a module's would.
"""

from __future__ import annotations

import importlib
from typing import Any


class LazyModule:
    """A stand-in for a module that imports it on first use."""

    def __init__(self, name: str) -> None:
        self._module_name = name

    def __getattr__(self, attribute: str) -> Any:
        value = getattr(importlib.import_module(self._module_name), attribute)
        setattr(self, attribute, value)
        return value

    def __repr__(self) -> str:
        return f"<module {self._module_name!r}, imported on first use>"


np = LazyModule("numpy")
