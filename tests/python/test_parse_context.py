"""parse_context: argument binding, conversions, CXT end to end and its errors."""


import pytest

import tessara
from conftest import DATA, run_limited

EXAMPLE = b"B\n\n2\n3\n\ng1\ng2\n\nm1\nm2\nm3\n\nX.X\n.XX\n"


def concepts_of(data, **kwargs):
    return tessara.compute_concepts(tessara.parse_context(data, **kwargs))


def test_cxt_without_filename_and_by_keyword():
    ctx = tessara.parse_context(EXAMPLE)
    assert repr(ctx) == "Context(objects=2, attributes=3)"
    same = tessara.parse_context(bytes=EXAMPLE, filename="data/Example.CXT")
    assert (same.n_objects, same.n_attributes) == (2, 3)
    assert concepts_of(EXAMPLE) == concepts_of(EXAMPLE, filename="x.cxt")


def test_bytes_subclass_is_accepted_and_left_untouched():
    class Payload(bytes):
        pass

    data = Payload(EXAMPLE)
    tessara.parse_context(data)
    assert data == EXAMPLE


@pytest.mark.parametrize(
    "args, kwargs, fragment",
    [
        ((), {}, "missing required argument 'bytes'"),
        ((EXAMPLE, "a.cxt", 3), {}, "at most 2 arguments"),
        ((EXAMPLE,), {"file": "a.cxt"}, "'file' is an invalid keyword argument for parse_context()"),
        ((EXAMPLE,), {"bytes": EXAMPLE}, "given by name ('bytes') and position (1)"),
    ],
)
def test_argument_binding_uses_python_wording(args, kwargs, fragment):
    with pytest.raises(TypeError) as caught:
        tessara.parse_context(*args, **kwargs)
    assert fragment in str(caught.value)
    assert "parse_context" in str(caught.value)


@pytest.mark.parametrize(
    "args, parameter",
    [
        (("B\n0\n0\n",), "bytes"),
        ((bytearray(EXAMPLE),), "bytes"),
        ((memoryview(EXAMPLE),), "bytes"),
        ((None,), "bytes"),
        ((EXAMPLE, None), "filename"),
        ((EXAMPLE, b"a.cxt"), "filename"),
        (("text", None), "bytes"),
    ],
)
def test_conversion_errors_name_the_parameter(args, parameter):
    with pytest.raises(TypeError) as caught:
        tessara.parse_context(*args)
    message = str(caught.value)
    assert f"'{parameter}'" in message
    assert type(args[0] if parameter == "bytes" else args[1]).__name__ in message


def test_unencodable_filename_raises_the_interpreters_error():
    with pytest.raises(UnicodeEncodeError):
        tessara.parse_context(EXAMPLE, "\ud800.cxt")


def test_csv_bytes_without_filename_are_read_as_cxt():
    with pytest.raises(ValueError, match=r"^parse error: parse error in cxt: "):
        tessara.parse_context(b"name,a,b\no1,1,0\n")


@pytest.mark.parametrize(
    "data, message",
    [
        (b"", "parse error in cxt: input is empty"),
        (b"  \n\n", "parse error in cxt: input is empty"),
        (b"BX\n", 'parse error in cxt: expected format header "B", got "BX"'),
        ("\ufeffB\n".encode(), 'parse error in cxt: expected format header "B", got "\\u{feff}B"'),
        (b"B\n", "parse error in cxt: expected object count, reached end of input"),
        (b"B\n2\n", "parse error in cxt: expected attribute count, reached end of input"),
        (b"B\n-3\n1\n", 'parse error in cxt: expected object count as a non-negative integer, got "-3"'),
        (b"B\n3.0\n1\n", 'parse error in cxt: expected object count as a non-negative integer, got "3.0"'),
        (b"B\n2 3\n", 'parse error in cxt: expected object count as a non-negative integer, got "2 3"'),
        (b"B\n2\nx\n", 'parse error in cxt: expected attribute count as a non-negative integer, got "x"'),
        (b"B\n2\n1\ng1\n", "invalid cxt data: expected 2 object names, got 1"),
        (b"B\n1\n2\ng1\nm1\n", "invalid cxt data: expected 2 attribute names, got 1"),
        (b"B\n2\n1\ng1\ng2\nm1\nX\n", "invalid cxt data: expected 2 incidence rows, got 1"),
        (b"B\n1\n3\ng\na\nb\nc\nX\n", "invalid cxt data: row 0 has length 1, expected 3"),
        (b"B\n1\n1\ng\nm\nX\nmore\n", 'invalid cxt data: unexpected content after the last incidence row: "more"'),
        (b"B\n0\n0\n\xff\n", "I/O error: stream did not contain valid UTF-8"),
        (b"B\r2\r1\rg\rm\rX\r", 'parse error in cxt: expected format header "B", got "B\\r2\\r1\\rg\\rm\\rX"'),
    ],
)
def test_cxt_errors(data, message):
    with pytest.raises(ValueError) as caught:
        tessara.parse_context(data)
    assert str(caught.value) == "parse error: " + message


@pytest.mark.parametrize(
    "data, filename, message",
    [
        (b"", "notes", "invalid auto data: could not detect format from extension or first 0 bytes"),
        (b"a\tb\tc\n" * 100, "notes.txt", "invalid auto data: could not detect format from extension or first 256 bytes"),
    ],
)
def test_undetectable_format(data, filename, message):
    with pytest.raises(ValueError) as caught:
        tessara.parse_context(data, filename)
    assert str(caught.value) == "parse error: " + message


@pytest.mark.parametrize(
    "text, expected_rows",
    [
        ("B\n\n2\n3\n\ng1\ng2\n\nm1\nm2\nm3\n\nX.X\n.XX\n", [["m1", "m3"], ["m2", "m3"]]),
        ("b\r\n2\r\n3\r\ng1\r\ng2\r\nm1\r\nm2\r\nm3\r\nX.x\r\n.XX\r\n", [["m1", "m3"], ["m2", "m3"]]),
        ("  B  \n 2\n3 \n\n\n g1\ng2\nm1\nm2\nm3\nXaX\n.XX..\n\n", [["m1", "m3"], ["m2", "m3"]]),
    ],
)
def test_cxt_layouts_give_the_same_context(text, expected_rows):
    ctx = tessara.parse_context(text.encode())
    # The object concepts ({g}'' , {g}') give back each row.
    concepts = tessara.compute_concepts(ctx)
    intents = {tuple(c["extent"]): c["intent"] for c in concepts}
    assert [intents[("g1",)], intents[("g2",)]] == expected_rows


def test_real_files_load():
    planner = tessara.parse_context((DATA / "seasoningplanner_de.cxt").read_bytes())
    assert (planner.n_objects, planner.n_attributes) == (56, 37)
    animals = tessara.parse_context((DATA / "animals_en.cxt").read_bytes(), "animals_en.cxt")
    assert (animals.n_objects, animals.n_attributes) == (35, 11)


@pytest.mark.parametrize(
    "expression, message",
    [
        ('b"B\\n1000000000000000000\\n1\\ng\\n"', "invalid cxt data: expected 1000000000000000000 object names, got 1"),
        ('b"B\\n3\\n18446744073709551615\\na\\nb\\nc\\n"', "invalid cxt data: expected 18446744073709551615 attribute names, got 0"),
        ('b"\\n" * 10_000_000', "parse error in cxt: input is empty"),
        ('b"\\r" * 10_000_000', "parse error in cxt: input is empty"),
    ],
)
def test_hostile_cxt_fails_cleanly_in_bounded_memory(expression, message):
    result = run_limited(
        f"""
        import tessara
        try:
            tessara.parse_context({expression})
        except ValueError as error:
            print(error)
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("parse error: " + message)
