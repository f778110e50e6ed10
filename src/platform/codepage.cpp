#include "platform/codepage.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <array>
#include <bitset>
#include <memory>

namespace velmora::platform {
namespace {

// The code page 936 table of the original platform: 0x80 is the euro sign, and its
// aliases (windows-936, GBK, CP936, MS936) are the same table. Other GB tables differ.
constexpr const char* kCp936Name = "windows-936-2000";
constexpr char kSubstitute[] = "?";
constexpr UChar32 kReplacementCharacter = 0xFFFD;

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Writes one substitute for every character the code page lacks, lone surrogates
// included. ICU's own substitution callback skips default-ignorable characters (the
// byte-order mark, zero-width spaces) without a trace; the original conversion
// replaces them like any other.
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
  // Too small a buffer is a failure, as with the original's conversion functions.
  return U_FAILURE(status) ? 0 : written;
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
  ConverterPtr converter = OpenCp936();
  if (!converter) return 0;
  if (compose == Compose::kYes && HasCombiningMark(in, length)) {
    const std::u16string composed = ComposeMarks(in, length);
    return FromUtf16(converter.get(), composed.data(), static_cast<int>(composed.size()), out,
                     capacity);
  }
  return FromUtf16(converter.get(), in, length, out, capacity);
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

}  // namespace velmora::platform
