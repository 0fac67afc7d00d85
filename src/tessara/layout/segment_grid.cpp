#include "tessara/layout/segment_grid.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

namespace tessara::layout {
namespace {

std::uint64_t cell_key(std::int64_t cx, std::int64_t cy) {
  return (static_cast<std::uint64_t>(cx) << 32) ^ static_cast<std::uint32_t>(cy);
}

}  // namespace

bool segment_meets(const Segment& segment, const Box& box) noexcept {
  // Liang-Barsky: clip the segment's parameter range to each slab of the box.
  double t0 = 0.0;
  double t1 = 1.0;
  const double dx = segment.to.x - segment.from.x;
  const double dy = segment.to.y - segment.from.y;
  const auto clip = [&](double p, double q) {
    if (p == 0.0) return q >= 0.0;
    const double t = q / p;
    if (p < 0.0) {
      if (t > t1) return false;
      t0 = std::max(t0, t);
    } else {
      if (t < t0) return false;
      t1 = std::min(t1, t);
    }
    return true;
  };
  return clip(-dx, segment.from.x - box.left) && clip(dx, box.right - segment.from.x) &&
         clip(-dy, segment.from.y - box.top) && clip(dy, box.bottom - segment.from.y);
}

SegmentGrid::SegmentGrid(double cell, std::span<const Segment> segments, const KeepGoing& keep)
    : segments_(segments) {
  if (segments.empty()) return;
  double length = 0.0;
  for (const Segment& s : segments) length += std::fabs(s.to.x - s.from.x) + std::fabs(s.to.y - s.from.y);
  cell_ = std::max(cell, length / (8.0 * static_cast<double>(segments.size())));
  std::vector<Entry> entries;
  for (std::size_t s = 0; s < segments.size(); ++s) {
    if (s % kSegmentsPerCheck == 0 && !keep_going(keep)) return;
    add(static_cast<std::uint32_t>(s), entries);
  }
  // The passes over the entries (tens of millions for a big lattice's drawing) go in chunks, asking between them.
  const auto each_entry = [&](auto step) {
    for (std::size_t i = 0; i < entries.size(); i += kEntriesPerCheck) {
      if (!keep_going(keep)) return false;
      const std::size_t end = std::min(entries.size(), i + kEntriesPerCheck);
      for (std::size_t j = i; j < end; ++j) step(entries[j]);
    }
    return true;
  };
  const std::size_t mask = std::bit_ceil(entries.size()) - 1;
  mask_ = mask;
  std::vector<std::size_t> start(mask + 2, 0);
  if (!each_entry([&](const Entry& e) { ++start[bucket(e.cell) + 1]; })) return;
  for (std::size_t b = 0; b + 1 < start.size(); ++b) start[b + 1] += start[b];
  std::vector<Entry> grouped(entries.size());
  std::vector<std::size_t> cursor(start.begin(), start.end() - 1);
  if (!each_entry([&](const Entry& e) { grouped[cursor[bucket(e.cell)]++] = e; })) return;
  start_ = std::move(start);
  grouped_ = std::move(grouped);
}

std::int64_t SegmentGrid::cell_of(double value) const { return static_cast<std::int64_t>(std::floor(value / cell_)); }

std::size_t SegmentGrid::bucket(std::uint64_t cell) const {
  // A multiplicative hash spreads neighbouring cells over the buckets.
  return static_cast<std::size_t>((cell * 0x9E3779B97F4A7C15ULL) >> 20) & mask_;
}

// Row by row, the cells between where the segment enters and leaves the row.
void SegmentGrid::add(std::uint32_t id, std::vector<Entry>& entries) const {
  const Segment& s = segments_[id];
  const Point top = s.from.y <= s.to.y ? s.from : s.to;
  const Point bottom = s.from.y <= s.to.y ? s.to : s.from;
  const double dy = bottom.y - top.y;
  const auto x_at = [&](double y) { return dy <= 0.0 ? top.x : top.x + (bottom.x - top.x) * (y - top.y) / dy; };
  for (std::int64_t cy = cell_of(top.y); cy <= cell_of(bottom.y); ++cy) {
    const double band_top = std::max(top.y, static_cast<double>(cy) * cell_);
    const double band_bottom = std::min(bottom.y, static_cast<double>(cy + 1) * cell_);
    const double xa = dy <= 0.0 ? std::min(top.x, bottom.x) : x_at(band_top);
    const double xb = dy <= 0.0 ? std::max(top.x, bottom.x) : x_at(band_bottom);
    for (std::int64_t cx = cell_of(std::min(xa, xb)); cx <= cell_of(std::max(xa, xb)); ++cx)
      entries.push_back(Entry{cell_key(cx, cy), id});
  }
}

template <typename Meet>
void SegmentGrid::visit(const Box& box, Meet&& meet) const {
  if (grouped_.empty()) return;
  for (std::int64_t cy = cell_of(box.top); cy <= cell_of(box.bottom); ++cy)
    for (std::int64_t cx = cell_of(box.left); cx <= cell_of(box.right); ++cx) {
      const std::uint64_t cell = cell_key(cx, cy);
      const std::size_t b = bucket(cell);
      for (std::size_t i = start_[b]; i < start_[b + 1]; ++i) {
        if (grouped_[i].cell != cell) continue;
        const Segment& s = segments_[grouped_[i].segment];
        // Most segments of a cell pass beside the box: their bounding boxes tell at once.
        if (std::max(s.from.x, s.to.x) < box.left || std::min(s.from.x, s.to.x) > box.right ||
            std::max(s.from.y, s.to.y) < box.top || std::min(s.from.y, s.to.y) > box.bottom)
          continue;
        if (segment_meets(s, box) && !meet(grouped_[i].segment)) return;
      }
    }
}

bool SegmentGrid::crosses(const Box& box) const {
  bool found = false;
  visit(box, [&](std::uint32_t) {
    found = true;
    return false;
  });
  return found;
}

std::size_t SegmentGrid::count(const Box& box, std::size_t limit, std::vector<std::uint32_t>& seen) const {
  seen.clear();
  if (limit == 0) return 0;
  // A segment is listed in every cell it passes: the few met so far are looked through before counting one.
  visit(box, [&](std::uint32_t id) {
    if (std::find(seen.begin(), seen.end(), id) == seen.end()) seen.push_back(id);
    return seen.size() < limit;
  });
  return seen.size();
}

}  // namespace tessara::layout
