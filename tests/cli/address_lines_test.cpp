#include "cli/address_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora::cli {
namespace {

std::vector<std::string> Lines(std::string_view file, size_t pieceSize) {
  std::vector<std::string> out;
  AddressLines lines([&](std::string a) { out.push_back(std::move(a)); });
  for (size_t i = 0; i < file.size(); i += pieceSize) {
    if (!lines.Feed(file.substr(i, pieceSize))) break;
  }
  lines.Finish();
  return out;
}

TEST(AddressLinesTest, LinesEndAtLfInAnyPieceSize) {
  using V = std::vector<std::string>;
  struct Case {
    const char* name;
    std::string file;
    V lines;
  };
  const std::vector<Case> cases = {
      {"CR LF", "a\r\nb\r\n", V{"a", "b"}},
      {"LF only", "a\nb", V{"a", "b"}},
      {"empty lines skipped", "a\n\n\r\n\nb\n", V{"a", "b"}},
      {"lone CR stays", "a\rb\n", V{"a\rb"}},
      {"blanks stay", " a \n", V{" a "}},
      {"empty file", "", V{}},
      {"zero ends the text", std::string("a\nb\0c\nd", 7), V{"a", "b"}},
      {"Ctrl-Z ends the text",
       "a\n\x1A"
       "b\n",
       V{"a"}},
      {"Ctrl-Z as a second byte does not",
       "\xB0\x1A"
       "x\ny",
       V{"\xB0\x1A"
         "x",
         "y"}},
      {"lead byte before zero goes too", std::string("ab\xB0\0", 4), V{"ab"}},
      {"UTF-8 kept as bytes", "http://x/\xE4\xB8\xAD\n", V{"http://x/\xE4\xB8\xAD"}},
      {"stray high byte before LF", "a\xC3\nb\n", V{"a\xC3", "b"}},
      {"byte-order mark kept",
       "\xEF\xBB\xBF"
       "a\n",
       V{"\xEF\xBB\xBF"
         "a"}},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{1000}}) {
      SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
      EXPECT_EQ(Lines(c.file, piece), c.lines);
    }
  }
}

}  // namespace
}  // namespace velmora::cli
