// The summary's cut on the UTF-8 answer. The window cuts the code page 936 text that
// the answer decodes to, scanning it in its own two-byte steps (every byte of 0x80 or
// above leads a pair, so the euro sign's single byte 0x80 swallows the byte after
// it). Rather than imitate that scan, the answer is decoded piece by piece while
// each piece's UTF-8 bytes are remembered; the window's own search runs on the
// decoded text, and its two boundaries map back to the UTF-8 bytes.
#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/codepage.h"
#include "probe/probe.h"

namespace velmora {
namespace {

// U+FFFD, what every malformed UTF-8 sequence becomes.
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
constexpr UChar32 kReplacement = 0xFFFD;
// A code point gives at most two code page bytes (or one '?').
constexpr int kMaxBytesPerUnit = 4;

// One decoded piece: where its UTF-8 bytes begin, where its code page bytes begin,
// and whether it was malformed (its UTF-8 is then written as U+FFFD).
struct Piece {
  size_t utf8Begin;
  size_t cpBegin;
  bool malformed;
};

struct CodePoint {
  UChar32 c;  // kReplacement for a malformed sequence
  size_t begin;
  size_t end;
  bool malformed;
};

void AppendUnits(std::u16string& units, UChar32 c) {
  if (U_IS_BMP(c)) {
    units.push_back(static_cast<char16_t>(c));
  } else {
    units.push_back(static_cast<char16_t>(U16_LEAD(c)));
    units.push_back(static_cast<char16_t>(U16_TRAIL(c)));
  }
}

// Code page 936 bytes of `units`, composed or not; "" when the conversion fails.
std::string ToCp936(const std::u16string& units, platform::Compose compose) {
  std::string out(units.size() * kMaxBytesPerUnit, '\0');
  const int n = platform::Utf16ToCp936(units.data(), static_cast<int>(units.size()), out.data(),
                                       static_cast<int>(out.size()), compose);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

// The decoded text and its pieces. A cluster (a base and the combining marks after
// it) whose composition changes its bytes is one piece: no cut can fall inside it.
// Every other code point is a piece of its own.
struct Decoded {
  std::string cp936;
  std::vector<Piece> pieces;
};

Decoded DecodeInPieces(std::string_view utf8) {
  Decoded d;
  d.cp936.reserve(utf8.size());
  d.pieces.reserve(utf8.size());
  const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
  const auto length = static_cast<int32_t>(utf8.size());
  int32_t i = 0;
  auto next = [&](CodePoint& cp) {
    const auto begin = static_cast<size_t>(i);
    UChar32 c;
    U8_NEXT(s, i, length, c);
    cp = {c < 0 ? kReplacement : c, begin, static_cast<size_t>(i), c < 0};
  };
  std::vector<CodePoint> cluster;
  CodePoint cp{};
  bool pending = false;
  while (pending || i < length) {
    if (!pending) next(cp);
    pending = false;
    // ASCII without a mark after it: itself, the common case.
    if (cp.c < 0x80 && (i >= length || s[i] < 0x80)) {
      d.pieces.push_back({cp.begin, d.cp936.size(), false});
      d.cp936.push_back(static_cast<char>(cp.c));
      continue;
    }
    cluster.assign(1, cp);
    while (i < length) {
      CodePoint mark{};
      next(mark);
      if (mark.malformed || u_getCombiningClass(mark.c) == 0) {
        cp = mark;
        pending = true;
        break;
      }
      cluster.push_back(mark);
    }
    std::u16string units;
    std::string apart;
    std::vector<size_t> apartBegins;
    for (const CodePoint& member : cluster) {
      std::u16string one;
      AppendUnits(one, member.c);
      units += one;
      apartBegins.push_back(apart.size());
      apart += ToCp936(one, platform::Compose::kNo);
    }
    if (cluster.size() > 1) {
      std::string together = ToCp936(units, platform::Compose::kYes);
      if (together != apart) {
        d.pieces.push_back({cluster.front().begin, d.cp936.size(), false});
        d.cp936 += together;
        continue;
      }
    }
    for (size_t k = 0; k < cluster.size(); ++k) {
      d.pieces.push_back({cluster[k].begin, d.cp936.size() + apartBegins[k], cluster[k].malformed});
    }
    d.cp936 += apart;
  }
  return d;
}

// Index of the piece whose code page bytes begin at `cpOffset`, or the first one
// after it; pieces.size() at the end.
size_t PieceAt(const std::vector<Piece>& pieces, size_t cpOffset) {
  auto it = std::lower_bound(pieces.begin(), pieces.end(), cpOffset,
                             [](const Piece& p, size_t offset) { return p.cpBegin < offset; });
  return static_cast<size_t>(it - pieces.begin());
}

}  // namespace

std::optional<std::string> Utf8SummaryOf(const Bytes& answer) {
  std::string_view utf8(reinterpret_cast<const char*>(answer.data()), answer.size());
  // The decoded text ends at the first zero byte, as the window's does.
  if (utf8.empty()) return std::nullopt;
  if (const void* zero = std::memchr(utf8.data(), 0, utf8.size())) {
    utf8 = utf8.substr(0, static_cast<size_t>(static_cast<const char*>(zero) - utf8.data()));
  }
  const Decoded d = DecodeInPieces(utf8);
  const std::string_view text = d.cp936;
  // The window's cut (TextBetween with its defaults), kept as two searches to learn
  // where its result lies.
  const int p = FindText(text, kSummaryStart, 1, Case::kIgnore);
  if (p == -1) return std::nullopt;
  const size_t from = static_cast<size_t>(p - 1) + kSummaryStart.size();
  const int q = FindText(text.substr(from), kSummaryEnd, 1, Case::kIgnore);
  if (q == -1) return std::nullopt;
  const size_t to = from + static_cast<size_t>(q - 1);
  // Both boundaries are piece starts: the start follows the marker's ASCII quote and
  // the end is a quote, and neither can be part of a two-byte character or of a
  // composed cluster.
  const size_t first = PieceAt(d.pieces, from);
  const size_t last = PieceAt(d.pieces, to);
  std::string summary;
  summary.reserve(to - from);
  for (size_t k = first; k < last; ++k) {
    const Piece& piece = d.pieces[k];
    const size_t end = k + 1 < d.pieces.size() ? d.pieces[k + 1].utf8Begin : utf8.size();
    if (piece.malformed) {
      summary += kReplacementUtf8;
    } else {
      summary.append(utf8.substr(piece.utf8Begin, end - piece.utf8Begin));
    }
  }
  return summary;
}

}  // namespace velmora
