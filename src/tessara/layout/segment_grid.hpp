#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tessara/layout/drawing.hpp"
#include "tessara/layout/keep_going.hpp"

namespace tessara::layout {

struct Box {
  double left;
  double top;
  double right;
  double bottom;

  bool overlaps(const Box& other) const noexcept {
    return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
  }
};

// A straight piece of an edge.
struct Segment {
  Point from;
  Point to;
};

// Whether a segment meets a box (touching counts).
bool segment_meets(const Segment& segment, const Box& box) noexcept;

// The edges' segments, each listed in the cells of a uniform grid its line
// passes, so that asking about a box looks only at the segments near it. The
// cells are at least `cell` wide, and wider when the segments are long (a big
// drawing's edges span thousands of pixels), so that a segment lies in some
// ten cells on average. The (cell, segment) entries are grouped by a hash of
// the cell with one counting pass, so the index is built in linear time.
class SegmentGrid {
 public:
  // Segments indexed, and entries grouped, between two questions whether to go on (a few milliseconds' work).
  static constexpr std::size_t kSegmentsPerCheck = std::size_t{1} << 15;
  static constexpr std::size_t kEntriesPerCheck = std::size_t{1} << 18;

  // A stopped build (`keep` said no) leaves the grid empty, crossing nothing.
  SegmentGrid(double cell, std::span<const Segment> segments, const KeepGoing& keep = {});

  // Whether some segment meets the box.
  bool crosses(const Box& box) const;

  // How many distinct segments meet the box, counting no further than
  // `limit`; `seen` is scratch space the caller keeps between calls.
  std::size_t count(const Box& box, std::size_t limit, std::vector<std::uint32_t>& seen) const;

 private:
  struct Entry {
    std::uint64_t cell;
    std::uint32_t segment;
  };

  std::int64_t cell_of(double value) const;
  std::size_t bucket(std::uint64_t cell) const;
  void add(std::uint32_t id, std::vector<Entry>& entries) const;
  // Calls meet(id) for every segment listed in a cell the box touches whose
  // line meets the box (a segment once per such cell) until meet says stop.
  template <typename Meet>
  void visit(const Box& box, Meet&& meet) const;

  std::span<const Segment> segments_;
  double cell_ = 1.0;
  std::size_t mask_ = 0;
  std::vector<std::size_t> start_;
  std::vector<Entry> grouped_;
};

}  // namespace tessara::layout
