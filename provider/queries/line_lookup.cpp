// Line lookups for the TSPI entry points.
#include "provider/queries/line_lookup.h"

#include "provider/core/cvn2448_driver.h"
#include "provider/core/memory_pool.h"
#include "provider/core/process.h"

namespace qrvn::provider {

CVN2448Driver* InstanceOfDevice(uint32_t deviceId) {
  if (!ProcessAttached()) return nullptr;
  int slot = FindSlotByLineDevice(deviceId);
  return slot < 0 ? nullptr : SlotInstance(static_cast<uint32_t>(slot));
}

FoundLine LineOfDevice(uint32_t deviceId) {
  FoundLine found;
  if (!ProcessAttached()) return found;
  int slot = FindSlotByLineDevice(deviceId);
  if (slot < 0) return found;
  const uint32_t base = Process().providerTable[slot].lineBase;
  CVN2448Driver* instance = SlotInstance(static_cast<uint32_t>(slot));
  if (instance == nullptr || instance->session == nullptr || deviceId < base) return found;
  const uint32_t index = deviceId - base;
  if (index >= instance->session->LineCount()) return found;
  found.line = instance->session->Line(index);
  found.instance = found.line != nullptr ? instance : nullptr;
  return found;
}

LineDevice* CheckedLine(HDRVLINE hdLine) {
  if (hdLine == nullptr || !ProcessAttached()) return nullptr;
  const auto address = reinterpret_cast<uintptr_t>(hdLine);
  for (uint32_t slot = 0; slot < kProviderSlots; ++slot) {
    CVN2448Driver* instance = SlotInstance(slot);
    if (instance == nullptr || instance->session == nullptr) continue;
    const uint32_t count = instance->session->LineCount();
    LineDevice* table = count != 0 ? instance->session->Line(0) : nullptr;
    if (table == nullptr) continue;
    const auto first = reinterpret_cast<uintptr_t>(table);
    if (address < first) continue;
    const uintptr_t offset = address - first;
    if (offset % sizeof(LineDevice) != 0 || offset / sizeof(LineDevice) >= count) continue;
    // The table must still be the pool's live block: a released model is refused here.
    if (IsBadBlock(table, static_cast<uint32_t>(sizeof(LineDevice) * count)) != 0) return nullptr;
    return table + offset / sizeof(LineDevice);
  }
  return nullptr;
}

bool LineBlocksPresent(const LineDevice& line) {
  return line.devCaps != nullptr && line.devStatus != nullptr && line.addressTable != nullptr &&
         line.addressTable[0] != nullptr;
}

}  // namespace qrvn::provider
