#include "platform/codepage.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <bitset>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace velmora::platform {
namespace {

// Windows code page 936 as ICU has it: 0x80 is the euro sign, and its aliases
// (windows-936, GBK, CP936, MS936) are the same table. Other GB tables (ibm-1386,
// gb18030) map differently and substitute differently.
constexpr const char* kCp936Name = "windows-936-2000";
constexpr char kSubstitute[] = "?";
constexpr UChar32 kReplacementCharacter = 0xFFFD;

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Writes one substitute for every character the code page lacks, lone surrogates
// included. ICU's own substitution callback skips default-ignorable characters (the
// byte-order mark, zero-width spaces) without a trace, which would make a missing
// character vanish instead of showing as '?'.
void SubstituteEveryCharacter(const void*, UConverterFromUnicodeArgs* args, const UChar*, int32_t,
                              UChar32, UConverterCallbackReason reason, UErrorCode* status) {
  if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR) return;
  *status = U_ZERO_ERROR;
  ucnv_cbFromUWriteBytes(args, kSubstitute, 1, 0, status);
}

// A fresh converter per call: ICU converters keep state and may not be shared
// between threads. Opening one is cheap once ICU has cached the table.
ConverterPtr OpenCp936() {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open(kCp936Name, &status));
  if (U_FAILURE(status)) return nullptr;
  ucnv_setSubstChars(converter.get(), kSubstitute, 1, &status);
  if (U_FAILURE(status)) return nullptr;
  // Only exact round-trip mappings; anything else becomes the substitute.
  ucnv_setFallback(converter.get(), false);
  ucnv_setFromUCallBack(converter.get(), &SubstituteEveryCharacter, nullptr, nullptr, nullptr,
                        &status);
  if (U_FAILURE(status)) return nullptr;
  return converter;
}

// Which BMP code units are characters of non-zero combining class, so the common
// case (no combining mark anywhere) costs a bit test per unit. Surrogates are left
// to the full lookup.
const std::bitset<0x10000>& CombiningUnits() {
  static const std::bitset<0x10000> units = [] {
    std::bitset<0x10000> bits;
    for (UChar32 c = 0; c < 0x10000; ++c) {
      if (U16_IS_SURROGATE(c) || u_getCombiningClass(c) != 0) bits.set(static_cast<size_t>(c));
    }
    return bits;
  }();
  return units;
}

bool HasCombiningMark(const char16_t* in, int length) {
  const auto& combining = CombiningUnits();
  for (int i = 0; i < length;) {
    const char16_t unit = in[i];
    if (!combining.test(unit)) {
      ++i;
      continue;
    }
    UChar32 c;
    U16_NEXT(in, i, length, c);
    if (u_getCombiningClass(c) != 0) return true;
  }
  return false;
}

// Composes each base character with the combining marks that follow it where a
// precomposed character exists, and nothing else: unlike whole-string NFC this keeps
// singletons such as U+FA0C and U+2126 and does not reorder marks. A mark is blocked
// from its base by an uncomposed mark of the same or higher class before it.
std::u16string ComposeMarks(const char16_t* in, int length) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
  std::u16string out;
  out.reserve(static_cast<size_t>(length));
  if (U_FAILURE(status)) {
    out.assign(in, static_cast<size_t>(length));
    return out;
  }
  bool haveBase = false;
  size_t baseAt = 0;  // where the base's code units begin in `out`
  UChar32 base = 0;
  uint8_t blockingClass = 0;  // highest class of an uncomposed mark since the base
  auto append = [&out](UChar32 c) {
    if (U_IS_BMP(c)) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(static_cast<char16_t>(U16_LEAD(c)));
      out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    }
  };
  for (int i = 0; i < length;) {
    UChar32 c;
    U16_NEXT(in, i, length, c);
    const uint8_t cc = u_getCombiningClass(c);
    if (cc == 0) {
      haveBase = true;
      baseAt = out.size();
      base = c;
      blockingClass = 0;
      append(c);
      continue;
    }
    if (haveBase && blockingClass < cc) {
      const UChar32 composed = unorm2_composePair(nfc, base, c);
      if (composed >= 0) {
        const size_t oldUnits = U16_LENGTH(base);
        std::array<char16_t, 2> units{};
        size_t newUnits = 0;
        if (U_IS_BMP(composed)) {
          units[newUnits++] = static_cast<char16_t>(composed);
        } else {
          units[newUnits++] = static_cast<char16_t>(U16_LEAD(composed));
          units[newUnits++] = static_cast<char16_t>(U16_TRAIL(composed));
        }
        out.replace(baseAt, oldUnits, units.data(), newUnits);
        base = composed;
        continue;
      }
    }
    if (cc > blockingClass) blockingClass = cc;
    append(c);
  }
  return out;
}

int FromUtf16(UConverter* converter, const char16_t* in, int length, char* out, int capacity) {
  UErrorCode status = U_ZERO_ERROR;
  const int32_t written =
      ucnv_fromUChars(converter, out, out == nullptr ? 0 : capacity, in, length, &status);
  if (out == nullptr) {
    return (status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status)) ? written : 0;
  }
  // Too small a buffer is a failure, not a truncated result: callers measure first.
  return U_FAILURE(status) ? 0 : written;
}

// The code page's answer for every BMP code unit, taken once from the ICU converter
// with the settings above, so that converting is a table lookup per unit instead of
// two passes through ICU. The table is only used when ICU's whole-plane conversion
// proves to be one character to one or two bytes throughout (a stateless table, as
// windows-936-2000 is); otherwise every conversion goes through ICU.
struct Cp936Table {
  bool usable = false;
  // One byte b is stored as b; two bytes as lead << 8 | trail (leads are 0x81 and up).
  std::array<uint16_t, 0x10000> code{};
};

const Cp936Table& Table() {
  static const std::unique_ptr<const Cp936Table> table = [] {
    auto built = std::make_unique<Cp936Table>();
    ConverterPtr converter = OpenCp936();
    if (!converter) return std::unique_ptr<const Cp936Table>(std::move(built));
    std::vector<UChar> units;
    units.reserve(0x10000);
    for (UChar32 c = 0; c < 0x10000; ++c) {
      if (!U16_IS_SURROGATE(c)) units.push_back(static_cast<UChar>(c));
    }
    std::vector<char> bytes(units.size() * 4);
    std::vector<int32_t> offsets(bytes.size());
    char* target = bytes.data();
    const UChar* source = units.data();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_fromUnicode(converter.get(), &target, bytes.data() + bytes.size(), &source,
                     units.data() + units.size(), offsets.data(), true, &status);
    if (U_FAILURE(status)) return std::unique_ptr<const Cp936Table>(std::move(built));
    const size_t written = static_cast<size_t>(target - bytes.data());
    size_t j = 0;
    for (size_t i = 0; i < units.size(); ++i) {
      size_t count = 0;
      while (j + count < written && offsets[j + count] == static_cast<int32_t>(i)) ++count;
      const auto b0 = static_cast<unsigned char>(bytes[j]);
      if (count == 1) {
        built->code[units[i]] = b0;
      } else if (count == 2 && b0 >= 0x81) {
        built->code[units[i]] =
            static_cast<uint16_t>(b0 << 8 | static_cast<unsigned char>(bytes[j + 1]));
      } else {
        return std::unique_ptr<const Cp936Table>(std::move(built));
      }
      j += count;
    }
    // A malformed UTF-8 byte becomes U+FFFD; the one-pass conversion counts on it
    // taking a single byte, as '?' does.
    built->usable = j == written && built->code[kReplacementCharacter] <= 0xFF;
    return std::unique_ptr<const Cp936Table>(std::move(built));
  }();
  return *table;
}

enum class StopAtMark { kNo, kYes };
constexpr int kFoundMark = -1;

// Length of the run of ASCII units at the start of [in, in + length), looked at 8 units
// at a time; it may stop short of the run's end (the caller goes on unit by unit).
int AsciiPrefix(const char16_t* in, int length) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  while (i + 8 <= length) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), zero)) != 0xFFFF) break;
    i += 8;
  }
#endif
  return i;
}

// Copies `count` ASCII units to bytes.
void NarrowAscii(const char16_t* in, int count, char* out) {
  int i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= count; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(v, v));
  }
#endif
  for (; i < count; ++i) out[i] = static_cast<char>(in[i]);
}

// Converts (or, with `out` null, measures) through the table. With StopAtMark::kYes
// returns kFoundMark as soon as a unit of non-zero combining class appears, so the
// caller can compose first; text without marks takes a single pass. Returns 0 when
// `out` is too small.
int TableConvert(const Cp936Table& table, const char16_t* in, int length, char* out, int capacity,
                 StopAtMark stop) {
  const auto& combining = CombiningUnits();
  const long long limit = out == nullptr ? std::numeric_limits<long long>::max() : capacity;
  long long n = 0;
  int i = 0;
  while (i < length) {
    if (const int run = AsciiPrefix(in + i, length - i); run > 0) {
      if (n + run > limit) return 0;
      if (out != nullptr) NarrowAscii(in + i, run, out + n);
      n += run;
      i += run;
      continue;
    }
    const char16_t unit = in[i];
    uint16_t code;
    if (unit < 0x80) {
      code = unit;
      ++i;
    } else if (!combining.test(unit)) {
      code = table.code[unit];
      ++i;
    } else if (U16_IS_SURROGATE(unit)) {
      // A surrogate pair or a lone surrogate: the code page has none of them.
      UChar32 c;
      U16_NEXT(in, i, length, c);
      if (stop == StopAtMark::kYes && u_getCombiningClass(c) != 0) return kFoundMark;
      code = static_cast<unsigned char>(kSubstitute[0]);
    } else {
      if (stop == StopAtMark::kYes) return kFoundMark;
      code = table.code[unit];
      ++i;
    }
    if (code > 0xFF) {
      if (n + 2 > limit) return 0;
      if (out != nullptr) {
        out[n] = static_cast<char>(code >> 8);
        out[n + 1] = static_cast<char>(code & 0xFF);
      }
      n += 2;
    } else {
      if (n + 1 > limit) return 0;
      if (out != nullptr) out[n] = static_cast<char>(code);
      n += 1;
    }
  }
  if (n > std::numeric_limits<int>::max()) return 0;
  return static_cast<int>(n);
}

// The code point whose UTF-8 form begins at in[i] with a byte of 0x80 or above; `i`
// moves past it. A maximal malformed subsequence is one U+FFFD and moves `i` past
// just that subsequence, exactly as Utf8ToUtf16 decodes it (it is ICU's own macro).
// Forced inline: it runs once per character, and out of line the call took about a
// seventh of the decoding time.
[[gnu::always_inline]] inline UChar32 NextNonAscii(const uint8_t* in, int32_t& i, int32_t length) {
  UChar32 c;
  U8_NEXT_OR_FFFD(in, i, length, c);
  return c;
}

// UTF-16 units of `length` bytes of UTF-8 that begin and end on character boundaries;
// one unit per byte is always room enough.
std::u16string Utf16Of(const uint8_t* in, int32_t length) {
  std::u16string units(static_cast<size_t>(length), u'\0');
  const int n = Utf8ToUtf16(reinterpret_cast<const char*>(in), length, units.data(),
                            static_cast<int>(length));
  units.resize(static_cast<size_t>(n));
  return units;
}

constexpr int kNotConverted = -1;

// The one-pass result is allocated at its upper bound, the input's length, and kept
// there unless more than a quarter of the result would be unused (all-Chinese text
// shrinks by a third): mixed text then costs no copy, and no long-lived text holds
// much dead space.
constexpr size_t kMaxSlackDivisor = 4;

// UTF-8 to code page 936 through the table in one pass, into `out`, which holds at
// least `length` bytes: no character takes more bytes in the code page than in UTF-8
// (a malformed subsequence gives one '?', a character above the BMP one '?', a
// composed character at most two bytes for a base and a mark of at least three).
// Runs without combining marks, which is nearly all text, cost a table lookup per
// character. A mark composes only with the last character of class 0 before it, so
// only the stretch from that character to the next one of class 0 is redone through
// ComposeMarks. Returns the byte count, or kNotConverted should a composed stretch
// ever outgrow its UTF-8 form (the caller then takes the two-step path).
int Utf8TableConvert(const Cp936Table& table, const uint8_t* in, int32_t length, char* out,
                     Compose compose) {
  const auto& combining = CombiningUnits();
  int32_t i = 0;
  int n = 0;
  // Where the last character of combining class 0 began, in the input and in `out`.
  int32_t baseIn = 0;
  int baseOut = 0;
  while (i < length) {
#if defined(__SSE2__)
    // ASCII, 16 bytes at a time; storing a whole block is safe because `out` is never
    // ahead of the input (n <= i).
    if (i + 16 <= length) {
      const int32_t runStart = i;
      while (i + 16 <= length) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), v);
        const auto high = static_cast<unsigned>(_mm_movemask_epi8(v));
        const int run = high == 0 ? 16 : __builtin_ctz(high);
        i += run;
        n += run;
        if (run < 16) break;
      }
      if (i > runStart) {
        baseIn = i - 1;
        baseOut = n - 1;
      }
      if (i >= length) break;
    }
#endif
    const int32_t start = i;
    const uint8_t lead = in[i];
    if (lead < 0x80) {
      baseIn = start;
      baseOut = n;
      out[n++] = static_cast<char>(lead);
      ++i;
      continue;
    }
    const UChar32 c = NextNonAscii(in, i, length);
    bool mark;
    uint16_t code;
    if (U_IS_BMP(c)) {
      // UTF-8 yields no surrogates, so a set bit is a combining mark.
      mark = combining.test(static_cast<size_t>(c));
      code = table.code[static_cast<size_t>(c)];
    } else {
      mark = u_getCombiningClass(c) != 0;
      code = static_cast<unsigned char>(kSubstitute[0]);
    }
    if (mark && compose == Compose::kYes) {
      int32_t end = i;
      while (end < length) {
        int32_t next = end;
        const UChar32 d = in[next] < 0x80 ? in[next++] : NextNonAscii(in, next, length);
        if (u_getCombiningClass(d) == 0) break;
        end = next;
      }
      const std::u16string composed = [&] {
        const std::u16string units = Utf16Of(in + baseIn, end - baseIn);
        return ComposeMarks(units.data(), static_cast<int>(units.size()));
      }();
      const int written = TableConvert(table, composed.data(), static_cast<int>(composed.size()),
                                       out + baseOut, end - baseIn, StopAtMark::kNo);
      if (written <= 0 || baseOut + written > end) return kNotConverted;
      n = baseOut + written;
      i = end;  // the next character, if any, is of class 0 and becomes the base
      continue;
    }
    if (!mark) {
      baseIn = start;
      baseOut = n;
    }
    if (code > 0xFF) {
      out[n] = static_cast<char>(code >> 8);
      out[n + 1] = static_cast<char>(code & 0xFF);
      n += 2;
    } else {
      out[n++] = static_cast<char>(code);
    }
  }
  return n;
}

}  // namespace

int Utf8ToUtf16(const char* in, int length, char16_t* out, int capacity) {
  if (in == nullptr || length <= 0) return 0;
  UErrorCode status = U_ZERO_ERROR;
  int32_t needed = 0;
  if (out == nullptr) {
    u_strFromUTF8WithSub(nullptr, 0, &needed, in, length, kReplacementCharacter, nullptr, &status);
    return (status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status)) ? needed : 0;
  }
  if (capacity <= 0) return 0;
  u_strFromUTF8WithSub(out, capacity, &needed, in, length, kReplacementCharacter, nullptr, &status);
  return U_FAILURE(status) ? 0 : needed;
}

int Utf16ToCp936(const char16_t* in, int length, char* out, int capacity, Compose compose) {
  if (in == nullptr || length <= 0) return 0;
  if (out != nullptr && capacity <= 0) return 0;
  if (const Cp936Table& table = Table(); table.usable) {
    const StopAtMark stop = compose == Compose::kYes ? StopAtMark::kYes : StopAtMark::kNo;
    const int n = TableConvert(table, in, length, out, capacity, stop);
    if (n != kFoundMark) return n;
    const std::u16string composed = ComposeMarks(in, length);
    return TableConvert(table, composed.data(), static_cast<int>(composed.size()), out, capacity,
                        StopAtMark::kNo);
  }
  ConverterPtr converter = OpenCp936();
  if (!converter) return 0;
  if (compose == Compose::kYes && HasCombiningMark(in, length)) {
    const std::u16string composed = ComposeMarks(in, length);
    return FromUtf16(converter.get(), composed.data(), static_cast<int>(composed.size()), out,
                     capacity);
  }
  return FromUtf16(converter.get(), in, length, out, capacity);
}

std::string Utf8ToCp936(std::string_view utf8, Compose compose) {
  if (utf8.empty() || utf8.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    return {};
  }
  const auto length = static_cast<int32_t>(utf8.size());
  if (const Cp936Table& table = Table(); table.usable) {
    std::string out(utf8.size(), '\0');
    const int n = Utf8TableConvert(table, reinterpret_cast<const uint8_t*>(utf8.data()), length,
                                   out.data(), compose);
    if (n != kNotConverted) {
      out.resize(static_cast<size_t>(n));
      if (out.capacity() - out.size() > out.size() / kMaxSlackDivisor) out.shrink_to_fit();
      return out;
    }
  }
  // The two steps, each measured first.
  const int w = Utf8ToUtf16(utf8.data(), length, nullptr, 0);
  if (w <= 0) return {};
  std::u16string units(static_cast<size_t>(w), u'\0');
  if (Utf8ToUtf16(utf8.data(), length, units.data(), w) != w) return {};
  const int k = Utf16ToCp936(units.data(), w, nullptr, 0, compose);
  if (k <= 0) return {};
  std::string out(static_cast<size_t>(k), '\0');
  if (Utf16ToCp936(units.data(), w, out.data(), k, compose) != k) return {};
  return out;
}

std::u16string Cp936ToUtf16(std::string_view cp936) {
  if (cp936.empty()) return {};
  ConverterPtr converter = OpenCp936();
  if (!converter) return {};
  const auto length = static_cast<int32_t>(cp936.size());
  UErrorCode status = U_ZERO_ERROR;
  const int32_t needed = ucnv_toUChars(converter.get(), nullptr, 0, cp936.data(), length, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return {};
  std::u16string out(static_cast<size_t>(needed), u'\0');
  status = U_ZERO_ERROR;
  ucnv_toUChars(converter.get(), out.data(), needed, cp936.data(), length, &status);
  if (U_FAILURE(status)) return {};
  return out;
}

std::string Utf16ToCp936(std::u16string_view utf16) {
  if (utf16.empty()) return {};
  ConverterPtr converter = OpenCp936();
  if (!converter) return {};
  const auto length = static_cast<int>(utf16.size());
  const int needed = FromUtf16(converter.get(), utf16.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  if (FromUtf16(converter.get(), utf16.data(), length, out.data(), needed) != needed) return {};
  return out;
}

std::string Cp936ToUtf8(std::string_view cp936) {
  std::u16string units = Cp936ToUtf16(cp936);
  if (units.empty()) return {};
  int32_t needed = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8(nullptr, 0, &needed, reinterpret_cast<const UChar*>(units.data()),
              static_cast<int32_t>(units.size()), &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return {};
  std::string utf8(static_cast<std::size_t>(needed), '\0');
  status = U_ZERO_ERROR;
  u_strToUTF8(utf8.data(), needed, &needed, reinterpret_cast<const UChar*>(units.data()),
              static_cast<int32_t>(units.size()), &status);
  if (U_FAILURE(status)) return {};
  return utf8;
}

}  // namespace velmora::platform
