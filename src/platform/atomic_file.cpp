#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

namespace velmora::platform {
namespace {

// Names tried before giving up when another file already holds the chosen one.
constexpr int kNameAttempts = 100;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A name beside the target that no other writer of this or another process picks.
std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  thread_local std::minstd_rand random(std::random_device{}());
  return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(random());
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  if (path_.empty() || path_.back() == '/') {
    Fail("no file name given", EINVAL);
    return;
  }
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    temporary_ = TemporaryName(path_);
    // 0666: the umask applies, as for any file the user creates.
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int error = errno;
    temporary_.clear();
    Fail("cannot create a file in " + FolderOf(path_), error);
  }
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

void AtomicFile::Fail(std::string_view what, int error) {
  if (!error_.empty()) return;  // the first failure is the one worth telling
  error_ = std::string(what) + ": " + std::strerror(error);
}

bool AtomicFile::Write(std::string_view bytes) {
  if (!ok()) return false;
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write " + path_, errno);
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool AtomicFile::Commit() {
  if (!ok() || committed_) return false;
  struct stat old {};
  if (::stat(path_.c_str(), &old) == 0 && ::fchmod(fd_, old.st_mode & 07777) != 0) {
    Fail("cannot set the permissions of " + path_, errno);
    return false;
  }
  if (::fsync(fd_) != 0) {
    Fail("cannot write " + path_, errno);
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    Fail("cannot write " + path_, errno);
    return false;
  }
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
    Fail("cannot replace " + path_, errno);
    return false;
  }
  committed_ = true;
  return true;
}

std::string WriteFileAtomically(const std::string& path, std::string_view bytes) {
  AtomicFile file(path);
  if (file.Write(bytes) && file.Commit()) return {};
  return file.error();
}

}  // namespace velmora::platform
