"""Units of a walk run anywhere the context is: the context as a payload, each unit's part file, its summary.

A unit is a subtree of the walk written as bytes (``tessara._lab.UnitWalk``). Running it lists at most about
``budget`` concepts and hands back the rest of its subtree as further units, in the order their concepts come
after its own. A unit's concepts go into one Parquet part named after the unit's key, the path of splits that
made it, so that the parts in name order hold the concepts in the walk's order. The same unit always writes the
same bytes, so a retried unit, or one run again after a worker was lost, changes nothing.

This module is what workers import: it needs the context payload and a unit, nothing of the driver.
"""

from __future__ import annotations

import hashlib
import json
import os
import threading
import time
import uuid
from dataclasses import dataclass
from typing import Any, Optional

from tessara import _lab
from tessara.lab._optional import optional_module

#: Written by the driver when a run is abandoned: units that see it write nothing more.
CANCEL_MARKER = "_cancelled"
#: The format of the dataset's manifest and parts.
DATASET_FORMAT = "tessara-concepts/1"


@dataclass(frozen=True)
class ContextPayload:
    """What a worker needs to rebuild a context, in the form the context is stored in.

    A context stored packed travels as its packed incidence rows; one stored sparse as its rows' attribute lists
    (offsets as uint64, attribute positions as uint32), so a transaction set whose dense form would not fit in
    memory ships at the size it has. The checksum is the same for both forms of the same data.
    """

    objects: tuple[str, ...]
    attributes: tuple[str, ...]
    rows: Optional[bytes]
    sparse_rows: Optional[tuple[bytes, bytes]]
    checksum: str

    @classmethod
    def of(cls, kernel: _lab.Context) -> "ContextPayload":
        objects = tuple(kernel.objects())
        attributes = tuple(kernel.attributes())
        offsets, items = kernel.sparse_rows()
        checksum = context_checksum(objects, attributes, offsets, items)
        if kernel.is_sparse:
            return cls(objects, attributes, None, (offsets, items), checksum)
        return cls(objects, attributes, kernel.rows(), None, checksum)

    def kernel(self) -> _lab.Context:
        """The context rebuilt, stored as it was shipped."""
        if self.sparse_rows is not None:
            offsets, items = self.sparse_rows
            return _lab.make_sparse_context(list(self.objects), list(self.attributes), offsets, items)
        assert self.rows is not None
        return _lab.make_context(list(self.objects), list(self.attributes), self.rows)


def context_checksum(objects: tuple[str, ...], attributes: tuple[str, ...], offsets: bytes, items: bytes) -> str:
    """SHA-256 of the names and the rows as attribute lists: the identity of a context's data, whichever form
    stores it."""
    digest = hashlib.sha256()
    digest.update(json.dumps([list(objects), list(attributes)], ensure_ascii=False).encode("utf-8"))
    digest.update(offsets)
    digest.update(items)
    return digest.hexdigest()


def part_name(key: tuple[int, ...]) -> str:
    """The file name of a unit's part.

    Each step of the key is written as its hexadecimal digit count followed by the digits, and the steps are
    joined by ``_``: names then sort as the keys do, a unit's part before the parts of the units it split off
    (``.`` sorts before ``_``), and those in their order.
    """
    return "part-" + "_".join(f"{len(f'{step:x}')}{step:x}" for step in key) + ".parquet"


@dataclass(frozen=True)
class UnitSummary:
    """What a unit hands back to the driver: small, whatever the number of its concepts."""

    key: tuple[int, ...]
    part: Optional[str]
    count: int
    size: int
    sha256: str
    seconds: float
    rest: tuple[tuple[bytes, ...], ...]


class UnitCancelled(Exception):
    """A unit stopped because its run was abandoned."""


# glibc's mallopt parameters and the values its own adaptive thresholds reach on a 64-bit machine.
_M_TRIM_THRESHOLD = -1
_M_MMAP_THRESHOLD = -3
_MMAP_THRESHOLD_MAX = 32 << 20
_malloc_checked = False


def _unpin_malloc_thresholds() -> None:
    """Lets glibc keep the few MiB a unit frees for the next unit, in a worker whose environment pinned its
    thresholds.

    Dask's nanny starts its workers with ``MALLOC_TRIM_THRESHOLD_`` set, so that freed memory goes back to the
    system at once. Setting it also fixes glibc's mmap threshold at 128 KiB: every buffer of a unit (its concepts'
    arrays, the Parquet part, zstd's workspace) is then a fresh mapping, faulted in and zeroed page by page, and a
    worker takes ten times the page faults of the same units run in one process. This sets the two thresholds to
    where glibc's adaptive ones settle without the variable (32 MiB, and twice that kept free on top of the
    heap): the worker keeps at most 64 MiB it does not use. It is process-wide and done once, only on glibc and
    only when the trim threshold was pinned and the mmap threshold was not.
    """
    global _malloc_checked
    if _malloc_checked:
        return
    _malloc_checked = True
    if "MALLOC_TRIM_THRESHOLD_" not in os.environ or "MALLOC_MMAP_THRESHOLD_" in os.environ:
        return
    import ctypes
    import ctypes.util
    import platform

    if platform.libc_ver()[0] != "glibc":
        return
    try:
        libc = ctypes.CDLL(ctypes.util.find_library("c") or "libc.so.6")
        libc.mallopt(_M_MMAP_THRESHOLD, _MMAP_THRESHOLD_MAX)
        libc.mallopt(_M_TRIM_THRESHOLD, 2 * _MMAP_THRESHOLD_MAX)
    except (OSError, AttributeError):
        pass


# Walks prepared on this process, by context checksum and run parameters: a worker builds each once and runs
# every unit it is given through it, from any of its threads.
_walks: dict[tuple[str, str, int], Any] = {}
_walks_lock = threading.Lock()


def _walk_for(payload: ContextPayload, algorithm: str, min_support: int) -> Any:
    key = (payload.checksum, algorithm, min_support)
    with _walks_lock:
        _unpin_malloc_thresholds()
        walk = _walks.get(key)
        if walk is None:
            walk = _lab.unit_walk(payload.kernel(), algorithm, min_support)
            if len(_walks) >= 4:
                _walks.clear()
            _walks[key] = walk
        return walk


def _list_array(pa: Any, offsets: bytes, items: bytes) -> Any:
    """A large-list array of uint32 over the kernel's offset and item bytes, without copying them."""
    count = len(offsets) // 8 - 1
    values = pa.Array.from_buffers(pa.uint32(), len(items) // 4, [None, pa.py_buffer(items)])
    return pa.LargeListArray.from_buffers(pa.large_list(pa.uint32()), count, [None, pa.py_buffer(offsets)],
                                          children=[values])


def _table(result: tuple[Any, ...], extents: bool) -> Any:
    pa = optional_module("pyarrow")
    intent_offsets, intent_items, supports, extent_offsets, extent_items, _ = result
    count = len(supports) // 8
    columns = {
        "intent": _list_array(pa, intent_offsets, intent_items),
        "support": pa.Array.from_buffers(pa.uint64(), count, [None, pa.py_buffer(supports)]),
    }
    if extents:
        columns["extent"] = _list_array(pa, extent_offsets, extent_items)
    return pa.table(columns)


#: The units a unit past its budget hands its unfinished subtrees back as, at most: enough to keep workers busy,
#: few enough that engines with a cost per task (Dask, Ray) spend their time on concepts.
FAN_OUT = 4


def split_rest(rest: list[bytes], parts: int = FAN_OUT) -> tuple[tuple[bytes, ...], ...]:
    """The subtrees left, in order, as at most ``parts`` units of consecutive subtrees.

    The rest comes deepest first, and a subtree nearer the root holds far more of the walk than one deep down:
    the units halve from the end (the last eighth of the subtrees, the quarter before it, and so on, the first
    unit taking the rest), so that the many small deep subtrees share one unit and the few large shallow ones
    are spread over the others.
    """
    count = len(rest)
    cuts = sorted({count - (count >> step) for step in range(1, parts)} - {0, count})
    edges = [0, *cuts, count]
    return tuple(tuple(rest[start:end]) for start, end in zip(edges, edges[1:]) if end > start)


#: The first generations of units get smaller budgets (a quarter of the next generation's, up to the full
#: budget at this depth): the walk fans out to every worker within a few short units instead of waiting for
#: the first full one.
RAMP_DEPTH = 4


def unit_budget(key: tuple[int, ...], budget: int) -> int:
    """The budget of the unit with this key in a run of units of ``budget`` concepts: smaller for the first
    generations, so the split reaches every worker soon. A function of the key alone: a unit run again lists
    the same concepts."""
    shrink = max(0, RAMP_DEPTH - (len(key) - 1))
    return max(1, budget >> (2 * shrink))


def run_unit(walk: Any, directory: str, key: tuple[int, ...], unit: tuple[bytes, ...], budget: int,
             extents: bool) -> UnitSummary:
    """Runs one unit (subtrees of the walk, listed one after another) through a prepared walk and writes its
    part; the summary of what it did. Past its budget (:func:`unit_budget` of ``budget``) the subtrees not
    finished come back in the summary as at most :data:`FAN_OUT` units, in order."""
    pa = optional_module("pyarrow")
    pq = optional_module("pyarrow.parquet")
    if os.path.exists(os.path.join(directory, CANCEL_MARKER)):
        raise UnitCancelled()
    budget = unit_budget(key, budget)
    start = time.perf_counter()
    tables = []
    rest: list[bytes] = []
    listed = 0
    for i, task in enumerate(unit):
        if listed >= budget:
            rest.extend(unit[i:])
            break
        result = walk.run(task, budget - listed, extents)
        if result is None:
            raise UnitCancelled()
        tables.append(_table(result, extents))
        listed += tables[-1].num_rows
        if result[5]:  # this subtree ran past the budget: its own rest, then the subtrees after it
            rest.extend(result[5])
            rest.extend(unit[i + 1:])
            break
    table = pa.concat_tables(tables).combine_chunks() if len(tables) > 1 else tables[0]
    name = part_name(key)
    final = os.path.join(directory, name)
    temporary = os.path.join(directory, f".{name}.{uuid.uuid4().hex}.tmp")
    # The part is made in memory and hashed there, then written once: nothing is read back from disk. Fixed
    # writer settings and no statistics that vary: the same unit gives the same bytes.
    sink = pa.BufferOutputStream()
    pq.write_table(table, sink, compression="zstd", use_dictionary=False, write_statistics=False)
    part = sink.getvalue()
    del table, tables
    size = part.size
    digest = hashlib.sha256(part).hexdigest()
    try:
        with open(temporary, "wb") as file:
            file.write(part)
        if os.path.exists(os.path.join(directory, CANCEL_MARKER)):
            raise UnitCancelled()
        os.replace(temporary, final)
    finally:
        if os.path.exists(temporary):
            os.remove(temporary)
    return UnitSummary(key, name, listed, size, digest, time.perf_counter() - start, split_rest(rest))


def run_shipped_unit(payload: ContextPayload, algorithm: str, min_support: int, directory: str,
                     key: tuple[int, ...], unit: tuple[bytes, ...], budget: int, extents: bool) -> UnitSummary:
    """A cluster task: the unit run through this worker's walk of the payload's context."""
    return run_unit(_walk_for(payload, algorithm, min_support), directory, key, unit, budget, extents)
