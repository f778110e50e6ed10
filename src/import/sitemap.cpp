#include "import/sitemap.h"

#include <utility>

#include "platform/ascii.h"
#include "platform/http_get.h"

namespace velmora {
namespace {

// The content of a `loc` element: the shortest run, line breaks included, up to
// the first end tag after the start tag.
constexpr std::string_view kLocationPattern = "<loc>([\\s\\S]*?)</loc>";
constexpr std::string_view kLocationEndTag = "</loc>";
constexpr int kLocationGroup = 1;

// End of the last `</loc>` (ASCII case ignored), 0 when there is none. Every match
// ends with that tag, so none lies past it; and a start tag after it can never
// match. Searching only up to there keeps the same matches while sparing the
// engine a run to the end of the text from each unclosed start tag, which made a
// text of many unclosed start tags quadratic (2 MB took seconds before the engine
// gave up).
std::size_t EndOfLastEndTag(std::string_view text) {
  const std::size_t tagLength = kLocationEndTag.size();
  if (text.size() < tagLength) return 0;
  for (std::size_t start = text.size() - tagLength + 1; start-- > 0;) {
    if (platform::EqualsIgnoringCase(text.substr(start, tagLength), kLocationEndTag)) {
      return start + tagLength;
    }
  }
  return 0;
}

}  // namespace

Text FetchSitemapText(const Text& address) {
  // The body is only needed until its text is made; a sitemap can be large.
  const Bytes body = platform::HttpGetWhole(address);
  return BytesToText(body);
}

LocationSearch FindLocations(const Text& sitemapText) {
  LocationSearch search;
  platform::Pattern pattern;
  if (!platform::PreparePattern(pattern, kLocationPattern, platform::PatternCase::kIgnore)) {
    search.outcome = LocationOutcome::kPatternFailed;
    return search;
  }

  const std::string_view text(sitemapText);
  search.matches = platform::FindAllMatches(pattern, text.substr(0, EndOfLastEndTag(text)));
  if (search.matches.empty()) {
    search.outcome = LocationOutcome::kNoMatch;
    return search;
  }
  search.outcome = LocationOutcome::kFound;
  search.locations.reserve(search.matches.size());
  for (const auto& match : search.matches) {
    search.locations.push_back(platform::MatchGroupText(*match, text, kLocationGroup));
  }
  return search;
}

}  // namespace velmora
