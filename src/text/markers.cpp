#include "text/markers.h"

#include <string>

namespace velmora {

// "#引号" in code page 936.
const Text kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";

namespace {

Text WithQuotes(std::string_view marker) {
  return ReplaceText(marker, kQuotePlaceholder, "\"", 1, std::nullopt, Case::kSensitive);
}

}  // namespace

Text TextBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                 std::optional<int> start, Case c) {
  const Text startText = WithQuotes(startMarker);
  const Text endText = WithQuotes(endMarker);
  const int from = start.value_or(1);
  const int p = FindText(text, startText, from, c);
  if (p == -1) return {};
  // p + m - 1 <= L, so this is the whole text after the start marker (possibly none).
  const Text rest = RightPart(text, TextLength(text) - p - TextLength(startText) + 1);
  const int q = FindText(rest, endText, from, c);
  if (q == -1) return {};
  return LeftPart(rest, q - 1);
}

Text TextBetweenFrom(std::string_view text, int& position, std::string_view startMarker,
                     Text& secondMarker, UseSecondMarker useSecond, std::string_view endMarker,
                     Case c, KeepMarker keep) {
  const int b = FindText(text, startMarker, position, c);
  position = b;
  if (b == -1) return {};
  int anchor = b;
  int anchorLength = TextLength(startMarker);
  if (useSecond == UseSecondMarker::kYes) {
    anchor = FindText(text, secondMarker, b, c);
    anchorLength = TextLength(secondMarker);
    if (anchor == -1) {
      position = -1;
      return {};
    }
  }
  int e = FindText(text, endMarker, anchor + anchorLength, c);
  if (e == -1) e = TextLength(text) + 1;
  if (keep == KeepMarker::kNo) position = anchor + anchorLength;
  Text piece = MidPart(text, position, e - position);
  // Assigned last: `text` or `startMarker` may view the caller's second marker.
  if (useSecond == UseSecondMarker::kNo) secondMarker = Text(startMarker);
  return piece;
}

}  // namespace velmora
