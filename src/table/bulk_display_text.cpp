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

// Calls putAscii(run) for each run of ASCII bytes and put(unit) for each two-byte
// character of `cp936`, in order, and returns true; or returns false at the first
// byte that the table does not cover (the caller then converts the whole text the
// slow way).
template <typename PutAscii, typename Put>
bool EachPiece(std::string_view cp936, PutAscii putAscii, Put put) {
  const PairTable& pairs = Pairs();
  std::size_t i = 0;
  while (i < cp936.size()) {
    std::size_t run = i;
    while (run < cp936.size() && static_cast<unsigned char>(cp936[run]) < 0x80) ++run;
    if (run > i) putAscii(cp936.substr(i, run - i));
    i = run;
    if (i >= cp936.size()) break;
    if (i + 1 >= cp936.size()) return false;
    const char16_t unit =
        pairs.unit[(static_cast<unsigned>(static_cast<unsigned char>(cp936[i])) << 8) |
                   static_cast<unsigned char>(cp936[i + 1])];
    if (unit == kNoEntry) return false;
    put(unit);
    i += 2;
  }
  return true;
}

}  // namespace

void AppendDisplayUtf16(std::u16string& out, std::string_view cp936) {
  const std::size_t start = out.size();
  const auto putAscii = [&out](std::string_view run) { out.append(run.begin(), run.end()); };
  if (EachPiece(cp936, putAscii, [&out](char16_t unit) { out += unit; })) return;
  out.resize(start);
  out += platform::Cp936ToUtf16(cp936);
}

void AppendDisplayUtf8(std::string& out, std::string_view cp936) {
  const std::size_t start = out.size();
  const auto putAscii = [&out](std::string_view run) { out += run; };
  if (EachPiece(cp936, putAscii, [&out](char16_t unit) { PutUtf8(out, unit); })) return;
  out.resize(start);
  out += platform::Cp936ToUtf8(cp936);
}

}  // namespace velmora
