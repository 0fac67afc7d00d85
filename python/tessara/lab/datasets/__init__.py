"""Classic formal contexts and many-valued tables that ship with tessara, so examples need no download.

Formal contexts, read with :func:`load` (objects x attributes, concepts; source, licence):

- ``animals``: 35 x 11, 35 concepts; animals and what they are (eggs, fur, four-legged, …).
  fcatools/contexts (animals_en.cxt), CC0 1.0.
- ``liveinwater``: 8 x 9, 19 concepts; living beings and water, the textbook example.
  xflr6/concepts (examples/), MIT, (c) Sebastian Bank.
- ``planets``: 9 x 7, 12 concepts; the nine planets by size, distance from the sun and whether they have a
  moon. Textbook facts, public domain.
- ``seasoningplanner``: 56 x 37, 532 concepts; seasonings and the dishes they suit (German names).
  fcatools/contexts (seasoningplanner_de.cxt), CC0 1.0.
- ``tealady``: 18 x 14, 65 concepts; the tea ladies of the classic example.
  fcatools/contexts (tealady.cxt), CC0 1.0.

Many-valued tables, as pandas DataFrames to scale with :func:`tessara.lab.scale`:

- :func:`load_mushroom`: UCI Mushroom (Schlimmer, 1987), 8,124 mushrooms x 23 categorical columns.
- :func:`load_adult`: UCI Adult (Becker and Kohavi, 1996), the census-income training table, 32,561 people x
  15 columns.

Both come from the UCI Machine Learning Repository under CC BY 4.0 and are shipped gzip-compressed, unchanged
but for a header row of UCI's column names (and, in Adult, no space after the commas). The MIT notice of
liveinwater.csv is in liveinwater.LICENSE.txt beside the data.
"""

from __future__ import annotations

import io
from importlib import resources
from typing import Any

from tessara.lab._context import Context
from tessara.lab._io import read
from tessara.lab._optional import optional_module

# Each context's file in this package; the file's extension chooses the reader.
_FILES = {
    "animals": "animals_en.cxt",
    "liveinwater": "liveinwater.csv",
    "planets": "planets.cxt",
    "seasoningplanner": "seasoningplanner_de.cxt",
    "tealady": "tealady.cxt",
}
_ADULT_NUMBERS = ("age", "fnlwgt", "education-num", "capital-gain", "capital-loss", "hours-per-week")

__all__ = ["load", "load_adult", "load_mushroom", "names"]


def _data(filename: str) -> bytes:
    return resources.files(__name__).joinpath(filename).read_bytes()


def names() -> tuple[str, ...]:
    """The names of the bundled formal contexts, in alphabetical order.

    Returns
    -------
    tuple of str
        Each one a name :func:`load` takes.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> tl.datasets.names()
    ('animals', 'liveinwater', 'planets', 'seasoningplanner', 'tealady')
    """
    return tuple(sorted(_FILES))


def load(name: str) -> Context:
    """A bundled formal context.

    Parameters
    ----------
    name : str
        One of :func:`names`: "animals", "liveinwater", "planets", "seasoningplanner" or "tealady".

    Returns
    -------
    Context

    Raises
    ------
    ValueError
        When no bundled context has this name; the message lists the names.
    TypeError
        When ``name`` is not a str.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> planets = tl.datasets.load("planets")
    >>> planets
    Context(objects=9, attributes=7)
    >>> planets.attributes
    ('small', 'medium', 'large', 'near', 'far', 'moon', 'no moon')
    >>> planets.intent(["Earth"])
    ('small', 'near', 'moon')
    >>> len(planets.lattice())
    12
    """
    if not isinstance(name, str):
        raise TypeError(f"a dataset name must be a str, not {type(name).__name__}")
    filename = _FILES.get(name)
    if filename is None:
        raise ValueError(f"no bundled dataset named {name!r}: expected one of {', '.join(names())}")
    return read(_data(filename), format=filename.rsplit(".", 1)[1])


def _read_table(filename: str, **options: Any) -> Any:
    pd = optional_module("pandas")
    # Only "?" marks a missing value: text such as "None" or "NA" is never taken for one.
    return pd.read_csv(io.BytesIO(_data(filename)), compression="gzip", na_values=["?"], keep_default_na=False,
                       **options)


def load_mushroom() -> Any:
    """UCI Mushroom: 8,124 mushrooms described by 23 categorical columns, the first (``edibility``) the class.

    Returns
    -------
    pandas.DataFrame
        One row per mushroom (a RangeIndex), every column of ``category`` dtype holding UCI's one-letter codes
        (``edibility``: "e" edible, "p" poisonous; ``odor``: "a" almond, "n" none, …). The 2,480 unknown
        ``stalk-root`` values are missing (NaN), so scaling gives them no ``stalk-root`` attribute.

    Raises
    ------
    ImportError
        Without pandas (``pip install tessara[pandas]``).

    Notes
    -----
    Source: the UCI Machine Learning Repository, Mushroom (J. Schlimmer, 1987), CC BY 4.0. Nominal scaling of
    every column gives 118 attributes; with the unknown stalk roots kept as a value of their own it gives the
    classic benchmark context (FIMI's ``mushroom.dat``): 119 attributes and 238,710 concepts.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> mushrooms = tl.datasets.load_mushroom()
    >>> mushrooms.shape
    (8124, 23)
    >>> mushrooms["edibility"].value_counts().to_dict()
    {'e': 4208, 'p': 3916}
    >>> tl.scale(mushrooms).shape
    (8124, 118)
    >>> mushrooms["stalk-root"] = mushrooms["stalk-root"].cat.add_categories("?").fillna("?")
    >>> context = tl.scale(mushrooms)
    >>> context.shape
    (8124, 119)
    >>> sum(1 for _ in context.iter_concepts())
    238710
    """
    return _read_table("mushroom.csv.gz", dtype="category")


def load_adult() -> Any:
    """UCI Adult (census income): 32,561 people, 6 numeric and 9 categorical columns, ``income`` the class.

    Returns
    -------
    pandas.DataFrame
        One row per person (a RangeIndex). The numeric columns (age, fnlwgt, education-num, capital-gain,
        capital-loss, hours-per-week) are int64, the others of ``category`` dtype. Unknown values ("?" in
        workclass, occupation and native-country, 2,399 rows) are missing (NaN).

    Raises
    ------
    ImportError
        Without pandas (``pip install tessara[pandas]``).

    Notes
    -----
    Source: the UCI Machine Learning Repository, Adult (B. Becker and R. Kohavi, 1996), the training file,
    CC BY 4.0.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> adult = tl.datasets.load_adult()
    >>> adult.shape
    (32561, 15)
    >>> adult["income"].value_counts().to_dict()
    {'<=50K': 24720, '>50K': 7841}
    >>> context = tl.scale(adult[["age", "sex", "income"]], {"age": tl.Ordinal(cuts=[30, 50])})
    >>> context.attributes
    ('age<=30', 'age<=50', 'sex=Female', 'sex=Male', 'income=<=50K', 'income=>50K')
    """
    frame = _read_table("adult.csv.gz")
    for column in frame.columns:
        if column not in _ADULT_NUMBERS:
            frame[column] = frame[column].astype("category")
    return frame
