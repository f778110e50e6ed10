// Code page conversion over ICU: UTF-8, UTF-16 and Windows code page 936.
//
// Each conversion measures when `out` is null (returns the units or bytes needed)
// and converts otherwise (returns the count written, at most `capacity`). A failure
// returns 0, and so does a buffer too small for the whole result. Nothing mutable is
// shared between calls (ICU converters are opened per call where one is needed; the
// code page table is built once and only read), so every thread may convert at once.
#ifndef VELMORA_PLATFORM_CODEPAGE_H_
#define VELMORA_PLATFORM_CODEPAGE_H_

#include <string>
#include <string_view>

namespace velmora::platform {

// UTF-8 to UTF-16; each maximal malformed subsequence becomes one U+FFFD.
int Utf8ToUtf16(const char* in, int length, char16_t* out, int capacity);

// UTF-16 to code page 936 (windows-936-2000, no fallbacks), '?' for each character
// the code page lacks. With Compose::kYes a base character followed by characters
// of non-zero combining class is first composed where a precomposed form exists,
// and nothing else is normalised.
enum class Compose { kNo, kYes };
int Utf16ToCp936(const char16_t* in, int length, char* out, int capacity, Compose compose);

// UTF-8 straight to code page 936: the same bytes as Utf8ToUtf16 followed by
// Utf16ToCp936 with `compose`, in one pass for all text and with no intermediate
// UTF-16 for text without combining marks. A zero byte gives a zero byte. "" for ""
// or for an input of more than INT32_MAX bytes.
[[nodiscard]] std::string Utf8ToCp936(std::string_view utf8, Compose compose);

// Whole-value helpers for display: code page 936 bytes to UTF-16 and back.
[[nodiscard]] std::u16string Cp936ToUtf16(std::string_view cp936);
[[nodiscard]] std::string Utf16ToCp936(std::u16string_view utf16);

// Code page 936 bytes as UTF-8 (for request bodies); "" for "" or when a conversion
// fails.
[[nodiscard]] std::string Cp936ToUtf8(std::string_view cp936);

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_CODEPAGE_H_
