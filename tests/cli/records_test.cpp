#include "cli/records.h"

#include <gtest/gtest.h>

namespace velmora::cli {
namespace {

Record Full() {
  Record r;
  r.n = 1;
  r.url = "http://a/?x=1,2";
  r.summary = "say \"hi\"\t\xF0\x9F\x98\x80";
  r.status = 200;
  r.attempts = 1;
  return r;
}

Record Failed() {
  Record r;
  r.n = 2;
  r.url = "http://b/\xB0\xA1";  // code page 936 bytes, not UTF-8
  r.error = "timeout";
  r.attempts = 3;
  return r;
}

TEST(RecordsTest, EachFormatWritesTheFieldsExactly) {
  struct Case {
    const char* name;
    Format format;
    Record record;
    std::string line;
  };
  const std::vector<Case> cases = {
      {"jsonl with summary", Format::kJsonLines, Full(),
       "{\"n\":1,\"url\":\"http://a/?x=1,2\",\"summary\":\"say \\\"hi\\\"\\t\xF0\x9F\x98\x80\","
       "\"status\":200,\"error\":null,\"attempts\":1}\n"},
      {"jsonl without answer", Format::kJsonLines, Failed(),
       "{\"n\":2,\"url\":\"http://b/\xEF\xBF\xBD\xEF\xBF\xBD\",\"summary\":null,\"status\":null,"
       "\"error\":\"timeout\",\"attempts\":3}\n"},
      {"csv with summary", Format::kCsv, Full(),
       "\"http://a/?x=1,2\",\"say \"\"hi\"\"\t\xF0\x9F\x98\x80\",200,\r\n"},
      {"csv without answer", Format::kCsv, Failed(),
       "http://b/\xEF\xBF\xBD\xEF\xBF\xBD,,,timeout\r\n"},
      {"tsv with summary", Format::kTsv, Full(),
       "http://a/?x=1,2\tsay \"hi\"\\t\xF0\x9F\x98\x80\t200\t\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FormatRecord(c.format, c.record), c.line);
  }
  EXPECT_EQ(FormatHeader(Format::kCsv, false), "url,summary,status,error\r\n");
  EXPECT_EQ(FormatHeader(Format::kCsv, true), "\xEF\xBB\xBFurl,summary,status,error\r\n");
  EXPECT_EQ(FormatHeader(Format::kTsv, false), "url\tsummary\tstatus\terror\n");
  EXPECT_EQ(FormatHeader(Format::kJsonLines, false), "");
}

TEST(RecordsTest, DoneRecordsAreThoseWithASummary) {
  DoneRecords done;
  AddDoneRecord(done, FormatRecord(Format::kJsonLines, Full()));
  AddDoneRecord(done, FormatRecord(Format::kJsonLines, Failed()));
  AddDoneRecord(done, "{\"n\":3,\"url\":\"http://c/\",\"summa");  // cut last line
  AddDoneRecord(done, "[1,2]");
  AddDoneRecord(done, "{\"url\":\"http://d/\",\"summary\":\"x\",\"status\":1e99}");
  AddDoneRecord(done, "{\"url\":\"http://e/\",\"summary\":\"x\",\"status\":99999999999}");
  ASSERT_EQ(done.size(), 3u);
  const Record& r = done.at("http://a/?x=1,2");
  EXPECT_EQ(r.summary, Full().summary);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.attempts, 1);
  EXPECT_EQ(done.at("http://d/").status, 0);
  EXPECT_EQ(done.at("http://e/").status, 0);
}

}  // namespace
}  // namespace velmora::cli
