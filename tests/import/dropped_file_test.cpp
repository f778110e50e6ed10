// The lines of a dropped file: lines at CR LF, the end of the text, names that
// open nothing, and the file given back once read.
#include "import/dropped_file.h"

#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace velmora {
namespace {

class DroppedFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(dir_, ignored);
  }

  // Writes `bytes` to a new file of the temporary folder; returns its path.
  Text MakeFile(const std::string& name, const std::string& bytes) {
    const Text path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  std::string dir_;
};

int OpenDescriptors() {
  int count = 0;
  DIR* fds = ::opendir("/proc/self/fd");
  if (fds == nullptr) return -1;
  while (::readdir(fds) != nullptr) ++count;
  ::closedir(fds);
  return count;
}

TEST_F(DroppedFileTest, OneMemberPerLine) {
  struct Case {
    const char* name;
    std::string bytes;
    TextList lines;
  };
  const Case cases[] = {
      {"CR LF lines, final CR LF adds no line", "a\r\nb\r\n", {"a", "b"}},
      {"last line without CR LF", "a\r\nb", {"a", "b"}},
      {"empty line kept", "a\r\n\r\nb", {"a", "", "b"}},
      {"only CR LF", "\r\n", {""}},
      {"empty file", "", {}},
      {"LF line ends are no breaks", "a\nb\n", {"a\nb\n"}},
      {"lone CR stays in its line", "a\rb\r\n", {"a\rb"}},
      {"blanks kept", " http://a.example/ \r\n\tb\r\n", {" http://a.example/ ", "\tb"}},
      {"byte-order mark kept",
       "\xEF\xBB\xBFhttp://a.example/\r\nb",
       {"\xEF\xBB\xBFhttp://a.example/", "b"}},
      {"code page 936 line",
       "http://a.example/\xD6\xD0\xCE\xC4\r\n",
       {"http://a.example/\xD6\xD0\xCE\xC4"}},
      // FF FE is one two-byte character; the text ends at the first zero byte.
      {"UTF-16 file", std::string("\xFF\xFEh\0t\0\r\0\n\0", 10), {"\xFF\xFEh"}},
      {"Ctrl-Z ends the text", "a\r\nb\x1A\r\nc\r\n", {"a", "b"}},
      {"zero byte ends the text", std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
      {"Ctrl-Z as second byte does not end it", "\xB0\x1A\r\nz", {"\xB0\x1A", "z"}},
      {"zero after a lead byte ends it before the zero", std::string("ab\xB0\0cd", 6), {"ab\xB0"}},
      {"lead byte as last byte kept", "a\r\nb\xB0", {"a", "b\xB0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadDroppedFileLines(MakeFile("list.txt", c.bytes)), c.lines);
    EXPECT_EQ(DroppedFileLines(c.bytes), c.lines);
  }
}

// The end of the text, at every offset around the eight-byte steps of the scan.
TEST(DroppedFileTextTest, EndsAtTheFirstTerminatorAtACharacterStart) {
  for (std::size_t at = 0; at < 20; ++at) {
    SCOPED_TRACE(at);
    const std::string before(at, 'a');
    const std::string after(20, 'b');
    EXPECT_EQ(DroppedFileText(before + '\x1A' + after), before);
    EXPECT_EQ(DroppedFileText(before + '\0' + after), before);
    // As a second byte, Ctrl-Z belongs to its character.
    EXPECT_EQ(DroppedFileText(before + "\xB0\x1A" + after), before + "\xB0\x1A" + after);
    EXPECT_EQ(DroppedFileText(before + "\xB0\x1A" + after + '\x1A'), before + "\xB0\x1A" + after);
    EXPECT_EQ(DroppedFileText(before + "\xB0" + '\0' + after), before + "\xB0");
  }
}

TEST_F(DroppedFileTest, NamesThatOpenNoFileGiveNoLines) {
  const Text a = MakeFile("a.txt", "http://a.example/\r\n");
  const Text b = MakeFile("b.txt", "http://b.example/\r\n");
  struct Case {
    const char* name;
    Text fileName;
  };
  const Case cases[] = {
      {"missing file", dir_ + "/missing.txt"},
      {"folder", dir_},
      {"two files dropped together", a + "\r\n" + b + "\r\n"},
      {"empty name", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadDroppedFileLines(c.fileName), TextList{});
  }
}

TEST_F(DroppedFileTest, ReadOnlyFileImportsAndIsNotLeftOpen) {
  const Text path = MakeFile("read-only.txt", "http://a.example/\r\nhttp://b.example/\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const int before = OpenDescriptors();
  for (int drop = 1; drop <= 2; ++drop) {
    SCOPED_TRACE(drop);  // dropping again repeats the import
    EXPECT_EQ(ReadDroppedFileLines(path), (TextList{"http://a.example/", "http://b.example/"}));
    EXPECT_EQ(OpenDescriptors(), before);
  }
}

TEST_F(DroppedFileTest, FifoDoesNotStallTheImport) {
  const Text path = dir_ + "/pipe";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(ReadDroppedFileLines(path), TextList{});
}

}  // namespace
}  // namespace velmora
