// The PBX session of an instance: session open, CTI version negotiation, the PBX's model,
// country and capacity, the line device model, the queue file, event registration and close.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "provider/core/device_directory.h"
#include "provider/core/instance_parts.h"
#include "provider/core/message_codec.h"
#include "provider/session/device_model.h"

namespace qrvn::provider {

inline constexpr uint8_t kSessionOpen = 1;
inline constexpr uint8_t kEventRegistration = 33;
inline constexpr uint8_t kCloseRequest = 131;
inline constexpr uint8_t kVersionRequest = 185;
inline constexpr uint8_t kSystemParameterRequest = 188;
// Text of the unsupported-model box (string resource 112) and the provider's box caption.
inline constexpr const char* kNotSupportedText = "\nis Not Supported";
inline constexpr const char* kProviderCaption = "Tervolin QR-VN TSP";

// The device counts and capacity words of the version reply.
struct SystemCapacity {
  uint32_t extensions = 0;
  uint32_t trunks = 0;
  uint32_t doorPhones = 0;
  uint32_t disa = 0;
  uint32_t pagingOut = 0;
  uint32_t pagingIn = 0;
  uint32_t tr = 0;
  uint32_t rm = 0;
  uint32_t bv = 0;
  uint32_t queues = 0;
  std::array<uint32_t, 23> words{};  // capacity words by tag, 13..22 used
  uint32_t groupMemberTotal = 0;
  uint32_t groupLinkTotal = 0;
};

// A (count, first device number) range of devices a VN2448D does not show.
struct DeviceRange {
  uint16_t count = 0;
  uint16_t first = 0;
};

class QueueFile;

class CtiPbxSession final : public PbxSession, public DirectoryLines {
 public:
  explicit CtiPbxSession(CVN2448Driver& owner);
  ~CtiPbxSession() override;

  int32_t StartUp(uint32_t permanentProviderId, uint32_t slot) override;
  int32_t RegisterEvents() override;
  int32_t CloseSession() override;
  void ReleaseDevices() override;
  bool LinesCounted() const override { return linesCounted_; }
  uint32_t LineCount() const override { return model_.lineCount; }
  LineDevice* Line(uint32_t index) override;
  uint32_t PbxSystemStatus() const override { return systemStatus_; }
  bool DescribeLine(uint32_t index, DirectoryLine& out) const override;

  // Negotiates the CTI version with the PBX; false when negotiation fails.
  bool NegotiateVersion();
  // Builds a request into the request buffer and exchanges it, the reply going into reply
  // (the session's reply buffer when null); the reply length, or -1 when the exchange fails.
  int32_t Exchange(uint8_t code, const MessageParam* params, int32_t count,
                   uint8_t* reply = nullptr, uint32_t replySize = 0);
  // Decodes a reply into the parameter table (at most max entries): the count, negative for
  // a negative reply; the table is left empty when the reply does not decode.
  int32_t Decode(const uint8_t* reply, int32_t length, int32_t max = 32);
  // The session's reply buffer (kMaxMessage bytes).
  const uint8_t* Reply() const { return reply_.data(); }
  // The decoded parameter at position (1-based), or null.
  const ParsedParam* ParamAt(uint32_t position) const;
  // The first decoded parameter with this tag, or null.
  const ParsedParam* ParamByTag(uint32_t tag) const;

  const SystemCapacity& Capacity() const { return capacity_; }
  const DeviceModel& Model() const { return model_; }
  // The model for its builder (start-up only).
  DeviceModel& BuildModel() { return model_; }
  uint32_t CountryGroup() const { return countryGroup_; }
  DeviceRange ExcludedExtensions() const { return excludedExt_; }
  DeviceRange ExcludedTrunks() const { return excludedTrunk_; }
  uint32_t PbxType() const { return pbxType_; }
  const char* RomVersion() const { return romVersion_; }
  // The five feature access codes: local, trunk group, incoming paging, outgoing paging,
  // door phone.
  const AccessCodes& Codes() const { return model_.codes; }
  // The address record of a line, or null.
  AddressRecord* Address(uint32_t lineIndex) const;
  // The TAPI extension version that the negotiated CTI version offers.
  uint32_t ProviderExtVersion() const { return providerExtVersion_; }
  // The accounting queue file opened at start-up, or null.
  QueueFile* Queue() const { return queueFile_.get(); }
  // Sets the PBX's system status (the device-state events report it).
  void SetPbxSystemStatus(uint32_t status) { systemStatus_ = status; }

 private:
  void ReadModel();
  bool ReadCountry();
  void ReadCapacity();
  bool Register(const uint8_t* selector, uint32_t selectorLength, const uint8_t mask[4],
                const uint8_t options[2], const uint8_t* extra = nullptr);

  CVN2448Driver& owner_;
  uint32_t providerId_ = 0;
  uint32_t slot_ = 0;
  uint32_t pbxType_ = 0;
  uint32_t modelCode_ = 0;
  uint32_t providerExtVersion_ = 0;
  char romVersion_[60] = {};
  uint32_t countryGroup_ = 0;
  DeviceRange excludedExt_;
  DeviceRange excludedTrunk_;
  SystemCapacity capacity_;
  uint32_t systemStatus_ = 0;
  bool linesCounted_ = false;
  std::array<uint8_t, kMaxMessage> request_{};
  std::array<uint8_t, kMaxMessage> reply_{};
  int32_t replyLength_ = 0;
  const uint8_t* decoded_ = nullptr;  // the message the parameter table points into
  std::array<ParsedParam, 32> params_{};
  int32_t paramCount_ = 0;
  DeviceModel model_;
  std::unique_ptr<QueueFile> queueFile_;
};

// Makes the session of an instance (its factory).
std::unique_ptr<PbxSession> MakeCtiPbxSession(CVN2448Driver& owner);
// The session of an instance, or null when the instance has another kind.
CtiPbxSession* SessionOf(CVN2448Driver& instance);

}  // namespace qrvn::provider
