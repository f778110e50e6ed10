#include "platform/cookie_jar.h"

#include <gtest/gtest.h>

#include <cstddef>
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
      {"ftp://host.example", "a", "1"},
      {"http://", "a", "1"},
      {"host.example", "a", "1"},
      {"http://h.example", "a;b", "1"},
      {"http://h.example", "a", "1\r\nb"},
      // Control bytes would make a Cookie header that no request may carry.
      {"http://h.example", "bad", "x\x01y"},
      {"http://h.example", "b\x1F", "1"},
      {"http://h.example", "a", "\x7F"},
      {"http://h.example", "a", "1\tb"},
      {"http://h.example", "a", "\r"},
      {"http://h.example", "\n", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    SCOPED_TRACE(testing::PrintToString(std::string(c.name) + "=" + c.value));
    EXPECT_FALSE(SetStoreCookie(c.address, c.name, c.value));
    EXPECT_EQ(GetStoreCookies(c.address), std::nullopt);
  }
  EXPECT_EQ(GetStoreCookies("http://h.example"), std::nullopt);
  // A zero byte is a control byte too (the one case a C string cannot show).
  EXPECT_FALSE(SetStoreCookie("http://h.example", "a",
                              std::string("1\0"
                                          "2",
                                          3)));
  // A refused rewrite keeps the old value; bytes of 0x80 and above and blanks are text.
  EXPECT_TRUE(SetStoreCookie("http://h.example", " a", "\xB0\xA1 1"));
  EXPECT_FALSE(SetStoreCookie("http://h.example", " a", "2\x01"));
  EXPECT_EQ(GetStoreCookies("http://h.example"), " a=\xB0\xA1 1");
}

// "n<i>" set to "<i>" for i from `first` to `last`, as written, or as answered.
std::vector<std::string> Items(int first, int last) {
  std::vector<std::string> items;
  for (int i = first; i <= last; ++i)
    items.push_back("n" + std::to_string(i) + "=" + std::to_string(i));
  return items;
}

void Write(const std::string& address, const std::vector<std::string>& items) {
  for (const std::string& item : items) {
    const size_t equals = item.find('=');
    ASSERT_TRUE(SetStoreCookie(address, item.substr(0, equals), item.substr(equals + 1))) << item;
  }
}

std::string Joined(const std::vector<std::string>& items) {
  std::string joined;
  for (const std::string& item : items) joined += (joined.empty() ? "" : "; ") + item;
  return joined;
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(CookieJarTest, HostKeepsFiftyCookiesEvictingTheOneWrittenLongestAgo) {
  ASSERT_EQ(kMaxCookiesPerHost, 50u);
  struct Case {
    const char* name;
    std::vector<std::string> writes;
    std::vector<std::string> answer;
  };
  const Case cases[] = {
      {"the 50th name is kept", Items(1, 50), Items(1, 50)},
      {"the 51st name evicts the first written", Items(1, 51), Items(2, 51)},
      {"each further name evicts the next oldest", Items(1, 53), Items(4, 53)},
      {"a rewrite at the limit evicts nothing", Concat({Items(1, 50), {"n7=x"}}),
       Concat({Items(1, 6), {"n7=x"}, Items(8, 50)})},
      // The rewritten name keeps its place in the answer but is now the youngest.
      {"a rewrite refreshes the cookie's age", Concat({Items(1, 50), {"n1=again"}, Items(51, 52)}),
       Concat({{"n1=again"}, Items(4, 52)})},
      {"an evicted name set again is new and comes last", Concat({Items(1, 51), {"n1=back"}}),
       Concat({Items(3, 51), {"n1=back"}})},
      // Names are compared exactly: " n2" is another cookie than "n2".
      {"a leading blank makes another name", Concat({Items(1, 50), {" n2=2"}}),
       Concat({Items(2, 50), {" n2=2"}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearStoreCookies();
    Write("http://many.example", c.writes);
    EXPECT_EQ(GetStoreCookies("https://MANY.example:443/"), Joined(c.answer));
  }
}

TEST_F(CookieJarTest, HostLimitCountsEachHostApart) {
  Write("http://a.example", Items(1, 50));
  Write("https://b.example", Items(1, 3));
  Write("http://a.example", Items(51, 51));
  EXPECT_EQ(GetStoreCookies("http://a.example"), Joined(Items(2, 51)));
  EXPECT_EQ(GetStoreCookies("http://b.example"), Joined(Items(1, 3)));
}

TEST_F(CookieJarTest, RefusesACookieLongerThan4096Bytes) {
  ASSERT_EQ(kMaxCookieBytes, 4096u);
  struct Case {
    const char* name;
    size_t nameBytes;
    size_t valueBytes;
    bool kept;
  } cases[] = {
      {"4,096 bytes, mostly value", 1, 4095, true},
      {"4,097 bytes, mostly value", 1, 4096, false},
      {"4,096 bytes of name, empty value", 4096, 0, true},
      {"4,097 bytes of name, empty value", 4097, 0, false},
      {"name and value counted together", 2048, 2049, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearStoreCookies();
    Write("http://big.example", Items(1, 50));
    const std::string name(c.nameBytes, 'k');
    const std::string value(c.valueBytes, 'v');
    EXPECT_EQ(SetStoreCookie("http://big.example", name, value), c.kept);
    // A refused cookie evicts nothing; a kept one takes the oldest's place.
    const std::string expected =
        c.kept ? Joined(Concat({Items(2, 50), {name + "=" + value}})) : Joined(Items(1, 50));
    EXPECT_EQ(GetStoreCookies("http://big.example"), expected);
  }
  // A refused rewrite keeps the old value.
  EXPECT_FALSE(SetStoreCookie("http://big.example", "n2", std::string(4095, 'v')));
  EXPECT_EQ(GetStoreCookies("http://big.example"), Joined(Items(1, 50)));
}

TEST_F(CookieJarTest, StoreKeepsThreeThousandCookiesEvictingTheOneWrittenLongestAgo) {
  ASSERT_EQ(kMaxCookiesInStore, 3000u);
  constexpr int kHosts = static_cast<int>(kMaxCookiesInStore / kMaxCookiesPerHost);
  auto host = [](int h) { return "http://h" + std::to_string(h) + ".example"; };
  // One cookie first, then 59 full hosts and one with 49: exactly at the limit.
  Write("http://solo.example", {"s=1"});
  for (int h = 0; h < kHosts; ++h) Write(host(h), Items(1, h == kHosts - 1 ? 49 : 50));
  EXPECT_EQ(GetStoreCookies("http://solo.example"), "s=1");
  EXPECT_EQ(GetStoreCookies(host(0)), Joined(Items(1, 50)));

  // A full host makes room from its own cookies, not from the store's oldest.
  Write(host(1), Items(51, 51));
  EXPECT_EQ(GetStoreCookies(host(1)), Joined(Items(2, 51)));
  EXPECT_EQ(GetStoreCookies("http://solo.example"), "s=1");

  // A new name on a host below its limit takes the store's oldest cookie: the solo
  // host loses its only one and has nothing left to answer.
  Write(host(kHosts - 1), Items(50, 50));
  EXPECT_EQ(GetStoreCookies("http://solo.example"), std::nullopt);
  EXPECT_EQ(GetStoreCookies(host(kHosts - 1)), Joined(Items(1, 50)));

  // A rewrite refreshes: host 0's n1 is now young, so n2 is the next to go.
  Write(host(0), {"n1=again"});
  Write("http://fresh.example", Items(1, 2));
  EXPECT_EQ(GetStoreCookies(host(0)), Joined(Concat({{"n1=again"}, Items(4, 50)})));
  EXPECT_EQ(GetStoreCookies("http://fresh.example"), Joined(Items(1, 2)));
  // Host 1's oldest went in its own eviction; the store was never over its limit.
  EXPECT_EQ(GetStoreCookies(host(1)), Joined(Items(2, 51)));
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

// Many writers of new names on one host and on hosts of their own, readers among
// them: no answer ever holds more than the host's limit, and the store ends full.
TEST_F(CookieJarTest, ConcurrentFloodStaysWithinTheLimits) {
  constexpr int kThreads = 4;
  constexpr int kNames = 1000;
  auto items = [](const std::string& answer) {
    size_t count = answer.empty() ? 0 : 1;
    for (size_t at = answer.find("; "); at != std::string::npos; at = answer.find("; ", at + 2))
      ++count;
    return count;
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &items] {
      const std::string own = "http://own" + std::to_string(t) + ".example";
      for (int i = 0; i < kNames; ++i) {
        const std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
        SetStoreCookie("http://flood.example", name, "v");
        SetStoreCookie(own + std::to_string(i % 40), name, "v");
        std::optional<std::string> answer = GetStoreCookies("http://flood.example");
        ASSERT_TRUE(answer.has_value());
        ASSERT_LE(items(*answer), kMaxCookiesPerHost);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(items(GetStoreCookies("http://flood.example").value_or("")), kMaxCookiesPerHost);
  size_t total = items(GetStoreCookies("http://flood.example").value_or(""));
  for (int t = 0; t < kThreads; ++t) {
    for (int h = 0; h < 40; ++h) {
      total +=
          items(GetStoreCookies("http://own" + std::to_string(t) + ".example" + std::to_string(h))
                    .value_or(""));
    }
  }
  EXPECT_EQ(total, kMaxCookiesInStore);
}

}  // namespace
}  // namespace velmora::platform
