// The compact row store against a plain list of string pairs: the same cells after
// any mix of operations, with any bytes, middle inserts moving summaries along, and
// replaced addresses compacted away.
#include "table/row_store.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace velmora {
namespace {

using Reference = std::vector<std::pair<std::string, std::string>>;

void ExpectSame(const RowStore& store, const Reference& reference) {
  ASSERT_EQ(store.Size(), reference.size());
  for (std::size_t row = 0; row < reference.size(); ++row) {
    ASSERT_EQ(store.Address(row), reference[row].first) << "row " << row;
    ASSERT_EQ(store.Summary(row), reference[row].second) << "row " << row;
  }
  EXPECT_EQ(store.Address(reference.size()), "");
  EXPECT_EQ(store.Summary(reference.size() + 5), "");
}

TEST(RowStoreTest, CellsWithAnyBytes) {
  RowStore store;
  const std::string odd("\0\x1A\xFF\r\n\xB0", 6);
  store.Append(odd);
  store.Append("");
  store.Insert(0, "first");
  store.SetSummary(2, odd);
  store.SetSummary(1, "");
  ExpectSame(store, {{"first", ""}, {odd, ""}, {"", odd}});
  store.SetSummary(7, "nowhere");
  store.SetAddress(7, "nowhere");
  ExpectSame(store, {{"first", ""}, {odd, ""}, {"", odd}});
  store.Clear();
  ExpectSame(store, {});
}

// Every operation, at random places, against the reference; long replaced addresses
// make the arena compact itself on the way.
TEST(RowStoreTest, MatchesAListOfPairsUnderMixedOperations) {
  std::mt19937 random(11);
  RowStore store;
  Reference reference;
  auto text = [&random](std::size_t maxLength) {
    std::string bytes(std::uniform_int_distribution<std::size_t>(0, maxLength)(random), '\0');
    for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
    return bytes;
  };
  for (int step = 0; step < 20000; ++step) {
    const std::size_t size = reference.size();
    const std::size_t row = std::uniform_int_distribution<std::size_t>(0, size + 1)(random);
    switch (random() % 10) {
      case 0:
      case 1: {
        const std::string address = text(12);
        store.Insert(row, address);
        reference.insert(reference.begin() + static_cast<std::ptrdiff_t>(std::min(row, size)),
                         {address, ""});
        break;
      }
      case 2:
      case 3: {
        const std::string address = text(12);
        store.Append(address);
        reference.emplace_back(address, "");
        break;
      }
      case 4:
      case 5:
      case 6: {
        const std::string summary = random() % 4 == 0 ? "" : text(8);
        store.SetSummary(row, summary);
        if (row < size) reference[row].second = summary;
        break;
      }
      case 7:
      case 8: {
        const std::string address = text(4096);
        store.SetAddress(row, address);
        if (row < size) reference[row].first = address;
        break;
      }
      default:
        if (random() % 200 == 0) {
          store.Clear();
          reference.clear();
        }
        break;
    }
  }
  ExpectSame(store, reference);
}

}  // namespace
}  // namespace velmora
