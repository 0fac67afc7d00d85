"""Measures how the lab's labelled diagrams read in a real browser: headless Chromium lays the SVG text out, and
the text's bounding boxes (getBBox) are checked against each other and against the edges' segments.

    python bench/diagram_labels.py --before /work/main/.venv/bin/python   # main's wheel beside this build

For every context (the real contexts in ../shared/data/real, the test and example contexts, and scaled UCI samples:
a few hundred rows and a few columns of adult and mushroom) and both layouts, with reduced labels, it counts:
- close pairs: two labels on one line (their boxes overlap vertically) less than one em apart, or overlapping;
- crossings: an edge segment meeting a text's box, split into those under a halo (the text has a background
  stroke, class "halo") and bare ones, which strike the letters through.
The diagrams are made by a child process of each interpreter given (this checkout's build by default, and the
`--before` one), so main's code and this one's are measured in the same run. With --model the same counts come
from the JSON export's label boxes (the renderer's own text model, which the tests measure) instead of Chromium.
"""

import argparse
import json
import os
import pathlib
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[1]
SHARED = ROOT.parent.parent / "shared" / "data" if (ROOT.parent.parent / "shared").exists() else ROOT.parent / "shared" / "data"

MAKE = r'''
import json, pathlib, sys
import pandas as pd
import tessara.lab as tl
root, shared, out = map(pathlib.Path, sys.argv[1:4])
cases = []
for folder in [shared / "real", root / "tests/data", root / "examples/data"]:
    for path in sorted(folder.glob("*")):
        if path.suffix in (".cxt", ".csv") and path.name != "adult_sample.csv":
            cases.append((f"{folder.name}/{path.name}", lambda p=path: tl.read(p)))
def uci(name, columns, rows):
    frame = pd.read_csv(shared / "uci" / name).head(rows)[columns]
    frame.index = [f"r{i}" for i in range(len(frame))]
    return tl.scale(frame)
cases.append(("uci adult 300 rows: sex, race, income", lambda: uci("adult.csv", ["sex", "race", "income"], 300)))
cases.append(("uci adult 400 rows: workclass, sex, income", lambda: uci("adult.csv", ["workclass", "sex", "income"], 400)))
cases.append(("uci mushroom 300 rows: edibility, bruises, ring-number, veil-color", lambda: uci("mushroom.csv", ["edibility", "bruises", "ring-number", "veil-color"], 300)))
cases.append(("uci mushroom 500 rows: edibility, cap-shape, gill-size", lambda: uci("mushroom.csv", ["edibility", "cap-shape", "gill-size"], 500)))
seen, index = set(), []
for name, make in cases:
    if pathlib.Path(name).name in seen and not name.startswith("uci"):
        continue
    seen.add(pathlib.Path(name).name)
    lattice = make().lattice()
    for layout in ("layered", "additive"):
        d = lattice.draw(layout=layout)
        file = out / f"{len(index)}.svg"
        file.write_text(d.svg().split("?>", 1)[1], encoding="utf-8")
        file.with_suffix(".json").write_text(d.to_json(), encoding="utf-8")
        index.append({"name": name, "layout": layout, "concepts": len(lattice), "file": file.name})
(out / "index.json").write_text(json.dumps(index))
'''

MEASURE = r'''
<script>
function points(d) {
  return d.trim().split(/(?=[ML])/).map(function (s) { return s.slice(1).trim().split(/[ ,]+/).map(Number); });
}
function meets(a, b, r) {
  var t0 = 0, t1 = 1, dx = b[0] - a[0], dy = b[1] - a[1];
  var tests = [[-dx, a[0] - r.x], [dx, r.x + r.width - a[0]], [-dy, a[1] - r.y], [dy, r.y + r.height - a[1]]];
  for (var i = 0; i < 4; i++) {
    var p = tests[i][0], q = tests[i][1];
    if (p === 0) { if (q < 0) return false; }
    else if (p < 0) t0 = Math.max(t0, q / p); else t1 = Math.min(t1, q / p);
    if (t0 > t1) return false;
  }
  return true;
}
var results = [];
document.querySelectorAll("svg.tessara-diagram").forEach(function (svg) {
  var em = parseFloat(svg.getAttribute("font-size"));
  var texts = Array.prototype.slice.call(svg.querySelectorAll("g.labels text")).map(function (t) {
    return { box: t.getBBox(), halo: t.classList.contains("halo"), width: t.getComputedTextLength() };
  });
  var segments = [];
  svg.querySelectorAll("g.edges path").forEach(function (p) {
    var pts = points(p.getAttribute("d"));
    for (var i = 1; i < pts.length; i++) segments.push([pts[i - 1], pts[i]]);
  });
  var close = 0, smallest = Infinity, bare = 0, haloed = 0, crossedLabels = 0;
  for (var i = 0; i < texts.length; i++) {
    var a = texts[i].box;
    for (var j = i + 1; j < texts.length; j++) {
      var b = texts[j].box;
      if (a.y < b.y + b.height && b.y < a.y + a.height) {
        var gap = Math.max(b.x - (a.x + a.width), a.x - (b.x + b.width));
        smallest = Math.min(smallest, gap);
        if (gap < em) close++;
      }
    }
    var hit = 0;
    segments.forEach(function (s) { if (meets(s[0], s[1], a)) hit++; });
    if (texts[i].halo) haloed += hit; else bare += hit;
    if (hit) crossedLabels++;
  }
  results.push({ id: svg.getAttribute("data-case"), labels: texts.length, close: close,
                 smallest_gap: smallest === Infinity ? null : smallest, bare: bare, haloed: haloed,
                 crossed_labels: crossedLabels });
});
document.getElementById("out").textContent = JSON.stringify(results);
</script>
'''


def make_svgs(python, env_path, folder):
    env = dict(os.environ)
    env.pop("PYTHONPATH", None)
    if env_path:
        env["PYTHONPATH"] = env_path
    subprocess.run([python, "-c", MAKE, str(ROOT), str(SHARED), str(folder)], check=True, env=env)
    return json.loads((folder / "index.json").read_text())


def measure(folder, index):
    parts = ["<!DOCTYPE html><html><body><pre id='out'></pre>"]
    for i, case in enumerate(index):
        svg = (folder / case["file"]).read_text(encoding="utf-8")
        parts.append(svg.replace('class="tessara-diagram"', f'class="tessara-diagram" data-case="{i}"', 1))
    parts.append(MEASURE + "</body></html>")
    page = folder / "measure.html"
    page.write_text("".join(parts), encoding="utf-8")
    dom = subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--virtual-time-budget=20000",
                          "--dump-dom", page.as_uri()], capture_output=True, text=True, check=True).stdout
    text = dom.split("<pre id=\"out\">", 1)[1].split("</pre>", 1)[0]
    return {int(r["id"]): r for r in json.loads(text.replace("&quot;", '"'))}


def measure_model(folder, index):
    """The same counts from the JSON export's boxes: the renderer's own text model, as the tests measure."""
    import numpy as np

    sys.path.insert(0, str(ROOT / "tests" / "python"))
    from test_lab_diagram_labels import segments_meeting

    results = {}
    for i, case in enumerate(index):
        doc = json.loads((folder / case["file"]).with_suffix(".json").read_text(encoding="utf-8"))
        em = doc["font"]["size"]
        labels = doc["labels_placed"]
        segments = np.array([[*a, *b] for e in doc["edges"] for a, b in zip(e["points"], e["points"][1:])],
                            dtype=float).reshape(-1, 4)
        close, smallest, bare, haloed, crossed = 0, None, 0, 0, 0
        for a, first in enumerate(labels):
            p = first["box"]
            for second in labels[a + 1:]:
                q = second["box"]
                if p["top"] < q["bottom"] and q["top"] < p["bottom"]:
                    gap = max(q["left"] - p["right"], p["left"] - q["right"])
                    smallest = gap if smallest is None else min(smallest, gap)
                    close += gap < em
            hits = int(segments_meeting(segments, p).sum()) if len(segments) else 0
            halo = first.get("halo", False)
            haloed += hits if halo else 0
            bare += 0 if halo else hits
            crossed += hits > 0
        results[i] = {"labels": len(labels), "close": close, "smallest_gap": smallest, "bare": bare,
                      "haloed": haloed, "crossed_labels": crossed}
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--before", help="interpreter with main's tessara installed (e.g. /work/main/.venv/bin/python)")
    parser.add_argument("--before-path", default=None,
                        help="PYTHONPATH for the --before interpreter (e.g. another checkout's build/dev/python)")
    parser.add_argument("--after-path", default=str(ROOT / "build" / "dev" / "python"),
                        help="PYTHONPATH of this checkout's build (default: build/dev/python)")
    parser.add_argument("--model", action="store_true",
                        help="measure the JSON export's boxes (the renderer's text model, as the tests do) instead of "
                             "Chromium's")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    runs = [("after", sys.executable, args.after_path)]
    if args.before:
        runs.insert(0, ("before", args.before, args.before_path))
    for label, python, path in runs:
        with tempfile.TemporaryDirectory() as tmp:
            folder = pathlib.Path(tmp)
            index = make_svgs(python, path, folder)
            results = measure_model(folder, index) if args.model else measure(folder, index)
        totals = {}
        for layout in ("layered", "additive"):
            rows = [(case, results[i]) for i, case in enumerate(index) if case["layout"] == layout]
            diagrams_close = sum(1 for _, r in rows if r["close"])
            total = {k: sum(r[k] for _, r in rows) for k in ("labels", "close", "bare", "haloed", "crossed_labels")}
            gaps = [r["smallest_gap"] for _, r in rows if r["smallest_gap"] is not None]
            totals[layout] = total
            print(f"{label:6} {layout:8}: {len(rows)} diagrams, {total['labels']} labels; pairs closer than 1 em "
                  f"{total['close']} (in {diagrams_close} diagrams, smallest gap {min(gaps):.1f} px); edge/label "
                  f"crossings {total['bare'] + total['haloed']} ({total['bare']} bare, {total['haloed']} under a halo) "
                  f"on {total['crossed_labels']} labels", flush=True)
            if args.verbose:
                for case, r in rows:
                    print(f"    {case['name']:60} {case['concepts']:4} concepts: close {r['close']:3}, "
                          f"bare {r['bare']:4}, haloed {r['haloed']:4}")


if __name__ == "__main__":
    main()
