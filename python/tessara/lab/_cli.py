"""The ``tessara`` command: concepts, diagrams, implications and rules from the shell.

Installed as the ``tessara`` console script and run by ``python -m tessara.lab``. Results go to stdout as JSON
lines, CSV or FIMI-style text, one row at a time (concepts are streamed, so memory does not grow with their
number); progress goes to stderr when it is a terminal. Exit status: 0 on success, 1 on bad input (one line
on stderr saying what is wrong), 130 when interrupted by Ctrl-C, 141 when the reader of stdout goes away
(``| head``), as for any tool that SIGPIPE stops.
"""

from __future__ import annotations

import argparse
import csv
import json
import math
import os
import re
import sys
from collections.abc import Iterable, Sequence
from typing import IO, Any, Callable, Optional, Union

from tessara.lab import datasets
from tessara.lab._context import Context
from tessara.lab._formats import FORMATS
from tessara.lab._io import read

PROG = "tessara"
DATASET_PREFIX = "dataset:"
#: The bundled many-valued tables, scaled with the default scales when named as a FILE.
TABLES: dict[str, Callable[[], Any]] = {"adult": datasets.load_adult, "mushroom": datasets.load_mushroom}
DIAGRAM_EXTENSIONS = (".svg", ".html", ".dot", ".tex", ".json")
OUTPUT_FORMATS = {
    "jsonl": "jsonl: a JSON object a line",
    "csv": "csv: a header row, then a row each, the names in one cell joined by ';'",
    "fimi": "fimi: attribute positions (from 0), then the support in brackets",
    "text": "text: 'fact: value' lines",
}
EXIT_OK, EXIT_BAD_INPUT, EXIT_INTERRUPTED, EXIT_BROKEN_PIPE = 0, 1, 130, 141

FILES = f"""\
FILE is a context file (.cxt, .csv, .tsv, .dat, .xml, .json; --format names the
reader when the extension does not), "-" for stdin, or a bundled dataset:
{DATASET_PREFIX}NAME with NAME one of {", ".join(datasets.names())},
or {DATASET_PREFIX}mushroom and {DATASET_PREFIX}adult (the UCI tables, scaled with the default
scales of tessara.lab.scale; they need pandas).
"""
EXAMPLES = (
    f"tessara info {DATASET_PREFIX}planets",
    f"tessara concepts {DATASET_PREFIX}planets",
    "tessara concepts animals.cxt --output-format csv > concepts.csv",
    f"tessara concepts {DATASET_PREFIX}mushroom --min-support 0.2 --no-extents | head",
    f"tessara lattice {DATASET_PREFIX}liveinwater -o liveinwater.svg",
    f"tessara lattice {DATASET_PREFIX}mushroom --min-support 0.3 --labels counts -o mushroom.html",
    f"tessara implications {DATASET_PREFIX}tealady --basis proper-premise",
    f"tessara rules {DATASET_PREFIX}mushroom --min-support 0.3 --min-confidence 0.9 --output-format csv",
    "tessara convert animals.cxt animals.json",
    f"tessara convert {DATASET_PREFIX}planets - --to cxt",
    f"tessara info {DATASET_PREFIX}adult --count-concepts --min-support 0.1 --output-format jsonl",
)


def _epilog(command: Optional[str] = None) -> str:
    shown = [line for line in EXAMPLES if command is None or line.startswith(f"tessara {command} ")]
    return FILES + "\nexamples:\n" + "".join(f"  {line}\n" for line in shown)


class BadInput(Exception):
    """Input the command refuses: reported as one line on stderr, exit status 1."""


class _Parser(argparse.ArgumentParser):
    def error(self, message: str) -> Any:  # argparse's own exits with status 2 and prints the usage
        raise BadInput(f"{self.prog}: {message} (see {self.prog} --help)")


def _support(text: str) -> Union[int, float]:
    """An int (objects) or, with a point or an exponent, a float (a fraction of the objects)."""
    try:
        return float(text) if any(mark in text for mark in ".eE") else int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"expected a count of objects or a fraction, not {text!r}") from None


def _fraction(text: str) -> float:
    try:
        return float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"expected a number in [0, 1], not {text!r}") from None


def _parser() -> _Parser:
    parser = _Parser(
        prog=PROG,
        description="Formal Concept Analysis from the shell: concepts, diagrams, implications and rules.",
        epilog=_epilog(),
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", parser_class=_Parser)

    def command(name: str, summary: str, output_formats: Sequence[str] = ()) -> _Parser:
        sub: _Parser = commands.add_parser(name, help=summary, description=summary, epilog=_epilog(name),
                                           formatter_class=argparse.RawDescriptionHelpFormatter)
        sub.add_argument("file", metavar="FILE", help=f'a context file, "-" for stdin, or {DATASET_PREFIX}NAME')
        sub.add_argument("--format", choices=FORMATS, help="the reader of FILE (default: from its extension or data)")
        if output_formats:
            shown = "; ".join(OUTPUT_FORMATS[name] for name in output_formats)
            sub.add_argument("--output-format", choices=output_formats, default=output_formats[0],
                             help=f"what stdout gets, {shown} (default: {output_formats[0]})")
        return sub

    def mining(sub: _Parser, support_required: bool = False) -> None:
        sub.add_argument("--min-support", type=_support, default=None if support_required else 0,
                         required=support_required, metavar="N|F",
                         help="least objects (an int) or fraction of them (a float in (0, 1])")
        sub.add_argument("--threads", type=int, default=None, help="worker threads (default: every core)")

    def walk(sub: _Parser) -> None:
        mining(sub)
        sub.add_argument("--algorithm", default="fcbo", help="next-closure, in-close-5 or fcbo (default)")
        sub.add_argument("--max-concepts", type=int, default=None, metavar="N",
                         help="stop with an error past this many concepts")

    sub = command("concepts", "Write the concepts, one a line, as they are found.", ("jsonl", "csv", "fimi"))
    walk(sub)
    sub.add_argument("--no-extents", action="store_true", help="leave the extents out (fimi never has them)")

    sub = command("lattice", "Draw the concept lattice to a file.")
    walk(sub)
    sub.add_argument("-o", "--output", required=True, metavar="OUT",
                     help="the diagram: " + ", ".join(DIAGRAM_EXTENSIONS) + " (the extension chooses)")
    sub.add_argument("--labels", default="reduced", help="reduced (default), full, counts or none")
    sub.add_argument("--layout", default="layered", help="layered (default) or additive")

    sub = command("implications", "Write the implications of a basis.", ("jsonl", "csv", "fimi"))
    sub.add_argument("--min-support", type=_support, default=0, metavar="N|F",
                     help="least objects (or fraction of them) having the premise")
    sub.add_argument("--basis", default="canonical", help="canonical (default) or proper-premise")

    sub = command("rules", "Write the association rules between frequent closed sets.", ("jsonl", "csv", "fimi"))
    mining(sub, support_required=True)
    sub.add_argument("--min-confidence", type=_fraction, required=True, metavar="F", help="least confidence, in [0, 1]")
    sub.add_argument("--basis", default="luxenburger", help="luxenburger (default) or all")
    sub.add_argument("--max-premise", type=int, default=None, metavar="N", help="most attributes in a premise")

    sub = command("convert", "Write the context in another format.")
    sub.add_argument("out", metavar="OUT", help='the file to write (its extension chooses the format), or "-"')
    sub.add_argument("--to", choices=FORMATS, help="the format of OUT (needed for stdout)")

    sub = command("info", "Describe the context: its size, crosses, and its clarified and reduced sizes.",
                  ("text", "jsonl", "csv"))
    walk(sub)
    sub.add_argument("--count-concepts", action="store_true", help="also count the concepts (streamed)")
    return parser


# -- input ------------------------------------------------------------------------------------------------------------


def load_context(source: str, format: Optional[str] = None) -> Context:
    """The context a FILE argument names: a file, "-" for stdin, or ``dataset:NAME``."""
    if source.startswith(DATASET_PREFIX):
        name = source[len(DATASET_PREFIX):]
        if name in TABLES:
            from tessara.lab._scale import scale

            return scale(TABLES[name]())
        if name not in datasets.names():
            known = ", ".join(sorted((*datasets.names(), *TABLES)))
            raise BadInput(f"no bundled dataset named {name!r}: expected one of {known}")
        return datasets.load(name)
    if source == "-":
        return read(sys.stdin.buffer.read(), format)
    try:
        return read(source, format)
    except OSError as error:
        raise BadInput(f"cannot read {source}: {error.strerror or error}") from None


# -- output -----------------------------------------------------------------------------------------------------------


def _finite(value: float) -> Optional[float]:
    # JSON has no NaN or infinity; such a measure is written as null.
    return value if math.isfinite(value) else None


def _fimi_set(indices: Iterable[int]) -> str:
    return " ".join(map(str, indices))


class _Rows:
    """Writes rows of one kind to a text stream as JSON lines, CSV or FIMI-style text."""

    def __init__(self, stream: IO[str], output_format: str, columns: Sequence[str]) -> None:
        self._stream = stream
        self._format = output_format
        self._columns = columns
        self._csv = csv.writer(stream, lineterminator="\n") if output_format == "csv" else None
        if self._csv is not None:
            self._csv.writerow(columns)

    def write(self, values: Sequence[Any], fimi: str = "") -> None:
        if self._format == "fimi":
            self._stream.write(fimi + "\n")
        elif self._csv is not None:
            # Names inside one cell are separated by ";".
            self._csv.writerow([";".join(value) if isinstance(value, tuple) else value for value in values])
        else:
            self._stream.write(json.dumps(dict(zip(self._columns, values)), ensure_ascii=False) + "\n")


def _concepts(args: argparse.Namespace, context: Context, out: IO[str]) -> None:
    stream = context.iter_concepts(args.min_support, args.algorithm, args.threads, max_concepts=args.max_concepts,
                                   progress=sys.stderr.isatty())
    extents = not args.no_extents
    rows = _Rows(out, args.output_format, ("index", "support", "intent") + (("extent",) if extents else ()))
    fimi = args.output_format == "fimi"
    for concept in stream:
        if fimi:
            intent = _fimi_set(concept.intent_indices.tolist())
            rows.write((), f"{intent} ({concept.support})" if intent else f"({concept.support})")
        else:
            values = (concept.index, concept.support, concept.intent)
            rows.write(values + (concept.extent,) if extents else values)


def _implications(args: argparse.Namespace, context: Context, out: IO[str]) -> None:
    positions = {name: i for i, name in enumerate(context.attributes)}
    rows = _Rows(out, args.output_format, ("premise", "conclusion", "support"))
    for implication in context.implications(args.min_support, args.basis):
        premise = _fimi_set(positions[name] for name in implication.premise)
        conclusion = _fimi_set(positions[name] for name in implication.conclusion)
        rows.write((implication.premise, implication.conclusion, implication.support),
                   f"{premise} -> {conclusion} ({implication.support})")


def _rules(args: argparse.Namespace, context: Context, out: IO[str]) -> None:
    positions = {name: i for i, name in enumerate(context.attributes)}
    found = context.rules(args.min_support, args.min_confidence, args.basis, max_premise=args.max_premise,
                          threads=args.threads, progress=sys.stderr.isatty())
    columns = ("premise", "conclusion", "support", "support_fraction", "confidence", "lift", "leverage", "conviction")
    rows = _Rows(out, args.output_format, columns)
    json_lines = args.output_format == "jsonl"
    for rule in found:
        measures = [getattr(rule, column) for column in columns[2:]]
        if json_lines:
            measures = [_finite(value) if isinstance(value, float) else value for value in measures]
        premise = _fimi_set(positions[name] for name in rule.premise)
        conclusion = _fimi_set(positions[name] for name in rule.conclusion)
        rows.write((rule.premise, rule.conclusion, *measures),
                   f"{premise} -> {conclusion} ({rule.support}, {rule.confidence:.6g})")


def _lattice(args: argparse.Namespace, context: Context, out: IO[str]) -> None:
    extension = os.path.splitext(args.output)[1].lower()
    if extension not in DIAGRAM_EXTENSIONS:
        known = ", ".join(DIAGRAM_EXTENSIONS)
        raise BadInput(f"cannot tell the diagram format from {args.output!r}: end it in {known}")
    lattice = context.lattice(args.algorithm, min_support=args.min_support, max_concepts=args.max_concepts,
                              threads=args.threads, progress=sys.stderr.isatty())
    diagram = lattice.draw(args.labels, args.layout)
    try:
        diagram.save(args.output)
    except OSError as error:
        raise BadInput(f"cannot write {args.output}: {error.strerror or error}") from None


def _convert(args: argparse.Namespace, context: Context, out: IO[str]) -> None:
    if args.out == "-":
        if args.to is None:
            raise BadInput("writing to stdout needs --to FORMAT")
        data = context.to_bytes(args.to)
        out.flush()
        sys.stdout.buffer.write(data)
        return
    if args.to is None and os.path.splitext(args.out)[1][1:].lower() not in FORMATS:
        raise BadInput(f"cannot tell the format from {args.out!r}: end it in .{', .'.join(FORMATS)} or pass --to")
    try:
        context.write(args.out, args.to)
    except OSError as error:
        raise BadInput(f"cannot write {args.out}: {error.strerror or error}") from None


def _info(args: argparse.Namespace, context: Context, out: IO[str]) -> None:
    n_objects, n_attributes = context.shape
    incidence = context.incidence
    crosses = int(incidence.sum())
    clarified, reduced = context.clarify().shape, context.reduce().shape
    facts: dict[str, Any] = {
        "source": args.file,
        "objects": n_objects,
        "attributes": n_attributes,
        "crosses": crosses,
        "density": round(crosses / (n_objects * n_attributes), 6) if n_objects and n_attributes else 0.0,
        "objects_without_attributes": int((~incidence.any(axis=1)).sum()),
        "attributes_without_objects": int((~incidence.any(axis=0)).sum()),
        "clarified": f"{clarified[0]}x{clarified[1]}",
        "reduced": f"{reduced[0]}x{reduced[1]}",
    }
    if args.count_concepts:
        stream = context.iter_concepts(args.min_support, args.algorithm, args.threads,
                                       max_concepts=args.max_concepts, progress=sys.stderr.isatty())
        facts["concepts"] = sum(1 for _ in stream)
    if args.output_format == "jsonl":
        out.write(json.dumps(facts, ensure_ascii=False) + "\n")
    elif args.output_format == "csv":
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(("fact", "value"))
        writer.writerows(facts.items())
    else:
        for key, value in facts.items():
            out.write(f"{key.replace('_', ' ')}: {value}\n")


COMMANDS = {
    "concepts": _concepts,
    "lattice": _lattice,
    "implications": _implications,
    "rules": _rules,
    "convert": _convert,
    "info": _info,
}


# -- entry ------------------------------------------------------------------------------------------------------------

# Keyword names in the library's messages, as the options that set them here.
_KEYWORDS = re.compile(r"\b(min_support|min_confidence|max_concepts|max_premise|threads(?= must))\b")


def _one_line(error: BaseException) -> str:
    text = " ".join(str(error).split()) or type(error).__name__
    return _KEYWORDS.sub(lambda match: "--" + match[1].replace("_", "-"), text)


def _silence_stdout() -> None:
    # The reader has gone: later writes (and the flush at exit) go nowhere instead of raising again.
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        os.close(devnull)
    except (OSError, ValueError):
        pass


def main(argv: Optional[Sequence[str]] = None) -> int:
    """Run the ``tessara`` command line.

    Parameters
    ----------
    argv : sequence of str, optional
        The arguments after the program name; by default ``sys.argv[1:]``.

    Returns
    -------
    int
        The exit status: 0 on success, 1 on bad input (with one line on stderr), 130 on Ctrl-C, 141 when
        stdout was closed early.

    Examples
    --------
    >>> from tessara.lab._cli import main
    >>> main(["info", "dataset:planets"])
    source: dataset:planets
    objects: 9
    attributes: 7
    crosses: 27
    density: 0.428571
    objects without attributes: 0
    attributes without objects: 0
    clarified: 5x7
    reduced: 5x7
    0
    >>> main(["concepts", "dataset:planets", "--output-format", "fimi", "--min-support", "4"])
    (9)
    0 (5)
    0 3 (4)
    4 5 (5)
    5 (7)
    0
    """
    out = sys.stdout
    # Names are written as UTF-8 whatever the locale says (JSON text is UTF-8 in any case).
    if str(getattr(out, "encoding", "utf-8")).lower().replace("-", "") != "utf8" and hasattr(out, "reconfigure"):
        out.reconfigure(encoding="utf-8")
    try:
        args = _parser().parse_args(argv)
        if args.command is None:
            raise BadInput(f"{PROG}: choose a command: {', '.join(COMMANDS)} (see {PROG} --help)")
        context = load_context(args.file, args.format)
        COMMANDS[args.command](args, context, out)
        out.flush()
    except SystemExit as done:  # --help and --version
        return done.code if isinstance(done.code, int) else EXIT_OK
    except KeyboardInterrupt:
        return EXIT_INTERRUPTED
    except BrokenPipeError:
        _silence_stdout()
        return EXIT_BROKEN_PIPE
    except (BadInput, ValueError, ImportError, OSError) as error:
        try:
            out.flush()
        except BrokenPipeError:
            _silence_stdout()
        message = _one_line(error)
        sys.stderr.write(message if message.startswith(f"{PROG}") else f"{PROG}: error: {message}")
        sys.stderr.write("\n")
        return EXIT_BAD_INPUT
    return EXIT_OK
