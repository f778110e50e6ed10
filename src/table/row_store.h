// The URL table's cells in compact form: every address in one shared byte arena
// with a start and length per row, and summaries kept only for rows that have one.
//
// A table of tens of millions of short addresses costs about its bytes plus 16 per
// row, where a pair of strings per row cost several times the addresses. Cells may
// hold any bytes. Plain value type without the window system; one thread at a time.
#ifndef VELMORA_TABLE_ROW_STORE_H_
#define VELMORA_TABLE_ROW_STORE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace velmora {

class RowStore {
 public:
  // Removes every row and gives their memory back.
  void Clear();
  // Inserts a row (address, empty summary) before `row`; `row` at or past Size()
  // appends.
  void Insert(std::size_t row, std::string_view address);
  // Appends a row (address, empty summary).
  void Append(std::string_view address);

  [[nodiscard]] std::size_t Size() const { return rows_.size(); }
  // The row's cells; "" for a row past the end. The view lasts until the next change.
  [[nodiscard]] std::string_view Address(std::size_t row) const;
  [[nodiscard]] std::string_view Summary(std::size_t row) const;
  // Replace a cell; a row past the end: no effect. An empty summary is kept as none.
  void SetAddress(std::size_t row, std::string_view address);
  void SetSummary(std::size_t row, std::string_view summary);

 private:
  struct Span {
    std::uint64_t start;
    std::uint64_t length;
  };
  [[nodiscard]] Span Store(std::string_view bytes);
  // Rewrites the arena with only the bytes rows still use, once replaced addresses
  // make up most of it.
  void CompactIfWasteful();

  std::vector<char> arena_;
  std::vector<Span> rows_;
  std::map<std::size_t, Text> summaries_;  // by row, only non-empty ones
  std::uint64_t unusedBytes_ = 0;          // arena bytes of replaced addresses
};

}  // namespace velmora

#endif  // VELMORA_TABLE_ROW_STORE_H_
