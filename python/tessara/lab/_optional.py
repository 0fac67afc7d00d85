"""First-use imports of the optional dependencies, with an ImportError that says what to install."""

from __future__ import annotations

import importlib
from types import ModuleType

# The extra of the tessara package that brings each optional module.
_EXTRAS = {"pandas": "pandas", "networkx": "networkx", "tqdm": "progress"}
_EXTRAS.update({"scipy": "sparse", "scipy.sparse": "sparse"})


def optional_module(name: str) -> ModuleType:
    """Import an optional dependency, or raise ImportError naming the extra that installs it.

    Parameters
    ----------
    name : str
        The module: "pandas", "networkx", "tqdm" or "scipy.sparse".
    """
    try:
        return importlib.import_module(name)
    except ImportError as error:
        extra = _EXTRAS.get(name, name)
        package = name.split(".")[0]
        raise ImportError(
            f"this needs the optional dependency {package}: pip install tessara[{extra}]"
        ) from error
