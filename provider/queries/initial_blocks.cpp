// Initial values of the prepared blocks, by kind of line.
#include "provider/queries/initial_blocks.h"

#include <cstring>

#include "platform/text.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/session/pbx_session.h"

namespace qrvn::provider {
namespace {

constexpr DWORD kAll = 0xFFFFFFFF;
constexpr const char* kProviderInfo = "Tervolin QR-VN";

// One row of the LINEDEVCAPS table.
struct DevCapsRow {
  DWORD addressModes, mediaModes, lineStates, maxActive, answerMode, monitorDigits, gatherMax,
      lineFeatures, settable;
};

DevCapsRow DevCapsOf(LineClass c) {
  switch (c) {
    case LineClass::System:
      return {0, 4, 0x14606C0, 0, 1, 0, 0, 0, 7};
    case LineClass::Queue:
    case LineClass::Tr:
      return {2, 4, 0x4606C0, kAll, 1, 0, 0, 1, 5};
    case LineClass::Rm:
    case LineClass::Bv:
      return {2, 4, 0x406C0, 1, 1, 0, 0, 0, 5};
    case LineClass::Door:
    case LineClass::Paging:
      return {2, 4, 0x4406C0, 1, 1, 0, 0, 0, 7};
    case LineClass::Disa:
      return {2, 8, 0x4400C0, 1, 1, 0, 0, 0, 7};
    case LineClass::Trunk:
      return {1, 4, 0x4606C0, 1, 1, 0, 0, 0, 5};
    case LineClass::Extension:
      return {2, 4, 0x4616F0, 1, 4, 3, 180000, 0x4C, 7};
    case LineClass::VoicePort:
      return {2, 8, 0x4406C0, 1, 4, 0, 0, 0x48, 7};
    case LineClass::Other:
      break;
  }
  return {0, 4, 0, 0, 0, 0, 0, 0, 0};
}

// The fields of the PBX's extension record that the blocks use.
struct ExtensionFields {
  bool inService = false;
  uint8_t type = 0;
  uint8_t classOfService = 0;
  bool reminder = false;
  uint8_t reminderHour = 0, reminderMinute = 0, reminderFlags = 0;
  uint16_t attribute = 0;
  std::string name;  // PBX bytes
};

// Reads an extension record (its size was checked when the model took it).
ExtensionFields ReadExtension(const uint8_t* r) {
  ExtensionFields f;
  if (r == nullptr) return f;
  f.inService = r[2] == 1;
  const uint32_t l1 = r[3];
  const uint8_t* p = r + 4 + l1;
  const uint32_t l2 = *p++;
  f.name.assign(reinterpret_cast<const char*>(p), l2);
  p += l2;
  f.type = *p++;
  f.classOfService = *p++;
  f.reminder = *p++ == 1;
  f.reminderHour = p[0];
  f.reminderMinute = p[1];
  f.reminderFlags = p[2];
  p += 3;
  f.attribute = static_cast<uint16_t>((p[0] << 8) | p[1]);
  return f;
}

// The fields of the PBX's trunk record that the blocks use.
struct TrunkFields {
  uint32_t number = 0;
  uint8_t type = 0;
  uint16_t value = 0;
  std::string text;  // PBX bytes
};

TrunkFields ReadTrunk(const LineDevice& line) {
  TrunkFields f;
  const uint8_t* r = line.rawRecord;
  if (r == nullptr) {
    // Without a record the device number still tells the number and the range.
    f.type = line.deviceNumber >= 8192 ? 2 : 0;
    f.number = line.deviceNumber - (f.type == 2 ? 8191u : 4095u);
    return f;
  }
  f.number = (uint32_t{r[0]} << 8) | r[1];
  const uint32_t l1 = r[3];
  f.text.assign(reinterpret_cast<const char*>(r + 4), l1);
  f.type = r[4 + l1];
  f.value = static_cast<uint16_t>((r[5 + l1] << 8) | r[6 + l1]);
  return f;
}

uint32_t FromBcd(uint8_t b) {
  return (b >> 4) * 10u + (b & 0x0F);
}

// Stores an ANSI text with its terminator in a block's text area; its size, 0 when empty.
DWORD PutAnsi(void* block, uint32_t offset, uint32_t room, std::string_view text) {
  auto* out = static_cast<uint8_t*>(block) + offset;
  std::memset(out, 0, room);
  if (text.empty()) return 0;
  const size_t n = text.size() < room - 1 ? text.size() : room - 1;
  std::memcpy(out, text.data(), n);
  return static_cast<DWORD>(n + 1);
}

void FillDevCaps(LineDevice& line, LineClass c, const InitialBlockValues& v) {
  LINEDEVCAPS& caps = *line.devCaps;
  const DevCapsRow row = DevCapsOf(c);
  caps.dwTotalSize = caps.dwNeededSize = caps.dwUsedSize = 456;
  caps.dwProviderInfoOffset = kCapsProviderInfoOffset;
  caps.dwProviderInfoSize = PutAnsi(&caps, kCapsProviderInfoOffset, kCapsTextRoom, kProviderInfo);
  caps.dwSwitchInfoOffset = kCapsSwitchInfoOffset;
  caps.dwSwitchInfoSize = PutAnsi(&caps, kCapsSwitchInfoOffset, kCapsTextRoom, v.romVersion);
  caps.dwLineNameOffset = kCapsLineNameOffset;
  caps.dwLineNameSize = PutAnsi(&caps, kCapsLineNameOffset, kCapsLineNameRoom,
                                std::string_view(line.name, strnlen(line.name, sizeof line.name)));
  caps.dwDevSpecificOffset = kCapsDevSpecificOffset;
  caps.dwDevSpecificSize = 24;
  caps.dwStringFormat = STRINGFORMAT_UNICODE;
  caps.dwNumAddresses = 1;
  caps.dwBearerModes = LINEBEARERMODE_VOICE;
  caps.dwRingModes = 1;
  caps.dwDevCapFlags = 0;
  caps.dwPermanentLineID = line.permanentLineId;
  caps.dwAddressModes = row.addressModes;
  caps.dwMediaModes = row.mediaModes;
  caps.dwMaxRate = (c == LineClass::Trunk && ReadTrunk(line).type == 2) ? 56000 : 19200;
  caps.dwLineStates = row.lineStates;
  caps.dwMaxNumActiveCalls = row.maxActive;
  caps.dwAnswerMode = row.answerMode;
  caps.dwMonitorDigitModes = row.monitorDigits;
  caps.dwGatherDigitsMinTimeout = 0;
  caps.dwGatherDigitsMaxTimeout = row.gatherMax;
  caps.dwLineFeatures = row.lineFeatures;
  caps.dwSettableDevStatus = row.settable;
  // Word 0 is filled when the caps are asked for; words 1..5 hold the SYSTEM line's counts.
  const uint32_t words[6] = {0, v.doorPhones, v.disa, v.paging, v.trunks, v.extensions};
  for (uint32_t w = 0; w < 6; ++w) {
    SetBlockWord(&caps, kCapsDevSpecificOffset + 4 * w, c == LineClass::System ? words[w] : 0);
  }
}

void FillDevStatus(LineDevice& line, LineClass c, const InitialBlockValues& v) {
  LINEDEVSTATUS& status = *line.devStatus;
  status.dwTotalSize = status.dwNeededSize = status.dwUsedSize = 688;
  status.dwDevSpecificOffset = kDevStatusDevSpecificOffset;
  status.dwDevSpecificSize = 600;
  status.dwSignalLevel = status.dwBatteryLevel = status.dwRoamMode = 0;
  DWORD flags = LINEDEVSTATUSFLAGS_INSERVICE;
  DWORD features = 0;
  switch (c) {
    case LineClass::System:
      features = LINEFEATURE_DEVSPECIFIC;
      break;
    case LineClass::Trunk:
      flags = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;
      features = LINEFEATURE_DEVSPECIFIC;
      break;
    case LineClass::Extension:
    case LineClass::VoicePort:
      flags = ReadExtension(line.rawRecord).inService ? LINEDEVSTATUSFLAGS_INSERVICE : 0;
      features = c == LineClass::Extension ? 0xD : LINEFEATURE_MAKECALL;
      break;
    default:
      break;
  }
  status.dwDevStatusFlags = flags;
  status.dwLineFeatures = features;
  if (c == LineClass::System) {
    // Flag word (bit 0: system status notification) and the PBX's system status.
    SetBlockWord(&status, kDevStatusDevSpecificOffset, v.ctiVersion == 0x12000 ? 1 : 0);
    SetBlockWord(&status, kDevStatusDevSpecificOffset + 4, v.ctiVersion == 0x12000 ? 0 : 2);
  }
}

// The call treatments every extension address offers, with their names.
struct Treatment {
  DWORD id;
  const char* name;
};
constexpr Treatment kTreatments[kCallTreatmentCount] = {
    {0x1, "SILENCE"},    {0x3, "BUSY"},       {0x200, "CONFIRM1"}, {0x201, "CONFIRM2"},
    {0x202, "CONFIRM3"}, {0x203, "CONFIRM4"}, {0x211, "OGM01"},    {0x212, "OGM02"},
    {0x213, "OGM03"},    {0x214, "OGM04"},    {0x231, "BGM01"},    {0x232, "BGM02"},
    {0x233, "BGM03"},    {0x234, "BGM04"},
};

void FillCallTreatments(LINEADDRESSCAPS& caps) {
  auto* base = reinterpret_cast<uint8_t*>(&caps);
  uint32_t nameAt = kCallTreatmentListOffset + kCallTreatmentCount * sizeof(LINECALLTREATMENTENTRY);
  for (uint32_t i = 0; i < kCallTreatmentCount; ++i) {
    const size_t length = std::strlen(kTreatments[i].name);
    const size_t used = length < 11 ? length : 11;
    LINECALLTREATMENTENTRY entry{kTreatments[i].id, static_cast<DWORD>(used + 1), nameAt};
    std::memcpy(base + kCallTreatmentListOffset + i * sizeof entry, &entry, sizeof entry);
    std::memset(base + nameAt, 0, (used + 4) & ~size_t{3});
    std::memcpy(base + nameAt, kTreatments[i].name, used);
    nameAt += static_cast<uint32_t>((used + 4) & ~size_t{3});
  }
  caps.dwNumCallTreatments = kCallTreatmentCount;
  caps.dwCallTreatmentListOffset = kCallTreatmentListOffset;
  caps.dwCallTreatmentListSize = nameAt - kCallTreatmentListOffset;
}

void FillAddressCaps(LineDevice& line, LineClass c, const InitialBlockValues& v) {
  AddressRecord* address = line.addressTable[0];
  LINEADDRESSCAPS& caps = *address->addressCaps;
  SetModelAddressText(caps, ModelAddressText(caps));
  caps.dwTotalSize = caps.dwNeededSize = caps.dwUsedSize = 680;
  caps.dwDevSpecificOffset = kAddressCapsDevSpecificOffset;
  caps.dwDevSpecificSize = 8;
  caps.dwAddressSharing = LINEADDRESSSHARING_PRIVATE;
  caps.dwCallInfoStates = 0xFFF80;
  caps.dwCallerIDFlags = caps.dwCalledIDFlags = 0xC;
  caps.dwConnectedIDFlags = caps.dwRedirectionIDFlags = caps.dwRedirectingIDFlags = 0x40;
  caps.dwDisconnectModes = LINEDISCONNECTMODE_NORMAL;
  caps.dwMaxNumActiveCalls = 0;
  caps.dwMaxNumOnHoldCalls = caps.dwMaxNumOnHoldPendingCalls = caps.dwMaxNumConference = kAll;
  caps.dwMaxNumTransConf = 1;
  const bool cg1 = v.countryGroup == 1;
  switch (c) {
    case LineClass::System:
      caps.dwCallInfoStates = 0;
      caps.dwCallerIDFlags = caps.dwCalledIDFlags = 0x40;
      caps.dwDialToneModes = caps.dwBusyModes = 1;
      caps.dwDisconnectModes = 0;
      caps.dwMaxNumOnHoldCalls = caps.dwMaxNumOnHoldPendingCalls = 0;
      caps.dwMaxNumConference = caps.dwMaxNumTransConf = 0;
      break;
    case LineClass::Queue:
      caps.dwAddressStates = 0x102;
      caps.dwCallStates = 0x103;
      caps.dwDialToneModes = 1;
      caps.dwRemoveFromConfCaps = 1;
      caps.dwCallFeatures = 0x80000000;
      break;
    case LineClass::Tr:
    case LineClass::Rm:
    case LineClass::Bv:
      caps.dwAddressStates = 0x102;
      caps.dwCallStates = c == LineClass::Tr ? 0x139 : 0x103;
      caps.dwDialToneModes = 1;
      caps.dwRemoveFromConfCaps = 1;
      caps.dwMaxCallCompletions = 1;
      caps.dwForwardModes = 0x10000;
      caps.dwMaxSpecificEntries = 1;
      caps.dwMaxNumActiveCalls = c == LineClass::Tr ? kAll : 1;
      caps.dwMaxNumOnHoldCalls = caps.dwMaxNumOnHoldPendingCalls = caps.dwMaxNumConference = 0;
      caps.dwCallFeatures = 0x80000000;
      break;
    case LineClass::Door:
    case LineClass::Disa:
    case LineClass::Paging:
      caps.dwAddressStates = c == LineClass::Disa ? 0x40 : 0;
      caps.dwCallStates = c == LineClass::Door ? 0x4161 : c == LineClass::Disa ? 0x4163 : 0x4140;
      caps.dwDialToneModes = caps.dwBusyModes = 1;
      caps.dwMaxNumActiveCalls = kAll;
      caps.dwMaxNumOnHoldPendingCalls = 0;
      caps.dwCallFeatures = 0x80000000;
      break;
    case LineClass::Trunk:
      caps.dwAddressStates = 4;
      caps.dwCallStates = 0x4943;
      caps.dwDialToneModes = 0;
      caps.dwBusyModes = 2;
      caps.dwMaxNumTransConf = 0;
      caps.dwMaxNumActiveCalls = kAll;
      caps.dwMaxNumOnHoldPendingCalls = 0;
      caps.dwCallFeatures = 0x80000000;
      break;
    case LineClass::Extension:
      caps.dwAddressStates = 0x142;
      caps.dwCallStates = 0x5D7B;
      caps.dwDialToneModes = caps.dwBusyModes = 1;
      caps.dwAddrCapFlags = 0x605BE2;
      caps.dwCallFeatures = 0x8F0789FE;
      caps.dwRemoveFromConfCaps = 3;
      caps.dwTransferModes = 3;
      caps.dwParkModes = 2;
      caps.dwForwardModes = cg1 ? 0x17777 : 0x1111;
      caps.dwMaxForwardEntries = caps.dwMaxSpecificEntries = cg1 ? 2 : 1;
      caps.dwMaxCallCompletions = 1;
      caps.dwCallCompletionConds = 1;
      caps.dwCallCompletionModes = 6;
      caps.dwMaxNumActiveCalls = caps.dwMaxNumOnHoldPendingCalls = kAll;
      break;
    case LineClass::VoicePort:
      caps.dwAddressStates = 0;
      caps.dwCallStates = 0x4172;
      caps.dwDialToneModes = caps.dwBusyModes = 1;
      caps.dwAddrCapFlags = 0x820;
      caps.dwCallFeatures = 0x800200D4;
      caps.dwParkModes = 2;
      caps.dwForwardModes = 0;
      caps.dwMaxForwardEntries = caps.dwMaxSpecificEntries = cg1 ? 2 : 1;
      caps.dwMaxNumActiveCalls = 1;
      caps.dwMaxNumOnHoldPendingCalls = 0;
      break;
    case LineClass::Other:
      break;
  }
  const bool extension = c == LineClass::Extension || c == LineClass::VoicePort;
  if (extension && v.ctiVersion < 0x13000) {
    caps.dwCallStates = 9;
    caps.dwBusyModes = 0;
    caps.dwAddrCapFlags = 0;
    caps.dwCallFeatures = 0;
    caps.dwRemoveFromConfCaps = caps.dwTransferModes = caps.dwParkModes = 0;
    caps.dwMaxCallCompletions = caps.dwCallCompletionConds = caps.dwCallCompletionModes = 0;
    caps.dwDisconnectModes = 0xC06A0;
  }
  if (extension) FillCallTreatments(caps);
  // Device-specific words: trunk number and type, or device number and extension type.
  uint32_t word0 = 0, word1 = 0;
  if (c == LineClass::Trunk) {
    TrunkFields t = ReadTrunk(line);
    word0 = t.number;
    word1 = t.type;
  } else if (extension) {
    word0 = line.deviceNumber;
    word1 = line.rawRecord != nullptr ? ReadExtension(line.rawRecord).type
                                      : (c == LineClass::VoicePort ? 6u : 0u);
  }
  SetBlockWord(&caps, kAddressCapsDevSpecificOffset, word0);
  SetBlockWord(&caps, kAddressCapsDevSpecificOffset + 4, word1);
}

void FillAddressStatus(LineDevice& line, LineClass c, const InitialBlockValues& v) {
  LINEADDRESSSTATUS& status = *line.addressTable[0]->addressStatus;
  status.dwTotalSize = status.dwNeededSize = status.dwUsedSize = 856;
  status.dwNumInUse = 1;
  status.dwForwardNumEntries = 0;
  status.dwForwardOffset = kAddressStatusForwardOffset;
  status.dwForwardSize = kAddressStatusForwardRoom;
  status.dwDevSpecificOffset = kAddressStatusAreaOffset;
  status.dwDevSpecificSize = kAddressStatusAreaSize;
  const bool later = v.ctiVersion >= 0x13000;
  status.dwAddressFeatures = c == LineClass::Extension   ? (later ? 0xE7 : 1)
                             : c == LineClass::VoicePort ? (later ? 0 : 1)
                                                         : 0;
  auto* area = reinterpret_cast<uint8_t*>(&status) + kAddressStatusAreaOffset;
  if (c == LineClass::Trunk) {
    TrunkFields t = ReadTrunk(line);
    const size_t room = kAddressStatusAreaSize - kTrunkTextByte;
    const size_t length = t.text.size() < room - 1 ? t.text.size() : room - 1;
    SetBlockWord(area, 0, length != 0 ? static_cast<uint32_t>(length + 1) : 0);
    SetBlockWord(area, 4, kAddressStatusAreaOffset + kTrunkTextByte);
    if (line.rawRecord != nullptr) SetBlockWord(area, 8, t.value);
    std::memset(area + kTrunkTextByte, 0, length + 1);
    std::memcpy(area + kTrunkTextByte, t.text.data(), length);
  } else if (c == LineClass::Extension || c == LineClass::VoicePort) {
    ExtensionFields e = ReadExtension(line.rawRecord);
    SetBlockWord(area, 4 * kExtClassOfService, e.classOfService);
    uint32_t time = 0;
    if (e.reminder) {
      uint32_t hour = FromBcd(e.reminderHour);
      const uint32_t minute = FromBcd(e.reminderMinute);
      if ((e.reminderFlags >> 4) == 1) {
        if (hour != 12) hour += 12;
      } else if (hour == 12) {
        hour = 0;
      }
      time = hour * 2048 + minute * 32;
      SetBlockWord(area, 4 * kExtReminderRepeat, e.reminderFlags & 1u);
      SetBlockWord(area, 4 * kExtReminderResult, 99999);
    }
    SetBlockWord(area, 4 * kExtReminderTime, time);
    const size_t length = e.name.size() < kExtNameMaxChars ? e.name.size() : kExtNameMaxChars;
    std::memset(area + kExtNameByte, 0, kExtNameMaxChars + 1);
    std::memcpy(area + kExtNameByte, e.name.data(), length);
    SetBlockWord(area, 4 * kExtNameSize, length != 0 ? static_cast<uint32_t>(length + 1) : 0);
    SetBlockWord(area, 4 * kExtNameOffset, kAddressStatusAreaOffset + kExtNameByte);
    // Word 13 keeps the PBX device ID that the device directory reads back; the record's
    // attribute is only stored where that word is still free.
    if (BlockWord(area, 4 * kExtAttribute) == 0) SetBlockWord(area, 4 * kExtAttribute, e.attribute);
  }
}

}  // namespace

LineClass ClassOf(const LineDevice& line) {
  switch (line.lineKind) {
    case kLineSystem:
      return LineClass::System;
    case kLineQueue:
      return line.deviceNumber == 16 ? LineClass::Tr : LineClass::Queue;
    case kLineRm:
      return LineClass::Rm;
    case kLineBv:
      return LineClass::Bv;
    case kLineDoorPhone:
      return LineClass::Door;
    case kLineDisa:
      return LineClass::Disa;
    case kLinePaging:
      return LineClass::Paging;
    case kLineTrunk:
      return LineClass::Trunk;
    case kLineExtension:
      return line.deviceNumber >= 24576 && line.deviceNumber <= 28671 ? LineClass::VoicePort
                                                                      : LineClass::Extension;
    default:
      return LineClass::Other;
  }
}

uint32_t DeviceKindOf(uint32_t deviceNumber) {
  const uint32_t n = deviceNumber & 0xFFFF;
  if (n >= 4096 && n <= 8191) return 0;
  if (n >= 8192 && n <= 12287) return 1;
  if (n >= 12288 && n <= 16383) return 2;
  if (n >= 24576 && n <= 28671) return 3;
  if (n >= 16384 && n <= 20479) return 4;
  if (n >= 20480 && n <= 24575) return 5;
  if (n >= 256 && n <= 511) return 6;
  if (n >= 512 && n <= 767) return 7;
  if (n >= 768 && n <= 1023) return 8;
  if (n >= 2 && n <= 5) return 10;
  if (n == 16) return 11;
  if (n == 17) return 12;
  if (n >= 48 && n <= 63) return 13;
  return 9;
}

InitialBlockValues InitialValuesOf(CVN2448Driver& instance) {
  InitialBlockValues v;
  v.pbxType = instance.pbxType;
  v.ctiVersion = instance.ctiVersion;
  v.romVersion.assign(instance.romVersion,
                      strnlen(instance.romVersion, sizeof instance.romVersion));
  if (CtiPbxSession* session = SessionOf(instance); session != nullptr) {
    v.countryGroup = session->CountryGroup();
    const SystemCapacity& cap = session->Capacity();
    v.doorPhones = cap.doorPhones;
    v.disa = cap.disa;
    v.paging = cap.pagingIn + cap.pagingOut;
    v.trunks = session->Model().trunkLines;
    v.extensions = session->Model().extensionLines;
  }
  return v;
}

void FillInitialLineBlocks(LineDevice& line, const InitialBlockValues& values) {
  if (line.devCaps == nullptr || line.devStatus == nullptr || line.addressTable == nullptr ||
      line.addressTable[0] == nullptr) {
    return;
  }
  const LineClass c = ClassOf(line);
  FillDevCaps(line, c, values);
  FillDevStatus(line, c, values);
  FillAddressCaps(line, c, values);
  FillAddressStatus(line, c, values);
}

void FillInitialLineBlocks(LineDevice& line, CVN2448Driver& instance) {
  FillInitialLineBlocks(line, InitialValuesOf(instance));
}

void SetModelAddressText(LINEADDRESSCAPS& caps, std::string_view ansi) {
  caps.dwAddressOffset = kAddressTextOffset;
  caps.dwAddressSize = PutAnsi(&caps, kAddressTextOffset, kAddressTextRoom, ansi.substr(0, 4));
}

std::string ModelAddressText(const LINEADDRESSCAPS& caps) {
  if (caps.dwAddressSize == 0) return {};
  const char* area = reinterpret_cast<const char*>(&caps) + kAddressTextOffset;
  return std::string(area, strnlen(area, kAddressTextRoom));
}

uint32_t BlockWord(const void* block, uint32_t byteOffset) {
  uint32_t value = 0;
  std::memcpy(&value, static_cast<const uint8_t*>(block) + byteOffset, 4);
  return value;
}

void SetBlockWord(void* block, uint32_t byteOffset, uint32_t value) {
  std::memcpy(static_cast<uint8_t*>(block) + byteOffset, &value, 4);
}

}  // namespace qrvn::provider
