#include "web/cookie_store.h"

#include <gtest/gtest.h>

#include "platform/cookie_jar.h"

namespace velmora {
namespace {

class CookieStoreTest : public testing::Test {
 protected:
  void SetUp() override { platform::ClearStoreCookies(); }
  void TearDown() override { platform::ClearStoreCookies(); }
};

TEST_F(CookieStoreTest, StoreAddressFollowsSchemeTestAndHost) {
  struct Case {
    const char* url;
    const char* address;
  } cases[] = {
      {"https://X.Y.Z:81/a/b", "https://x.y.z"},
      {"y.z", "http://y.z"},
      {"http://www.qq.com/x", "http://www.qq.com"},
      // The scheme test folds case; the host part then comes out of "HTTPS:".
      {"HTTPS://A.B/x", "https://https"},
      {"", "http://"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(StoreAddressOf(c.url), c.address);
  }
}

TEST_F(CookieStoreTest, ReadsWholeAnswerOrPicksOneValue) {
  ASSERT_TRUE(platform::SetStoreCookie("http://y.z", "a", "1"));
  ASSERT_TRUE(platform::SetStoreCookie("http://y.z", "b", "2"));
  ASSERT_TRUE(platform::SetStoreCookie("http://y.z", "c", "3"));
  struct Case {
    const char* name;
    const char* value;
  } cases[] = {{"", "a=1; b=2; c=3"}, {"b", "2"}, {"c", "3"}, {"B", "2"}, {"z", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadStoreCookies("y.z", c.name), c.value);
  }
  // Both schemes reach the host's cookies; another host has none.
  EXPECT_EQ(ReadStoreCookies("https://Y.Z:8443/p", ""), "a=1; b=2; c=3");
  EXPECT_EQ(ReadStoreCookies("w.y.z", ""), "");
}

TEST_F(CookieStoreTest, LongAnswerIsReadWhole) {
  // As many cookies as a host keeps, the last one long enough to pass 1024 bytes.
  Text cookies;
  for (int i = 0; i < 49; ++i)
    cookies += "name" + std::to_string(i) + "=value" + std::to_string(i) + ";";
  cookies += "tail=" + std::string(600, 't') + ";";
  WriteStoreCookies("busy.example", cookies);
  Text answer = ReadStoreCookies("busy.example", "");
  EXPECT_GT(answer.size(), 1024u);
  EXPECT_EQ(answer.substr(0, 26), "name0=value0; name1=value1");
  EXPECT_EQ(ReadStoreCookies("busy.example", "name48"), "value48");
  EXPECT_EQ(ReadStoreCookies("busy.example", "tail"), std::string(600, 't'));
}

TEST_F(CookieStoreTest, RefusedItemsAreSkippedAndTheRestWritten) {
  // A control byte, and a cookie past the size limit, are refused by the store.
  WriteStoreCookies("y.z", "a=1; bad=x\x01y; big=" + std::string(4096, 'v') + "; c=3;");
  EXPECT_EQ(ReadStoreCookies("y.z", ""), "a=1;  c=3");
}

TEST_F(CookieStoreTest, WritesEveryItemHoldingEquals) {
  struct Case {
    const char* cookies;
    std::optional<std::string> stored;
  } cases[] = {
      {"a=1; b=2;", "a=1;  b=2"},  // the second name is " b"
      {"t=x=y", "t=x=y"},         {"t=x=", "t=x="},   {"e=", "e="},
      {"secure;a=1", "a=1"},      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cookies);
    platform::ClearStoreCookies();
    WriteStoreCookies("y.z", c.cookies);
    EXPECT_EQ(platform::GetStoreCookies("http://y.z"), c.stored);
  }
}

TEST_F(CookieStoreTest, LaterWriteReplacesValueInPlace) {
  WriteStoreCookies("y.z", "a=1;b=2");
  WriteStoreCookies("y.z", "b=3;a=4;c=5");
  EXPECT_EQ(ReadStoreCookies("y.z", ""), "a=4; b=3; c=5");
}

}  // namespace
}  // namespace velmora
