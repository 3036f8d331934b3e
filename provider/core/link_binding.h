// The provider's side of the link driver interface: the driver's exports as bound by name,
// the two callbacks the provider hands to Connect, and SendRequest.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/module.h"

namespace qrvn::provider {

class CVN2448Driver;

// Callbacks the link driver calls on its own threads.
using ReceiveCallbackFn = int32_t (*)(uint32_t providerSlot, const uint8_t* message,
                                      int32_t length);
using StatusCallbackFn = int32_t (*)(uint32_t providerSlot, int32_t errorCode, int32_t reserved);

// The link driver's exports.
using VersionFn = int32_t (*)(char* text);
using ConnectFn = int32_t (*)(uint32_t* linkHandle, uint32_t permanentProviderId,
                              uint32_t providerSlot, ReceiveCallbackFn receive,
                              StatusCallbackFn status);
using DisConnectFn = int32_t (*)(uint32_t linkHandle);
using SendDataFn = int32_t (*)(uint32_t linkHandle, const uint8_t* message, int32_t length);
using DataCommFn = int32_t (*)(uint32_t linkHandle, const uint8_t* request, int32_t length,
                               uint8_t* reply, int32_t replySize);

// Windows names of the two link drivers, chosen by COMTYPE 1 and 2.
inline constexpr const char* kSerialLinkDriver = "QRVNSDRV.DLL";
inline constexpr const char* kEthernetLinkDriver = "QRVNEDRV.DLL";
// The message code that closes a session; the only one sent after a link failure.
inline constexpr uint8_t kClosingMessageCode = 2;
// Size of the link driver's version text.
inline constexpr size_t kLinkVersionSize = 30;

// The binding of one instance to its link driver.
struct LinkBinding {
  std::unique_ptr<platform::Module> module;
  ConnectFn connect = nullptr;
  DisConnectFn disConnect = nullptr;
  SendDataFn sendData = nullptr;
  DataCommFn dataComm = nullptr;
  uint32_t handle = 0;  // the link handle Connect returned
  char version[kLinkVersionSize] = {};
};

// Receives one unsolicited message for the instance of providerSlot; nonzero when queued.
int32_t ReceiveCallback(uint32_t providerSlot, const uint8_t* message, int32_t length);
// Reports a link failure for the instance of providerSlot: every open line gets
// LINEDEVSTATE_REINIT and the instance refuses PBX commands from then on.
int32_t StatusCallback(uint32_t providerSlot, int32_t errorCode, int32_t reserved);

// Exchanges one command with the PBX: DataComm's result, or LINEERR_OPERATIONFAILED without
// sending when the PBX lost messages or a link failure is pending.
int32_t SendRequest(CVN2448Driver& instance, uint32_t linkHandle, const uint8_t* request,
                    int32_t requestLength, uint8_t* reply, int32_t replySize);

}  // namespace qrvn::provider
