#include "text/text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/ascii.h"
#include "text/fatal.h"

namespace velmora {
namespace {

constexpr size_t kNone = std::string_view::npos;

// A byte of 0x80 or above begins a two-byte character.
constexpr bool IsLeadByte(unsigned char b) { return b >= 0x80; }

using platform::AsciiToLower;
using platform::AsciiToUpper;
using platform::IsAsciiLetter;

// Every byte's lower-case form, for the searches' inner loops.
constexpr std::array<unsigned char, 256> MakeFoldTable() {
  std::array<unsigned char, 256> table{};
  for (std::size_t b = 0; b < table.size(); ++b) {
    table[b] = AsciiToLower(static_cast<unsigned char>(b));
  }
  return table;
}
constexpr std::array<unsigned char, 256> kFold = MakeFoldTable();

inline unsigned char At(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }

// Converts a 1-based start position to a 0-based offset: below 1 means the beginning.
constexpr size_t StartOffset(int start) { return start < 1 ? 0 : static_cast<size_t>(start) - 1; }

// Positions are 32-bit in the interface; texts longer than that are not expected, but a
// position past the range is reported as not found rather than wrapped.
int ToPosition(size_t offset) {
  if (offset >= static_cast<size_t>(std::numeric_limits<int>::max())) return -1;
  return static_cast<int>(offset) + 1;
}

// Finds occurrences of `sought` that begin at character starts of `text`, where the
// scan that defines character starts begins at a given offset (which counts as a
// character start, whatever precedes it). Successive calls must not move backwards,
// so that every byte is examined a bounded number of times: the whole scan is linear.
class CharStartMatcher {
 public:
  CharStartMatcher(std::string_view text, std::string_view sought, Case c)
      : text_(text), fold_(c == Case::kIgnore && HasLetter(sought)), needle_(sought) {
    if (fold_) {
      for (auto& b : needle_) b = static_cast<char>(kFold[static_cast<unsigned char>(b)]);
    }
  }

  // Offset of the first match at a character start at or after `from`, where `from`
  // itself is a character start of the scan (the beginning of the search area, or the
  // end of the previous match); kNone when there is none. `sought` must not be empty.
  size_t Next(size_t from) {
    cursor_ = from;
    size_t at = from;
    while (true) {
      const size_t candidate = Candidate(at);
      if (candidate == kNone) return kNone;
      if (IsCharStart(candidate)) {
        // A lone lead byte that ends the text stops the scan before it is compared.
        if (candidate + 1 == text_.size() && IsLeadByte(At(text_, candidate))) return kNone;
        return candidate;
      }
      at = candidate + 1;
    }
  }

 private:
  static bool HasLetter(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char b) { return IsAsciiLetter(b); });
  }

  // Whether offset i (at or after the cursor, which is a known character start) is a
  // character start. A byte below 0x80 before i is either a whole character or the
  // second byte of one, so i starts a character; otherwise the bytes back to the
  // nearest such byte (or to the cursor) are all lead-or-trail pairs and the parity of
  // their count decides. The cursor then moves to i or just past it, so no byte is
  // scanned backwards twice.
  bool IsCharStart(size_t i) {
    if (i == cursor_ || !IsLeadByte(At(text_, i - 1))) {
      cursor_ = i;
      return true;
    }
    size_t k = i - 1;
    while (k > cursor_ && IsLeadByte(At(text_, k - 1))) --k;
    // Bytes [k, i) are all 0x80 or above and k is a character start.
    const bool start = ((i - k) % 2) == 0;
    cursor_ = start ? i : i + 1;
    return start;
  }

  // First raw occurrence at or after `at`, ignoring character starts. glibc's memmem
  // skips well for longer needles but walks two-byte needles (a CR LF) byte by byte,
  // so those take the block filter, which has no false candidates for them.
  size_t Candidate(size_t at) const {
    const size_t m = needle_.size();
    if (at > text_.size() || text_.size() - at < m) return kNone;
    if (fold_ || m == 2) return FilteredCandidate(at);
    const void* hit = m == 1 ? std::memchr(text_.data() + at, needle_[0], text_.size() - at)
                             : memmem(text_.data() + at, text_.size() - at, needle_.data(), m);
    return hit == nullptr ? kNone
                          : static_cast<size_t>(static_cast<const char*>(hit) - text_.data());
  }

  bool EqualAt(size_t i) const {
    if (!fold_) return std::memcmp(text_.data() + i, needle_.data(), needle_.size()) == 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text_.data() + i);
    const auto* q = reinterpret_cast<const unsigned char*>(needle_.data());
    for (size_t k = 0; k < needle_.size(); ++k) {
      if (kFold[p[k]] != q[k]) return false;
    }
    return true;
  }

  // Filters positions by the first and last sought bytes 16 at a time, then compares
  // the whole sought text. Ignoring case, a letter matches both its cases by setting
  // bit 0x20, which maps only the other case of that letter onto it.
  size_t FilteredCandidate(size_t at) const {
    const size_t m = needle_.size();
    const size_t last = text_.size() - m;  // last offset where a match fits
    const auto first = static_cast<unsigned char>(needle_[0]);
    const auto tail = static_cast<unsigned char>(needle_[m - 1]);
    const unsigned char firstMask = fold_ && IsAsciiLetter(first) ? platform::kAsciiCaseBit : 0;
    const unsigned char tailMask = fold_ && IsAsciiLetter(tail) ? platform::kAsciiCaseBit : 0;
    size_t i = at;
#if defined(__SSE2__)
    const __m128i firstV = _mm_set1_epi8(static_cast<char>(first));
    const __m128i tailV = _mm_set1_epi8(static_cast<char>(tail));
    const __m128i firstMaskV = _mm_set1_epi8(static_cast<char>(firstMask));
    const __m128i tailMaskV = _mm_set1_epi8(static_cast<char>(tailMask));
    const char* base = text_.data();
    while (i + 16 <= last + 1) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + i + m - 1));
      const __m128i eq = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstMaskV), firstV),
                                       _mm_cmpeq_epi8(_mm_or_si128(b, tailMaskV), tailV));
      auto bits = static_cast<unsigned>(_mm_movemask_epi8(eq));
      while (bits != 0) {
        const size_t candidate = i + static_cast<size_t>(__builtin_ctz(bits));
        if (EqualAt(candidate)) return candidate;
        bits &= bits - 1;
      }
      i += 16;
    }
#endif
    for (; i <= last; ++i) {
      if ((At(text_, i) | firstMask) == first && EqualAt(i)) return i;
    }
    return kNone;
  }

  std::string_view text_;
  bool fold_;
  // The sought text, folded to lower case when ignoring case.
  std::string needle_;
  size_t cursor_ = 0;
};

}  // namespace

int TextLength(std::string_view text) {
  return static_cast<int>(
      std::min(text.size(), static_cast<size_t>(std::numeric_limits<int>::max())));
}

Text LeftPart(std::string_view text, int n) {
  if (n <= 0) return {};
  return Text(text.substr(0, static_cast<size_t>(n)));
}

Text RightPart(std::string_view text, int n) {
  if (n <= 0) return {};
  const size_t count = std::min(text.size(), static_cast<size_t>(n));
  return Text(text.substr(text.size() - count));
}

Text MidPart(std::string_view text, int s, int n) {
  if (s < 1 || n <= 0 || static_cast<size_t>(s) > text.size()) return {};
  return Text(text.substr(static_cast<size_t>(s) - 1, static_cast<size_t>(n)));
}

int FindText(std::string_view text, std::string_view sought, int start, Case c) {
  const size_t from = StartOffset(start);
  if (from >= text.size()) return -1;
  if (sought.empty()) return 1;
  if (text.size() - from < sought.size()) return -1;
  CharStartMatcher matcher(text, sought, c);
  const size_t hit = matcher.Next(from);
  return hit == kNone ? -1 : ToPosition(hit);
}

namespace {

// Maps one-byte characters through `map`, copying both bytes of two-byte characters.
template <typename Map>
Text MapOneByteCharacters(std::string_view text, Map map) {
  Text out(text);
  const size_t n = out.size();
  size_t i = 0;
  while (i < n) {
    const auto b = static_cast<unsigned char>(out[i]);
    if (IsLeadByte(b)) {
      i += 2;
      continue;
    }
    out[i] = static_cast<char>(map(b));
    ++i;
  }
  return out;
}

}  // namespace

Text ToUpperCase(std::string_view text) {
  return MapOneByteCharacters(text, [](unsigned char b) { return AsciiToUpper(b); });
}

Text ToLowerCase(std::string_view text) {
  return MapOneByteCharacters(text, [](unsigned char b) { return AsciiToLower(b); });
}

Text TrimSpaces(std::string_view text) {
  constexpr unsigned char kAsciiSpace = 0x20;
  constexpr unsigned char kFullWidthSpaceByte = 0xA1;  // A1 A1 is the full-width space
  const size_t n = text.size();
  // Length of the space character at i, 0 when there is none.
  auto spaceAt = [&](size_t i) -> size_t {
    if (At(text, i) == kAsciiSpace) return 1;
    if (At(text, i) == kFullWidthSpaceByte && i + 1 < n && At(text, i + 1) == kFullWidthSpaceByte) {
      return 2;
    }
    return 0;
  };
  size_t begin = 0;
  while (begin < n) {
    const size_t len = spaceAt(begin);
    if (len == 0) break;
    begin += len;
  }
  size_t end = begin;  // where the current run of spaces began, or the scan position
  size_t i = begin;
  while (i < n) {
    const unsigned char b = At(text, i);
    if (IsLeadByte(b) && i + 1 == n) {
      // A lone lead byte at the end is dropped; what precedes it stays, spaces included.
      return Text(text.substr(begin, i - begin));
    }
    const size_t space = spaceAt(i);
    const size_t step = space != 0 ? space : (IsLeadByte(b) ? 2 : 1);
    if (space == 0) end = i + step;
    i += step;
  }
  return Text(text.substr(begin, end - begin));
}

Text ReplaceText(std::string_view text, std::string_view sought, std::string_view replacement,
                 int start, std::optional<int> count, Case c) {
  const size_t from = StartOffset(start);
  // A negative count asks for no replacement, like 0.
  if (text.empty() || sought.empty() || from >= text.size() || (count && *count <= 0)) {
    return Text(text);
  }
  CharStartMatcher matcher(text, sought, c);
  Text out;
  size_t copied = 0;  // bytes of `text` already emitted
  size_t scan = from;
  long long remaining = count ? *count : -1;
  while (remaining != 0) {
    const size_t hit = matcher.Next(scan);
    if (hit == kNone) break;
    if (out.empty()) out.reserve(text.size() + replacement.size());
    out.append(text.substr(copied, hit - copied));
    out.append(replacement);
    copied = hit + sought.size();
    scan = copied;
    if (remaining > 0) --remaining;
  }
  if (copied == 0) return Text(text);
  out.append(text.substr(copied));
  return out;
}

TextList SplitText(std::string_view text, std::string_view delimiter,
                   std::optional<int> maxMembers) {
  TextList members;
  if (text.empty() || (maxMembers && *maxMembers <= 0)) return members;
  if (delimiter.empty()) {
    members.emplace_back(text);
    return members;
  }
  const size_t limit = maxMembers ? static_cast<size_t>(*maxMembers) : kNone;
  CharStartMatcher matcher(text, delimiter, Case::kSensitive);
  size_t memberStart = 0;
  while (members.size() < limit) {
    const size_t hit = matcher.Next(memberStart);
    if (hit == kNone) break;
    members.emplace_back(text.substr(memberStart, hit - memberStart));
    memberStart = hit + delimiter.size();
  }
  if (memberStart < text.size() && members.size() < limit) {
    members.emplace_back(text.substr(memberStart));
  }
  return members;
}

Text BlankText(int n) { return n < 1 ? Text{} : Text(static_cast<size_t>(n), ' '); }

Text NumberToText(int number) { return std::to_string(number); }

Text BytesToText(const Bytes& bytes) {
  if (bytes.empty()) return {};
  const void* zero = std::memchr(bytes.data(), 0, bytes.size());
  const size_t n =
      zero == nullptr ? bytes.size()
                      : static_cast<size_t>(static_cast<const unsigned char*>(zero) - bytes.data());
  return Text(reinterpret_cast<const char*>(bytes.data()), n);
}

Bytes TextToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

int BytesLength(const Bytes& bytes) {
  return static_cast<int>(
      std::min(bytes.size(), static_cast<size_t>(std::numeric_limits<int>::max())));
}

Bytes BlankBytes(int n) { return n <= 0 ? Bytes{} : Bytes(static_cast<size_t>(n), 0); }

Text JoinTexts(std::initializer_list<std::string_view> parts) {
  size_t total = 0;
  for (std::string_view part : parts) total += part.size();
  Text out;
  out.reserve(total);
  for (std::string_view part : parts) out.append(part);
  return out;
}

int CompareTexts(std::string_view a, std::string_view b) {
  // char_traits<char>::compare orders bytes as unsigned char.
  const int r = a.compare(b);
  return (r > 0) - (r < 0);
}

bool BytesEqual(const Bytes& a, const Bytes& b) { return a == b; }

int MemberCount(const TextList& list) {
  return static_cast<int>(
      std::min(list.size(), static_cast<size_t>(std::numeric_limits<int>::max())));
}

const Text& Member(const TextList& list, int k) {
  if (k < 1) {
    RaiseFatalError("text list member number " + std::to_string(k) + " is below 1");
  }
  if (static_cast<size_t>(k) > list.size()) {
    RaiseFatalError("text list member number " + std::to_string(k) +
                    " is beyond the member count " + std::to_string(list.size()));
  }
  return list[static_cast<size_t>(k) - 1];
}

}  // namespace velmora
