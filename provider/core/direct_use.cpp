// The direct-use exports and the module path record.
#include "provider/core/direct_use.h"

#include "provider/core/cvn2448_driver.h"
#include "provider/core/process.h"

namespace qrvn::provider {
namespace {

// Points one line's events at the direct-use callback, with the record as its line handle.
void OpenLine(CVN2448Driver& instance, uint32_t index, LINEEVENT eventProc) {
  if (index >= instance.numberOfLines) return;
  instance.SetLineOpenFlag(index, 1);
  LineDevice* line = instance.session != nullptr ? instance.session->Line(index) : nullptr;
  if (line != nullptr) {
    line->eventProc = eventProc;
    line->htLine = reinterpret_cast<HTAPILINE>(line);
  }
}

// Closing clears the flag: the host asked for the line's events to stop.
void CloseLine(CVN2448Driver& instance, uint32_t index) {
  instance.SetLineOpenFlag(index, 0);
}

}  // namespace

}  // namespace qrvn::provider

using namespace qrvn::provider;

extern "C" {

LONG PBXInitialize(DWORD /*reserved1*/, DWORD /*reserved2*/, LINEEVENT eventProc) {
  if (ProcessAttached()) Process().directEventProc = eventProc;
  return 1;
}

LONG PBXClose(DWORD slot) {
  CVN2448Driver* instance = SlotInstance(slot);
  if (instance == nullptr) return 1;
  instance->Close();
  instance->providerSemaphore.reset();
  Process().providerTable[slot].instance = nullptr;
  CVN2448Driver::Destroy(instance);
  return 1;
}

LONG LineDevOpen(DWORD slot) {
  CVN2448Driver* instance = SlotInstance(slot);
  if (instance == nullptr) return 1;
  LINEEVENT eventProc = Process().directEventProc.load();
  for (uint32_t i = 0; i < instance->numberOfLines; ++i) OpenLine(*instance, i, eventProc);
  return 1;
}

LONG LineDevClose(DWORD slot) {
  CVN2448Driver* instance = SlotInstance(slot);
  if (instance == nullptr) return 1;
  for (uint32_t i = 0; i < instance->numberOfLines; ++i) CloseLine(*instance, i);
  return 1;
}

LONG LineDevOpen2(DWORD slot, DWORD lineIndex) {
  CVN2448Driver* instance = SlotInstance(slot);
  if (instance != nullptr) OpenLine(*instance, lineIndex, Process().directEventProc.load());
  return 1;
}

LONG LineDevClose2(DWORD slot, DWORD lineIndex) {
  CVN2448Driver* instance = SlotInstance(slot);
  if (instance != nullptr) CloseLine(*instance, lineIndex);
  return 1;
}

}  // extern "C"
