// The process-wide `search results`: the match results of the last sitemap search,
// kept between imports. Created empty at start-up, replaced by each import whose
// pattern was prepared, released by the exit routine. Main thread only.
#ifndef VELMORA_TABLE_SEARCH_RESULTS_H_
#define VELMORA_TABLE_SEARCH_RESULTS_H_

#include "platform/pattern.h"

namespace velmora {

// Creates the empty list (start-up).
void CreateSearchResults();
// Releases every member in list order, then the list (the exit routine).
void ReleaseSearchResults();
// Releases the members held and puts `results` in their place.
void ReplaceSearchResults(platform::MatchResults results);
// The list; empty before creation and after release.
[[nodiscard]] const platform::MatchResults& SearchResults();

}  // namespace velmora

#endif  // VELMORA_TABLE_SEARCH_RESULTS_H_
