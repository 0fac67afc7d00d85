"""Write three large seeded random contexts for the parse-throughput benchmark.

By default a CSV table of 200,000 objects x 120 attributes (about 50 MB, cells
written as 1 and 0, as pandas' DataFrame.to_csv() writes an integer frame), a
JSON document of 60,000 objects x 120 attributes (about 50 MB, cells written
as true and false) and an FCA-XML document of 35,000 objects x 120 attributes
(about 50 MB, one HasAttribute element per cross, one object per line). The
same seed always gives the same files.

    python bench/gen_contexts.py [--out DIR] [--seed S] [--attributes M] [--csv-objects N]
                                 [--json-objects N] [--xml-objects N] [--density D]
"""

import argparse
import json
import os
import random
import tempfile


# Outside the work tree, so the large files are never committed by accident.
DEFAULT_DIR = os.path.join(tempfile.gettempdir(), "tessara-bench")


def random_rows(rng: random.Random, n_objects: int, n_attributes: int, density: float):
    threshold = int(density * 256)
    for _ in range(n_objects):
        noise = rng.randbytes(n_attributes)
        yield [byte < threshold for byte in noise]


def write_csv(path: str, rng: random.Random, n_objects: int, n_attributes: int, density: float) -> None:
    with open(path, "w", encoding="utf-8", newline="") as out:
        out.write("," + ",".join(f"attr_{m}" for m in range(n_attributes)) + "\n")
        for g, row in enumerate(random_rows(rng, n_objects, n_attributes, density)):
            out.write(f"object_{g}," + ",".join("1" if cell else "0" for cell in row) + "\n")


def write_json(path: str, rng: random.Random, n_objects: int, n_attributes: int, density: float) -> None:
    with open(path, "w", encoding="utf-8") as out:
        out.write('{"tessara_version": "0.2.0", "context": {\n')
        out.write(' "objects": ' + json.dumps([f"object_{g}" for g in range(n_objects)]) + ",\n")
        out.write(' "attributes": ' + json.dumps([f"attr_{m}" for m in range(n_attributes)]) + ",\n")
        out.write(' "incidence": [\n')
        for g, row in enumerate(random_rows(rng, n_objects, n_attributes, density)):
            separator = ",\n" if g + 1 < n_objects else "\n"
            out.write("  [" + ", ".join("true" if cell else "false" for cell in row) + "]" + separator)
        out.write(" ]\n}}\n")


def write_xml(path: str, rng: random.Random, n_objects: int, n_attributes: int, density: float) -> None:
    with open(path, "w", encoding="utf-8") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n<Context>\n <Attributes>\n')
        for m in range(n_attributes):
            out.write(f'  <Attribute Name="attr_{m}"/>\n')
        out.write(" </Attributes>\n <Objects>\n")
        for g, row in enumerate(random_rows(rng, n_objects, n_attributes, density)):
            references = "".join(f'<HasAttribute AttributeIdentifier="{m}"/>' for m, cell in enumerate(row) if cell)
            out.write(f"  <Object><Name>object_{g}</Name>{references}</Object>\n")
        out.write(" </Objects>\n</Context>\n")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", default=DEFAULT_DIR, help=f"directory for the files (default {DEFAULT_DIR})")
    parser.add_argument("--seed", type=int, default=20240611)
    parser.add_argument("--attributes", type=int, default=120)
    parser.add_argument("--csv-objects", type=int, default=200_000)
    parser.add_argument("--json-objects", type=int, default=60_000)
    parser.add_argument("--xml-objects", type=int, default=35_000)
    parser.add_argument("--density", type=float, default=0.3)
    args = parser.parse_args()

    os.makedirs(args.out, exist_ok=True)
    rng = random.Random(args.seed)
    csv_path = os.path.join(args.out, "large.csv")
    json_path = os.path.join(args.out, "large.json")
    write_csv(csv_path, rng, args.csv_objects, args.attributes, args.density)
    xml_path = os.path.join(args.out, "large.xml")
    write_json(json_path, rng, args.json_objects, args.attributes, args.density)
    write_xml(xml_path, rng, args.xml_objects, args.attributes, args.density)
    for path in (csv_path, json_path, xml_path):
        print(f"{path}: {os.path.getsize(path) / 1e6:.1f} MB")


if __name__ == "__main__":
    main()
