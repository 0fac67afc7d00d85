#include "tessara/layout/diagram_script.hpp"

namespace tessara::layout {

const std::string_view kDiagramStyle = R"css(
.tessara-view{position:relative;display:inline-block;max-width:100%;overflow:hidden;border:1px solid #e3e6ea;border-radius:4px;background:#fff}
.tessara-view svg{display:block;max-width:100%;height:auto;cursor:grab;touch-action:none}
.tessara-view svg.tessara-dragging{cursor:grabbing}
.tessara-view circle{cursor:pointer}
.tessara-view .tessara-hint{font:11px DejaVu Sans,Verdana,sans-serif;color:#777;padding:2px 6px;border-top:1px solid #eef0f2}
.tessara-view .tessara-tip{position:absolute;display:none;max-width:360px;padding:6px 8px;font:12px DejaVu Sans,Verdana,sans-serif;color:#222;background:#fffef4;border:1px solid #c9c2a0;border-radius:3px;box-shadow:0 1px 4px rgba(0,0,0,.2);pointer-events:none;white-space:normal;z-index:10}
.tessara-view .tessara-tip b{color:#1d4f91}
.tessara-view circle.tessara-focus{fill:#f59f00;stroke:#b35c00}
.tessara-view circle.tessara-above{fill:#cfe1fb;stroke:#1c5fb8}
.tessara-view circle.tessara-below{fill:#cdeed5;stroke:#2b8a3e}
.tessara-view circle.tessara-faded{fill:#f4f5f7;stroke:#b9bec5}
.tessara-view path.tessara-above{stroke:#1c5fb8;stroke-width:2.2}
.tessara-view path.tessara-below{stroke:#2b8a3e;stroke-width:2.2}
.tessara-view path.tessara-faded{stroke:#d5d9de}
.tessara-view text.tessara-faded{opacity:.35}
)css";

const std::string_view kDiagramScript = R"js(
(function () {
  "use strict";
  var me = document.currentScript;
  var view = me ? me.parentNode : null;
  if (!view) {
    var waiting = document.querySelectorAll("div.tessara-view:not([data-ready])");
    view = waiting.length ? waiting[waiting.length - 1] : null;
  }
  if (!view || view.getAttribute("data-ready")) return;
  view.setAttribute("data-ready", "1");
  var data = JSON.parse(view.querySelector("script.tessara-data").textContent);
  var svg = view.querySelector("svg");
  var tip = view.querySelector(".tessara-tip");
  var n = data.support.length;
  var ups = [], downs = [];
  for (var i = 0; i !== n; i++) { ups.push([]); downs.push([]); }
  data.edges.forEach(function (e) { downs[e[0]].push(e[1]); ups[e[1]].push(e[0]); });
  var circles = new Array(n), labels = [], paths = [];
  svg.querySelectorAll("circle[data-concept]").forEach(function (c) { circles[+c.getAttribute("data-concept")] = c; });
  svg.querySelectorAll("text[data-concept]").forEach(function (t) { labels.push(t); });
  svg.querySelectorAll("path[data-upper]").forEach(function (p) { paths.push(p); });

  function reach(start, next) {
    var seen = new Uint8Array(n), stack = [start], order = [];
    seen[start] = 1;
    while (stack.length) {
      var v = stack.pop();
      order.push(v);
      next[v].forEach(function (w) { if (!seen[w]) { seen[w] = 1; stack.push(w); } });
    }
    return { order: order, seen: seen };
  }
  function gather(v, next, own, given) {
    if (given) return given[v];
    var out = [];
    reach(v, next).order.forEach(function (w) { out.push.apply(out, own[w]); });
    return out.sort(function (a, b) { return a - b; });
  }
  function listing(title, members, names) {
    var shown = members.slice(0, 40).map(function (i) { return names[i]; }).join(", ");
    var rest = members.length - Math.min(members.length, 40);
    var block = document.createElement("div");
    var head = document.createElement("b");
    head.textContent = title + " (" + members.length + "): ";
    block.appendChild(head);
    block.appendChild(document.createTextNode((shown || "none") + (rest ? ", +" + rest + " more" : "")));
    return block;
  }
  function showTip(v, event) {
    tip.textContent = "";
    var head = document.createElement("div");
    head.textContent = "concept " + (data.ids ? data.ids[v] : v);
    tip.appendChild(head);
    tip.appendChild(listing("extent", gather(v, downs, data.own_objects, data.extents), data.objects));
    tip.appendChild(listing("intent", gather(v, ups, data.own_attributes, data.intents), data.attributes));
    var box = view.getBoundingClientRect();
    tip.style.display = "block";
    var left = event.clientX - box.left + 14, top = event.clientY - box.top + 14;
    if (left + tip.offsetWidth > box.width) left = Math.max(0, event.clientX - box.left - tip.offsetWidth - 14);
    if (top + tip.offsetHeight > box.height) top = Math.max(0, event.clientY - box.top - tip.offsetHeight - 14);
    tip.style.left = left + "px";
    tip.style.top = top + "px";
  }

  var focus = -1;
  var MARKS = ["tessara-focus", "tessara-above", "tessara-below", "tessara-faded"];
  function mark(element, name) {
    MARKS.forEach(function (m) { element.classList.remove(m); });
    if (name) element.classList.add(name);
  }
  function highlight(v) {
    focus = v;
    var above = v === -1 ? null : reach(v, ups).seen, below = v === -1 ? null : reach(v, downs).seen;
    function state(w) {
      if (v === -1) return "";
      if (w === v) return "tessara-focus";
      return above[w] ? "tessara-above" : below[w] ? "tessara-below" : "tessara-faded";
    }
    circles.forEach(function (c, w) { if (c) mark(c, state(w)); });
    labels.forEach(function (t) {
      var s = state(+t.getAttribute("data-concept"));
      mark(t, s === "tessara-faded" ? s : "");
    });
    paths.forEach(function (p) {
      var a = +p.getAttribute("data-upper"), b = +p.getAttribute("data-lower");
      var s = "";
      if (v !== -1) {
        s = "tessara-faded";
        if ((above[a] || a === v) && (above[b] || b === v)) s = "tessara-above";
        if ((below[a] || a === v) && (below[b] || b === v)) s = "tessara-below";
      }
      mark(p, s);
    });
  }

  var home = svg.getAttribute("viewBox").split(" ").map(Number), box = home.slice();
  function apply() { svg.setAttribute("viewBox", box.join(" ")); }
  function toDrawing(event) {
    var r = svg.getBoundingClientRect();
    return [box[0] + (event.clientX - r.left) / r.width * box[2], box[1] + (event.clientY - r.top) / r.height * box[3]];
  }
  svg.addEventListener("wheel", function (event) {
    event.preventDefault();
    var at = toDrawing(event), f = Math.pow(1.0015, event.deltaY);
    var w = Math.min(Math.max(box[2] * f, home[2] / 50), home[2] * 4), s = w / box[2];
    box = [at[0] - (at[0] - box[0]) * s, at[1] - (at[1] - box[1]) * s, w, box[3] * s];
    apply();
  }, { passive: false });
  var drag = null, moved = false;
  svg.addEventListener("pointerdown", function (event) {
    drag = [event.clientX, event.clientY, box[0], box[1]];
    moved = false;
  });
  window.addEventListener("pointermove", function (event) {
    if (!drag) return;
    var r = svg.getBoundingClientRect(), dx = event.clientX - drag[0], dy = event.clientY - drag[1];
    if (Math.abs(dx) + Math.abs(dy) > 3) { moved = true; svg.classList.add("tessara-dragging"); tip.style.display = "none"; }
    if (moved) {
      box[0] = drag[2] - dx / r.width * box[2];
      box[1] = drag[3] - dy / r.height * box[3];
      apply();
    }
  });
  window.addEventListener("pointerup", function () { drag = null; svg.classList.remove("tessara-dragging"); });
  svg.addEventListener("dblclick", function () { box = home.slice(); apply(); });
  svg.addEventListener("click", function (event) {
    if (moved) return;
    var target = event.target.closest ? event.target.closest("circle[data-concept]") : null;
    var v = target ? +target.getAttribute("data-concept") : -1;
    highlight(v === focus ? -1 : v);
  });
  svg.addEventListener("mouseover", function (event) {
    var target = event.target.closest ? event.target.closest("circle[data-concept]") : null;
    if (target && !drag) showTip(+target.getAttribute("data-concept"), event);
  });
  svg.addEventListener("mouseout", function (event) {
    if (event.target.closest && event.target.closest("circle[data-concept]")) tip.style.display = "none";
  });
  if (data.highlight !== null) highlight(data.highlight);
})();
)js";

}  // namespace tessara::layout
