// The guarded memory pool: allocation layout, the ordered refusals of FreeMemory, and the
// checks that answer from the pool's own table of live blocks.
#include "provider/core/memory_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "provider/core/provider_log.h"
#include "provider_test_support.h"
#include "tests/support/temp_root.h"

namespace qrvn::provider {
namespace {

uint32_t HeaderField(const void* data, size_t offset) {
  uint32_t value;
  std::memcpy(&value, static_cast<const uint8_t*>(data) - kPoolHeaderSize + offset, 4);
  return value;
}

void PokeHeader(void* data, size_t offset, uint32_t value) {
  std::memcpy(static_cast<uint8_t*>(data) - kPoolHeaderSize + offset, &value, 4);
}

uint32_t g_reported = 0;
void Report(uint32_t count) {
  g_reported = count;
}

class PoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Pool errors go to today's event log only when that file exists already.
    WriteEventLog(LogSettings{1, 1000000}, "start");
  }
  testing::TempRoot root_;
  MemoryPool pool_;
};

TEST_F(PoolTest, BlockLayoutAndZeroedData) {
  auto* data = static_cast<uint8_t*>(pool_.Alloc(kPoolZeroInit, 10));
  ASSERT_NE(data, nullptr);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(data[i], 0);
  EXPECT_EQ(HeaderField(data, kBlockSize), 10u);
  EXPECT_EQ(HeaderField(data, kBlockSerial), 1u);
  EXPECT_EQ(HeaderField(data, kBlockState), 1u);
  uint32_t trailer[2];
  std::memcpy(trailer, data + 10, 8);
  EXPECT_EQ(trailer[0], 10u);
  EXPECT_EQ(trailer[1], 0x54534554u);
  EXPECT_EQ(std::memcmp(data + 14, "TEST", 4), 0);
  EXPECT_EQ(pool_.Count(), 1u);
}

TEST_F(PoolTest, OnlyFlags64Allocates) {
  EXPECT_EQ(pool_.Alloc(0, 16), nullptr);
  EXPECT_EQ(pool_.Alloc(0x40 | 2, 16), nullptr);
  EXPECT_EQ(pool_.Count(), 0u);
}

TEST_F(PoolTest, SerialNumbersCountUpAndFindTheirBlocks) {
  void* a = pool_.Alloc(kPoolZeroInit, 4);
  void* b = pool_.Alloc(kPoolZeroInit, 4);
  void* c = pool_.Alloc(kPoolZeroInit, 4);
  EXPECT_EQ(pool_.SerialOf(a), 1u);
  EXPECT_EQ(pool_.SerialOf(b), 2u);
  EXPECT_EQ(pool_.SerialOf(c), 3u);
  EXPECT_EQ(pool_.FindBySerial(2), b);
  EXPECT_EQ(pool_.Free(b), nullptr);
  EXPECT_EQ(pool_.FindBySerial(2), nullptr);
  EXPECT_EQ(pool_.SerialOf(b), 0u);
  EXPECT_EQ(pool_.FindBySerial(3), c);
  EXPECT_EQ(pool_.FindBySerial(0), nullptr);
}

TEST_F(PoolTest, SerialWrapsFrom0xFFFFFFFEToOneAndSkipsLiveSerials) {
  void* one = pool_.Alloc(kPoolZeroInit, 1);  // serial 1 stays alive
  pool_.SetNextSerial(0xFFFFFFFE);
  void* last = pool_.Alloc(kPoolZeroInit, 1);
  void* wrapped = pool_.Alloc(kPoolZeroInit, 1);
  EXPECT_EQ(pool_.SerialOf(last), 0xFFFFFFFEu);
  EXPECT_EQ(pool_.SerialOf(wrapped), 2u);
  EXPECT_EQ(pool_.FindBySerial(1), one);
}

TEST_F(PoolTest, FreeFillsAndReleasesAndReportsCount) {
  pool_.SetCountReporter(&Report);
  void* a = pool_.Alloc(kPoolZeroInit, 8);
  EXPECT_EQ(g_reported, 1u);
  EXPECT_EQ(pool_.Free(a), nullptr);
  EXPECT_EQ(g_reported, 0u);
  EXPECT_EQ(pool_.Count(), 0u);
}

struct RefusalCase {
  const char* name;
  void (*damage)(void* data);
  const char* line;
};

TEST_F(PoolTest, FreeRefusesDamagedBlocksInOrderAndLeavesThem) {
  const RefusalCase cases[] = {
      {"size grown", [](void* d) { PokeHeader(d, kBlockSize, 1000); },
       "===== AllocMemory Broken(1) ====="},
      {"trailer size", [](void* d) { std::memset(static_cast<uint8_t*>(d) + 16, 0x11, 4); },
       "===== AllocMemory Broken(3) ====="},
      {"guard", [](void* d) { std::memset(static_cast<uint8_t*>(d) + 20, 0, 1); },
       "===== AllocMemory Broken(5) ====="},
      {"state 0", [](void* d) { PokeHeader(d, kBlockState, 0); },
       "===== AllocMemory Broken(6) or Already Free Memory ====="},
      // A size that is shrunk moves the trailer check onto data bytes.
      {"size shrunk", [](void* d) { PokeHeader(d, kBlockSize, 8); },
       "===== AllocMemory Broken(3) ====="},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    void* data = pool_.Alloc(kPoolZeroInit, 16);
    uint32_t before = pool_.Count();
    c.damage(data);
    EXPECT_EQ(pool_.Free(data), data);
    EXPECT_EQ(pool_.Count(), before);
    EXPECT_EQ(pool_.IsBadBlock(data, 0), 1);
    std::string log = testing::EventLogText();
    EXPECT_NE(log.find(std::string("] ") + c.line + "\r\n"), std::string::npos) << log;
  }
}

TEST_F(PoolTest, NullForeignAndDoubleFreesAreLoggedAndChangeNothing) {
  EXPECT_EQ(pool_.Free(nullptr), nullptr);
  int local = 0;
  EXPECT_EQ(pool_.Free(&local), &local);
  void* keep = pool_.Alloc(kPoolZeroInit, 8);
  void* a = pool_.Alloc(kPoolZeroInit, 8);
  ASSERT_EQ(pool_.Free(a), nullptr);
  EXPECT_EQ(pool_.Free(a), a);
  EXPECT_EQ(pool_.Count(), 1u);
  EXPECT_EQ(pool_.IsBadBlock(keep, 8), 0);
  std::string log = testing::EventLogText();
  EXPECT_NE(log.find("===== AllocMemory NULL Handle Free Error(1) =====\r\n"), std::string::npos);
  size_t first = log.find("===== AllocMemory Handle Free Error(1) =====\r\n");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(log.find("===== AllocMemory Handle Free Error(1) =====\r\n", first + 1),
            std::string::npos);
}

TEST(PoolErrorLog, NotWrittenWhenTodaysEventLogIsMissing) {
  testing::TempRoot root;
  MemoryPool pool;
  EXPECT_EQ(pool.Free(nullptr), nullptr);
  EXPECT_TRUE(testing::EventLogText().empty());
}

TEST_F(PoolTest, IsBadBlockAnswersFromTheTable) {
  void* a = pool_.Alloc(kPoolZeroInit, 12);
  EXPECT_EQ(pool_.IsBadBlock(a, 12), 0);
  EXPECT_EQ(pool_.IsBadBlock(a, 13), 1);
  EXPECT_EQ(pool_.IsBadBlock(nullptr, 0), 1);
  EXPECT_EQ(pool_.IsBadBlock(static_cast<uint8_t*>(a) + 4, 0), 1);
  pool_.Free(a);
  EXPECT_EQ(pool_.IsBadBlock(a, 0), 1);
}

TEST_F(PoolTest, IsLinkedTellsAReusedAddressFromTheOldBlock) {
  void* owner = pool_.Alloc(kPoolZeroInit, 24);
  void* child = pool_.Alloc(kPoolZeroInit, 24);
  ASSERT_TRUE(pool_.LinkBlocks(owner, child, 1));
  EXPECT_TRUE(pool_.IsLinked(owner, child, 1));
  EXPECT_FALSE(pool_.IsLinked(owner, child, 0));
  EXPECT_FALSE(pool_.IsLinked(owner, child, 3));
  EXPECT_FALSE(pool_.LinkBlocks(owner, child, 3));
  pool_.Free(child);
  EXPECT_FALSE(pool_.IsLinked(owner, child, 1));
  // Allocate until the allocator hands the freed address out again.
  std::vector<void*> others;
  void* reused = nullptr;
  for (int i = 0; i < 64 && reused == nullptr; ++i) {
    void* block = pool_.Alloc(kPoolZeroInit, 24);
    if (block == child) reused = block;
    others.push_back(block);
  }
  if (reused != nullptr) {
    EXPECT_FALSE(pool_.IsLinked(owner, reused, 1));
  }
}

TEST_F(PoolTest, FreeAllEmptiesThePoolEvenWithADamagedHead) {
  void* head = pool_.Alloc(kPoolZeroInit, 8);
  for (int i = 0; i < 5; ++i) pool_.Alloc(kPoolZeroInit, 8);
  PokeHeader(head, kBlockState, 0);
  pool_.FreeAll();
  EXPECT_EQ(pool_.Count(), 0u);
}

TEST(PoolThreads, ConcurrentAllocAndFreeKeepTheTableConsistent) {
  testing::TempRoot root;
  MemoryPool pool;
  auto work = [&pool] {
    std::vector<void*> mine;
    for (int i = 0; i < 2000; ++i) {
      mine.push_back(pool.Alloc(kPoolZeroInit, static_cast<uint32_t>(i % 50)));
      if (i % 3 == 0) {
        EXPECT_EQ(pool.Free(mine.front()), nullptr);
        mine.erase(mine.begin());
      }
    }
    for (void* block : mine) EXPECT_EQ(pool.IsBadBlock(block, 0), 0);
    for (void* block : mine) EXPECT_EQ(pool.Free(block), nullptr);
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(pool.Count(), 0u);
}

TEST(PoolThreads, BlocksFreedByAnotherThreadAndCheckedMeanwhile) {
  // A queue filled by one thread and emptied by another, with a third checking handles that
  // may be freed under it: counts stay right and every check answers without a fault.
  testing::TempRoot root;
  MemoryPool pool;
  constexpr int kBlocks = 3000;
  std::vector<std::atomic<void*>> handed(kBlocks);
  std::atomic<int> produced{0};
  std::thread producer([&] {
    for (int i = 0; i < kBlocks; ++i) {
      handed[i] = pool.Alloc(kPoolZeroInit, 40);
      produced = i + 1;
    }
  });
  std::thread consumer([&] {
    for (int i = 0; i < kBlocks; ++i) {
      while (produced.load() <= i) std::this_thread::yield();
      EXPECT_EQ(pool.Free(handed[i].load()), nullptr);
    }
  });
  std::thread checker([&] {
    for (int i = 0; i < kBlocks; ++i) {
      while (produced.load() <= i) std::this_thread::yield();
      void* block = handed[i].load();
      pool.IsBadBlock(block, 40);
      pool.IsLinked(block, block, 0);
    }
  });
  producer.join();
  consumer.join();
  checker.join();
  EXPECT_EQ(pool.Count(), 0u);
  for (const auto& block : handed) EXPECT_EQ(pool.IsBadBlock(block.load(), 0), 1);
}

}  // namespace
}  // namespace qrvn::provider
