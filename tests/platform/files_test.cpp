// The state folders and the single-writer file that the log writers rely on.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "tests/support/temp_root.h"

namespace qrvn::platform {
namespace {

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ReadAll(ExclusiveFile& file) {
  std::string text(static_cast<size_t>(file.Size()), '\0');
  EXPECT_EQ(file.ReadAt(0, text.data(), text.size()), static_cast<int64_t>(text.size()));
  return text;
}

TEST(Folders, RootFollowsTheEnvironmentWithTheFixedDefault) {
  testing::TempRoot root;
  EXPECT_EQ(RootFolder(), root.Path());
  unsetenv("QRVN_ROOT");  // TempRoot puts it back
  EXPECT_EQ(RootFolder(), "/var/lib/qrvn");
}

TEST(Folders, SystemFolderIsCreatedOnDemandUnderTheRoot) {
  testing::TempRoot root;
  ASSERT_FALSE(IsFolder(root.File("system")));
  EXPECT_EQ(SystemFolder(), root.File("system"));
  EXPECT_TRUE(IsFolder(root.File("system")));
  EXPECT_EQ(SystemFolder(), root.File("system"));  // existing already is fine
}

TEST(Folders, CreateFoldersMakesMissingParentsAndRefusesAFile) {
  testing::TempRoot root;
  EXPECT_TRUE(CreateFolders(root.File("a/b/c")));
  EXPECT_TRUE(IsFolder(root.File("a/b/c")));
  EXPECT_TRUE(CreateFolders(root.File("a/b/c/")));
  {
    auto file = ExclusiveFile::Open(root.File("plain"), FileDisposition::CreateAlways);
    ASSERT_NE(file, nullptr);
  }
  EXPECT_FALSE(CreateFolders(root.File("plain")));
  EXPECT_FALSE(CreateFolders(root.File("plain/below")));
}

TEST(ExclusiveFile, DispositionsCreateKeepAndTruncate) {
  testing::TempRoot root;
  const std::string path = root.File("q.que");
  EXPECT_EQ(ExclusiveFile::Open(path, FileDisposition::OpenExisting), nullptr);
  {
    auto file = ExclusiveFile::Open(path, FileDisposition::OpenAlways);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->WriteAt(0, "hello world", 11));
    EXPECT_TRUE(file->Flush());
  }
  {
    auto file = ExclusiveFile::Open(path, FileDisposition::OpenAlways);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(*file), "hello world");
    EXPECT_TRUE(file->WriteAt(6, "there", 5));
    char middle[5] = {};
    EXPECT_EQ(file->ReadAt(3, middle, sizeof middle), 5);
    EXPECT_EQ(std::string(middle, 5), "lo th");
    EXPECT_EQ(file->ReadAt(100, middle, sizeof middle), 0);
    EXPECT_TRUE(file->Truncate(5));
    EXPECT_EQ(ReadAll(*file), "hello");
  }
  {
    auto file = ExclusiveFile::Open(path, FileDisposition::OpenExisting);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Size(), 5);
  }
  auto file = ExclusiveFile::Open(path, FileDisposition::CreateAlways);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Size(), 0);
}

TEST(ExclusiveFile, SecondWriterInThisProcessIsRefusedUntilTheFirstCloses) {
  testing::TempRoot root;
  const std::string path = root.File("Qrvntapi07.log");
  auto first = ExclusiveFile::Open(path, FileDisposition::OpenAlways);
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(first->WriteAt(0, "kept", 4));
  for (auto disposition : {FileDisposition::OpenExisting, FileDisposition::OpenAlways,
                           FileDisposition::CreateAlways}) {
    EXPECT_EQ(ExclusiveFile::Open(path, disposition), nullptr);
  }
  // A refused CreateAlways must not have cut the holder's file.
  EXPECT_EQ(ReadAll(*first), "kept");
  first.reset();
  EXPECT_NE(ExclusiveFile::Open(path, FileDisposition::OpenExisting), nullptr);
}

TEST(ExclusiveFile, WriterInAnotherProcessIsRefusedAndThenAdmitted) {
  testing::TempRoot root;
  const std::string path = root.File("qrvnsdrv07.log");
  auto held = ExclusiveFile::Open(path, FileDisposition::CreateAlways);
  ASSERT_NE(held, nullptr);
  auto childOpens = [&path] {
    pid_t pid = fork();
    if (pid == 0) {
      auto file = ExclusiveFile::Open(path, FileDisposition::OpenAlways);
      _exit(file != nullptr ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  };
  EXPECT_FALSE(childOpens());
  held.reset();
  EXPECT_TRUE(childOpens());
}

}  // namespace
}  // namespace qrvn::platform
