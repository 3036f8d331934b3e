// The PBX's answers: one request in, its replies out, by the model. No I/O here, so that
// every reply layout can be checked byte for byte.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "pbxsim/message.h"
#include "pbxsim/model.h"

namespace qrvn::pbxsim {

// What the PBX does with one request.
struct Answer {
  std::vector<Bytes> replies;   // whole messages, carrying the request's code and sequence
  bool silent = false;          // no reply at all (configured or for a non-request)
  bool switchToBinary = false;  // the reply accepts binary framing
  bool sessionOpen = false;     // the request opened (or re-opened) the session
};

// Snapshot state of one device: its mode and, in a call, the other device.
struct DeviceState {
  uint8_t mode = 0;
  Bytes other;
};

// Negative reply causes (first value byte 9, as the host reads them).
inline constexpr uint8_t kCauseUnknownRequest = 0x01;
inline constexpr uint8_t kCauseBadParameter = 0x02;
inline constexpr uint8_t kCauseNoData = 0x03;
inline constexpr uint8_t kCauseRefused = 0x04;
inline constexpr uint8_t kCauseTextOnly = 0x12;  // the binary framing proposal is refused

class Pbx {
 public:
  explicit Pbx(Model model);

  // Answers one decoded request message (its raw bytes).
  Answer Handle(const Bytes& request);

  // The model (read only; the PBX never changes it).
  const Model& GetModel() const { return model_; }
  // The CTI version word of the model.
  uint32_t Cti() const { return cti_; }

  // The device parameter of an extension by number, empty when unknown.
  Bytes ExtensionParam(const std::string& number) const;
  // The device parameter of a trunk by number, empty when unknown.
  Bytes TrunkParam(uint16_t number) const;

  // Sets the status the poll and the status event report (2 normal, 3 messages lost).
  void SetSystemStatus(uint8_t status);
  // Stops (true) or resumes answering the status poll.
  void SetPollSilent(bool silent);
  // Sets the snapshot answer for a device parameter.
  void SetDeviceState(const Bytes& device, DeviceState state);

 private:
  Answer SessionOpen(const Message& m);
  Answer Version(const Message& m);
  Answer DeviceData(const Message& m);
  Answer SystemParameter(const Message& m);
  Answer GroupMembers(const Message& m);
  Answer Snapshot(const Message& m);
  Answer Poll(const Message& m);
  Answer Positive(const Message& m, std::vector<Param> params = {});
  Answer Negative(const Message& m, uint8_t cause);
  const Group* FindGroup(const Bytes& groupParam) const;

  Model model_;
  uint32_t cti_;
  std::mutex mutex_;  // guards the run-time state below
  uint8_t systemStatus_;
  bool pollSilent_ = false;
  std::map<Bytes, DeviceState> states_;
};

// Builds a negative reply to a request: its code and sequence, cause bytes 9 and cause.
Bytes NegativeReply(const Bytes& request, uint8_t cause);

}  // namespace qrvn::pbxsim
