"""Calls that tessara refuses at run time; type checkers must report each marked line, and no other."""

import tessara

ctx = tessara.parse_context(b"B\n\n2\n3\n\ng1\ng2\nm1\nm2\nm3\nX.X\n.XX\n")
tessara.parse_context("B\n\n0\n0\n\n")  # misuse: str where bytes are expected
tessara.parse_context(b"", filename=None)  # misuse: None is not a file name
tessara.compute_concepts(ctx, algo="fcbo")  # misuse: unknown keyword
tessara.compute_implications(ctx, "fcbo")  # misuse: too many arguments
tessara.compute_lattice(tessara.compute_lattice(ctx))  # misuse: a Lattice is not a Context
print(tessara.compute_concepts(ctx)[0]["extnt"])  # misuse: misspelt dict key
print(tessara.compute_implications(ctx)[0]["suport"])  # misuse: misspelt dict key
print(tessara.compute_lattice(ctx).n_concepts.upper())  # misuse: n_concepts is an int
tessara.compute_lattice(ctx).svg(1)  # misuse: svg takes no argument
