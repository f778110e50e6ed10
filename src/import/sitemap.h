// What a sitemap lists: the content of its `loc` elements, found by a pattern
// search over its text, and the fetch that gets the text. Nothing here touches the
// URL table, the search results or the window: the window fills the table from
// what FindLocations returns, and a program without a window can print it.
#ifndef VELMORA_IMPORT_SITEMAP_H_
#define VELMORA_IMPORT_SITEMAP_H_

#include "platform/pattern.h"
#include "text/text.h"

namespace velmora {

// How a search for locations ended, and so what the window tells the user.
enum class LocationOutcome {
  kFound,          // at least one location
  kNoMatch,        // the pattern was prepared, nothing matched
  kPatternFailed,  // the pattern could not be prepared (it is a constant: never seen)
};

struct LocationSearch {
  LocationOutcome outcome = LocationOutcome::kPatternFailed;
  // The match results, in text order; they become the new search results unless
  // the pattern failed. Empty for kNoMatch and kPatternFailed.
  platform::MatchResults matches;
  // The content of match k in member k, unchanged: blanks, line breaks and entities
  // stay, an empty element gives an empty member. Empty unless kFound.
  TextList locations;
};

// The address's sitemap text: the whole body of one GET (HttpGetWhole: an empty or
// non-http(s) address, a failed fetch or an empty body give ""), up to its first
// zero byte, with no character set conversion. Blocks for the transfer.
[[nodiscard]] Text FetchSitemapText(const Text& address);

// Every `loc` element of `sitemapText` (tags in any ASCII letter case) in document
// order. No XML is parsed: a start tag never closed runs to the next end tag,
// comments and CDATA are searched like any other text. An empty text, or one with no
// complete element, gives kNoMatch.
[[nodiscard]] LocationSearch FindLocations(const Text& sitemapText);

}  // namespace velmora

#endif  // VELMORA_IMPORT_SITEMAP_H_
