#include "table/bulk_display_text.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>

#include "platform/codepage.h"

namespace velmora {
namespace {

constexpr unsigned kFirstLead = 0x81;
constexpr unsigned kLastLead = 0xFE;
// No entry: the pair is not one character of the code page; the whole text then
// goes through the converter, which decides what it shows.
constexpr char16_t kNoEntry = 0;

// The trail bytes of two-byte characters; a lead byte followed by any other byte is
// malformed and takes the converter's path.
bool TrailByte(unsigned byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
}

// What the converter gives for every lead byte and trail byte, memoised: indexed
// by (lead << 8) | trail. Built once, from the converter itself, in one call over
// all pairs, each followed by a line feed (which no pair can absorb): the line
// feeds split the result into one piece per pair. A piece of exactly one character
// other than a substitute is that pair's character; any other pair (unassigned,
// malformed) gets no entry. Should the pieces not line up with the pairs, no pair
// gets one, and every text takes the converter's path.
struct PairTable {
  std::array<char16_t, 0x10000> unit{};
};

const PairTable& Pairs() {
  static const std::unique_ptr<const PairTable> table = [] {
    auto built = std::make_unique<PairTable>();
    std::string all;
    std::size_t pairCount = 0;
    for (unsigned lead = kFirstLead; lead <= kLastLead; ++lead) {
      for (unsigned trail = 0; trail <= 0xFF; ++trail) {
        if (!TrailByte(trail)) continue;
        all += static_cast<char>(lead);
        all += static_cast<char>(trail);
        all += '\n';
        ++pairCount;
      }
    }
    const std::u16string units = platform::Cp936ToUtf16(all);
    if (static_cast<std::size_t>(std::count(units.begin(), units.end(), u'\n')) != pairCount) {
      return built;
    }
    std::size_t at = 0;
    for (unsigned lead = kFirstLead; lead <= kLastLead; ++lead) {
      for (unsigned trail = 0; trail <= 0xFF; ++trail) {
        if (!TrailByte(trail)) continue;
        const std::size_t end = units.find(u'\n', at);
        const char16_t unit = units[at];
        const bool character =
            end == at + 1 && unit != 0xFFFD && unit != 0x1A && (unit < 0xD800 || unit > 0xDFFF);
        if (character) built->unit[(lead << 8) | trail] = unit;
        at = end + 1;
      }
    }
    return built;
  }();
  return *table;
}

void PutUtf8(std::string& out, char16_t unit) {
  if (unit < 0x80) {
    out += static_cast<char>(unit);
  } else if (unit < 0x800) {
    out += static_cast<char>(0xC0 | (unit >> 6));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (unit >> 12));
    out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  }
}

// Calls put(unit) for each character of `cp936` and returns true, or returns false
// at the first byte that the table does not cover (the caller then converts the
// whole text the slow way).
template <typename Put>
bool EachUnit(std::string_view cp936, Put put) {
  const PairTable& pairs = Pairs();
  for (std::size_t i = 0; i < cp936.size(); ++i) {
    const auto byte = static_cast<unsigned char>(cp936[i]);
    if (byte < 0x80) {
      put(static_cast<char16_t>(byte));
      continue;
    }
    if (i + 1 >= cp936.size()) return false;
    const char16_t unit =
        pairs.unit[(static_cast<unsigned>(byte) << 8) | static_cast<unsigned char>(cp936[i + 1])];
    if (unit == kNoEntry) return false;
    put(unit);
    ++i;
  }
  return true;
}

}  // namespace

void AppendDisplayUtf16(std::u16string& out, std::string_view cp936) {
  const std::size_t start = out.size();
  if (EachUnit(cp936, [&out](char16_t unit) { out += unit; })) return;
  out.resize(start);
  out += platform::Cp936ToUtf16(cp936);
}

void AppendDisplayUtf8(std::string& out, std::string_view cp936) {
  const std::size_t start = out.size();
  if (EachUnit(cp936, [&out](char16_t unit) { PutUtf8(out, unit); })) return;
  out.resize(start);
  out += platform::Cp936ToUtf8(cp936);
}

}  // namespace velmora
