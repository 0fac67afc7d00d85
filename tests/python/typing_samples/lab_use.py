"""tessara.lab used as its inline types allow: mypy --strict and basedpyright must accept it all."""

from __future__ import annotations

import pathlib
import tempfile

import numpy as np
import numpy.typing as npt

import tessara.lab as tl


def summary() -> str:
    context = tl.Context(["duck", "dog"], ["flies", "barks", "legs"], np.array([[1, 0, 1], [0, 1, 1]]))
    again: tl.Context = tl.read(context.to_bytes("cxt"), format="cxt")
    shape: tuple[int, int] = again.shape
    names: tuple[str, ...] = context.extent(["legs"]) + context.intent("dog") + context.closure([0, "flies"])
    crosses: npt.NDArray[np.bool_] = context.select(objects=[1], attributes=None).transpose().incidence
    smaller: list[tl.Context] = [context.clarify(), context.reduce()]

    lattice: tl.Lattice = context.lattice(algorithm="next-closure")
    first: tl.Concept = lattice[0]
    some: list[tl.Concept] = lattice[1:]
    bottom = lattice.bottom  # None in an iceberg lattice without the real bottom
    around: tuple[tl.Concept, ...] = lattice.top.lower + (bottom.upper if bottom is not None else ())
    joined: tl.Concept = lattice.join(first, 1)
    met = lattice.meet(lattice.object_concept("duck"), lattice.attribute_concept("legs"))
    edges: npt.NDArray[np.intp] = lattice.edges
    below: bool = met <= joined
    facts: list[int] = [c.index + c.support + len(c.extent_indices) + len(c.intent) for c in lattice]

    base: tl.Implications = context.implications(min_support=1, basis="proper-premise")
    implication: tl.Implication = base[0]
    rules: tl.Rules = context.rules(0.5, 0.4, basis="all", premise_excludes=["barks"], max_premise=2)
    lifts: list[float] = [rule.lift + rule.support_fraction for rule in rules] + [implication.confidence]
    keys: tuple[tuple[str, ...], ...] = lattice.generators(first) + first.generators
    stable: tl.Stability = lattice.stability(method="sampled", samples=100, seed=1)
    bound: float = stable.error_bound + stable[0] + len(lattice.delta_stability()) + len(stable.values)
    frames = (base.to_pandas(), rules.to_pandas(), lattice.to_pandas(measures=("stability", "generators")))

    scaled = tl.scale(context.to_pandas(), {"flies": tl.Nominal(), "legs": None, "barks": "nominal"})
    with tempfile.TemporaryDirectory() as folder:
        path = pathlib.Path(folder) / "lattice.json"
        lattice.save(path)
        loaded: tl.Lattice = tl.load(path)
    return repr((shape, names, crosses, smaller, some, around, edges, below, facts, scaled, loaded, lifts, keys, bound,
                 frames))


def drawing() -> str:
    """A labelled diagram, shown and saved."""
    lattice = tl.Context(["duck", "dog"], ["flies", "legs"], np.array([[1, 1], [0, 1]])).lattice()
    diagram: tl.Diagram = lattice.draw("counts", "additive", highlight=lattice.top, shade_by_support=True)
    with tempfile.TemporaryDirectory() as folder:
        diagram.save(pathlib.Path(folder) / "lattice.tex")
    size: float = diagram.width + diagram.height
    return diagram.caption + diagram.html()[:5] + lattice.draw(counts_above=None).svg()[:5] + str(size)


def big() -> str:
    context = tl.Context(["duck", "dog"], ["flies", "barks", "legs"], np.array([[1, 0, 1], [0, 1, 1]]))
    counts: list[int] = []
    iceberg: tl.Lattice = context.lattice(min_support=0.5, max_concepts=100, threads=None, progress=counts.append)
    streamed: list[tl.StreamedConcept] = list(context.iter_concepts(1, "in-close-5", 1, max_concepts=10))
    sizes: list[int] = [c.index + c.support + len(c.extent_indices) + len(c.intent) for c in streamed]
    refused: ValueError | None = None
    try:
        _ = context.lattice(max_concepts=1)
    except tl.TooManyConcepts as error:
        refused = error
    return repr((iceberg.bottom, sizes, counts, refused))


def calculus() -> str:
    """Implications reasoned with, a context explored with a simulated expert, contexts composed."""
    context = tl.Context(["duck", "dog"], ["flies", "barks", "legs"], np.array([[1, 0, 1], [0, 1, 1]]))
    given: tl.Implications = tl.Implications.from_pairs([("flies", "legs"), (["barks"], ["legs"])], context)
    closed: tuple[str, ...] = given.closure(["flies"])
    facts: list[bool] = [given.entails(("flies", "legs")), given.equivalent(given.canonical()),
                         given.holds_in(context), given.respected_by(["legs"])]
    bases = [given.canonical(), given.minimal_cover(), given.direct()]

    def expert(implication: tl.Implication, known: tl.Context) -> list[tuple[str, list[str]]] | None:
        return None if implication.premise else [(f"x{len(known.objects)}", [])]

    found: tl.ExplorationResult = context.explore(expert)
    run = tl.Exploration(context)
    question: tl.Implication | None = run.question
    composed = tl.direct_sum(tl.apposition(context, context.complement().rename(attributes=lambda m: "no " + m)),
                             tl.subposition(context, tl.random_context(2, 3, 0.5, seed=1).rename(
                                 attributes=dict(zip(("m0", "m1", "m2"), context.attributes)))))
    product: tl.Context = tl.direct_product(context, context)
    return repr((closed, facts, bases, found.counterexamples, question, composed.shape, product.shape))

if __name__ == "__main__":
    print(summary())
    print(drawing())
    print(big())
    print(calculus())
