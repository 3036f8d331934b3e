// The guarded memory pool.
#include "provider/core/memory_pool.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "provider/core/process.h"
#include "provider/core/provider_log.h"

namespace qrvn::provider {
namespace {

constexpr uint32_t kLastSerial = 0xFFFFFFFEu;
constexpr uint32_t kSerialBatch = 256;
// The pool's own bytes in front of each block's header.
constexpr size_t kPrefix = 16;
constexpr size_t kCacheLine = 64;

// Header and trailer words are read and written as atomics: a check may run while another
// thread frees or reuses the same block, and must then see old or new values, never a torn
// mix. The trailer follows the data and need not be aligned, so it goes byte by byte.
uint32_t LoadWord(const uint8_t* at) {
  return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(at)))
      .load(std::memory_order_relaxed);
}
void StoreWord(uint8_t* at, uint32_t value) {
  std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(at))
      .store(value, std::memory_order_relaxed);
}
uint32_t LoadBytes(const uint8_t* at) {
  if (reinterpret_cast<uintptr_t>(at) % 4 == 0) return LoadWord(at);
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = (value << 8) |
            std::atomic_ref<uint8_t>(const_cast<uint8_t&>(at[i])).load(std::memory_order_relaxed);
  }
  return value;
}
void StoreBytes(uint8_t* at, uint32_t value) {
  if (reinterpret_cast<uintptr_t>(at) % 4 == 0) return StoreWord(at, value);
  for (int i = 0; i < 4; ++i) {
    std::atomic_ref<uint8_t>(at[i]).store(static_cast<uint8_t>(value >> (8 * i)),
                                          std::memory_order_relaxed);
  }
}

uint8_t* HeaderOf(const void* data) {
  return const_cast<uint8_t*>(static_cast<const uint8_t*>(data)) - kPoolHeaderSize;
}

uint64_t KeyOf(const void* data) {
  return reinterpret_cast<uintptr_t>(data);
}

size_t Hash(uint64_t key) {
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdULL;
  key ^= key >> 33;
  key *= 0xc4ceb9fe1a85ec53ULL;
  key ^= key >> 33;
  return static_cast<size_t>(key);
}

// Size classes of header + data + trailer: steps of 16 bytes up to 1024, then powers of two.
size_t ClassOf(size_t total, size_t* capacity) {
  if (total <= 1024) {
    size_t rounded = (total + 15) & ~size_t{15};
    *capacity = rounded;
    return rounded / 16 - 1;
  }
  size_t rounded = std::bit_ceil(total);
  *capacity = rounded;
  return 64 + static_cast<size_t>(std::countr_zero(rounded)) - 10;
}

std::atomic<uint64_t> g_nextPoolId{1};
// Slots of the free lists held by running threads (bit n: slot n). The provider makes many
// short-lived threads, so a slot goes back when its thread ends; otherwise a counter that
// only grows would soon put two running threads on one slot and its lock.
std::atomic<uint64_t> g_slotsInUse{0};
std::atomic<uint32_t> g_overflowSlot{0};
constexpr uint32_t kNoSlot = UINT32_MAX;

// This thread's slot among the pool's free lists, and its batch of serial numbers.
struct ThreadState {
  uint32_t slot = kNoSlot;
  bool owned = false;  // the slot's bit is this thread's, to give back at its end
  uint64_t pool = 0;
  uint64_t epoch = 0;
  uint32_t next = 0;
  uint32_t end = 0;
  ~ThreadState() {
    if (owned) g_slotsInUse.fetch_and(~(uint64_t{1} << slot), std::memory_order_release);
  }
};
thread_local ThreadState t_state;

size_t ThreadSlot(size_t slots) {
  if (t_state.slot == kNoSlot) {
    uint64_t used = g_slotsInUse.load(std::memory_order_relaxed);
    for (;;) {
      const uint64_t mask = slots >= 64 ? ~uint64_t{0} : (uint64_t{1} << slots) - 1;
      const uint64_t freeSlots = ~used & mask;
      if (freeSlots == 0) {
        // More threads than slots: share, spread evenly.
        t_state.slot = g_overflowSlot.fetch_add(1, std::memory_order_relaxed) % slots;
        break;
      }
      const uint32_t slot = static_cast<uint32_t>(std::countr_zero(freeSlots));
      if (g_slotsInUse.compare_exchange_weak(used, used | (uint64_t{1} << slot),
                                             std::memory_order_acquire)) {
        t_state.slot = slot;
        t_state.owned = true;
        break;
      }
    }
  }
  return t_state.slot % slots;
}

}  // namespace

void MemoryPool::SpinLock::lock() {
  for (int spins = 0; locked_.exchange(true, std::memory_order_acquire); ++spins) {
    if (spins > 64) std::this_thread::yield();
  }
}

MemoryPool::AddressTable::AddressTable(size_t capacity)
    : mask(capacity - 1), keys(new std::atomic<uint64_t>[capacity]) {
  for (size_t i = 0; i < capacity; ++i) keys[i].store(0, std::memory_order_relaxed);
}

MemoryPool::MemoryPool()
    : id_(g_nextPoolId.fetch_add(1)),
      freeLists_(new FreeLists[kThreadSlots]),
      counters_(new Counter[kThreadSlots]) {
  tables_.push_back(std::make_unique<AddressTable>(256));
  table_.store(tables_.back().get(), std::memory_order_release);
}

MemoryPool::~MemoryPool() {
  FreeAll();
  const AddressTable* table = table_.load(std::memory_order_acquire);
  for (size_t i = 0; i <= table->mask; ++i) {
    uint64_t key = table->keys[i].load(std::memory_order_relaxed);
    if (key != 0) std::free(HeaderOf(reinterpret_cast<void*>(key)) - kPrefix);
  }
}

MemoryPool::BlockInfo* MemoryPool::Lookup(const void* data) const {
  if (data == nullptr) return nullptr;
  uint64_t key = KeyOf(data);
  const AddressTable* table = table_.load(std::memory_order_acquire);
  for (size_t i = Hash(key) & table->mask;; i = (i + 1) & table->mask) {
    uint64_t found = table->keys[i].load(std::memory_order_acquire);
    if (found == key) return reinterpret_cast<BlockInfo*>(HeaderOf(data) - kPrefix);
    if (found == 0) return nullptr;
  }
}

void MemoryPool::Register(BlockInfo* info) {
  uint64_t key = KeyOf(reinterpret_cast<uint8_t*>(info) + kPrefix + kPoolHeaderSize);
  std::lock_guard<std::mutex> lock(registryMutex_);
  AddressTable* table = table_.load(std::memory_order_relaxed);
  if ((registered_ + 1) * 2 > table->mask + 1) {
    // A bigger table with every key; readers still on the old one find all keys that
    // existed before they started looking.
    auto grown = std::make_unique<AddressTable>((table->mask + 1) * 2);
    for (size_t i = 0; i <= table->mask; ++i) {
      uint64_t old = table->keys[i].load(std::memory_order_relaxed);
      if (old == 0) continue;
      size_t j = Hash(old) & grown->mask;
      while (grown->keys[j].load(std::memory_order_relaxed) != 0) j = (j + 1) & grown->mask;
      grown->keys[j].store(old, std::memory_order_relaxed);
    }
    table = grown.get();
    tables_.push_back(std::move(grown));
    table_.store(table, std::memory_order_release);
  }
  size_t i = Hash(key) & table->mask;
  while (table->keys[i].load(std::memory_order_relaxed) != 0) i = (i + 1) & table->mask;
  table->keys[i].store(key, std::memory_order_release);
  ++registered_;
}

MemoryPool::BlockInfo* MemoryPool::TakeKept(size_t sizeClass, size_t slot) {
  // This thread's own list first; then the others, so that blocks freed by other threads
  // (a queue filled by one thread and emptied by another) are used again.
  for (size_t k = 0; k < kThreadSlots; ++k) {
    FreeLists& lists = freeLists_[(slot + k) % kThreadSlots];
    // An empty list is passed over without its lock; the lock decides.
    if (lists.heads[sizeClass].load(std::memory_order_relaxed) == nullptr) continue;
    std::lock_guard<SpinLock> lock(lists.lock);
    BlockInfo* info = lists.heads[sizeClass].load(std::memory_order_relaxed);
    if (info != nullptr) {
      lists.heads[sizeClass].store(info->nextFree, std::memory_order_relaxed);
      return info;
    }
  }
  return nullptr;
}

uint32_t MemoryPool::NextSerial() {
  ThreadState& batch = t_state;
  uint64_t epoch = serialEpoch_.load(std::memory_order_acquire);
  for (;;) {
    if (batch.pool != id_ || batch.epoch != epoch || batch.next == batch.end) {
      // Serial numbers run from 1 to 0xFFFFFFFE and then start again at 1; each thread
      // takes them in batches so that allocating threads do not share one counter.
      std::lock_guard<std::mutex> lock(serialMutex_);
      epoch = serialEpoch_.load(std::memory_order_acquire);
      batch.pool = id_;
      batch.epoch = epoch;
      batch.next = nextSerial_;
      uint64_t end = static_cast<uint64_t>(nextSerial_) + kSerialBatch;
      batch.end = static_cast<uint32_t>(end > kLastSerial ? kLastSerial + 1ull : end);
      nextSerial_ = batch.end > kLastSerial ? 1 : batch.end;
      if (batch.end > kLastSerial) wrapped_.store(true, std::memory_order_relaxed);
    }
    uint32_t serial = batch.next++;
    // After a wrap, a number still held by a live block is passed over, so that a serial
    // number always names one block.
    if (!wrapped_.load(std::memory_order_relaxed) || FindBySerial(serial) == nullptr) {
      return serial;
    }
  }
}

void MemoryPool::ReportCount() {
  CountReporter reporter = reporter_.load(std::memory_order_acquire);
  if (reporter != nullptr) reporter(Count());
}

void* MemoryPool::Alloc(uint32_t flags, uint32_t size) {
  if (flags != kPoolZeroInit) return nullptr;
  if (size > UINT32_MAX - kPoolOverhead - kPrefix) return nullptr;
  size_t capacity = 0;
  size_t sizeClass = ClassOf(size + kPoolOverhead, &capacity);
  if (sizeClass >= kClasses) return nullptr;
  size_t slot = ThreadSlot(kThreadSlots);
  BlockInfo* info = TakeKept(sizeClass, slot);
  if (info == nullptr) {
    // Whole cache lines: blocks that different threads fill and check never share one.
    const size_t bytes = (kPrefix + capacity + kCacheLine - 1) & ~(kCacheLine - 1);
    info = static_cast<BlockInfo*>(std::aligned_alloc(kCacheLine, bytes));
    if (info == nullptr) return nullptr;
    info->capacity = static_cast<uint32_t>(capacity);
    info->live.store(0, std::memory_order_relaxed);
    info->nextFree = nullptr;
    Register(info);
  }
  uint8_t* header = reinterpret_cast<uint8_t*>(info) + kPrefix;
  uint8_t* data = header + kPoolHeaderSize;
  StoreWord(header + kBlockSize, size);
  StoreWord(header + kBlockSerial, NextSerial());
  StoreWord(header + kBlockState, 1);
  for (size_t offset = kBlockLink0; offset < kPoolHeaderSize; offset += 4)
    StoreWord(header + offset, 0);
  std::memset(data, 0, size);
  StoreBytes(data + size, size);
  StoreBytes(data + size + 4, kPoolGuard);
  info->live.store(1, std::memory_order_release);
  counters_[slot].value.fetch_add(1, std::memory_order_relaxed);
  ReportCount();
  return data;
}

const char* MemoryPool::Check(const void* data, const BlockInfo& info) const {
  const uint8_t* header = HeaderOf(data);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  uint32_t recorded = LoadWord(header + kBlockSize);
  // A header claiming more than the block holds: its trailer would lie outside the block.
  if (recorded > info.capacity - kPoolOverhead) return "===== AllocMemory Broken(1) =====";
  if (LoadBytes(bytes + recorded) != recorded) return "===== AllocMemory Broken(3) =====";
  if (LoadBytes(bytes + recorded + 4) != kPoolGuard) return "===== AllocMemory Broken(5) =====";
  if (LoadWord(header + kBlockState) != 1) {
    return "===== AllocMemory Broken(6) or Already Free Memory =====";
  }
  return nullptr;
}

bool MemoryPool::Live(const void* data, BlockInfo** found) const {
  BlockInfo* info = Lookup(data);
  if (info == nullptr || info->live.load(std::memory_order_acquire) != 1) return false;
  if (Check(data, *info) != nullptr) return false;
  if (found != nullptr) *found = info;
  return true;
}

void MemoryPool::Keep(void* data, BlockInfo* info, uint32_t size) {
  uint8_t* header = HeaderOf(data);
  for (size_t offset = 0; offset < kPoolHeaderSize; offset += 4) StoreWord(header + offset, ~0u);
  std::memset(data, 0xFF, size);
  StoreBytes(static_cast<uint8_t*>(data) + size, ~0u);
  StoreBytes(static_cast<uint8_t*>(data) + size + 4, ~0u);
  StoreWord(header + kBlockState, 0);
  size_t capacity = 0;
  size_t sizeClass = ClassOf(info->capacity, &capacity);
  size_t slot = ThreadSlot(kThreadSlots);
  FreeLists& lists = freeLists_[slot];
  {
    std::lock_guard<SpinLock> lock(lists.lock);
    info->nextFree = lists.heads[sizeClass].load(std::memory_order_relaxed);
    lists.heads[sizeClass].store(info, std::memory_order_relaxed);
  }
  counters_[slot].value.fetch_sub(1, std::memory_order_relaxed);
}

void* MemoryPool::Free(void* data) {
  if (data == nullptr) {
    WritePoolError("===== AllocMemory NULL Handle Free Error(1) =====");
    return nullptr;
  }
  BlockInfo* info = Lookup(data);
  // Never a block, or freed already: the pool no longer knows it as allocated.
  if (info == nullptr || info->live.load(std::memory_order_acquire) != 1) {
    WritePoolError("===== AllocMemory Handle Free Error(1) =====");
    return data;
  }
  if (const char* refusal = Check(data, *info); refusal != nullptr) {
    WritePoolError(refusal);
    return data;
  }
  uint32_t expected = 1;
  if (!info->live.compare_exchange_strong(expected, 0, std::memory_order_acq_rel)) {
    // Another thread freed it a moment ago.
    WritePoolError("===== AllocMemory Handle Free Error(1) =====");
    return data;
  }
  Keep(data, info, LoadWord(HeaderOf(data) + kBlockSize));
  ReportCount();
  return nullptr;
}

int MemoryPool::IsBadBlock(const void* data, uint32_t size) {
  return Live(data) && LoadWord(HeaderOf(data) + kBlockSize) >= size ? 0 : 1;
}

bool MemoryPool::LinkBlocks(void* owner, const void* child, uint32_t slot) {
  if (slot >= kPoolLinkSlots || !Live(child) || !Live(owner)) return false;
  StoreWord(HeaderOf(owner) + kBlockLink0 + 4 * slot, LoadWord(HeaderOf(child) + kBlockSerial));
  return true;
}

bool MemoryPool::IsLinked(const void* owner, const void* child, uint32_t slot) {
  if (slot >= kPoolLinkSlots || !Live(child) || !Live(owner)) return false;
  return LoadWord(HeaderOf(owner) + kBlockLink0 + 4 * slot) ==
         LoadWord(HeaderOf(child) + kBlockSerial);
}

uint32_t MemoryPool::SerialOf(const void* data) {
  BlockInfo* info = Lookup(data);
  if (info == nullptr || info->live.load(std::memory_order_acquire) != 1) return 0;
  return LoadWord(HeaderOf(data) + kBlockSerial);
}

void* MemoryPool::FindBySerial(uint32_t serial) {
  if (serial == 0) return nullptr;
  // Looking a block up by its number is rare (records that name a related record); a walk
  // over the table keeps every allocation free of a second index.
  const AddressTable* table = table_.load(std::memory_order_acquire);
  for (size_t i = 0; i <= table->mask; ++i) {
    uint64_t key = table->keys[i].load(std::memory_order_acquire);
    if (key == 0) continue;
    void* data = reinterpret_cast<void*>(key);
    if (SerialOf(data) == serial) return data;
  }
  return nullptr;
}

void MemoryPool::FreeAll() {
  const AddressTable* table = table_.load(std::memory_order_acquire);
  for (size_t i = 0; i <= table->mask; ++i) {
    uint64_t key = table->keys[i].load(std::memory_order_acquire);
    if (key == 0) continue;
    void* data = reinterpret_cast<void*>(key);
    BlockInfo* info = Lookup(data);
    if (info->live.load(std::memory_order_acquire) != 1 || Free(data) == nullptr) continue;
    // Refused (damaged, and logged): taken out of use anyway, so that nothing outlives it.
    uint32_t expected = 1;
    if (info->live.compare_exchange_strong(expected, 0, std::memory_order_acq_rel)) {
      Keep(data, info, static_cast<uint32_t>(info->capacity - kPoolOverhead));
    }
  }
}

uint32_t MemoryPool::Count() {
  int64_t total = 0;
  for (size_t i = 0; i < kThreadSlots; ++i) {
    total += counters_[i].value.load(std::memory_order_relaxed);
  }
  return total > 0 ? static_cast<uint32_t>(total) : 0;
}

void MemoryPool::SetCountReporter(CountReporter reporter) {
  reporter_.store(reporter, std::memory_order_release);
}

void MemoryPool::SetNextSerial(uint32_t serial) {
  std::lock_guard<std::mutex> lock(serialMutex_);
  nextSerial_ = serial == 0 || serial > kLastSerial ? 1 : serial;
  serialEpoch_.fetch_add(1, std::memory_order_acq_rel);
}

MemoryPool& ProcessPool() {
  return Process().pool;
}

void* AllocMemory(uint32_t flags, uint32_t size) {
  return ProcessPool().Alloc(flags, size);
}
void* FreeMemory(void* data) {
  return ProcessPool().Free(data);
}
int IsBadBlock(const void* data, uint32_t size) {
  return ProcessPool().IsBadBlock(data, size);
}
bool LinkBlocks(void* owner, const void* child, uint32_t slot) {
  return ProcessPool().LinkBlocks(owner, child, slot);
}
bool IsLinked(const void* owner, const void* child, uint32_t slot) {
  return ProcessPool().IsLinked(owner, child, slot);
}
uint32_t BlockSerial(const void* data) {
  return ProcessPool().SerialOf(data);
}
void* FindBlock(uint32_t serial) {
  return ProcessPool().FindBySerial(serial);
}
void FreeAll() {
  ProcessPool().FreeAll();
}

}  // namespace qrvn::provider
