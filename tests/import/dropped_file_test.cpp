// The lines of a dropped file: lines at CR LF, the end of the text, names that
// open nothing, and the file given back once read.
#include "import/dropped_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/process_status.h"

namespace velmora {
namespace {

using test::BytesReadSoFar;

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
      {"CR LF as a second byte and the byte after it", "\xB0\r\nb\r\n", {"\xB0\r\nb"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadDroppedFileLines(MakeFile("list.txt", c.bytes)), c.lines);
    // Read in pieces of every small size, the text is that of the whole bytes: the
    // end is found across the edges of pieces, lead bytes included.
    const std::string bytes = c.bytes + "\x1A" + "after the end";
    const Text path = MakeFile("pieces.txt", bytes);
    for (std::size_t piece = 1; piece <= 9; ++piece) {
      SCOPED_TRACE(piece);
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      ASSERT_GE(fd, 0);
      const std::optional<Text> text = ReadDroppedFileText(fd, piece);
      ::close(fd);
      ASSERT_TRUE(text.has_value());
      EXPECT_EQ(*text, DroppedFileText(bytes));
    }
    EXPECT_EQ(ReadDroppedFileText(path), DroppedFileText(bytes));
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

// The lines of each piece are handed over before the next is read: a line break, a
// two-byte character or the end of the text on the edge between two pieces gives
// the lines of the whole text.
TEST_F(DroppedFileTest, LinesAcrossTheEdgeOfAPiece) {
  struct Case {
    const char* name;
    std::string atTheEdge;  // its first byte is the last one of the first piece
  };
  const Case cases[] = {
      {"CR LF split", "\r\nnext\r\n"},
      {"CR LF whole in the second piece", "x\r\nnext"},
      {"lead byte then CR LF as its second byte", "\xB0\r\nnext\r\n"},
      {"lead byte then Ctrl-Z as its second byte", "\xB0\x1A\r\nnext"},
      {"lead byte then a zero", std::string("\xB0\0next", 6)},
      {"Ctrl-Z first in the second piece", "x\x1Anext"},
      {"lone CR then a line", "\rnext\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes;
    while (bytes.size() + 30 < kDroppedFileReadPiece - 1) bytes += "http://filler.example/\r\n";
    bytes.append(kDroppedFileReadPiece - 1 - bytes.size(), 'y');
    bytes += c.atTheEdge;
    const TextList lines = ReadDroppedFileLines(MakeFile("edge.txt", bytes));
    const TextList expected = SplitText(DroppedFileText(bytes), "\r\n");
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t k = lines.size() - 3; k < lines.size(); ++k) {
      EXPECT_EQ(lines[k], expected[k]) << "line " << k;
    }
  }
}

// Huge sparse files cost nothing on disk; reading them whole would cost their size
// in memory. Nothing past the piece that holds the end of the text is read.
TEST_F(DroppedFileTest, NothingPastTheEndOfTheTextIsRead) {
  constexpr off_t kHugeTail = off_t{64} << 30;
  struct Case {
    const char* name;
    std::string head;  // then zero bytes up to the huge size
    TextList rows;
  };
  const Case cases[] = {
      {"first byte zero", "", {}},
      {"lines, then zeros",
       "http://a.example/\r\nhttp://b.example/\r\n",
       {"http://a.example/", "http://b.example/"}},
      {"Ctrl-Z, then zeros", "a\r\n\x1A", {"a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Text path = MakeFile("sparse.txt", c.head);
    ASSERT_EQ(::truncate(path.c_str(), kHugeTail), 0);
    long long before = BytesReadSoFar();
    EXPECT_EQ(ReadDroppedFileLines(path), c.rows);
    EXPECT_LE(BytesReadSoFar() - before, static_cast<long long>(2 * kDroppedFileReadPiece));
    before = BytesReadSoFar();
    EXPECT_EQ(ReadDroppedFileText(path), DroppedFileText(c.head));
    EXPECT_LE(BytesReadSoFar() - before, static_cast<long long>(2 * kDroppedFileReadPiece));
    ::unlink(path.c_str());
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
    EXPECT_EQ(ReadDroppedFileText(c.fileName), std::nullopt);
    int handedOver = 0;
    EXPECT_EQ(ReadDroppedFileLines(c.fileName, [&](const auto&) { ++handedOver; }),
              DroppedFileRead::kNoFile);
    EXPECT_EQ(handedOver, 0);
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
