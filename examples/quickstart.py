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


if __name__ == "__main__":
    main()
