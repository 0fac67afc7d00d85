"""Concepts written as a Parquet dataset by units of the walk, on local threads, Dask or Ray; and read back.

The dataset is a folder of part files and a manifest. Each part holds the concepts of one unit in the walk's
order (columns ``intent`` and ``support``, and ``extent`` when asked for), and the parts in name order hold
exactly the concepts of :meth:`Context.iter_concepts` with the same arguments, in its order. The manifest,
``_manifest.json``, is written last: it names the parts with their sizes and checksums, the context's names and
checksum, and the parameters of the run. A folder without it is a run that did not finish and is never read as
a finished one.
"""

from __future__ import annotations

import hashlib
import json
import os
import shutil
import time
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Iterator, Optional, Union

import numpy as np

from tessara import _lab
from tessara.lab._optional import optional_module
from tessara.lab._run import Progress, TooManyConcepts, progress_reporter, resolve_max_concepts, resolve_min_support
from tessara.lab._units import CANCEL_MARKER, DATASET_FORMAT, ContextPayload, UnitSummary

if TYPE_CHECKING:
    from tessara.lab._context import Context

MANIFEST = "_manifest.json"
#: The concepts a unit lists before it hands the rest of its subtree back as further units: a few tenths of a
#: second of work, against Dask's and Ray's cost of a few milliseconds per task.
DEFAULT_UNIT_CONCEPTS = 400_000
_WALK_ALGORITHMS = ("fcbo", "next-closure", "in-close-5", "lcm")


@dataclass(frozen=True)
class ParquetSummary:
    """What :meth:`Context.to_parquet` did.

    Attributes
    ----------
    count : int
        The number of concepts written.
    parts : tuple of str
        The part files, in name order (the concepts' order).
    bytes : int
        The size of the parts together.
    seconds : float
        The wall-clock time of the run.
    units : int
        The units of work run.
    executor : str
        Where they ran: ``"local"``, ``"dask"`` or ``"ray"``.
    timings : tuple of (tuple of int, float, int)
        Per unit, in key order: its key (the path of splits that made it; a unit's children extend its key),
        the seconds it ran and the concepts it listed. For judging how far a run splits.

    Examples
    --------
    >>> import tempfile, os
    >>> import tessara.lab as tl
    >>> K = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]])
    >>> summary = K.to_parquet(os.path.join(tempfile.mkdtemp(), "concepts"))
    >>> summary.count, summary.units, summary.executor, [os.path.basename(p) for p in summary.parts]
    (2, 1, 'local', ['part-10.parquet'])
    """

    count: int
    parts: tuple[str, ...]
    bytes: int
    seconds: float
    units: int
    executor: str
    timings: tuple[tuple[tuple[int, ...], float, int], ...] = ()

    def __repr__(self) -> str:
        return (f"ParquetSummary(count={self.count:,}, parts={len(self.parts)}, bytes={self.bytes:,}, "
                f"seconds={self.seconds:.2f}, units={self.units}, executor={self.executor!r})")


def _prepare_directory(path: Union[str, os.PathLike[str]]) -> tuple[str, bool]:
    directory = os.fspath(path)
    if os.path.exists(directory):
        if not os.path.isdir(directory):
            raise ValueError(f"to_parquet writes a folder, and {directory!r} is a file")
        if os.listdir(directory):
            raise ValueError(f"to_parquet writes into a new or empty folder, and {directory!r} is not empty")
        return directory, False
    os.makedirs(directory)
    return directory, True


def _clean_up(directory: str, created: bool) -> None:
    """Removes everything a run wrote into its folder (it was empty before the run)."""
    if created:
        shutil.rmtree(directory, ignore_errors=True)
        return
    for name in os.listdir(directory):
        full = os.path.join(directory, name)
        if os.path.isfile(full):
            os.remove(full)


def _settle(directory: str, wait: float = 5.0) -> None:
    """After cancelling: waits until no unit is writing (no temporary file appears for a moment)."""
    deadline = time.monotonic() + wait
    quiet_since = time.monotonic()
    while time.monotonic() < deadline:
        if any(name.endswith(".tmp") for name in os.listdir(directory)):
            quiet_since = time.monotonic()
        elif time.monotonic() - quiet_since > 0.3:
            return
        time.sleep(0.05)


def _remove_orphaned_parts(directory: str) -> None:
    """Removes the temporary parts of units whose worker died while writing them (their retry wrote the part)."""
    for name in os.listdir(directory):
        if name.startswith(".part-") and name.endswith(".tmp"):
            try:
                os.remove(os.path.join(directory, name))
            except FileNotFoundError:
                pass


def _write_manifest(directory: str, manifest: dict[str, Any]) -> None:
    temporary = os.path.join(directory, f".{MANIFEST}.tmp")
    with open(temporary, "w", encoding="utf-8") as file:
        json.dump(manifest, file, ensure_ascii=False)
    os.replace(temporary, os.path.join(directory, MANIFEST))


def to_parquet(context: Context, path: Union[str, os.PathLike[str]], min_support: Union[int, float] = 0,
               algorithm: Optional[str] = None, executor: Any = None, max_concepts: Optional[int] = None,
               extents: bool = False, progress: Progress = False, threads: Optional[int] = None,
               unit_concepts: int = DEFAULT_UNIT_CONCEPTS) -> ParquetSummary:
    """The work of :meth:`Context.to_parquet`."""
    optional_module("pyarrow")
    support = resolve_min_support(min_support, context.shape[0])
    limit = resolve_max_concepts(max_concepts)
    if algorithm is not None and not isinstance(algorithm, str):
        raise TypeError(f"algorithm must be a str or None, not {type(algorithm).__name__}")
    # The same default as iter_concepts, so the dataset lists its concepts in its order.
    name = context._algorithm_or_default(algorithm)
    if name.lower() not in _WALK_ALGORITHMS:
        raise ValueError(f"to_parquet runs the algorithms {', '.join(_WALK_ALGORITHMS)}; got {name!r}")
    name = name.lower()
    if isinstance(unit_concepts, bool) or not isinstance(unit_concepts, int) or unit_concepts < 1:
        raise ValueError(f"unit_concepts must be an int of at least 1, got {unit_concepts!r}")
    if not isinstance(extents, bool):
        raise TypeError(f"extents must be a bool, not {type(extents).__name__}")
    from tessara.lab._executors import resolve_executor

    engine = resolve_executor(executor, threads)
    kernel = context._kernel
    payload = ContextPayload.of(kernel)
    directory, created = _prepare_directory(path)
    start = time.perf_counter()
    summaries: list[UnitSummary] = []
    pending: dict[Any, tuple[int, ...]] = {}
    total = 0
    try:
        with progress_reporter(progress, "concepts to Parquet") as reporter:
            engine.start(payload, kernel, name, support, directory, unit_concepts, extents)
            top = _lab.unit_walk(kernel, name, support).top()
            if top is not None:
                pending[engine.submit((0,), (top,))] = (0,)
            while pending:
                for handle in engine.wait(pending, 0.1):
                    key = pending.pop(handle)
                    summary = engine.result(handle)
                    summaries.append(summary)
                    total += summary.count
                    if total > limit:
                        raise TooManyConcepts(
                            f"more than {limit} concepts; raise max_concepts, or set min_support to keep only the "
                            "concepts of at least that many objects")
                    for i, unit in enumerate(summary.rest):
                        child = key + (i,)
                        pending[engine.submit(child, unit)] = child
                callback = reporter.callback
                if callback is not None:
                    callback(total)
            reporter.finish(total)
            summaries.sort(key=lambda s: s.key)
            parts = [s for s in summaries if s.count > 0]
            _remove_orphaned_parts(directory)
            _write_manifest(directory, {
                "format": DATASET_FORMAT,
                "algorithm": name,
                "min_support": support,
                "max_concepts": None if max_concepts is None else int(max_concepts),
                "extents": extents,
                "count": total,
                "units": len(summaries),
                "context": {"checksum": payload.checksum, "objects": list(payload.objects),
                            "attributes": list(payload.attributes)},
                "parts": [{"name": s.part, "rows": s.count, "bytes": s.size, "sha256": s.sha256} for s in parts],
            })
            for s in summaries:
                if s.count == 0 and s.part is not None:
                    os.remove(os.path.join(directory, s.part))
    except BaseException:
        # Nothing half-built stays: later units see the marker and write nothing, running ones are stopped.
        with open(os.path.join(directory, CANCEL_MARKER), "w"):
            pass
        engine.cancel(list(pending))
        engine.close()
        _settle(directory)
        _clean_up(directory, created)
        raise
    engine.close()
    return ParquetSummary(
        count=total,
        parts=tuple(os.path.join(directory, s.part) for s in parts if s.part is not None),
        bytes=sum(s.size for s in parts),
        seconds=time.perf_counter() - start,
        units=len(summaries),
        executor=engine.name,
        timings=tuple((s.key, s.seconds, s.count) for s in summaries),
    )


@dataclass(frozen=True)
class StoredConcept:
    """A concept read back from a dataset: its position, intent, support and (when stored) extent, by name.

    Examples
    --------
    >>> import tempfile, os
    >>> import tessara.lab as tl
    >>> K = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]])
    >>> folder = os.path.join(tempfile.mkdtemp(), "concepts")
    >>> _ = K.to_parquet(folder, extents=True)
    >>> list(tl.read_concepts(folder))[1]
    StoredConcept(index=1, intent=('x', 'y'), support=1, extent=('b',))
    """

    index: int
    intent: tuple[str, ...]
    support: int
    extent: Optional[tuple[str, ...]]


class ConceptDataset:
    """The concepts of a dataset written by :meth:`Context.to_parquet`, read lazily, part by part.

    Opening checks that the run finished (the manifest is there) and that every part is there with the size the
    manifest gives; reading a part checks its SHA-256. An altered, truncated or missing part is refused with a
    ``ValueError`` naming it.

    Examples
    --------
    >>> import tempfile, os
    >>> import tessara.lab as tl
    >>> K = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]])
    >>> folder = os.path.join(tempfile.mkdtemp(), "concepts")
    >>> K.to_parquet(folder).count
    2
    >>> concepts = tl.read_concepts(folder)
    >>> len(concepts), [c.intent for c in concepts]
    (2, [('x',), ('x', 'y')])
    """

    def __init__(self, path: Union[str, os.PathLike[str]]) -> None:
        self._directory = os.fspath(path)
        manifest_path = os.path.join(self._directory, MANIFEST)
        if not os.path.isfile(manifest_path):
            raise ValueError(
                f"{self._directory!r} is not a finished concept dataset: it has no {MANIFEST} "
                "(the run that wrote it did not finish, or the folder is something else)")
        try:
            with open(manifest_path, encoding="utf-8") as file:
                manifest = json.load(file)
            if manifest.get("format") != DATASET_FORMAT:
                raise ValueError(f"unknown format {manifest.get('format')!r}")
            self._parts = [(str(p["name"]), int(p["rows"]), int(p["bytes"]), str(p["sha256"])) for p in manifest["parts"]]
            self._objects = tuple(manifest["context"]["objects"])
            self._attributes = tuple(manifest["context"]["attributes"])
            self._count = int(manifest["count"])
            self._extents = bool(manifest["extents"])
            self._manifest = manifest
        except (ValueError, KeyError, TypeError) as error:
            raise ValueError(f"{manifest_path!r} is not a valid concept dataset manifest: {error}") from None
        if sum(rows for _, rows, _, _ in self._parts) != self._count:
            raise ValueError(f"{manifest_path!r} is not a valid concept dataset manifest: the parts' rows do not add "
                             "up to its count")
        for name, _, size, _ in self._parts:
            full = os.path.join(self._directory, name)
            if os.path.basename(name) != name or not os.path.isfile(full):
                raise ValueError(f"concept dataset {self._directory!r} is incomplete: part {name!r} is missing")
            if os.path.getsize(full) != size:
                raise ValueError(f"concept dataset {self._directory!r} is altered: part {name!r} holds "
                                 f"{os.path.getsize(full)} bytes, the manifest says {size}")

    @property
    def objects(self) -> tuple[str, ...]:
        """The object names of the context the concepts came from.

        Examples
        --------
        >>> import tempfile, os
        >>> import tessara.lab as tl
        >>> folder = os.path.join(tempfile.mkdtemp(), "concepts")
        >>> _ = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]]).to_parquet(folder, min_support=1)
        >>> dataset = tl.read_concepts(folder)
        >>> dataset.objects
        ('a', 'b')
        """
        return self._objects

    @property
    def attributes(self) -> tuple[str, ...]:
        """The attribute names of the context the concepts came from.

        Examples
        --------
        >>> import tempfile, os
        >>> import tessara.lab as tl
        >>> folder = os.path.join(tempfile.mkdtemp(), "concepts")
        >>> _ = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]]).to_parquet(folder, min_support=1)
        >>> dataset = tl.read_concepts(folder)
        >>> dataset.attributes
        ('x', 'y')
        """
        return self._attributes

    @property
    def parameters(self) -> dict[str, Any]:
        """The run's algorithm, minimum support (in objects), ``max_concepts``, ``extents`` and context checksum.

        Examples
        --------
        >>> import tempfile, os
        >>> import tessara.lab as tl
        >>> folder = os.path.join(tempfile.mkdtemp(), "concepts")
        >>> _ = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]]).to_parquet(folder, min_support=1)
        >>> dataset = tl.read_concepts(folder)
        >>> {k: v for k, v in dataset.parameters.items() if k != "checksum"}
        {'algorithm': 'fcbo', 'min_support': 1, 'max_concepts': None, 'extents': False}
        """
        m = self._manifest
        return {"algorithm": m["algorithm"], "min_support": m["min_support"], "max_concepts": m["max_concepts"],
                "extents": m["extents"], "checksum": m["context"]["checksum"]}

    @property
    def parts(self) -> tuple[str, ...]:
        """The part files in order.

        Examples
        --------
        >>> import tempfile, os
        >>> import tessara.lab as tl
        >>> folder = os.path.join(tempfile.mkdtemp(), "concepts")
        >>> _ = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]]).to_parquet(folder, min_support=1)
        >>> dataset = tl.read_concepts(folder)
        >>> [os.path.basename(part) for part in dataset.parts]
        ['part-10.parquet']
        """
        return tuple(os.path.join(self._directory, name) for name, _, _, _ in self._parts)

    def __len__(self) -> int:
        return self._count

    def __repr__(self) -> str:
        return (f"ConceptDataset(concepts={self._count:,}, parts={len(self._parts)}, "
                f"algorithm={self._manifest['algorithm']!r}, min_support={self._manifest['min_support']})")

    def _tables(self) -> Iterator[Any]:
        pa = optional_module("pyarrow")
        pq = optional_module("pyarrow.parquet")
        for name, rows, _, digest in self._parts:
            with open(os.path.join(self._directory, name), "rb") as file:
                data = file.read()
            if hashlib.sha256(data).hexdigest() != digest:
                raise ValueError(f"concept dataset {self._directory!r} is altered: part {name!r} does not match its "
                                 "checksum")
            table = pq.read_table(pa.BufferReader(data))
            if table.num_rows != rows:
                raise ValueError(f"concept dataset {self._directory!r} is altered: part {name!r} holds "
                                 f"{table.num_rows} concepts, the manifest says {rows}")
            yield table

    @staticmethod
    def _lists(column: Any) -> tuple[np.ndarray, np.ndarray]:
        array = column.combine_chunks()
        return np.asarray(array.offsets), np.asarray(array.values)

    def __iter__(self) -> Iterator[StoredConcept]:
        index = 0
        attributes = self._attributes
        objects = self._objects
        for table in self._tables():
            offsets, items = self._lists(table.column("intent"))
            supports = table.column("support").to_numpy()
            extent_offsets, extent_items = self._lists(table.column("extent")) if self._extents else (None, None)
            for row in range(table.num_rows):
                intent = tuple(attributes[m] for m in items[offsets[row]:offsets[row + 1]])
                extent = None
                if extent_offsets is not None and extent_items is not None:
                    extent = tuple(objects[g] for g in extent_items[extent_offsets[row]:extent_offsets[row + 1]])
                yield StoredConcept(index, intent, int(supports[row]), extent)
                index += 1

    def to_pandas(self) -> Any:
        """One row per concept, indexed by its position: ``intent`` (and ``extent``) as tuples of names, and
        ``support``.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import tempfile, os
        >>> import tessara.lab as tl
        >>> folder = os.path.join(tempfile.mkdtemp(), "concepts")
        >>> _ = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]]).to_parquet(folder, min_support=1)
        >>> dataset = tl.read_concepts(folder)
        >>> frame = dataset.to_pandas()
        >>> list(frame["intent"]), list(frame["support"])
        ([('x',), ('x', 'y')], [2, 1])
        """
        pd = optional_module("pandas")
        intents: list[tuple[str, ...]] = []
        extents: list[Optional[tuple[str, ...]]] = []
        supports: list[int] = []
        for concept in self:
            intents.append(concept.intent)
            supports.append(concept.support)
            extents.append(concept.extent)
        index = pd.RangeIndex(len(intents), name="concept")
        columns: dict[str, Any] = {}
        if self._extents:
            columns["extent"] = pd.Series(extents, index=index, dtype=object)
        columns["intent"] = pd.Series(intents, index=index, dtype=object)
        columns["support"] = pd.Series(np.asarray(supports, dtype=np.uint64), index=index)
        return pd.DataFrame(columns)

    def to_dask(self) -> Any:
        """A dask DataFrame over the parts, in order, without loading them: ``intent`` (and ``extent``) as lists
        of positions (:attr:`attributes` and :attr:`objects` name them), and ``support``.

        Returns
        -------
        dask.dataframe.DataFrame

        Examples
        --------
        >>> import tempfile, os
        >>> import tessara.lab as tl
        >>> folder = os.path.join(tempfile.mkdtemp(), "concepts")
        >>> _ = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]]).to_parquet(folder, min_support=1)
        >>> dataset = tl.read_concepts(folder)
        >>> frame = dataset.to_dask()  # doctest: +SKIP
        >>> frame.support.sum().compute()  # doctest: +SKIP
        3
        """
        dd = optional_module("dask.dataframe")
        if not self._parts:
            raise ValueError("the dataset holds no concepts; a dask DataFrame needs at least one part")
        return dd.read_parquet(list(self.parts))


def read_concepts(path: Union[str, os.PathLike[str]]) -> ConceptDataset:
    """The concepts of a dataset written by :meth:`Context.to_parquet`, as a lazy collection.

    Parameters
    ----------
    path : str or os.PathLike
        The dataset's folder.

    Returns
    -------
    ConceptDataset
        ``len()``, iteration in order (:class:`StoredConcept`), ``to_pandas()`` and ``to_dask()``.

    Raises
    ------
    ValueError
        The run did not finish (no manifest), or a part is missing, truncated or altered.

    Examples
    --------
    >>> import tempfile, os
    >>> import tessara.lab as tl
    >>> K = tl.Context(["a", "b"], ["x", "y"], [[1, 0], [1, 1]])
    >>> folder = os.path.join(tempfile.mkdtemp(), "concepts")
    >>> _ = K.to_parquet(folder, extents=True)
    >>> frame = tl.read_concepts(folder).to_pandas()
    >>> list(frame.columns), list(frame["extent"]), list(frame["support"])
    (['extent', 'intent', 'support'], [('a', 'b'), ('b',)], [2, 1])
    """
    return ConceptDataset(path)
