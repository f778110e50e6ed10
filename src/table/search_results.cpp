#include "table/search_results.h"

#include <utility>

#include "platform/no_destructor.h"

namespace velmora {
namespace {

// Main thread only, so no lock. The exit routine empties it before the process
// ends.
platform::MatchResults& Storage() {
  static platform::NoDestructor<platform::MatchResults> results;
  return *results;
}

void ReleaseMembers(platform::MatchResults& results) {
  for (auto& member : results) member.reset();
  results.clear();
}

}  // namespace

void CreateSearchResults() { ReleaseMembers(Storage()); }

void ReleaseSearchResults() {
  platform::MatchResults& results = Storage();
  ReleaseMembers(results);
  results.shrink_to_fit();
}

void ReplaceSearchResults(platform::MatchResults results) {
  ReleaseMembers(Storage());
  Storage() = std::move(results);
}

const platform::MatchResults& SearchResults() { return Storage(); }

}  // namespace velmora
