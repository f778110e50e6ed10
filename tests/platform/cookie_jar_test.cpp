#include "platform/cookie_jar.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace velmora::platform {
namespace {

class CookieJarTest : public testing::Test {
 protected:
  void SetUp() override { ClearStoreCookies(); }
  void TearDown() override { ClearStoreCookies(); }
};

TEST_F(CookieJarTest, KeepsNamesAsGivenInFirstSetOrder) {
  EXPECT_TRUE(SetStoreCookie("http://Host.Example/path", "b", "1"));
  EXPECT_TRUE(SetStoreCookie("https://host.example:8443", " a", "2"));
  EXPECT_TRUE(SetStoreCookie("HTTP://HOST.EXAMPLE", "B", "3"));
  EXPECT_TRUE(SetStoreCookie("http://host.example", "b", "4"));
  EXPECT_EQ(GetStoreCookies("https://host.example/"), "b=4;  a=2; B=3");
  EXPECT_EQ(GetStoreCookies("http://other.example"), std::nullopt);
}

TEST_F(CookieJarTest, RefusesWhatWouldBreakTheAnswer) {
  struct Case {
    const char* address;
    const char* name;
    const char* value;
  } cases[] = {
      {"ftp://host.example", "a", "1"},    {"http://", "a", "1"},
      {"host.example", "a", "1"},          {"http://h.example", "a;b", "1"},
      {"http://h.example", "a", "1\r\nb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_FALSE(SetStoreCookie(c.address, c.name, c.value));
    EXPECT_EQ(GetStoreCookies(c.address), std::nullopt);
  }
  EXPECT_EQ(GetStoreCookies("http://h.example"), std::nullopt);
}

TEST_F(CookieJarTest, ConcurrentWritersAndReadersSeeWholeCookies) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      std::string name = "n" + std::to_string(t);
      for (int i = 0; i < kRounds; ++i) {
        SetStoreCookie("http://shared.example", name, std::to_string(i));
        std::optional<std::string> answer = GetStoreCookies("http://shared.example");
        ASSERT_TRUE(answer.has_value());
        EXPECT_NE(answer->find(name + "="), std::string::npos);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::optional<std::string> answer = GetStoreCookies("http://shared.example");
  ASSERT_TRUE(answer.has_value());
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_NE(answer->find("n" + std::to_string(t) + "=" + std::to_string(kRounds - 1)),
              std::string::npos);
  }
}

}  // namespace
}  // namespace velmora::platform
