#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The minimal transversals (minimal hitting sets) of a hypergraph: the
// minimal vertex sets that meet every edge. Both the keys of a concept and the
// proper premises of an attribute are such sets.
namespace tessara::engine {

// Told of every minimal transversal.
class TransversalListener {
 public:
  virtual ~TransversalListener() = default;

  // A minimal transversal, its vertices in the order they were chosen.
  virtual void found(std::span<const std::uint32_t> transversal) = 0;

  // Asked every few thousand steps of the search; false ends it, the
  // transversals found so far being all that is reported.
  virtual bool keep_going() { return true; }
};

// MMCS (Murakami and Uno, 2014). The current set S grows one vertex at a
// time; each step picks the uncovered edge with the fewest candidate vertices
// and branches on those vertices. Every vertex u of S keeps its critical edges
// (the edges that u alone covers in S); a vertex whose critical edges all
// vanish makes S non-minimal, and that branch and everything below it end.
// A vertex tried in a branch is a candidate again only for the branches after
// it, so each minimal transversal is found exactly once. The recursion is as
// deep as the largest transversal.
//
// Sets are packed 64-bit words: edges over the vertices, and for every vertex
// and for the uncovered and critical sets, sets over the edges. The buffers
// are kept from one hypergraph to the next, so a caller that solves many
// small hypergraphs allocates only while they grow.
class TransversalSearch {
 public:
  using Word = std::uint64_t;

  explicit TransversalSearch(std::uint64_t n_vertices);

  std::size_t vertex_stride() const noexcept { return vertex_stride_; }
  std::size_t edge_count() const noexcept { return edge_count_; }

  // Forgets the edges of the last hypergraph.
  void clear() noexcept { edge_count_ = 0; }

  // Adds an edge (vertex_stride() words). Edges need not be minimal or
  // distinct: a superset of another edge never decides anything.
  void add_edge(std::span<const Word> vertices);

  // Reports every minimal transversal of the edges added since clear(). With
  // no edges the one transversal is the empty set; an empty edge leaves none.
  void run(TransversalListener& listener);

 private:
  std::span<const Word> edge(std::size_t e) const noexcept {
    return {edges_.data() + e * vertex_stride_, vertex_stride_};
  }
  Word* uncovered(std::size_t depth) noexcept { return levels_[depth].data(); }
  // The critical edges of the i-th chosen vertex at this depth.
  Word* critical(std::size_t depth, std::size_t i) noexcept { return levels_[depth].data() + (i + 1) * edge_stride_; }

  void prepare();
  void search(std::size_t depth, TransversalListener& listener);

  std::uint64_t n_vertices_;
  std::size_t vertex_stride_;
  std::size_t edge_count_ = 0;
  std::size_t edge_stride_ = 0;
  std::vector<Word> edges_;
  std::vector<Word> incidence_;  // per vertex, the edges holding it
  std::vector<Word> candidates_;
  std::vector<Word> branch_;                // per depth, the vertices branched on
  std::vector<std::vector<Word>> levels_;   // per depth, the uncovered edges then the critical sets
  std::vector<std::uint32_t> chosen_;
  std::uint64_t steps_ = 0;
  bool stopped_ = false;
};

}  // namespace tessara::engine
