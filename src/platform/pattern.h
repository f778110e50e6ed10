// The pattern facility over Boost.Regex: one pattern over 8-bit text, repeated
// searches that each begin where the last match ended, and group positions.
#ifndef VELMORA_PLATFORM_PATTERN_H_
#define VELMORA_PLATFORM_PATTERN_H_

#include <memory>
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

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_PATTERN_H_
