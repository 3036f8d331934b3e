// Process-wide state of the loaded provider: the provider table, the global semaphore, the
// unload flag, the count of outstanding completions, the direct-use event callback, the
// memory pool and the optional exports of the most recently loaded link driver.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "platform/sync.h"
#include "provider/core/memory_pool.h"
#include "tapi/tspi.h"

namespace qrvn::provider {

class CVN2448Driver;

inline constexpr uint32_t kProviderSlots = 16;
inline constexpr uint32_t kUnusedProviderId = 0xFFFFFFFFu;

// One slot of the provider table. Its fields are atomic: the telephony service may start one
// provider while another's request or link threads look slots up.
struct ProviderSlot {
  std::atomic<uint32_t> permanentProviderId{kUnusedProviderId};
  std::atomic<uint32_t> inUse{0};
  std::atomic<CVN2448Driver*> instance{nullptr};
  std::atomic<uint32_t> lineBase{0};
  std::atomic<uint32_t> lineCount{0};
  std::atomic<uint32_t> phoneBase{0};
  std::atomic<uint32_t> phoneCount{0};
};

// The link driver's optional exports that report counts to its monitor area.
using SetCountFn = void (*)(uint32_t count);

struct ProcessState {
  std::array<ProviderSlot, kProviderSlots> providerTable{};
  platform::BinarySemaphore globalSemaphore{true};
  std::atomic<uint32_t> providerUnloading{0};
  std::atomic<uint32_t> outstandingAsyncCount{0};
  std::atomic<LINEEVENT> directEventProc{nullptr};
  std::atomic<SetCountFn> setAllocCount{nullptr};
  std::atomic<SetCountFn> setQueCount{nullptr};
  MemoryPool pool;
};

// Creates the process-wide state (library load); false when it cannot be had.
bool ProcessAttach();
// Waits for outstanding completions, stops the event threads and empties the pool
// (library unload).
void ProcessDetach();
// The process-wide state; ProcessAttach must have run.
ProcessState& Process();
// True between ProcessAttach and ProcessDetach.
bool ProcessAttached();

// The slot holding permanentProviderId, or -1.
int FindProviderSlot(uint32_t permanentProviderId);
// The slot whose line range contains deviceId, or -1.
int FindSlotByLineDevice(uint32_t deviceId);
// The running instance of a slot, or null (slot out of range included).
CVN2448Driver* SlotInstance(uint32_t slot);

}  // namespace qrvn::provider
