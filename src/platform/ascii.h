// ASCII letter case, the one home of the rule every search that ignores case uses:
// only A-Z and a-z fold into each other; every other byte, code page 936 lead and
// second bytes included, compares exactly. Overloads for char and unsigned char
// so that byte-level code needs no casts.
#ifndef VELMORA_PLATFORM_ASCII_H_
#define VELMORA_PLATFORM_ASCII_H_

#include <algorithm>
#include <string>
#include <string_view>

namespace velmora::platform {

// The bit that tells the two cases of an ASCII letter apart (set in lower case).
inline constexpr unsigned char kAsciiCaseBit = 0x20;

[[nodiscard]] constexpr bool IsAsciiUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
[[nodiscard]] constexpr bool IsAsciiLower(unsigned char c) { return c >= 'a' && c <= 'z'; }
[[nodiscard]] constexpr bool IsAsciiLetter(unsigned char c) {
  return IsAsciiUpper(c) || IsAsciiLower(c);
}
[[nodiscard]] constexpr bool IsAsciiLetter(char c) {
  return IsAsciiLetter(static_cast<unsigned char>(c));
}

// `c` in lower (upper) case when it is an ASCII letter; itself otherwise.
[[nodiscard]] constexpr unsigned char AsciiToLower(unsigned char c) {
  return IsAsciiUpper(c) ? static_cast<unsigned char>(c | kAsciiCaseBit) : c;
}
[[nodiscard]] constexpr unsigned char AsciiToUpper(unsigned char c) {
  return IsAsciiLower(c) ? static_cast<unsigned char>(c & ~kAsciiCaseBit) : c;
}
[[nodiscard]] constexpr char AsciiToLower(char c) {
  return static_cast<char>(AsciiToLower(static_cast<unsigned char>(c)));
}
[[nodiscard]] constexpr char AsciiToUpper(char c) {
  return static_cast<char>(AsciiToUpper(static_cast<unsigned char>(c)));
}

// Lower-cases the ASCII letters of `text` in place.
inline void AsciiStrToLower(std::string& text) {
  for (char& c : text) c = AsciiToLower(c);
}

// Same length and the same bytes but for ASCII letter case.
[[nodiscard]] constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiToLower(x) == AsciiToLower(y);
         });
}

// `text` begins with `prefix`, ASCII letter case ignored; false when it is shorter.
[[nodiscard]] constexpr bool StartsWithIgnoringCase(std::string_view text,
                                                    std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_ASCII_H_
