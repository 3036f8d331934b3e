// Process-wide state of the loaded provider.
#include "provider/core/process.h"

#include <new>

#include "platform/clock.h"
#include "provider/core/cvn2448_driver.h"

namespace qrvn::provider {
namespace {

// Made at library load and gone at unload; plain pointer so that nothing depends on the
// order in which the C++ runtime tears down static objects.
ProcessState* g_state = nullptr;

}  // namespace

bool ProcessAttach() {
  if (g_state != nullptr) return true;
  g_state = new (std::nothrow) ProcessState;
  return g_state != nullptr;
}

void ProcessDetach() {
  if (g_state == nullptr) return;
  ProcessState& state = *g_state;
  state.providerUnloading = 1;
  platform::ManualResetEvent pause;
  while (state.outstandingAsyncCount.load() != 0) pause.Wait(10);
  pause.Wait(1000);
  for (ProviderSlot& slot : state.providerTable) {
    CVN2448Driver* instance = slot.instance.load();
    if (slot.inUse != 0 && instance != nullptr && instance->analyzer != nullptr) {
      instance->analyzer->ClearRunFlags();
    }
  }
  // An instance the telephony service never shut down still owns threads and a link driver:
  // destroy it properly before its memory goes, rather than pulling the block from under it.
  for (ProviderSlot& slot : state.providerTable) {
    CVN2448Driver* instance = slot.instance.exchange(nullptr);
    if (instance != nullptr) CVN2448Driver::Destroy(instance);
  }
  state.pool.FreeAll();
  delete g_state;
  g_state = nullptr;
}

ProcessState& Process() {
  return *g_state;
}

bool ProcessAttached() {
  return g_state != nullptr;
}

int FindProviderSlot(uint32_t permanentProviderId) {
  for (uint32_t i = 0; i < kProviderSlots; ++i) {
    if (Process().providerTable[i].permanentProviderId == permanentProviderId) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int FindSlotByLineDevice(uint32_t deviceId) {
  for (uint32_t i = 0; i < kProviderSlots; ++i) {
    const ProviderSlot& slot = Process().providerTable[i];
    if (slot.lineBase <= deviceId && deviceId - slot.lineBase < slot.lineCount) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

CVN2448Driver* SlotInstance(uint32_t slot) {
  if (g_state == nullptr || slot >= kProviderSlots) return nullptr;
  return Process().providerTable[slot].instance.load();
}

}  // namespace qrvn::provider
