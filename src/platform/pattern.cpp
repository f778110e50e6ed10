#include "platform/pattern.h"

#include <locale>
#include <stdexcept>

#include <boost/regex.hpp>

namespace velmora::platform {

struct Pattern::Engine {
  boost::regex regex;
};

Pattern::Pattern() = default;
Pattern::~Pattern() = default;
Pattern::Pattern(Pattern&&) noexcept = default;
Pattern& Pattern::operator=(Pattern&&) noexcept = default;

bool Pattern::Prepared() const { return engine_ != nullptr; }

bool PreparePattern(Pattern& pattern, std::string_view patternText, PatternCase patternCase) {
  pattern.engine_.reset();
  if (patternText.empty()) return false;
  boost::regex::flag_type flags = boost::regex::perl;
  if (patternCase == PatternCase::kIgnore) flags |= boost::regex::icase;
  try {
    auto engine = std::make_unique<Pattern::Engine>();
    // The classic locale folds the ASCII letters only, whatever locale the program
    // runs in; a byte of 0x80 or above is part of a code page 936 character, not a
    // letter of some 8-bit alphabet.
    engine->regex.imbue(std::locale::classic());
    engine->regex.assign(patternText.data(), patternText.data() + patternText.size(), flags);
    pattern.engine_ = std::move(engine);
    return true;
  } catch (const boost::regex_error&) {
    return false;
  }
}

MatchResults FindAllMatches(const Pattern& pattern, std::string_view text) {
  MatchResults results;
  if (!pattern.Prepared() || text.empty()) return results;
  using Iterator = boost::regex_iterator<std::string_view::const_iterator>;
  try {
    // The iterator starts each search where the last match ended, moves one byte on
    // after an empty match, and tells the engine that the byte before is available
    // (for \b and look-behind), as a hand loop of regex_search would not.
    const Iterator end;
    for (Iterator it(text.begin(), text.end(), pattern.engine_->regex); it != end; ++it) {
      const auto& match = *it;
      auto result = std::make_unique<MatchResult>();
      result->groups.resize(match.size());
      for (std::size_t g = 0; g < match.size(); ++g) {
        // Boost numbers the groups of a match with int.
        const auto& group = match[static_cast<int>(g)];
        if (!group.matched) continue;
        result->groups[g].start = group.first - text.begin();
        result->groups[g].length = group.second - group.first;
        result->groups[g].matched = true;
      }
      results.push_back(std::move(result));
    }
  } catch (const std::runtime_error&) {
    // The engine throws plain std::runtime_error when a search exceeds its
    // complexity or memory limits: keep what was found before it gave up.
  }
  return results;
}

std::string MatchGroupText(const MatchResult& result, std::string_view text, int group) {
  if (group < 0 || static_cast<std::size_t>(group) >= result.groups.size()) return {};
  const auto& g = result.groups[static_cast<std::size_t>(group)];
  if (!g.matched || g.length <= 0 || g.start < 0) return {};
  const auto start = static_cast<unsigned long long>(g.start);
  const auto length = static_cast<unsigned long long>(g.length);
  if (start > text.size() || length > text.size() - start) return {};
  return std::string(text.substr(start, length));
}

}  // namespace velmora::platform
