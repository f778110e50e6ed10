#include "import/dropped_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace velmora {
namespace {

constexpr unsigned char kCtrlZ = 0x1A;  // the old end-of-file mark of text files
constexpr unsigned char kFirstLeadByte = 0x80;
constexpr std::string_view kLineBreak = "\r\n";
// Step of the read loop when the size known beforehand has been read and the file
// goes on (it grew, or its size was not known, as for /proc files).
constexpr std::size_t kReadStep = std::size_t{1} << 20;

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

// The whole content of the regular file `path`; nullopt when it cannot be opened
// for reading, is not a regular file, or a read fails. The file is opened for
// reading only (a read-only file imports, and nothing holds it against writers) and
// closed on return. O_NONBLOCK keeps a dropped FIFO from stalling the open; it has
// no effect on regular files.
std::optional<std::string> ReadWholeFile(const char* path) {
  const FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.get() < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;

  std::string content;
  content.resize(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 0) + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == content.size()) content.resize(content.size() + kReadStep);
    const ssize_t got = ::read(file.get(), content.data() + used, content.size() - used);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    used += static_cast<std::size_t>(got);
  }
  content.resize(used);
  return content;
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

// Length of DroppedFileText(bytes).
std::size_t DroppedTextLength(std::string_view bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::size_t i = 0;
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
    if (byte == 0 || byte == kCtrlZ) break;
    if (byte >= kFirstLeadByte) {
      // A lead byte and its second byte go together; a zero second byte still ends
      // the text, since a text holds none.
      if (i + 1 < size && data[i + 1] == 0) {
        ++i;
        break;
      }
      i += 2;
      continue;
    }
    ++i;
  }
  return i > size ? size : i;  // a lead byte that is the file's last byte
}

}  // namespace

Text DroppedFileText(std::string_view bytes) {
  return Text(bytes.substr(0, DroppedTextLength(bytes)));
}

TextList DroppedFileLines(std::string_view bytes) {
  return SplitText(bytes.substr(0, DroppedTextLength(bytes)), kLineBreak);
}

TextList ReadDroppedFileLines(const Text& fileName) {
  if (NamesSeveralItems(fileName)) return {};
  std::optional<std::string> content = ReadWholeFile(fileName.c_str());
  if (!content) return {};
  // Cut in place: the file's bytes are the largest value of the import.
  content->resize(DroppedTextLength(*content));
  return SplitText(*content, kLineBreak);
}

}  // namespace velmora
