"""Every function and member of tessara used as its stubs allow; type checkers must accept it all."""

from __future__ import annotations

from typing import TYPE_CHECKING

import tessara

if TYPE_CHECKING:
    from tessara import ConceptDict, ImplicationDict

DATA = b"B\n\n2\n3\n\ng1\ng2\nm1\nm2\nm3\nX.X\n.XX\n"


def summary() -> str:
    ctx: tessara.Context = tessara.parse_context(DATA)
    same = tessara.parse_context(bytes=DATA, filename="tiny.cxt")
    counts: tuple[int, int] = (ctx.n_objects, same.n_attributes)

    names: list[str] = tessara.supported_algorithms()
    concepts: list[ConceptDict] = tessara.compute_concepts(ctx)
    by_name = tessara.compute_concepts(ctx, algorithm=names[-1])
    extents: list[list[str]] = [concept["extent"] for concept in concepts + by_name]
    intents: list[list[str]] = [concept["intent"] for concept in concepts]

    implications: list[ImplicationDict] = tessara.compute_implications(ctx=ctx)
    strength: list[tuple[list[str], list[str], int, float]] = [
        (rule["premise"], rule["conclusion"], rule["support"], rule["confidence"]) for rule in implications
    ]

    lattice: tessara.Lattice = tessara.compute_lattice(ctx, "fcbo")
    default_lattice = tessara.compute_lattice(ctx)
    size: int = lattice.n_concepts + default_lattice.n_concepts
    drawn: list[str] = [lattice.svg(), lattice._repr_svg_(), lattice._repr_html_()]
    again: list[ConceptDict] = lattice.concepts()

    version: str = tessara.__version__
    public: list[str] = tessara.__all__
    return repr((counts, extents, intents, strength, size, len(drawn), again, version, public, repr(lattice)))


print(summary())
