// The guarded memory pool: every dynamic record of the provider is one of its blocks.
// Each block carries a header and a trailer guard; the pool keeps its own table of live
// blocks so that a handle can be checked without touching memory that may be gone.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace qrvn::provider {

// The only allocation flag the pool accepts: zero-initialised fixed memory.
inline constexpr uint32_t kPoolZeroInit = 64;
// The guard word behind every block's data: the bytes of "TEST".
inline constexpr uint32_t kPoolGuard = 0x54534554;
// Header (32 bytes) and trailer (8 bytes) around the data of a block.
inline constexpr size_t kPoolHeaderSize = 32;
inline constexpr size_t kPoolOverhead = 40;
// Link slots per block.
inline constexpr uint32_t kPoolLinkSlots = 3;

// Byte offsets of the 32-bit header fields, counted from the start of the block.
enum PoolHeaderField : size_t {
  kBlockSize = 0,
  kBlockSerial = 4,
  kBlockState = 8,
  kBlockLink0 = 12,
  kBlockPrevious = 24,  // 0: the pool's table takes the place of a linked list
  kBlockNext = 28,      // 0, likewise
};

// One guarded pool. The provider uses the process-wide one (ProcessPool); tests make their own.
//
// The pool keeps every piece of memory it ever took from the system until it is destroyed:
// a freed block is filled with 0xFF and kept for the next allocation of its size class.
// The pool's table of its memory is therefore also the table of every address that ever was a
// block, and each block's live flag lives in the pool's own memory in front of the header, so
// that a handle is tested without ever touching memory that went back to the system. Blocks
// freed and allocated by one thread stay in that thread's lists, so that threads do not wait
// for each other.
class MemoryPool {
 public:
  // Called with the new block count after every allocation and release.
  using CountReporter = void (*)(uint32_t count);

  MemoryPool();
  ~MemoryPool();
  MemoryPool(const MemoryPool&) = delete;
  MemoryPool& operator=(const MemoryPool&) = delete;

  // Allocates size zeroed bytes; null when flags is not kPoolZeroInit or memory is short.
  void* Alloc(uint32_t flags, uint32_t size);
  // Frees a block; null when freed, data itself when the block was refused (and logged).
  void* Free(void* data);
  // 0 when data is a live, intact block of at least size bytes; 1 otherwise.
  int IsBadBlock(const void* data, uint32_t size);
  // Records child's serial number in owner's link slot; false when either is bad.
  bool LinkBlocks(void* owner, const void* child, uint32_t slot);
  // True when both are live, intact blocks and owner's link slot holds child's serial number.
  bool IsLinked(const void* owner, const void* child, uint32_t slot);
  // The serial number of a live block, or 0.
  uint32_t SerialOf(const void* data);
  // The live block with this serial number, or null.
  void* FindBySerial(uint32_t serial);
  // Frees every live block.
  void FreeAll();
  // The number of live blocks.
  uint32_t Count();
  // Sets the function told about count changes (the link driver's SetAllocCount), or null.
  void SetCountReporter(CountReporter reporter);
  // Sets the next serial number to hand out (tests of the wrap-around).
  void SetNextSerial(uint32_t serial);

 private:
  // Kept in front of each block's header, in memory that stays the pool's.
  struct BlockInfo {
    uint32_t capacity;           // bytes from the header on, as taken from the system
    std::atomic<uint32_t> live;  // 1 while the block is allocated
    BlockInfo* nextFree;         // the next kept block of the same size class
  };
  // The addresses of all blocks the pool holds: insert-only, read without locks. A grown
  // table replaces the old one, which is kept until the pool goes.
  struct AddressTable {
    explicit AddressTable(size_t capacity);
    size_t mask;
    std::unique_ptr<std::atomic<uint64_t>[]> keys;
  };
  // A lock that spins briefly: the sections it guards are a few pointer moves long.
  class SpinLock {
   public:
    void lock();
    void unlock() { locked_.store(false, std::memory_order_release); }

   private:
    std::atomic<bool> locked_{false};
  };
  static constexpr size_t kThreadSlots = 16;
  static constexpr size_t kClasses = 96;
  // Kept blocks of the threads that share one slot, by size class.
  struct alignas(64) FreeLists {
    SpinLock lock;
    std::atomic<BlockInfo*> heads[kClasses] = {};  // changed under the lock
  };
  struct alignas(64) Counter {
    std::atomic<int64_t> value{0};
  };

  BlockInfo* Lookup(const void* data) const;
  void Register(BlockInfo* info);
  BlockInfo* TakeKept(size_t sizeClass, size_t slot);
  uint32_t NextSerial();
  // Checks a live block's header and trailer; the refusal line of FreeMemory, or null.
  const char* Check(const void* data, const BlockInfo& info) const;
  // True when data is a live block with an intact header and trailer.
  bool Live(const void* data, BlockInfo** info = nullptr) const;
  // Fills a block taken out of use and keeps it for reuse.
  void Keep(void* data, BlockInfo* info, uint32_t size);
  void ReportCount();

  const uint64_t id_;  // tells this pool's serial batches from another pool's
  std::mutex registryMutex_;
  std::atomic<AddressTable*> table_;
  std::vector<std::unique_ptr<AddressTable>> tables_;  // every table made, current last
  size_t registered_ = 0;
  std::unique_ptr<FreeLists[]> freeLists_;
  std::unique_ptr<Counter[]> counters_;
  std::mutex serialMutex_;  // guards nextSerial_
  uint32_t nextSerial_ = 1;
  std::atomic<bool> wrapped_{false};  // serial numbers have started again at 1
  std::atomic<uint64_t> serialEpoch_{0};
  std::atomic<CountReporter> reporter_{nullptr};
};

// The pool of the loaded provider.
MemoryPool& ProcessPool();

// Allocates from the process pool (flags must be 64); null on failure.
void* AllocMemory(uint32_t flags, uint32_t size);
// Frees a block of the process pool; null when freed, data when refused.
void* FreeMemory(void* data);
// 0 when data is a live, intact block of the process pool with at least size bytes; else 1.
int IsBadBlock(const void* data, uint32_t size);
// Stores child's serial number in owner's link slot 0..2.
bool LinkBlocks(void* owner, const void* child, uint32_t slot);
// True when owner's link slot holds the serial number of the live block child.
bool IsLinked(const void* owner, const void* child, uint32_t slot);
// The serial number of a live block of the process pool, or 0.
uint32_t BlockSerial(const void* data);
// The live block of the process pool with this serial number, or null.
void* FindBlock(uint32_t serial);
// Frees every block of the process pool (library unload).
void FreeAll();

}  // namespace qrvn::provider
