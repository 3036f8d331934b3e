// The seven exported functions of qrvnsdrv.so. The driver state is created when the module
// is loaded and destroyed when it is unloaded.
#include <cstdint>

#include "linkdriver/driver.h"

namespace {

qrvn::linkdriver::Driver* g_driver = nullptr;

__attribute__((constructor)) void AttachDriver() {
  g_driver = new qrvn::linkdriver::Driver();
}

__attribute__((destructor)) void DetachDriver() {
  delete g_driver;
  g_driver = nullptr;
}

}  // namespace

#define QRVN_EXPORT extern "C" __attribute__((visibility("default")))

// Connects a provider instance to its PBX over the configured COM port.
QRVN_EXPORT int32_t Connect(uint32_t* linkHandle, uint32_t permanentProviderId,
                            uint32_t providerSlot, qrvn::linkdriver::ReceiveCallback onReceive,
                            qrvn::linkdriver::StatusCallback onStatus) {
  if (g_driver == nullptr) return -1;
  return g_driver->Connect(linkHandle, permanentProviderId, providerSlot, onReceive, onStatus);
}

// Disconnects a link and frees it.
QRVN_EXPORT int32_t DisConnect(uint32_t linkHandle) {
  return g_driver == nullptr ? 0 : g_driver->DisConnect(linkHandle);
}

// Sends a message that expects no reply.
QRVN_EXPORT int32_t SendData(uint32_t linkHandle, const uint8_t* message, int32_t length) {
  return g_driver == nullptr ? -1 : g_driver->SendData(linkHandle, message, length);
}

// Sends a request and waits for the PBX's reply.
QRVN_EXPORT int32_t DataComm(uint32_t linkHandle, const uint8_t* request, int32_t length,
                             uint8_t* reply, int32_t replySize) {
  return g_driver == nullptr ? -1
                             : g_driver->DataComm(linkHandle, request, length, reply, replySize);
}

// Writes the driver's version text.
QRVN_EXPORT int32_t Version(char* text) {
  return qrvn::linkdriver::WriteVersion(text);
}

// Publishes the provider's memory-pool block count.
QRVN_EXPORT void SetAllocCount(uint32_t count) {
  if (g_driver != nullptr) g_driver->SetAllocCount(count);
}

// Publishes the provider's event queue length.
QRVN_EXPORT void SetQueCount(uint32_t count) {
  if (g_driver != nullptr) g_driver->SetQueCount(count);
}
