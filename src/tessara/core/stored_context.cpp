#include "tessara/core/stored_context.hpp"

#include <utility>

#include "tessara/core/fault.hpp"

namespace tessara::core {

std::shared_ptr<const StoredContext> StoredContext::from_context(Context context) {
  std::uint64_t nnz = 0;
  for (const AttributeSet& row : context.rows()) nnz += row.count();
  if (!prefers_sparse(context.n_objects(), context.n_attributes(), nnz))
    return packed(std::make_shared<const Context>(std::move(context)));
  SparseIncidence incidence = sparse_incidence_of(context);
  std::vector<std::string> objects = context.objects();
  std::vector<std::string> attributes = context.attributes();
  return from_sparse(std::move(objects), std::move(attributes), std::move(incidence));
}

std::shared_ptr<const StoredContext> StoredContext::from_sparse(std::vector<std::string> objects,
                                                                std::vector<std::string> attributes,
                                                                SparseIncidence incidence) {
  if (objects.size() != incidence.n_objects() || attributes.size() != incidence.n_attributes())
    throw InternalFault(fault_text::kIndexOutOfRange);
  if (!prefers_sparse(objects.size(), attributes.size(), incidence.nnz())) {
    auto rows = packed_rows_of(incidence);
    // prefers_sparse holds for every context whose packed rows pass the limit.
    if (!rows) throw InternalFault(fault_text::kIndexOutOfRange);
    auto context = Context::from_rows(std::move(objects), std::move(attributes), std::move(*rows));
    if (!context) throw InternalFault(fault_text::kIndexOutOfRange);
    return packed(std::make_shared<const Context>(std::move(*context)));
  }
  std::shared_ptr<StoredContext> stored(new StoredContext());
  stored->sparse_stored_ = true;
  stored->objects_ = std::move(objects);
  stored->attributes_ = std::move(attributes);
  stored->sparse_ = std::make_shared<const SparseIncidence>(std::move(incidence));
  return stored;
}

std::shared_ptr<const StoredContext> StoredContext::packed(std::shared_ptr<const Context> context) {
  if (!context) throw InternalFault(fault_text::kIndexOutOfRange);
  std::shared_ptr<StoredContext> stored(new StoredContext());
  stored->packed_ = std::move(context);
  return stored;
}

const std::vector<std::string>& StoredContext::objects() const noexcept {
  return sparse_stored_ ? objects_ : packed_->objects();
}

const std::vector<std::string>& StoredContext::attributes() const noexcept {
  return sparse_stored_ ? attributes_ : packed_->attributes();
}

std::uint64_t StoredContext::nnz() const {
  if (sparse_stored_) return sparse_->nnz();
  std::uint64_t crosses = 0;
  for (const AttributeSet& row : packed_->rows()) crosses += row.count();
  return crosses;
}

const std::shared_ptr<const SparseIncidence>& StoredContext::sparse() const {
  const std::lock_guard lock(lazy_);
  if (!sparse_) sparse_ = std::make_shared<const SparseIncidence>(sparse_incidence_of(*packed_));
  return sparse_;
}

std::expected<const std::shared_ptr<const Context>*, PackedTooLarge> StoredContext::packed() const {
  const std::lock_guard lock(lazy_);
  if (!packed_) {
    auto rows = packed_rows_of(*sparse_);
    if (!rows) return std::unexpected(rows.error());
    auto context = Context::from_rows(objects_, attributes_, std::move(*rows));
    if (!context) throw InternalFault(fault_text::kIndexOutOfRange);
    packed_ = std::make_shared<const Context>(std::move(*context));
  }
  return &packed_;
}

}  // namespace tessara::core
