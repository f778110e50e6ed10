// Texts, byte buffers and text lists: the values every other routine is written in.
//
// A Text holds code page 936 bytes and never a zero byte; the empty text and an
// absent text are one value (std::string{}). A byte of 0x80 or above begins a
// two-byte character whose second byte is the next byte, whatever its value; the
// scanning operations (FindText, SplitText, ReplaceText, TrimSpaces, ToUpperCase,
// ToLowerCase) try matches only at character starts and stop at a lone lead byte
// that ends the text. Positions are 1-based byte offsets; -1 means "not found".
// LeftPart, RightPart and MidPart count bytes and may cut a character in half.
//
// Every operation is pure: arguments are never changed and the result is a new
// value owned by the caller. Nothing here keeps state, so any thread may call any
// operation at once on its own values. Integers are 32-bit signed.
#ifndef VELMORA_TEXT_TEXT_H_
#define VELMORA_TEXT_TEXT_H_

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Code page 936 bytes without a zero byte.
using Text = std::string;
// Owned, counted bytes that may hold zero bytes.
using Bytes = std::vector<unsigned char>;
// Members are numbered from 1 through Member().
using TextList = std::vector<Text>;

// Whether a search folds ASCII A-Z and a-z into each other (and nothing else).
enum class Case { kSensitive, kIgnore };

// Number of bytes.
[[nodiscard]] int TextLength(std::string_view text);

// The first n bytes; n <= 0 gives "", n >= length the whole text.
[[nodiscard]] Text LeftPart(std::string_view text, int n);
// The last n bytes; clamped like LeftPart.
[[nodiscard]] Text RightPart(std::string_view text, int n);
// Up to n bytes from 1-based position s, cut at the end of the text; "" when s < 1,
// s > length or n <= 0.
[[nodiscard]] Text MidPart(std::string_view text, int s, int n);

// Position of the first occurrence of `sought` at a character start at or after
// `start` (below 1 means 1), counted from the start of the whole text; -1 when none.
// An empty `sought` gives 1 when the search area is not empty, else -1 (start beyond
// the length leaves it empty). With Case::kIgnore every compared byte folds ASCII
// case, the second byte of a two-byte character included.
[[nodiscard]] int FindText(std::string_view text, std::string_view sought, int start = 1,
                           Case c = Case::kSensitive);

// ASCII a-z to A-Z in one-byte characters; both bytes of a two-byte character stay.
[[nodiscard]] Text ToUpperCase(std::string_view text);
// ASCII A-Z to a-z in one-byte characters; both bytes of a two-byte character stay.
[[nodiscard]] Text ToLowerCase(std::string_view text);

// Without leading and trailing spaces: 0x20 and the full-width A1 A1 (at a character
// start only). Tabs and line breaks are not spaces. A lone lead byte at the end is
// dropped and then nothing else is trimmed from the end. All spaces gives "".
[[nodiscard]] Text TrimSpaces(std::string_view text);

// The text with non-overlapping occurrences of `sought` replaced left to right,
// starting at `start` (below 1 means 1); at most `count` replacements when given.
// Unchanged when text or sought is empty, start is beyond the end, or count is 0 or
// less (a negative count asks for no replacement, as a negative maximum does in
// SplitText).
// Replacement text is never searched again.
[[nodiscard]] Text ReplaceText(std::string_view text, std::string_view sought,
                               std::string_view replacement = {}, int start = 1,
                               std::optional<int> count = std::nullopt, Case c = Case::kSensitive);

// Members between exact (case-sensitive) delimiters found at character starts.
// "" or a maximum <= 0 gives no members; an empty delimiter gives the whole text as
// one member. Leading and repeated delimiters give empty members; a trailing one
// gives no empty last member. With a maximum, scanning stops once that many members
// were appended and the rest is dropped.
[[nodiscard]] TextList SplitText(std::string_view text, std::string_view delimiter = ",",
                                 std::optional<int> maxMembers = std::nullopt);

// n spaces; n < 1 gives "".
[[nodiscard]] Text BlankText(int n);
// Decimal digits, led by "-" when negative.
[[nodiscard]] Text NumberToText(int number);
// The bytes before the first zero byte; all of them when there is none.
[[nodiscard]] Text BytesToText(const Bytes& bytes);
// The bytes of a text (no terminator).
[[nodiscard]] Bytes TextToBytes(std::string_view text);
// Number of bytes; 0 for the empty buffer.
[[nodiscard]] int BytesLength(const Bytes& bytes);
// n zero bytes; n <= 0 gives the empty buffer.
[[nodiscard]] Bytes BlankBytes(int n);

// Concatenation in order; empty parts add nothing.
[[nodiscard]] Text JoinTexts(std::initializer_list<std::string_view> parts);
template <typename... Parts>
[[nodiscard]] Text JoinTexts(const Parts&... parts) {
  return JoinTexts({std::string_view(parts)...});
}

// Negative, zero or positive by unsigned byte comparison; case-sensitive.
[[nodiscard]] int CompareTexts(std::string_view a, std::string_view b);
// Same length and same bytes.
[[nodiscard]] bool BytesEqual(const Bytes& a, const Bytes& b);

// Number of members.
[[nodiscard]] int MemberCount(const TextList& list);
// Member k (1-based). k below 1 or above the count raises the fatal runtime error.
[[nodiscard]] const Text& Member(const TextList& list, int k);

}  // namespace velmora

#endif  // VELMORA_TEXT_TEXT_H_
