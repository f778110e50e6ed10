#include "text/csv.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(CsvTest, FieldsAreQuotedOnlyWhenTheyMustBe) {
  struct Case {
    const char* name;
    std::string field;
    FormulaGuard guard;
    std::string written;
  };
  const Case cases[] = {
      {"plain", "abc", FormulaGuard::kNone, "abc"},
      {"empty", "", FormulaGuard::kApostrophe, ""},
      {"comma", "a,b", FormulaGuard::kNone, "\"a,b\""},
      {"quotes doubled", "say \"hi\"", FormulaGuard::kNone, "\"say \"\"hi\"\"\""},
      {"CR LF inside", "a\r\nb", FormulaGuard::kNone, "\"a\r\nb\""},
      {"lone LF", "a\nb", FormulaGuard::kNone, "\"a\nb\""},
      {"tab is no separator", "a\tb", FormulaGuard::kNone, "a\tb"},
      {"high bytes untouched", "\xD6\xD0\xCE\xC4", FormulaGuard::kNone, "\xD6\xD0\xCE\xC4"},
      {"formula unguarded", "=1+1", FormulaGuard::kNone, "=1+1"},
      {"formula guarded", "=1+1", FormulaGuard::kApostrophe, "'=1+1"},
      {"plus", "+1", FormulaGuard::kApostrophe, "'+1"},
      {"minus", "-1", FormulaGuard::kApostrophe, "'-1"},
      {"at", "@x", FormulaGuard::kApostrophe, "'@x"},
      {"leading tab", "\tx", FormulaGuard::kApostrophe, "'\tx"},
      {"leading CR, guarded inside the quotes", "\rx", FormulaGuard::kApostrophe, "\"'\rx\""},
      {"guarded and quoted", "=a,b", FormulaGuard::kApostrophe, "\"'=a,b\""},
      {"sign inside is fine", "a=b", FormulaGuard::kApostrophe, "a=b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "x";
    AppendCsvField(out, c.field, c.guard);
    EXPECT_EQ(out, "x" + c.written);
  }
}

TEST(CsvTest, RecordsJoinFieldsAndEndInCrLf) {
  std::string out;
  AppendCsvRecord(out, {"url", "summary"});
  AppendCsvRecord(out, {"http://a/?x=1,2", "", "=SUM(A1)"}, FormulaGuard::kApostrophe);
  EXPECT_EQ(out, "url,summary\r\n\"http://a/?x=1,2\",,'=SUM(A1)\r\n");
}

}  // namespace
}  // namespace velmora
