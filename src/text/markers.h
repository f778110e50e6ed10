// Cutting a piece out of a text by the markers around it.
#ifndef VELMORA_TEXT_MARKERS_H_
#define VELMORA_TEXT_MARKERS_H_

#include <optional>
#include <string_view>

#include "text/text.h"

namespace velmora {

// Placeholder a caller may write inside a marker to mean one double quote
// (code page 936 bytes of the system's own spelling).
extern const Text kQuotePlaceholder;

// What lies between the first `startMarker` and the next `endMarker` after it; ""
// when either is missing (an empty end marker finds nothing; an empty start marker
// matches at position 1 of a non-empty text). Markers are found ignoring ASCII case
// unless `c` is Case::kSensitive. `start`, when given, is passed unchanged to both
// searches (to the text, and to the remainder after the start marker).
[[nodiscard]] Text TextBetween(std::string_view text, std::string_view startMarker,
                               std::string_view endMarker, std::optional<int> start = std::nullopt,
                               Case c = Case::kIgnore);

enum class UseSecondMarker { kNo, kYes };
enum class KeepMarker { kNo, kYes };

// The piece from the first `startMarker` at or after `position` (below 1 means 1) up
// to, not including, the next `endMarker` after the anchor marker, or to the end of
// the text when there is none. `position` comes back as -1 when nothing was found,
// else where the piece begins. With UseSecondMarker::kYes the anchor is the first
// `secondMarker` from the start marker's position on; with kNo `secondMarker`
// receives a copy of the start marker, which is then the anchor. KeepMarker::kYes
// starts the piece at the start marker itself; kNo just after the anchor marker.
[[nodiscard]] Text TextBetweenFrom(std::string_view text, int& position,
                                   std::string_view startMarker, Text& secondMarker,
                                   UseSecondMarker useSecond, std::string_view endMarker,
                                   Case c = Case::kIgnore, KeepMarker keep = KeepMarker::kYes);

}  // namespace velmora

#endif  // VELMORA_TEXT_MARKERS_H_
