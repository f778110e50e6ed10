#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace velmora::platform {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velmora-atomic-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }
  // Entries of the folder: a failed or finished write leaves no temporary file.
  [[nodiscard]] std::size_t Entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {}));
  }

  fs::path folder_;
};

TEST_F(AtomicFileTest, ReplacesTheTargetOnlyOnCommit) {
  const std::string target = folder_ / "out.csv";
  { std::ofstream(target) << "old"; }
  ::chmod(target.c_str(), 0640);
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.ok()) << file.error();
    ASSERT_TRUE(file.Write("new "));
    ASSERT_TRUE(file.Write(std::string("with\0zero", 9)));
    EXPECT_EQ(Read(target), "old");  // nothing shows before the commit
    ASSERT_TRUE(file.Commit()) << file.error();
  }
  EXPECT_EQ(Read(target), std::string("new with\0zero", 13));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFileTest, AnAbandonedWriteLeavesTheOldFile) {
  const std::string target = folder_ / "out.csv";
  { std::ofstream(target) << "old"; }
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.Write("half"));
  }
  EXPECT_EQ(Read(target), "old");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFileTest, FailuresSayWhatFailedAndKeepTheTarget) {
  // A folder that does not exist: nothing can be created.
  const std::string missing = folder_ / "no-such-folder" / "out.csv";
  EXPECT_NE(WriteFileAtomically(missing, "x").find("cannot create a file in"), std::string::npos);
  // A folder in the target's place: the rename cannot replace it.
  const fs::path folderTarget = folder_ / "taken";
  fs::create_directory(folderTarget);
  EXPECT_NE(WriteFileAtomically(folderTarget, "x").find("cannot replace"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(folderTarget));
  EXPECT_EQ(Entries(), 1u);
}

// A full disk, as the file size limit makes one for a child process.
TEST_F(AtomicFileTest, AFullDiskLeavesTheOldFile) {
  const std::string target = folder_ / "out.csv";
  { std::ofstream(target) << "old"; }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const std::string error = WriteFileAtomically(target, std::string(4096, 'x'));
    std::_Exit(error.find("cannot write") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Read(target), "old");
  EXPECT_EQ(Entries(), 1u);
}

}  // namespace
}  // namespace velmora::platform
