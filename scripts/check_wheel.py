"""Checks the repaired wheel in dist/: a cp39-abi3 manylinux tag no newer than
manylinux_2_28, nothing needed outside that policy (auditwheel grafted no
library, and finds the module consistent with the tag), the package's
files and the stub package on board, and the same version as the installed module reports.

Usage: python scripts/check_wheel.py dist/tessara-*.whl
"""

import re
import subprocess
import sys
import zipfile
from pathlib import Path

NEWEST_GLIBC_MINOR = 28
REQUIRED_FILES = (
    "tessara/__init__.abi3.so",
    "tessara/_lab.abi3.so",
    "tessara/lab/__init__.py",
    "tessara/lab/py.typed",
    "tessara/lab/diagram.schema.json",
    "tessara-stubs/__init__.pyi",
    "tessara/lab/datasets/__init__.py",
    "tessara/lab/datasets/animals_en.cxt",
    "tessara/lab/datasets/liveinwater.csv",
    "tessara/lab/datasets/liveinwater.LICENSE.txt",
    "tessara/lab/datasets/planets.cxt",
    "tessara/lab/datasets/seasoningplanner_de.cxt",
    "tessara/lab/datasets/tealady.cxt",
    "tessara/lab/datasets/mushroom.csv.gz",
    "tessara/lab/datasets/adult.csv.gz",
)
# The bundled datasets stay small: at most this many bytes, compressed, in the wheel.
DATASETS_MOST_BYTES = 2_000_000


def failures(wheel):
    found = []
    match = re.fullmatch(r"tessara-(?P<version>[^-]+)-cp39-abi3-(?P<platforms>[a-z0-9_.]+)\.whl", wheel.name)
    if not match:
        return [f"{wheel.name}: not a cp39-abi3 wheel name"]
    platforms = match["platforms"].split(".")
    for platform in platforms:
        tag = re.fullmatch(r"manylinux_2_(\d+)_x86_64", platform)
        if not tag or int(tag[1]) > NEWEST_GLIBC_MINOR:
            found.append(f"platform tag {platform} is not manylinux_2_X_x86_64 with X <= {NEWEST_GLIBC_MINOR}")

    shown = subprocess.run(
        [sys.executable, "-m", "auditwheel", "show", str(wheel)], capture_output=True, text=True, check=True
    ).stdout
    shown = " ".join(shown.split())
    consistent = re.search(r'consistent with the following platform tag: "manylinux_2_(\d+)_x86_64"', shown)
    if not consistent or int(consistent[1]) > NEWEST_GLIBC_MINOR:
        found.append(f"auditwheel show: {shown}")
    if "external shared libraries are required" in shown:
        found.append(f"the wheel needs libraries outside the policy: {shown}")

    names = zipfile.ZipFile(wheel).namelist()
    if any(".libs/" in name for name in names):
        found.append(f"auditwheel grafted libraries into the wheel: {names}")
    # The package: the fixed module as its __init__, the lab's kernels and Python
    # code beside it, and the stub package.
    for wanted in REQUIRED_FILES:
        if wanted not in names:
            found.append(f"no {wanted} in the wheel: {names}")

    bundled = sum(info.compress_size for info in zipfile.ZipFile(wheel).infolist()
                  if info.filename.startswith("tessara/lab/datasets/"))
    if bundled > DATASETS_MOST_BYTES:
        found.append(f"the bundled datasets take {bundled} bytes in the wheel, more than {DATASETS_MOST_BYTES}")

    installed = subprocess.run(
        [sys.executable, "-c", "import tessara; print(tessara.__version__)"], capture_output=True, text=True, check=True
    ).stdout.strip()
    if installed != match["version"]:
        found.append(f"wheel version {match['version']} but the installed module reports {installed}")
    return found


def main(paths):
    wheels = [Path(path) for path in paths]
    if len(wheels) != 1:
        print(f"expected one wheel, got {paths}")
        return 1
    found = failures(wheels[0])
    for failure in found:
        print(f"FAIL {failure}")
    print(f"{wheels[0].name}: {'ok' if not found else 'failed'}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
