// Named shared areas and named mutexes between processes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/shared_memory.h"

namespace qrvn::platform {
namespace {

// A name of this test process only, removed before and after the test.
class SharedMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = "QrvnTest" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    SharedArea::Remove(name_);
    NamedMutex::Remove(name_);
  }
  void TearDown() override {
    SharedArea::Remove(name_);
    NamedMutex::Remove(name_);
  }
  std::string name_;
};

// Runs body in a child process; true when it exited with 0.
template <typename Body>
bool InChild(Body body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body() ? 0 : 1);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(SharedMemoryTest, AreaIsCreatedZeroedOnceAndSharedWorldWritable) {
  EXPECT_EQ(SharedArea::Open(name_, 512, false, false), nullptr);  // missing, not created
  mode_t oldMask = umask(022);
  bool created = false;
  auto first = SharedArea::Open(name_, 512, true, false, &created);
  umask(oldMask);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(created);
  ASSERT_EQ(first->Size(), 512u);
  for (size_t i = 0; i < 512; ++i) ASSERT_EQ(first->Data()[i], 0) << i;
  struct stat info {};
  ASSERT_EQ(stat(("/dev/shm/" + name_).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666u);

  auto second = SharedArea::Open(name_, 512, true, false, &created);
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(created);
  first->Data()[511] = 0x5A;
  EXPECT_EQ(second->Data()[511], 0x5A);

  EXPECT_TRUE(SharedArea::Remove(name_));
  auto fresh = SharedArea::Open(name_, 512, true, false, &created);
  ASSERT_NE(fresh, nullptr);
  EXPECT_TRUE(created);
  EXPECT_EQ(fresh->Data()[511], 0);
}

TEST_F(SharedMemoryTest, WhatAChildWritesTheParentReads) {
  auto area = SharedArea::Open(name_, 512, true, false);
  ASSERT_NE(area, nullptr);
  ASSERT_TRUE(InChild([this] {
    auto mine = SharedArea::Open(name_, 512, false, false);
    if (mine == nullptr) return false;
    std::memcpy(mine->Data() + 100, "from the child", 14);
    return true;
  }));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(area->Data()) + 100, 14), "from the child");
  auto reader = SharedArea::Open(name_, 512, false, true);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(std::memcmp(reader->Data() + 100, "from the child", 14), 0);
  // A read-only opener cannot map more than the area holds.
  EXPECT_EQ(SharedArea::Open(name_, 4096, false, true), nullptr);
}

TEST_F(SharedMemoryTest, MutexExcludesAnotherProcessUntilUnlocked) {
  bool existed = true;
  mode_t oldMask = umask(022);
  auto mutex = NamedMutex::Open(name_, &existed);
  umask(oldMask);
  ASSERT_NE(mutex, nullptr);
  EXPECT_FALSE(existed);
  struct stat info {};
  ASSERT_EQ(stat(("/dev/shm/sem." + name_).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666u);  // other users' processes open it too
  ASSERT_TRUE(mutex->Lock(0));
  int toParent[2];
  int toChild[2];
  ASSERT_EQ(pipe(toParent), 0);
  ASSERT_EQ(pipe(toChild), 0);
  pid_t pid = fork();
  if (pid == 0) {
    bool was = false;
    auto other = NamedMutex::Open(name_, &was);
    bool refused = other != nullptr && was && !other->Lock(20);
    char report = refused ? 'r' : 'x';
    if (write(toParent[1], &report, 1) != 1) _exit(2);
    char go = 0;
    if (read(toChild[0], &go, 1) != 1) _exit(3);
    // Now the parent has unlocked: the mutex is free for this process.
    if (!other->Lock(10000)) _exit(4);
    other->Unlock();
    _exit(refused ? 0 : 1);
  }
  char report = 0;
  ASSERT_EQ(read(toParent[0], &report, 1), 1);
  EXPECT_EQ(report, 'r');
  mutex->Unlock();
  ASSERT_EQ(write(toChild[1], "g", 1), 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(mutex->Lock(10000));
  mutex->Unlock();
  for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
}

TEST_F(SharedMemoryTest, ExtraUnlockDoesNotAdmitTwoHolders) {
  auto mutex = NamedMutex::Open(name_);
  ASSERT_NE(mutex, nullptr);
  ASSERT_TRUE(mutex->Lock(0));
  mutex->Unlock();
  mutex->Unlock();
  EXPECT_TRUE(mutex->Lock(0));
  EXPECT_FALSE(mutex->Lock(10));
  mutex->Unlock();
}

}  // namespace
}  // namespace qrvn::platform
