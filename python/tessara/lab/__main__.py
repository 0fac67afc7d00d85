"""``python -m tessara.lab``: the ``tessara`` command line."""

import sys

from tessara.lab._cli import main

if __name__ == "__main__":
    sys.exit(main())
