#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tessara/core/context.hpp"
#include "tessara/core/incidence_forms.hpp"
#include "tessara/core/sparse_incidence.hpp"

namespace tessara::core {

// An immutable context stored in the form that suits it: packed bit rows
// (a Context) or sorted index lists (a SparseIncidence beside the names). The
// constructors choose once, by prefers_sparse. The other form is built on
// first request and kept, under a lock, so kernels of either kind run on
// either storage; the packed form of a sparse context is refused past
// kMaxPackedBytes, with a message that says how big it would be.
class StoredContext {
 public:
  // The storage prefers_sparse picks for this context.
  static std::shared_ptr<const StoredContext> from_context(Context context);
  // The same for names and a sparse incidence of matching size (an internal
  // fault otherwise).
  static std::shared_ptr<const StoredContext> from_sparse(std::vector<std::string> objects,
                                                          std::vector<std::string> attributes,
                                                          SparseIncidence incidence);
  // Packed, sharing `context` (as the lattices computed from it do).
  static std::shared_ptr<const StoredContext> packed(std::shared_ptr<const Context> context);

  bool is_sparse() const noexcept { return sparse_stored_; }
  std::uint64_t n_objects() const noexcept { return objects().size(); }
  std::uint64_t n_attributes() const noexcept { return attributes().size(); }
  const std::vector<std::string>& objects() const noexcept;
  const std::vector<std::string>& attributes() const noexcept;
  // The number of crosses.
  std::uint64_t nnz() const;

  // The sparse form: the stored one, or built from the packed rows on first
  // use and kept.
  const std::shared_ptr<const SparseIncidence>& sparse() const;
  // The packed form: the stored one, or built from the sparse lists on first
  // use and kept; PackedTooLarge when it would pass kMaxPackedBytes. The
  // pointer lives as long as this StoredContext.
  std::expected<const std::shared_ptr<const Context>*, PackedTooLarge> packed() const;

 private:
  StoredContext() = default;

  bool sparse_stored_ = false;
  // The names of a sparse context (a packed one keeps them in its Context).
  std::vector<std::string> objects_;
  std::vector<std::string> attributes_;
  mutable std::mutex lazy_;
  mutable std::shared_ptr<const Context> packed_;
  mutable std::shared_ptr<const SparseIncidence> sparse_;
};

}  // namespace tessara::core
