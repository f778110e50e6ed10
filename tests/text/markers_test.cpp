// Cutting pieces out of texts by their markers, as the probe, the web routine and the
// cookie merge use it.
#include "text/markers.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

TEST(TextBetweenTest, Cases) {
  const struct {
    const char* name;
    std::string text, start, end;
    std::string expected;
  } cases[] = {
      {"summary", R"({"title":"T","summary":"Hello","pic":""})", R"(summary":")", R"(",)", "Hello"},
      {"no start marker", R"({"title":"T"})", R"(summary":")", R"(",)", ""},
      {"no end marker after start", R"({"summary":"Hello"})", R"(summary":")", R"(",)", ""},
      {"start marker ignores case", R"({"SUMMARY":"Hi","x":1})", R"(summary":")", R"(",)", "Hi"},
      {"first end marker ends the piece", R"({"summary":"a",b","x":1})", R"(summary":")", R"(",)",
       "a"},
      {"set-cookie", "Set-Cookie: a=1; path=/", "Set-Cookie:", ";", " a=1"},
      {"set-cookie without ;", "Set-Cookie: a=1", "Set-Cookie:", ";", ""},
      {"start marker at the end", "abc", "c", "", ""},
      {"empty end marker", "abc", "a", "", ""},
      {"empty start marker", "abc", "", "c", "ab"},
      {"placeholder means a quote", "k\"x\"v;", "#\xD2\xFD\xBA\xC5x#\xD2\xFD\xBA\xC5", ";", "v"},
      {"placeholder in the end marker", "[a\"]", "[", "#\xD2\xFD\xBA\xC5]", "a"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(TextBetween(t.text, t.start, t.end), t.expected);
  }
  EXPECT_EQ(
      TextBetween(R"("SUMMARY":"Hi",)", R"(summary":")", R"(",)", std::nullopt, Case::kSensitive),
      "");
  // A given start position is passed to both searches: here the end marker is
  // searched in the rest from its third byte.
  EXPECT_EQ(TextBetween("xa;b;c", "a", ";", 2), ";b");
}

TEST(TextBetweenFromTest, CookieItems) {
  const struct {
    const char* name;
    std::string text, marker;
    std::string expected;
    int position;
  } cases[] = {
      {"second item", "a=1; b=2", "b", "b=2", 6},
      {"first item", "a=1; b=2", "a", "a=1", 1},
      {"missing", "a=1; b=2", "c", "", -1},
      {"found anywhere", "ba=1; a=2", "a", "a=1", 2},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    int position = 0;
    Text second;
    EXPECT_EQ(TextBetweenFrom(t.text, position, t.marker, second, UseSecondMarker::kNo, ";"),
              t.expected);
    EXPECT_EQ(position, t.position);
    EXPECT_EQ(second, t.position == -1 ? "" : t.marker);
  }
}

TEST(TextBetweenFromTest, Options) {
  int position = 0;
  Text second;
  EXPECT_EQ(TextBetweenFrom("k=v;x", position, "k=", second, UseSecondMarker::kNo, ";",
                            Case::kIgnore, KeepMarker::kNo),
            "v");
  EXPECT_EQ(position, 3);

  // The anchor is the second marker, found from the start marker on.
  position = 1;
  second = "=";
  EXPECT_EQ(TextBetweenFrom("x=0;key=val;z", position, "key", second, UseSecondMarker::kYes, ";",
                            Case::kIgnore, KeepMarker::kNo),
            "val");
  EXPECT_EQ(position, 9);
  second = "#";
  position = 1;
  EXPECT_EQ(TextBetweenFrom("key=val", position, "key", second, UseSecondMarker::kYes, ";"), "");
  EXPECT_EQ(position, -1);

  // Case-sensitive search, and a search start past the first occurrence.
  position = 0;
  EXPECT_EQ(TextBetweenFrom("A=1;a=2", position, "a", second, UseSecondMarker::kNo, ";",
                            Case::kSensitive),
            "a=2");
  EXPECT_EQ(position, 5);
  position = 2;
  EXPECT_EQ(TextBetweenFrom("a=1;a=2", position, "a", second, UseSecondMarker::kNo, ";"), "a=2");
  EXPECT_EQ(position, 5);
}

TEST(TextBetweenFromTest, SecondMarkerMayAliasTheStartMarker) {
  int position = 0;
  Text marker = "b";
  EXPECT_EQ(TextBetweenFrom("a=1; b=2", position, marker, marker, UseSecondMarker::kNo, ";"),
            "b=2");
  EXPECT_EQ(marker, "b");
}

}  // namespace
}  // namespace velmora
