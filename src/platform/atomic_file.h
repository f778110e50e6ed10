// A file that is written whole or not at all: the bytes go to a temporary file in
// the target's folder, which replaces the target in one rename once everything was
// written and flushed to disk. A failed or abandoned write leaves the target as it
// was (absent, or its old content) and removes the temporary file.
#ifndef VELMORA_PLATFORM_ATOMIC_FILE_H_
#define VELMORA_PLATFORM_ATOMIC_FILE_H_

#include <string>
#include <string_view>

namespace velmora::platform {

class AtomicFile {
 public:
  // Creates the temporary file beside `path`. When that fails, ok() is false and
  // error() says why; every later call then fails too.
  explicit AtomicFile(std::string path);
  // Removes the temporary file unless Commit() succeeded.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  [[nodiscard]] bool ok() const { return fd_ >= 0 && error_.empty(); }
  // What failed and why ("" while nothing did), e.g.
  // "cannot create a file in /ro: Permission denied".
  [[nodiscard]] const std::string& error() const { return error_; }

  // Appends all of `bytes`. False (error() set) when a write fails, the disk being
  // full for instance; the target is untouched.
  bool Write(std::string_view bytes);

  // Flushes the temporary file to disk and renames it over the target. The new file
  // gets the old target's permission bits, or the usual ones (0666 less the umask)
  // when there was none. False (error() set, target untouched) on any failure.
  bool Commit();

 private:
  void Fail(std::string_view what, int error);

  std::string path_;
  std::string temporary_;
  int fd_ = -1;
  bool committed_ = false;
  std::string error_;
};

// Writes `bytes` to `path` through an AtomicFile. "" on success, else what failed.
[[nodiscard]] std::string WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_ATOMIC_FILE_H_
