// The process-wide search results: created empty, replaced by imports, released.
#include "table/search_results.h"

#include <gtest/gtest.h>

#include <memory>

namespace velmora {
namespace {

platform::MatchResults Results(int n) {
  platform::MatchResults results;
  for (int i = 0; i < n; ++i) {
    auto member = std::make_unique<platform::MatchResult>();
    member->groups.push_back({i, 1, true});
    results.push_back(std::move(member));
  }
  return results;
}

TEST(SearchResultsTest, LifeCycle) {
  CreateSearchResults();
  EXPECT_TRUE(SearchResults().empty());
  ReplaceSearchResults(Results(3));
  ASSERT_EQ(SearchResults().size(), 3u);
  ReplaceSearchResults(Results(1));  // the previous members are released, not kept
  ASSERT_EQ(SearchResults().size(), 1u);
  EXPECT_EQ(SearchResults()[0]->groups[0].start, 0);
  ReleaseSearchResults();
  EXPECT_TRUE(SearchResults().empty());
  ReleaseSearchResults();  // releasing twice is harmless
  EXPECT_TRUE(SearchResults().empty());
}

}  // namespace
}  // namespace velmora
