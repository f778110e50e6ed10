#include "import/dropped_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "table/url_table.h"

namespace velmora {
namespace {

constexpr unsigned char kCtrlZ = 0x1A;  // the old end-of-file mark of text files
constexpr unsigned char kFirstLeadByte = 0x80;
constexpr std::string_view kLineBreak = "\r\n";
// The lines of a piece go into the table before the next one is read.
constexpr std::size_t kReadPiece = kDroppedFileReadPiece;

// Owns one open file descriptor.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  [[nodiscard]] int get() const { return fd_; }

 private:
  int fd_;
};

// Opens the regular file `path` for reading only (a read-only file imports, and
// nothing holds it against writers); -1 when it cannot be opened or is not a
// regular file. O_NONBLOCK keeps a dropped FIFO from stalling the open; it has no
// effect on regular files.
int OpenRegularFile(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Several dropped items arrive as their paths each followed by CR LF. No name of a
// real file holds CR LF where the drop comes from, so such a text names no file;
// here a path could hold them, and opening it could pick up an unrelated file.
bool NamesSeveralItems(std::string_view fileName) {
  return fileName.find(kLineBreak) != std::string_view::npos;
}

constexpr std::uint64_t kLowBits = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// Non-zero when one of the eight bytes of `word` is zero (and, for words without
// bytes of 0x80 or above, only then).
constexpr std::uint64_t HasZeroByte(std::uint64_t word) {
  return (word - kLowBits) & ~word & kHighBits;
}

// Where a scan of the text stands between two pieces of it.
struct ScanState {
  // The last byte scanned was a lead byte: the next byte is its second byte.
  bool secondByteNext = false;
};

// Scans `size` more bytes of the text for its end: the first zero or Ctrl-Z at a
// character start, or a zero second byte (the text then ends after its lead byte).
// Returns the offset in `data` where the text ends; kNoEnd when these bytes hold
// no end, with `state` ready for the next bytes.
constexpr std::size_t kNoEnd = static_cast<std::size_t>(-1);

std::size_t FindTextEnd(const unsigned char* data, std::size_t size, ScanState& state) {
  std::size_t i = 0;
  if (state.secondByteNext && size > 0) {
    state.secondByteNext = false;
    if (data[0] == 0) return 0;
    i = 1;
  }
  while (i < size) {
    // Most files are plain ASCII: step over eight bytes at a time while none of
    // them is a lead byte, a zero or a Ctrl-Z.
    while (size - i >= sizeof(std::uint64_t)) {
      std::uint64_t word;
      std::memcpy(&word, data + i, sizeof word);
      if (((word & kHighBits) | HasZeroByte(word) | HasZeroByte(word ^ (kLowBits * kCtrlZ))) != 0) {
        break;
      }
      i += sizeof word;
    }
    if (i >= size) break;
    const unsigned char byte = data[i];
    if (byte == 0 || byte == kCtrlZ) return i;
    if (byte < kFirstLeadByte) {
      ++i;
      continue;
    }
    // A lead byte and its second byte go together; a zero second byte still ends
    // the text, since a text holds none.
    if (i + 1 == size) {
      state.secondByteNext = true;
      return kNoEnd;
    }
    if (data[i + 1] == 0) return i + 1;
    i += 2;
  }
  return kNoEnd;
}

// Reads `fd` in pieces of `pieceBytes`, appending to `text` the file's text (the
// bytes before its end, see DroppedFileText) and calling `fed(text)` after each
// piece; `fed` may take whole lines off the front of `text`. Stops at the end of
// the text: nothing past the piece that holds it is read. False when a read fails.
template <typename Fed>
bool ReadTextInPieces(int fd, Text& text, std::size_t pieceBytes, Fed fed) {
  ScanState state;
  for (;;) {
    const std::size_t used = text.size();
    text.resize(used + pieceBytes);
    const ssize_t got = ::read(fd, text.data() + used, pieceBytes);
    if (got < 0) {
      text.resize(used);
      if (errno == EINTR) continue;
      return false;
    }
    const auto count = static_cast<std::size_t>(got);
    const std::size_t end =
        FindTextEnd(reinterpret_cast<const unsigned char*>(text.data() + used), count, state);
    text.resize(used + (end == kNoEnd ? count : end));
    fed(text);
    if (count == 0 || end != kNoEnd) return true;
  }
}

// Takes the complete lines (each ended by CR LF at a character start) off the
// front of `text` and appends them to the table as rows. `scanned` is where the
// search for the next line break goes on: a character start of `text`.
class LineFeeder {
 public:
  void Feed(Text& text) {
    lines_.clear();
    const std::size_t size = text.size();
    std::size_t lineStart = 0;
    std::size_t i = scanned_;
    while (i < size) {
      const auto byte = static_cast<unsigned char>(text[i]);
      if (byte == '\r') {
        if (i + 1 == size) break;  // the LF may come with the next piece
        if (text[i + 1] == '\n') {
          lines_.emplace_back(text.data() + lineStart, i - lineStart);
          i += 2;
          lineStart = i;
          continue;
        }
        ++i;
      } else if (byte >= kFirstLeadByte) {
        if (i + 1 == size) break;  // its second byte comes with the next piece
        i += 2;
      } else {
        ++i;
      }
    }
    if (!lines_.empty()) AppendRows(lines_);
    text.erase(0, lineStart);
    scanned_ = i - lineStart;
  }

  // The last line, which no CR LF ends; none when the text ended with one.
  void Finish(const Text& text) {
    if (!text.empty()) AppendRows({std::string_view(text)});
  }

 private:
  std::size_t scanned_ = 0;
  std::vector<std::string_view> lines_;
};

// Length of DroppedFileText(bytes).
std::size_t DroppedTextLength(std::string_view bytes) {
  ScanState state;
  const std::size_t end =
      FindTextEnd(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), state);
  return end == kNoEnd ? bytes.size() : end;
}

}  // namespace

Text DroppedFileText(std::string_view bytes) {
  return Text(bytes.substr(0, DroppedTextLength(bytes)));
}

std::optional<Text> ReadDroppedFileText(int fd, std::size_t pieceBytes) {
  Text text;
  if (pieceBytes == 0) pieceBytes = kReadPiece;
  if (!ReadTextInPieces(fd, text, pieceBytes, [](Text&) {})) return std::nullopt;
  return text;
}

std::optional<Text> ReadDroppedFileText(const Text& fileName) {
  if (NamesSeveralItems(fileName)) return std::nullopt;
  const FileDescriptor file(OpenRegularFile(fileName.c_str()));
  if (file.get() < 0) return std::nullopt;
  return ReadDroppedFileText(file.get());
}

void ImportDroppedFile(const Text& fileName) {
  ClearRows();
  SetCountLabelText(NumberToText(0));
  if (NamesSeveralItems(fileName)) return;
  const FileDescriptor file(OpenRegularFile(fileName.c_str()));
  if (file.get() < 0) return;

  // The rows go in piece by piece: the table and one piece of the file are all the
  // import holds, never the whole text beside a list of its lines.
  Text pending;
  LineFeeder lines;
  const bool read =
      ReadTextInPieces(file.get(), pending, kReadPiece, [&lines](Text& text) { lines.Feed(text); });
  if (!read) {
    // A file that cannot be read gives an empty table, even after some pieces.
    ClearRows();
    return;
  }
  lines.Finish(pending);
}

}  // namespace velmora
