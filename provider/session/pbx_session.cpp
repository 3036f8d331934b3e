// The PBX session: start-up, version negotiation, event registration and close.
#include "provider/session/pbx_session.h"

#include <cstring>
#include <string>

#include "platform/message_box.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/core/link_binding.h"
#include "provider/core/provider_log.h"
#include "provider/session/queue_file.h"

namespace qrvn::provider {
namespace {

uint32_t U16(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 8) | p[1];
}

// The CTI version words of the 1.313 .. 1.319 texts; 0 for any other text.
uint32_t MinorVersionWord(const std::string& text) {
  static constexpr struct {
    const char* text;
    uint32_t word;
  } kWords[] = {{"1.319", 0x13190}, {"1.318", 0x13180}, {"1.317", 0x13170}, {"1.316", 0x13160},
                {"1.315", 0x13150}, {"1.314", 0x13140}, {"1.313", 0x13130}};
  for (const auto& w : kWords) {
    if (text == w.text) return w.word;
  }
  return 0;
}

// The PBX type of a model code; 0 when the model is not supported.
uint32_t PbxTypeOfModelCode(uint32_t code) {
  switch (code) {
    case 1:
      return 3;
    case 2:
      return 1;
    case 3:
      return 2;
    case 4:
      return 6;
    case 16:
      return 4;
    default:
      return 0;
  }
}

uint32_t CountryGroupOf(uint32_t country) {
  switch (country) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 6:
    case 7:
      return 2;
    case 5:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 20:
      return 1;
    default:
      return 0;
  }
}

}  // namespace

CtiPbxSession::CtiPbxSession(CVN2448Driver& owner) : PbxSession(&owner.ctiVersion), owner_(owner) {}

CtiPbxSession::~CtiPbxSession() {
  ReleaseDevices();
}

LineDevice* CtiPbxSession::Line(uint32_t index) {
  return model_.lines != nullptr && index < model_.lineCount ? &model_.lines[index] : nullptr;
}

AddressRecord* CtiPbxSession::Address(uint32_t lineIndex) const {
  if (model_.lines == nullptr || lineIndex >= model_.lineCount) return nullptr;
  const LineDevice& line = model_.lines[lineIndex];
  return line.addressTable != nullptr ? line.addressTable[0] : nullptr;
}

bool CtiPbxSession::DescribeLine(uint32_t index, DirectoryLine& out) const {
  AddressRecord* address = Address(index);
  if (address == nullptr) return false;
  const LineDevice& line = model_.lines[index];
  out = {};
  out.kind = line.lineKind;
  std::memcpy(out.name, line.namePrefix, sizeof out.name);
  std::memcpy(out.dialNumber, address->dialNumber, sizeof out.dialNumber);
  const auto* dev =
      reinterpret_cast<const uint8_t*>(address->addressStatus) + kStatusDevSpecificOffset;
  std::memcpy(&out.deviceId, dev + kStatusDeviceIdOffset, 2);
  std::memcpy(&out.trunkValue, dev + kStatusTrunkValueOffset, 2);
  return true;
}

int32_t CtiPbxSession::Exchange(uint8_t code, const MessageParam* params, int32_t count,
                                uint8_t* reply, uint32_t replySize) {
  if (reply == nullptr) {
    reply = reply_.data();
    replySize = static_cast<uint32_t>(reply_.size());
  }
  int32_t length = BuildMessage(this, code, request_.data(), static_cast<uint32_t>(request_.size()),
                                params, count);
  if (length < 0) return -1;
  int32_t n = SendRequest(owner_, owner_.link.handle, request_.data(), length, reply,
                          static_cast<int32_t>(replySize));
  if (n < 0) return -1;
  if (static_cast<uint32_t>(n) > replySize) n = static_cast<int32_t>(replySize);
  if (reply == reply_.data()) replyLength_ = n;
  return n;
}

int32_t CtiPbxSession::Decode(const uint8_t* reply, int32_t length, int32_t max) {
  if (max > static_cast<int32_t>(params_.size())) max = static_cast<int32_t>(params_.size());
  paramCount_ = 0;
  decoded_ = reply;
  int32_t n = ParseMessage(this, params_.data(), max, reply, length);
  if (n == kCodecTooShort || n == kCodecNoVersion) return n;
  paramCount_ = n < 0 ? -n : n;
  return n;
}

const ParsedParam* CtiPbxSession::ParamAt(uint32_t position) const {
  if (position < 1 || position > static_cast<uint32_t>(paramCount_)) return nullptr;
  return &params_[position - 1];
}

const ParsedParam* CtiPbxSession::ParamByTag(uint32_t tag) const {
  for (int32_t i = 0; i < paramCount_; ++i) {
    if (params_[i].tag == tag) return &params_[i];
  }
  return nullptr;
}

bool CtiPbxSession::NegotiateVersion() {
  owner_.ctiVersion = 0x12000;
  const uint8_t one = 1;
  // Proposes a version text; the PBX's text (the third reply parameter), or nothing when the
  // exchange fails.
  auto propose = [&](const std::string& text, std::string* answer) {
    MessageParam params[2] = {{1, &one, 1}, {2, text.data(), static_cast<uint32_t>(text.size())}};
    int32_t n = Exchange(kVersionRequest, params, 2);
    if (n < 0) return false;
    Decode(reply_.data(), n);
    const ParsedParam* third = ParamAt(3);
    answer->clear();
    if (third != nullptr) {
      answer->assign(reinterpret_cast<const char*>(decoded_ + third->offset), third->length);
    }
    return true;
  };
  std::string answer;
  bool askThree = true;
  if (propose("1.320", &answer)) {
    if (answer == "1.2") {
      askThree = false;
    } else if (answer.size() == 5) {
      if (answer == "1.320") {
        owner_.ctiVersion = 0x13200;
        return true;
      }
      if (answer.compare("1.319") > 0) return false;
      // The PBX names an older 1.3xx: propose it back. That reply goes into a buffer of its
      // own, so that the parameter table keeps the first reply, which settled the version.
      MessageParam params[2] = {{1, &one, 1},
                                {2, answer.data(), static_cast<uint32_t>(answer.size())}};
      std::array<uint8_t, kMaxMessage> scratch{};
      if (Exchange(kVersionRequest, params, 2, scratch.data(), scratch.size()) < 0) return false;
      uint32_t word = MinorVersionWord(answer);
      if (word == 0) return false;
      owner_.ctiVersion = word;
      return true;
    }
  }
  if (askThree && propose("1.3", &answer) && answer == "1.3") {
    owner_.ctiVersion = 0x13000;
    return true;
  }
  if (!propose("1.2", &answer)) return false;
  owner_.ctiVersion = 0x12000;
  return true;
}

void CtiPbxSession::ReadModel() {
  std::memset(romVersion_, 0, sizeof romVersion_);
  if (const ParsedParam* rom = ParamByTag(4); rom != nullptr) {
    std::memcpy(romVersion_, decoded_ + rom->offset, rom->length < 59 ? rom->length : 59);
  }
  std::memcpy(owner_.romVersion, romVersion_, sizeof romVersion_);
}

bool CtiPbxSession::ReadCountry() {
  const ParsedParam* fifth = ParamAt(5);
  uint32_t country = 0;
  if (fifth != nullptr) {
    uint32_t length = fifth->length < 63 ? fifth->length : 63;
    const uint8_t* text = decoded_ + fifth->offset;
    for (uint32_t i = 0; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
      country = country * 10 + (text[i] - '0');
      if (country > 100000000) break;  // far beyond any country code; keeps it from wrapping
    }
  }
  owner_.pbxCountry = country;
  countryGroup_ = 0;
  excludedExt_ = {};
  excludedTrunk_ = {};
  if (pbxType_ == 1 || pbxType_ == 2) countryGroup_ = CountryGroupOf(country);
  if (pbxType_ == 2) {
    static constexpr DeviceRange kExt[3] = {{96, 97}, {80, 81}, {120, 121}};
    excludedExt_ = kExt[countryGroup_];
    excludedTrunk_ = {12, 13};
  }
  return true;
}

void CtiPbxSession::ReadCapacity() {
  const uint32_t cti = owner_.ctiVersion;
  capacity_ = {};
  capacity_.pagingOut = 4;
  if (cti != 0x12000) {
    capacity_.tr = 1;
    capacity_.rm = 1;
    capacity_.bv = 2;
    capacity_.queues = 4;
  }
  for (int32_t i = 0; i < paramCount_; ++i) {
    const ParsedParam& p = params_[i];
    const uint8_t* v = decoded_ + p.offset;
    const bool one = p.length >= 1;
    const bool two = p.length >= 2;
    const bool newer = cti >= 0x13000;
    switch (p.tag) {
      case 6:
        if (two) capacity_.extensions = U16(v);
        break;
      case 7:
        if (two) capacity_.trunks = U16(v);
        break;
      case 9:
        if (one) capacity_.doorPhones = v[0];
        break;
      case 10:
        if (one) capacity_.disa = v[0];
        break;
      case 11:
        if (one) capacity_.pagingOut = v[0];
        break;
      case 24:
        if (one) capacity_.pagingIn = v[0];
        break;
      case 13:
      case 14:
      case 15:
      case 16:
      case 17:
      case 18:
      case 22:
        if (newer && one) capacity_.words[p.tag] = v[0];
        break;
      case 19:
        if (newer && one) {
          capacity_.words[19] = v[0];
          capacity_.groupMemberTotal += v[0];
          capacity_.groupLinkTotal = 2u * v[0];
        }
        break;
      case 21:
        if (newer && two) {
          capacity_.words[21] = U16(v);
          capacity_.groupMemberTotal += U16(v);
        }
        break;
      case 27:
        if (cti >= 0x13170 && one) capacity_.bv = v[0];
        break;
      default:
        break;
    }
  }
  if (capacity_.pagingIn == 0) capacity_.pagingIn = capacity_.words[19];
}

int32_t CtiPbxSession::StartUp(uint32_t permanentProviderId, uint32_t slot) {
  providerId_ = permanentProviderId;
  slot_ = slot;
  linesCounted_ = false;
  ReleaseDevices();
  if (Exchange(kSessionOpen, nullptr, 0) < 0) return kStartUpFailed;
  if (!NegotiateVersion()) return kStartUpFailed;
  if (owner_.config.useExtVersion == 0x10000 && owner_.ctiVersion != 0x12000) {
    owner_.ctiVersion = 0x12000;
  }
  const uint32_t cti = owner_.ctiVersion;
  providerExtVersion_ =
      (cti == 0x12000 || cti == 0x13000 || (cti >= 0x13130 && cti <= 0x13190)) ? 0x10002 : 0x10003;
  ReadModel();
  const ParsedParam* first = ParamAt(1);
  modelCode_ = first != nullptr && first->length >= 1 ? decoded_[first->offset] : 0;
  uint32_t type = PbxTypeOfModelCode(modelCode_);
  if (type == 0) {
    platform::ShowMessageBox(std::string(romVersion_) + kNotSupportedText, kProviderCaption,
                             platform::MessageBoxButtons::Ok);
    return kStartUpFailed;
  }
  pbxType_ = type;
  owner_.pbxType = type;
  ReadCountry();
  ReadCapacity();
  WriteEventLog(owner_, LogFormat("CtiPbxSession::StartUp() %s CTI=x%x ROM=%s", PbxModelName(type),
                                  cti, romVersion_));

  bool changed = false;
  struct Counted {
    CtiPbxSession* self;
    bool* changed;
  } counted{this, &changed};
  auto onCounted = [](void* context, uint32_t lines) {
    auto* c = static_cast<Counted*>(context);
    *c->changed = lines != c->self->owner_.numberOfLines;
    c->self->owner_.SetLineCount(lines);
    c->self->linesCounted_ = true;
  };
  if (DownloadDevices(*this, owner_) != 1 ||
      BuildDevices(*this, owner_, onCounted, &counted) != 1) {
    ReleaseDevices();
    return kStartUpFailed;
  }
  queueFile_ = std::make_unique<QueueFile>(owner_.config.accInfoFilePath,
                                           owner_.config.accInfoMaxSize, owner_.config.initMsgWait);
  if (!queueFile_->OpenAtStartUp()) {
    ReleaseDevices();
    return kStartUpFailed;
  }
  return changed ? kLineCountChanged : kStartUpReady;
}

bool CtiPbxSession::Register(const uint8_t* selector, uint32_t selectorLength,
                             const uint8_t mask[4], const uint8_t options[2],
                             const uint8_t* extra) {
  MessageParam params[4] = {
      {1, selector, selectorLength}, {2, mask, 4}, {3, options, 2}, {4, extra, 8}};
  return Exchange(kEventRegistration, params, extra != nullptr ? 4 : 3) >= 0;
}

int32_t CtiPbxSession::RegisterEvents() {
  const uint32_t cti = owner_.ctiVersion;
  if (cti >= 0x13000) {
    const uint8_t all[6] = {1, 0xFF, 0xFF, 0, 0, 0};
    const uint8_t mask[4] = {0x7F, 0x1F, 0xFF, 0xF7};
    uint8_t options[2] = {static_cast<uint8_t>(cti < 0x13180 ? 0x02 : 0x06), 0x1E};
    if (countryGroup_ == 1) options[1] = static_cast<uint8_t>(options[1] + 0x40);
    if (pbxType_ == 6) options[1] = static_cast<uint8_t>(options[1] + 0x80);
    if (!Register(all, sizeof all, mask, options)) return 0;
    const uint8_t none[4] = {0, 0, 0, 0};
    const uint8_t noOptions[2] = {0, 0};
    if (pbxType_ == 2) {
      // These extensions do not exist on this VN2448D: stop their reports.
      for (uint32_t n = excludedExt_.first; n < uint32_t{excludedExt_.first} + excludedExt_.count;
           ++n) {
        const uint8_t one[6] = {1, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n), 0, 0, 0};
        Register(one, sizeof one, none, noOptions);
      }
    }
    const uint8_t trunks[5] = {2, 0, 0, 0xFF, 0xFF};
    const uint8_t trunkMask[4] = {0x5E, 0x05, 0xD8, 0x00};
    const uint8_t trunkOptions[2] = {0x04, 0x04};
    if (!Register(trunks, sizeof trunks, trunkMask, trunkOptions)) return 0;
    if (pbxType_ == 2) {
      for (uint32_t n = excludedTrunk_.first;
           n < uint32_t{excludedTrunk_.first} + excludedTrunk_.count; ++n) {
        const uint8_t one[5] = {2, 0, 0, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
        if (!Register(one, sizeof one, none, noOptions)) return 0;
      }
    }
    const uint8_t queueMask[4] = {0x18, 0x00, 0x00, 0x01};
    const uint8_t queueOptions[2] = {0x00, 0x04};
    for (uint8_t k = 1; k <= 4; ++k) {
      const uint8_t queue[8] = {0x21, 0, 0, k, 0xFF, 0xFF, 0, 0};
      if (!Register(queue, sizeof queue, queueMask, queueOptions)) return 0;
    }
    if (pbxType_ == 6) {
      const uint8_t bv[2] = {0x23, 0xFF};
      const uint8_t bvMask[4] = {0x18, 0, 0, 0};
      if (!Register(bv, sizeof bv, bvMask, queueOptions)) return 0;
    }
    return 1;
  }
  const uint8_t extensionMask[4] = {0x41, 0x02, 0x40, 0x17};
  const uint8_t extensionOptions[2] = {0x00, 0x0E};
  if (pbxType_ == 4) {
    const uint8_t all[5] = {1, 0xFF, 0xFF, 0, 0};
    if (!Register(all, sizeof all, extensionMask, extensionOptions)) return 0;
    const uint8_t trunks[5] = {2, 0, 0, 0xFF, 0xFF};
    const uint8_t trunkMask[4] = {0, 0, 0x40, 0};
    const uint8_t trunkOptions[2] = {0, 4};
    return Register(trunks, sizeof trunks, trunkMask, trunkOptions) ? 1 : 0;
  }
  for (uint32_t i = 0; i < model_.lineCount; ++i) {
    const LineDevice& line = model_.lines[i];
    const AddressRecord* address = Address(i);
    if (address == nullptr) continue;
    if (line.lineKind == kLineExtension) {
      uint8_t selector[10] = {1, 0, 0, 0, 0};
      uint32_t length = 0;
      while (length < 4 && address->dialNumber[length] != '\0') ++length;
      std::memcpy(selector + 5, address->dialNumber, length);
      if (!Register(selector, 5 + length, extensionMask, extensionOptions)) return 0;
    } else if (line.lineKind == kLineTrunk) {
      uint32_t number = 0;
      for (uint32_t d = 0; d < 4 && address->dialNumber[d] >= '0' && address->dialNumber[d] <= '9';
           ++d) {
        number = number * 10 + static_cast<uint32_t>(address->dialNumber[d] - '0');
      }
      const uint8_t selector[5] = {2, 0, 0, static_cast<uint8_t>(number >> 8),
                                   static_cast<uint8_t>(number)};
      const uint8_t mask[4] = {0x40, 0x00, 0x40, 0x00};
      const uint8_t options[2] = {0x01, 0x04};
      const uint8_t extra[8] = {0x02, 0x03, 0x00, 0x04, 0xFF, 0xFF, 0x01, 0x00};
      if (!Register(selector, sizeof selector, mask, options, extra)) return 0;
    }
  }
  return 1;
}

int32_t CtiPbxSession::CloseSession() {
  if (owner_.link.dataComm == nullptr) return 0;
  if (owner_.ctiVersion <= 0x12000 && pbxType_ != 4) {
    int32_t n = Exchange(kCloseRequest, nullptr, 0);
    if (n < 0) return 0;
    Decode(reply_.data(), n, 16);
  }
  if (owner_.reinitPending.load() == 1) return 1;
  if (owner_.pbxType == 4 || owner_.pbxType == 5) {
    // These models send no reply to the closing message.
    int32_t length = BuildMessage(this, kClosingMessageCode, request_.data(),
                                  static_cast<uint32_t>(request_.size()), nullptr, 0);
    if (length < 0 || owner_.link.sendData == nullptr) return 0;
    return owner_.link.sendData(owner_.link.handle, request_.data(), length) < 0 ? 0 : 1;
  }
  return Exchange(kClosingMessageCode, nullptr, 0) < 0 ? 0 : 1;
}

void CtiPbxSession::ReleaseDevices() {
  queueFile_.reset();
  linesCounted_ = false;
  ReleaseDeviceModel(model_, owner_);
}

std::unique_ptr<PbxSession> MakeCtiPbxSession(CVN2448Driver& owner) {
  return std::make_unique<CtiPbxSession>(owner);
}

CtiPbxSession* SessionOf(CVN2448Driver& instance) {
  return dynamic_cast<CtiPbxSession*>(instance.session.get());
}

}  // namespace qrvn::provider
