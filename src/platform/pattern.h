// The pattern facility over Boost.Regex: one pattern over 8-bit text, repeated
// searches that each begin where the last match ended, and group positions.
//
// Texts are searched as plain bytes: no character set is assumed, and a search that
// ignores case folds the ASCII letters only. Nothing here touches Qt or shared
// state; each Pattern belongs to one caller.
#ifndef VELMORA_PLATFORM_PATTERN_H_
#define VELMORA_PLATFORM_PATTERN_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// Positions of one match: group 0 is the whole match. Offsets are 0-based byte
// offsets into the searched text. Holds no text.
struct MatchResult {
  struct Group {
    long long start = 0;
    long long length = 0;
    bool matched = false;
  };
  std::vector<Group> groups;
};

using MatchResults = std::vector<std::unique_ptr<MatchResult>>;

// Whether letter case matters when a pattern is prepared.
enum class PatternCase { kSensitive, kIgnore };

// A pattern object: empty until PreparePattern succeeds. Movable, not copyable.
class Pattern {
 public:
  Pattern();
  ~Pattern();
  Pattern(Pattern&&) noexcept;
  Pattern& operator=(Pattern&&) noexcept;
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;

  // Whether a pattern has been prepared.
  [[nodiscard]] bool Prepared() const;

 private:
  struct Engine;
  std::unique_ptr<Engine> engine_;
  friend bool PreparePattern(Pattern&, std::string_view, PatternCase);
  friend MatchResults FindAllMatches(const Pattern&, std::string_view);
};

// Compiles `patternText` (Perl syntax) into `pattern`, replacing what it held.
// Returns false for an empty or malformed pattern; `pattern` is then left empty.
[[nodiscard]] bool PreparePattern(Pattern& pattern, std::string_view patternText,
                                  PatternCase patternCase);

// Every match in text order: the first search starts at the beginning of `text`,
// each further one where the previous match ended (after an empty match, one byte
// further on), so matches never overlap. An empty text or an unprepared pattern gives
// no results. If the engine gives up during a search (its complexity or memory
// limits), the matches found before are returned and nothing is reported.
//
// The cost of one search grows with the text that lies after its start, so a
// pattern that can try and fail from many places of a long text is quadratic; a
// caller that knows where the last possible match ends passes only the text up to
// there (offsets stay those of the whole text, since it starts at the same byte).
[[nodiscard]] MatchResults FindAllMatches(const Pattern& pattern, std::string_view text);

// The bytes of group `group` of `result`, copied out of `text` (the text that was
// searched). A group that did not take part, has length 0, does not exist, or lies
// outside `text` gives "".
[[nodiscard]] std::string MatchGroupText(const MatchResult& result, std::string_view text,
                                         int group);

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_PATTERN_H_
