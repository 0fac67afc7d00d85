"""parse_context end to end for the CSV, FIMI, FCA-XML and JSON readers.

A context read from any format is compared with the same context read from
Burmeister CXT through compute_concepts: equal concept lists mean equal names
in the same order and equal incidence.
"""

import json

import pytest

import tessara
from conftest import DATA, cxt_bytes, parse_error_under_limit

OBJECTS = ["g0", "g1", "g2"]
ATTRIBUTES = ["m0", "m1", "m2", "m3"]
ROWS = [[1, 0, 1, 0], [0, 1, 1, 1], [0, 0, 0, 1]]


def concepts(data, filename):
    return tessara.compute_concepts(tessara.parse_context(data, filename))


REFERENCE = None


def reference_concepts():
    global REFERENCE
    if REFERENCE is None:
        REFERENCE = concepts(cxt_bytes(OBJECTS, ATTRIBUTES, ROWS), "ref.cxt")
    return REFERENCE


def csv_text(delimiter=","):
    lines = [delimiter.join(["name"] + ATTRIBUTES)]
    lines += [delimiter.join([g] + ["1" if c else "0" for c in row]) for g, row in zip(OBJECTS, ROWS)]
    return ("\r\n".join(lines) + "\r\n").encode()


def fimi_text():
    return "".join(" ".join(str(m) for m, c in enumerate(row) if c) + "\n" for row in ROWS).encode()


def xml_text():
    attributes = "".join(f'<Attribute Name="{m}"/>' for m in ATTRIBUTES)
    objects = "".join(
        f"<Object><Name>{g}</Name>" + "".join(f'<HasAttribute Id="{m}"/>' for m, c in enumerate(row) if c) + "</Object>"
        for g, row in zip(OBJECTS, ROWS)
    )
    return f'<?xml version="1.0"?>\n<Context><Attributes>{attributes}</Attributes><Objects>{objects}</Objects></Context>'.encode()


def json_object_text():
    payload = {"objects": OBJECTS, "attributes": ATTRIBUTES, "incidence": [[bool(c) for c in row] for row in ROWS]}
    return json.dumps({"tessara_version": "0.2.0", "context": payload}, indent=1).encode()


def json_array_text():
    return json.dumps(["0.2.0", [OBJECTS, ATTRIBUTES, [[bool(c) for c in row] for row in ROWS]]]).encode()


@pytest.mark.parametrize(
    "data, filename",
    [
        (csv_text(), "table.csv"),
        (csv_text(), "upload"),
        (csv_text("\t"), "table.tsv"),
        (csv_text("\t"), "table.csv"),
        (b"\xef\xbb\xbf" + csv_text(), "table.CSV"),
        (fimi_text(), "items.dat"),
        (fimi_text(), "notes.txt"),
        (xml_text(), "context.xml"),
        (xml_text(), "upload"),
        (json_object_text(), "context.json"),
        (json_object_text(), "upload"),
        (json_array_text(), "context.Json"),
    ],
)
def test_every_format_reads_the_same_context(data, filename):
    assert concepts(data, filename) == reference_concepts()


def test_pandas_style_csv_with_index_column():
    # What DataFrame.to_csv() writes for a boolean frame: an empty corner label,
    # the index as object names and True/False cells.
    data = b",a,b\n0,True,False\n1,False,True\n2,True,True\n"
    ctx = tessara.parse_context(data, filename="frame.csv")
    assert (ctx.n_objects, ctx.n_attributes) == (3, 2)
    assert tessara.compute_concepts(ctx)[0] == {"extent": ["0", "1", "2"], "intent": []}


def test_liveinwater_csv():
    ctx = tessara.parse_context((DATA / "liveinwater.csv").read_bytes(), filename="liveinwater.csv")
    assert (ctx.n_objects, ctx.n_attributes) == (8, 9)


def test_conexp_style_xml():
    data = b"""<?xml version="1.0" encoding="UTF-8"?>
<ConceptualSystem><Contexts><Context Identifier="0">
 <Attributes><Attribute Identifier="0"><Name>flies</Name></Attribute><Attribute Identifier="1"><Name>swims</Name></Attribute></Attributes>
 <Objects><Object><Name>duck</Name><Intent><HasAttribute AttributeIdentifier="0"/><HasAttribute AttributeIdentifier="1"/></Intent></Object>
 <Object><Name>fish</Name><Intent><HasAttribute AttributeIdentifier="1"/></Intent></Object></Objects>
</Context></Contexts>
<Lattices><Lattice><Concept><Intent><HasAttribute AttributeIdentifier="1"/></Intent></Concept></Lattice></Lattices>
</ConceptualSystem>"""
    expected = concepts(cxt_bytes(["duck", "fish"], ["flies", "swims"], [[1, 1], [0, 1]]), "x.cxt")
    assert concepts(data, "conexp.xml") == expected


LAUGHS = (
    b'<?xml version="1.0"?><!DOCTYPE l [<!ENTITY a "lol">'
    + b"".join(b'<!ENTITY %s "%s">' % (bytes([98 + i]), b"&%s;" % bytes([97 + i]) * 10) for i in range(9))
    + b']><l><Attribute Name="&j;"/></l>'
)


@pytest.mark.parametrize(
    "data, filename, message",
    [
        (b"name,a,b\no1,1,0\no2,1,0,1\n", "t.csv", "CSV error: record on line 3 has 4 fields, but the header has 3"),
        (b"name,a\n", "t.csv", "invalid csv data: CSV has a header but no body rows"),
        (b"name\no1\n", "t.csv", "invalid csv data: header row has no attribute columns"),
        (b"", "t.csv", "invalid csv data: empty header row"),
        (b"name,a\n\xff,1\n", "t.csv", "I/O error: stream did not contain valid UTF-8"),
        (b"1 3\n\n# c\n1a\n", "t.dat", 'parse error in fimi: line 4: expected non-negative integer, got "1a"'),
        (b"# only comments\n", "t.dat", "invalid fimi data: input contains no transactions"),
        (
            b"4294967295\n",
            "t.dat",
            "invalid fimi data: context of 1 objects and 4294967296 attributes is too large "
            "(the limit is 17179869184 incidence cells and 4294967295 objects or attributes)",
        ),
        (
            b'<C><Attribute Name="a"/><Object></Objects></C>',
            "t.xml",
            'parse error in fca-xml: XML parse error at position 34: end tag "Objects" does not match start tag "Object"',
        ),
        (b"", "t.xml", "invalid fca-xml data: no <Attribute> elements found"),
        (b'<C><Attribute Name="a"/><Object/></C>', "t.xml", "invalid fca-xml data: no <Object> elements found"),
        (b'<C><Object><Name>o</Name></Object></C>', "t.xml", "invalid fca-xml data: no <Attribute> elements found"),
        (
            b'<C><Attribute Name="a"/><Object><Name>o</Name><HasAttribute Id="1"/></Object></C>',
            "t.xml",
            'invalid fca-xml data: object "o" references attribute id 1, only 1 attributes declared',
        ),
        # The document type is never read, so the entity stays undefined and the value contributes nothing.
        (LAUGHS, "t.xml", "invalid fca-xml data: no <Attribute> elements found"),
        (b'{"context": [[], [], []]}', "t.json", "JSON error: missing field `tessara_version` at line 1 column 25"),
        (b'["v", [["o"], ["a"], [[1]]]]', "t.json", "JSON error: invalid type: integer `1`, expected a boolean at line 1 column 24"),
        (b'["v", [["o"], ["a"], [[true]]]] x', "t.json", "JSON error: trailing characters at line 1 column 33"),
        (b'["v", [["o", "p"], ["a"], [[true]]]]', "t.json", "context construction failed: incidence has 1 rows, expected 2 (one per object)"),
    ],
)
def test_reader_errors(data, filename, message):
    with pytest.raises(ValueError) as caught:
        tessara.parse_context(data, filename)
    assert str(caught.value) == "parse error: " + message


def two_attributes(body):
    return b'<C><Attribute Name="a"/><Attribute Name="b"/>' + body + b"</C>"


EMPTY_DOCUMENT = b'"tessara_version": "1", "context": {"objects": [], "attributes": [], "incidence": []}}'


@pytest.mark.parametrize(
    "data, filename, outcome",
    [
        # FCA-XML: values are unescaped one by one, only where they are used, and never normalised.
        (
            two_attributes(b"<Object><Name>a&bogus;</Name></Object>"),
            "t.xml",
            'parse error in fca-xml: invalid text in <Name>: undefined entity "&bogus;" at position 60',
        ),
        (
            two_attributes(b"<Object><Name>a&#0;</Name></Object>"),
            "t.xml",
            'parse error in fca-xml: invalid text in <Name>: invalid character reference "&#0;" at position 60',
        ),
        (b'<C><Attribute Name="&bogus;"/><Attribute Name="a"/><Object></Object></C>', "t.xml", (["g0"], ["a"])),
        (two_attributes(b'<Note>&bogus;</Note><Object><HasAttribute Id="&x;"/></Object>'), "t.xml", (["g0"], ["a", "b"])),
        (
            b'<?xml version="1.0"?><!DOCTYPE C [<!ENTITY e "x">]><C><Attribute Name="a"/><Object></Object></C>',
            "upload",
            (["g0"], ["a"]),
        ),
        (two_attributes(b"<Object><Name>&#32;x&#32;</Name></Object>"), "t.xml", ([" x "], ["a", "b"])),
        (two_attributes(b"<Object><Name>&#10;</Name>z</Object>"), "t.xml", (["\n"], ["a", "b"])),
        (two_attributes(b"<Object><Name>a\r\nb</Name></Object>"), "t.xml", (["a\r\nb"], ["a", "b"])),
        (b'<C><Attribute Name="a\tb\nc"/><Object></Object></C>', "t.xml", (["g0"], ["a\tb\nc"])),
        (b" \n", "t.xml", "invalid fca-xml data: no <Attribute> elements found"),
        (b'<Attribute Name="a"/><Object><HasAttribute Id="0"/></Object>', "t.xml", (["g0"], ["a"])),
        (b'<C><Attribute Name="a" Name="b"/><Object></Object></C>', "t.xml", (["g0"], ["a"])),
        (b'<C><Attribute Name="a"/><Object><Attribute><Name>n</Name></Attribute></Object></C>', "t.xml", (["n"], ["a"])),
        # JSON: only JSON white space before the document; skipped numbers are checked for syntax only.
        (b'\xef\xbb\xbf{' + EMPTY_DOCUMENT, "t.json", "JSON error: expected value at line 1 column 1"),
        (b'{"x": 1e999, ' + EMPTY_DOCUMENT, "t.json", ([], [])),
        (b'{"x": -1e999, ' + EMPTY_DOCUMENT, "upload", ([], [])),
    ],
)
def test_lenient_xml_layer_and_json_white_space(data, filename, outcome):
    if isinstance(outcome, str):
        with pytest.raises(ValueError) as caught:
            tessara.parse_context(data, filename)
        assert str(caught.value) == "parse error: " + outcome
    else:
        # The top concept's extent holds every object, the bottom concept's intent every attribute.
        found = concepts(data, filename)
        assert (found[0]["extent"], found[-1]["intent"]) == outcome


def test_invalid_utf8_in_a_json_string_is_a_json_error():
    with pytest.raises(ValueError) as caught:
        tessara.parse_context(b'["v", [["a\xc3("], [], []]]', "t.json")
    assert str(caught.value).startswith("parse error: JSON error: ")
    assert str(caught.value).endswith(" at line 1 column 12")


SIZE_LIMIT = "(the limit is 17179869184 incidence cells and 4294967295 objects or attributes)"
WIDE = 2**17 + 1  # WIDE x WIDE cells is just over the limit


@pytest.mark.parametrize(
    "expression, filename, message",
    [
        (
            "bytes(" + repr(LAUGHS) + ")",
            "bomb.xml",
            "invalid fca-xml data: no <Attribute> elements found",
        ),
        ('b"4294967295 0\\n"', "huge.dat", "invalid fimi data: context of 1 objects and 4294967296 attributes is too large"),
        (
            f'b"<C>" + b"<Attribute Name=\\"a\\"/>" * {WIDE} + b"<Object></Object>" * {WIDE} + b"</C>"',
            "wide.xml",
            f"invalid fca-xml data: context of {WIDE} objects and {WIDE} attributes is too large {SIZE_LIMIT}",
        ),
        ('b\'{"deep": \' + b"[" * 100_000 + b"]" * 100_000 + b"}"', "deep.json", "JSON error: missing field `tessara_version`"),
        ('b\'{"deep": \' + b"[" * 100_000', "open.json", "JSON error: "),
    ],
)
def test_hostile_inputs_fail_cleanly_in_bounded_memory(expression, filename, message):
    assert parse_error_under_limit(expression, filename).startswith("parse error: " + message)
