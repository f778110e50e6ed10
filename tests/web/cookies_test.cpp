#include "web/cookies.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct MergeCase {
  const char* what;
  Text base;
  Text update;
  Text merged;
  Text updateAfter;
};

TEST(MergeCookiesTest, MergesIntoNormalForm) {
  const MergeCase cases[] = {
      {"worked example", "a=1; b=2", "b=3; c=4", "a=1; b=3; c=4;", "b=3; c=4;"},
      {"both empty", "", "", "", ""},
      {"empty base, emptied path dropped", "", "x=1;path=;max-age=900;", "x=1; max-age=900;",
       "x=1;path=;max-age=900;"},
      {"deleted by the server", "a=1; b=2", "b=deleted", "a=1;", "b=deleted;"},
      {"emptied", "a=1; b=2", "b=", "a=1;", "b=;"},
      {"name found ignoring case, update's case kept", "SID=1", "sid=2", "sid=2;", "sid=2;"},
      {"leading blank is part of the name", "b=1; a=2", "x=0; b=5", "b=1; a=2; x=0; b=5;",
       "x=0; b=5;"},
      {"name found inside another item", "x=abc;ab=1", "ab=2", "x=ab=2; ab=1;", "ab=2;"},
      {"empty name replaces the first item", "a=1; b=2", "=v", "=v; b=2;", "=v;"},
      {"empty name into empty base", "", "=v", "=v;", "=v;"},
      {"items without = ignored in update, kept in base", "a=1; secure", "secure", "a=1; secure;",
       "secure;"},
      {"empty member of base kept", "a=1;;b=2", "", "a=1; ; b=2;", ""},
      {"value holding =", "t=1", "t=a=b", "t=a=b;", "t=a=b;"},
      {"value ending in = looks emptied", "t=ab=; u=1", "", "u=1;", ""},
      {"anything ending in x=deleted dropped", "q=x=deleted; r=1", "", "r=1;", ""},
      {"deleted compared with its case", "q=DELETED", "", "q=DELETED;", ""},
      {"tests made before trimming", "a= ;b=1", "", "a=; b=1;", ""},
      // The last character decides, and B0 3B or B0 3D is one two-byte character.
      {"two-byte character ending in the byte of ;", "", "\xB0;", "", "\xB0;;"},
      {"two-byte character ending in the byte of =", "x\xB0=", "", "x\xB0=;", ""},
      {"; after a two-byte character", "a=\xB0\xB0;", "", "a=\xB0\xB0;", ""},
      {"= after a two-byte character", "a=1; t\xB0\xB0=", "", "a=1;", ""},
      {"lone lead byte at the end is trimmed before the tests", "a=1;t=\xB0", "", "a=1;", ""},
      {"=deleted stays a byte test", "q\xB0=deleted", "", "", ""},
      {"full-width and half-width blanks trimmed", "\xA1\xA1 a=1 \xA1\xA1", " c=3 ", "a=1; c=3;",
       "c=3;"},
  };
  for (const MergeCase& c : cases) {
    SCOPED_TRACE(c.what);
    Text base = c.base;
    Text update = c.update;
    Text result = MergeCookies(base, update);
    EXPECT_EQ(result, c.merged);
    EXPECT_EQ(base, c.merged);
    EXPECT_EQ(update, c.updateAfter);
  }
}

}  // namespace
}  // namespace velmora
