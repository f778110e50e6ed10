#include "table/row_store.h"

#include <iterator>
#include <utility>

namespace velmora {
namespace {

// Below this many unused bytes the arena is never rewritten: compacting a small
// table saves nothing worth a copy.
constexpr std::uint64_t kCompactAtLeast = std::uint64_t{1} << 20;

}  // namespace

void RowStore::Clear() {
  std::vector<char>().swap(arena_);
  std::vector<Span>().swap(rows_);
  summaries_.clear();
  unusedBytes_ = 0;
}

RowStore::Span RowStore::Store(std::string_view bytes) {
  const Span span{arena_.size(), bytes.size()};
  arena_.insert(arena_.end(), bytes.begin(), bytes.end());
  return span;
}

void RowStore::Append(std::string_view address) { rows_.push_back(Store(address)); }

void RowStore::Insert(std::size_t row, std::string_view address) {
  if (row >= rows_.size()) {
    Append(address);
    return;
  }
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(row), Store(address));
  // Summaries of the rows that moved down move with them; from the last one back,
  // so that no key is taken twice.
  std::vector<std::size_t> moved;
  for (auto it = summaries_.lower_bound(row); it != summaries_.end(); ++it) {
    moved.push_back(it->first);
  }
  for (auto key = moved.rbegin(); key != moved.rend(); ++key) {
    auto node = summaries_.extract(*key);
    ++node.key();
    summaries_.insert(std::move(node));
  }
}

std::string_view RowStore::Address(std::size_t row) const {
  if (row >= rows_.size()) return {};
  const Span span = rows_[row];
  if (span.length == 0) return {};
  return {arena_.data() + span.start, static_cast<std::size_t>(span.length)};
}

std::string_view RowStore::Summary(std::size_t row) const {
  const auto found = summaries_.find(row);
  return found == summaries_.end() ? std::string_view() : std::string_view(found->second);
}

void RowStore::SetAddress(std::size_t row, std::string_view address) {
  if (row >= rows_.size()) return;
  unusedBytes_ += rows_[row].length;
  rows_[row] = Store(address);
  CompactIfWasteful();
}

void RowStore::SetSummary(std::size_t row, std::string_view summary) {
  if (row >= rows_.size()) return;
  if (summary.empty()) {
    summaries_.erase(row);
    return;
  }
  summaries_[row] = Text(summary);
}

void RowStore::CompactIfWasteful() {
  if (unusedBytes_ < kCompactAtLeast || unusedBytes_ * 2 < arena_.size()) return;
  std::vector<char> compact;
  compact.reserve(arena_.size() - static_cast<std::size_t>(unusedBytes_));
  for (Span& span : rows_) {
    const auto from = arena_.begin() + static_cast<std::ptrdiff_t>(span.start);
    span.start = compact.size();
    compact.insert(compact.end(), from, from + static_cast<std::ptrdiff_t>(span.length));
  }
  arena_ = std::move(compact);
  unusedBytes_ = 0;
}

}  // namespace velmora
