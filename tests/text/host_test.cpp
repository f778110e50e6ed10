// Host names as the cookie code derives them from addresses.
#include "text/host.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

TEST(HostOfTest, Cases) {
  const struct {
    std::string url;
    std::string plain, shortened;
  } cases[] = {
      {"https://X.Y.Z:81/a/b", "x.y.z", "y.z"},
      {"http://a.b.c.d/", "a.b.c.d", "c.d"},
      {"http://10.0.0.1:81/", "10.0.0.1", "0.1"},
      {"y.z", "y.z", "y.z"},
      {"y.z/path", "y.z", "y.z"},
      {"http://", "", ""},
      {"", "", ""},
      {"//x.y/z", "", ""},
      {"HTTPS://A.B/x", "https", "https"},
      {"ftp://h/x", "ftp", "ftp"},
      {"https://user:pw@a.b.c/x", "user", "user"},
      {"https://a.b/?u=http://c.d/p", "c.d", "c.d"},
      {"y.z.", "y.z.", "y.z"},
      {"h", "h", "h"},
      {"http://WWW.Example.COM", "www.example.com", "example.com"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.url);
    EXPECT_EQ(HostOf(t.url), t.plain);
    EXPECT_EQ(HostOf(t.url, Shorten::kYes), t.shortened);
    EXPECT_EQ(HostOf(HostOf(t.url, Shorten::kYes), Shorten::kYes), t.shortened);
  }
  EXPECT_EQ(HostOf("https://X.Y.Z:81/a/b", Shorten::kNo, KeepPort::kYes), "x.y.z:81");
  EXPECT_EQ(HostOf("http://10.0.0.1:81/", Shorten::kYes, KeepPort::kYes), "0.1:81");
}

}  // namespace
}  // namespace velmora
