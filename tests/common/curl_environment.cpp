// libcurl's global set-up must happen once, before any thread starts: the program
// does it in main, the tests do it here before the first test runs.
#include <curl/curl.h>
#include <gtest/gtest.h>

namespace {

class CurlEnvironment : public testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK); }
};

const testing::Environment* const kCurlEnvironment =
    testing::AddGlobalTestEnvironment(new CurlEnvironment);

}  // namespace
