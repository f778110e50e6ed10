#include "table/search_results.h"

#include <utility>

namespace velmora {
namespace {

// Main thread only, so no lock. Deliberately never destroyed: the process ends
// with _Exit after the exit routine has emptied it.
platform::MatchResults& Storage() {
  static auto* const results = new platform::MatchResults();
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
