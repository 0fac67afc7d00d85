"""Quick start: parse a Burmeister CXT file, list its concepts and its
canonical implication base, and draw its concept lattice as SVG."""

from pathlib import Path

import tessara

HERE = Path(__file__).resolve().parent


def names(items):
    return "{" + ", ".join(items) + "}"


def main():
    data = (HERE / "data" / "animals.cxt").read_bytes()
    ctx = tessara.parse_context(data, filename="animals.cxt")
    print(ctx)

    concepts = tessara.compute_concepts(ctx)
    print(f"\n{len(concepts)} concepts (next-closure, lectic order of intents):")
    for concept in concepts:
        print(f"  {names(concept['extent'])}  |  {names(concept['intent'])}")

    implications = tessara.compute_implications(ctx)
    print(f"\n{len(implications)} implications (Duquenne-Guigues canonical base):")
    for rule in implications:
        implied = [name for name in rule["conclusion"] if name not in rule["premise"]]
        print(f"  {names(rule['premise'])} -> {names(implied)}  (support {rule['support']})")

    lattice = tessara.compute_lattice(ctx)
    out = Path("lattice.svg")
    out.write_text(lattice.svg(), encoding="utf-8")
    print(f"\n{lattice}: Hasse diagram written to {out.resolve()}")

    # The same table through tessara.lab: a diagram with names, and association rules.
    import tessara.lab as tl

    K = tl.read(HERE / "data" / "animals.cxt")
    labelled = Path("lattice_labelled.html")
    K.lattice().draw().save(labelled)
    print(f"Labelled, interactive diagram written to {labelled.resolve()}")
    rules = K.rules(min_support=3, min_confidence=0.7)
    print(f"\n{len(rules)} association rules (Luxenburger basis, support >= 3, confidence >= 0.7):")
    for rule in rules:
        print(f"  {names(rule.premise)} -> {names(rule.conclusion)}  "
              f"(support {rule.support}, confidence {rule.confidence:.2f}, lift {rule.lift:.2f})")


if __name__ == "__main__":
    main()
