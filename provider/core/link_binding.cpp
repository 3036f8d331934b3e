// The callbacks given to the link driver, and SendRequest.
#include "provider/core/link_binding.h"

#include <vector>

#include "provider/core/cvn2448_driver.h"
#include "provider/core/message_codec.h"
#include "provider/core/process.h"

namespace qrvn::provider {

// The PBX reports lost messages with this system status; no command goes out after it.
inline constexpr uint32_t kSystemStatusMessageLost = 5;

int32_t ReceiveCallback(uint32_t providerSlot, const uint8_t* message, int32_t length) {
  CVN2448Driver* instance = SlotInstance(providerSlot);
  if (instance == nullptr || instance->analyzer == nullptr) return 0;
  // A queued event record holds one message of at most 2048 bytes; a longer reassembled
  // event is refused here rather than cut short.
  if (message == nullptr || length < 4 || length > kMaxMessage) return 0;
  return instance->analyzer->OnReceive(message, length);
}

int32_t StatusCallback(uint32_t providerSlot, int32_t errorCode, int32_t /*reserved*/) {
  CVN2448Driver* instance = SlotInstance(providerSlot);
  if (instance == nullptr) return 0;
  std::vector<uint32_t> flags = instance->LineOpenFlagsSnapshot();
  for (uint32_t line = 0; line < flags.size(); ++line) {
    if (flags[line] != 1) continue;
    WriteEventLog(*instance, LogFormat("LINEDEVSTATE_REINIT-0004[%d] error_code[%d]",
                                       static_cast<int>(line), errorCode));
    PartFactories().postLineEvent(*instance, line, nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT,
                                  0, 0);
  }
  instance->reinitPending = 1;
  return 1;
}

int32_t SendRequest(CVN2448Driver& instance, uint32_t linkHandle, const uint8_t* request,
                    int32_t requestLength, uint8_t* reply, int32_t replySize) {
  if (request == nullptr || requestLength < 4) return LINEERR_OPERATIONFAILED;
  if (instance.session != nullptr &&
      instance.session->PbxSystemStatus() == kSystemStatusMessageLost) {
    return LINEERR_OPERATIONFAILED;
  }
  if (instance.reinitPending.load() == 1) {
    return request[0] == kClosingMessageCode ? 0 : LINEERR_OPERATIONFAILED;
  }
  if (instance.link.dataComm == nullptr) return LINEERR_OPERATIONFAILED;
  return instance.link.dataComm(linkHandle, request, requestLength, reply, replySize);
}

}  // namespace qrvn::provider
