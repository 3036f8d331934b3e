// The line and address query entry points: capabilities and status copied from the line's
// prepared blocks into the caller's structures, with their texts in UTF-16, and the small
// version and identifier entry points.
#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/core/memory_pool.h"
#include "provider/core/provider_log.h"
#include "provider/queries/initial_blocks.h"
#include "provider/queries/line_lookup.h"
#include "provider/queries/pbx_charmap.h"
#include "provider/queries/query_support.h"
#include "provider/session/device_model.h"
#include "tapi/tspi.h"

namespace qrvn::provider {
namespace {

constexpr uint32_t kDevCapsFixed = sizeof(LINEDEVCAPS);              // 252
constexpr uint32_t kDevStatusFixed = sizeof(LINEDEVSTATUS);          // 88
constexpr uint32_t kAddressCapsFixed = sizeof(LINEADDRESSCAPS);      // 228
constexpr uint32_t kAddressStatusFixed = sizeof(LINEADDRESSSTATUS);  // 64
constexpr uint32_t kHead = 12;
constexpr char kDeviceClasses[] = "tapi/line";

// An answer being built: the whole structure as it would be with enough room.
class Answer {
 public:
  explicit Answer(const void* model, uint32_t fixed)
      : bytes_(static_cast<const uint8_t*>(model), static_cast<const uint8_t*>(model) + fixed) {}
  uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }
  // Appends bytes at the next multiple of 4; their offset.
  uint32_t Append(const void* data, uint32_t size) {
    const uint32_t at = Round4(Size());
    bytes_.resize(at + Round4(size), 0);
    if (size != 0) std::memcpy(bytes_.data() + at, data, size);
    return at;
  }
  // Appends zero bytes at the next multiple of 4; their offset.
  uint32_t Reserve(uint32_t size) {
    const uint32_t at = Round4(Size());
    bytes_.resize(at + Round4(size), 0);
    return at;
  }
  void Set(uint32_t byteOffset, uint32_t value) { SetBlockWord(bytes_.data(), byteOffset, value); }
  uint32_t Get(uint32_t byteOffset) const { return BlockWord(bytes_.data(), byteOffset); }
  uint8_t* Data() { return bytes_.data(); }

 private:
  std::vector<uint8_t> bytes_;
};

// Writes a whole answer into the caller's structure (which has room for it), keeping the
// caller's dwTotalSize; dwNeededSize and dwUsedSize are the answer's size.
void Deliver(void* structure, Answer& answer) {
  DWORD total = 0;
  std::memcpy(&total, structure, 4);
  answer.Set(0, total);
  answer.Set(4, answer.Size());
  answer.Set(8, answer.Size());
  std::memcpy(structure, answer.Data(), answer.Size());
}

// The partial answer of a structure smaller than needed: dwNeededSize, and with room for the
// fixed part the model's fields from byte 12 on with the given size/offset fields zeroed.
void DeliverPartial(void* structure, const void* model, uint32_t fixed, uint32_t needed,
                    std::initializer_list<uint32_t> zeroed) {
  auto* out = static_cast<uint8_t*>(structure);
  DWORD total = 0;
  std::memcpy(&total, out, 4);
  SetBlockWord(out, 4, needed);
  if (total >= fixed) {
    std::memcpy(out + kHead, static_cast<const uint8_t*>(model) + kHead, fixed - kHead);
    for (uint32_t offset : zeroed) SetBlockWord(out, offset, 0);
    SetBlockWord(out, 8, fixed);
  } else {
    SetBlockWord(out, 8, kHead);
  }
}

DWORD TotalOf(const void* structure) {
  DWORD total = 0;
  std::memcpy(&total, structure, 4);
  return total;
}

// A UTF-16 text part; empty when the text is missing or does not fit its limit.
std::u16string TextPart(std::string_view ansi, uint32_t limitUnits) {
  std::u16string wide;
  if (!ToUtf16Limited(ansi, limitUnits, wide)) wide.clear();
  return wide;
}

// Appends a UTF-16 text part and sets its (size, offset) fields; parts of fewer than 2 units
// get size and offset 0.
void AppendText(Answer& answer, uint32_t sizeField, const std::u16string& wide) {
  if (wide.size() < 2) {
    answer.Set(sizeField, 0);
    answer.Set(sizeField + 4, 0);
    return;
  }
  const auto size = static_cast<uint32_t>(wide.size() * 2);
  answer.Set(sizeField + 4, answer.Append(wide.data(), size));
  answer.Set(sizeField, size);
}

std::string Text4(const char text[4]) {
  return std::string(text, strnlen(text, 4));
}

// The name a line is shown with.
std::string DisplayedName(const LineDevice& line, uint32_t kind, uint32_t pbxType) {
  const std::string stored(line.name, strnlen(line.name, sizeof line.name));
  if (kind == 2 || kind == 3) {
    std::string digits = "0000" + ModelAddressText(*line.addressTable[0]->addressCaps);
    return (kind == 2 ? "EXT" : "VPS") + digits.substr(digits.size() - 4);
  }
  if (kind == 7 && pbxType == 4) return "OGM" + (stored.size() > 4 ? stored.substr(4) : "");
  return stored;
}

LONG DevCaps(DWORD deviceId, DWORD tspiVersion, DWORD extVersion, LINEDEVCAPS* out) {
  FoundLine found = LineOfDevice(deviceId);
  if (found.line == nullptr || !LineBlocksPresent(*found.line)) return LINEERR_OPERATIONFAILED;
  LineDevice& line = *found.line;
  CVN2448Driver& instance = *found.instance;
  RequestCountHold hold(line);
  if (tspiVersion > kProviderTspiVersion) return LINEERR_INCOMPATIBLEAPIVERSION;
  if (extVersion > ProviderExtVersion(instance)) return LINEERR_INCOMPATIBLEEXTVERSION;
  const LINEDEVCAPS& model = *line.devCaps;
  const uint32_t kind = DeviceKindOf(line.deviceNumber);

  Answer answer(&model, kDevCapsFixed);
  AppendText(answer, offsetof(LINEDEVCAPS, dwProviderInfoSize), TextPart("Tervolin QR-VN", 30));
  const std::string rom(instance.romVersion,
                        strnlen(instance.romVersion, sizeof instance.romVersion));
  AppendText(answer, offsetof(LINEDEVCAPS, dwSwitchInfoSize), TextPart(rom, 30));
  AppendText(answer, offsetof(LINEDEVCAPS, dwLineNameSize),
             TextPart(DisplayedName(line, kind, instance.pbxType), 64));
  AppendText(answer, offsetof(LINEDEVCAPS, dwDeviceClassesSize), TextPart(kDeviceClasses, 128));
  uint32_t words[6] = {};
  uint32_t specific = 0;
  if (kind == 9) {
    for (uint32_t w = 0; w < 6; ++w) words[w] = BlockWord(&model, kCapsDevSpecificOffset + 4 * w);
    words[0] = ((instance.pbxCountry & 0xFFFF) << 16) | (instance.pbxType & 0xFFFF);
    specific = 24;
  } else if (kind == 7) {
    if (instance.pbxType == 4) {
      words[0] = BlockWord(&model, kCapsDevSpecificOffset);
      specific = 4;
    } else {
      specific = 16;
    }
  }
  answer.Set(offsetof(LINEDEVCAPS, dwDevSpecificSize), specific);
  answer.Set(offsetof(LINEDEVCAPS, dwDevSpecificOffset),
             specific != 0 ? answer.Append(words, specific) : 0);

  if (!HeadWritable(out)) return LINEERR_STRUCTURETOOSMALL;
  if (answer.Size() > TotalOf(out)) {
    DeliverPartial(
        out, &model, kDevCapsFixed, answer.Size(),
        {offsetof(LINEDEVCAPS, dwProviderInfoSize), offsetof(LINEDEVCAPS, dwProviderInfoOffset),
         offsetof(LINEDEVCAPS, dwSwitchInfoSize), offsetof(LINEDEVCAPS, dwSwitchInfoOffset),
         offsetof(LINEDEVCAPS, dwLineNameSize), offsetof(LINEDEVCAPS, dwLineNameOffset),
         offsetof(LINEDEVCAPS, dwDevSpecificSize), offsetof(LINEDEVCAPS, dwDevSpecificOffset),
         offsetof(LINEDEVCAPS, dwDeviceClassesSize), offsetof(LINEDEVCAPS, dwDeviceClassesOffset)});
    return 0;
  }
  Deliver(out, answer);
  return 0;
}

// Clears INSERVICE for a line that is shown as out of service by line control.
void ApplyLineControl(const LineDevice& line, LINEDEVSTATUS* out) {
  DWORD flags = 0;
  std::memcpy(&flags, reinterpret_cast<uint8_t*>(out) + offsetof(LINEDEVSTATUS, dwDevStatusFlags),
              4);
  if (line.lineControlFlag == 1) flags &= ~LINEDEVSTATUSFLAGS_INSERVICE;
  std::memcpy(reinterpret_cast<uint8_t*>(out) + offsetof(LINEDEVSTATUS, dwDevStatusFlags), &flags,
              4);
}

LONG LineDevStatus(HDRVLINE hdLine, LINEDEVSTATUS* out) {
  LineDevice* found = CheckedLine(hdLine);
  if (found == nullptr || found->devStatus == nullptr) return LINEERR_INVALLINEHANDLE;
  LineDevice& line = *found;
  RequestCountHold hold(line);
  const LINEDEVSTATUS& model = *line.devStatus;
  const bool system = DeviceKindOf(line.deviceNumber) == 9;
  const uint32_t needed = system ? kDevStatusFixed + 8 : kDevStatusFixed;
  if (!HeadWritable(out)) return LINEERR_STRUCTURETOOSMALL;
  const DWORD total = TotalOf(out);
  if (needed > total) {
    DeliverPartial(
        out, &model, kDevStatusFixed, needed,
        {offsetof(LINEDEVSTATUS, dwDevSpecificSize), offsetof(LINEDEVSTATUS, dwDevSpecificOffset)});
    if (total >= kDevStatusFixed) ApplyLineControl(line, out);
    return 0;
  }
  Answer answer(&model, kDevStatusFixed);
  answer.Set(offsetof(LINEDEVSTATUS, dwNumOpens), out->dwNumOpens);
  answer.Set(offsetof(LINEDEVSTATUS, dwOpenMediaModes), out->dwOpenMediaModes);
  answer.Set(offsetof(LINEDEVSTATUS, dwDevSpecificSize), 0);
  answer.Set(offsetof(LINEDEVSTATUS, dwDevSpecificOffset), 0);
  if (system) {
    // The flag word and the PBX's system status.
    const uint32_t words[2] = {BlockWord(&model, kDevStatusDevSpecificOffset),
                               BlockWord(&model, kDevStatusDevSpecificOffset + 4)};
    answer.Set(offsetof(LINEDEVSTATUS, dwDevSpecificOffset), answer.Append(words, 8));
    answer.Set(offsetof(LINEDEVSTATUS, dwDevSpecificSize), 8);
  }
  Deliver(out, answer);
  ApplyLineControl(line, out);
  return 0;
}

LONG AddressCaps(DWORD deviceId, DWORD addressId, DWORD tspiVersion, DWORD extVersion,
                 LINEADDRESSCAPS* out) {
  FoundLine found = LineOfDevice(deviceId);
  if (found.line == nullptr || !LineBlocksPresent(*found.line)) return LINEERR_INVALADDRESSID;
  LineDevice& line = *found.line;
  RequestCountHold hold(line);
  if (tspiVersion > kProviderTspiVersion) return LINEERR_INCOMPATIBLEAPIVERSION;
  if (extVersion > ProviderExtVersion(*found.instance)) return LINEERR_INCOMPATIBLEEXTVERSION;
  if (addressId >= line.devCaps->dwNumAddresses || addressId >= 4 ||
      line.addressTable[addressId] == nullptr) {
    return LINEERR_INVALADDRESSID;
  }
  const LINEADDRESSCAPS& model = *line.addressTable[addressId]->addressCaps;
  const uint32_t kind = DeviceKindOf(line.deviceNumber);
  const bool noParts = kind >= 9 && kind <= 12;
  const bool withText = !noParts;
  const bool withSpecific = kind <= 3;
  const bool withList = kind == 2;

  Answer answer(&model, kAddressCapsFixed);
  for (uint32_t field :
       {offsetof(LINEADDRESSCAPS, dwAddressSize), offsetof(LINEADDRESSCAPS, dwDevSpecificSize),
        offsetof(LINEADDRESSCAPS, dwCallTreatmentListSize),
        offsetof(LINEADDRESSCAPS, dwDeviceClassesSize)}) {
    answer.Set(field, 0);
    answer.Set(field + 4, 0);
  }
  if (withText) {
    std::u16string wide;
    if (ToUtf16Limited(ModelAddressText(model), 24, wide)) {
      // Even an empty address counts its terminator.
      const auto size = static_cast<uint32_t>(wide.size() * 2);
      answer.Set(offsetof(LINEADDRESSCAPS, dwAddressOffset), answer.Append(wide.data(), size));
      answer.Set(offsetof(LINEADDRESSCAPS, dwAddressSize), size);
    }
  }
  if (withSpecific) {
    const uint32_t words[2] = {BlockWord(&model, kAddressCapsDevSpecificOffset),
                               BlockWord(&model, kAddressCapsDevSpecificOffset + 4)};
    answer.Set(offsetof(LINEADDRESSCAPS, dwDevSpecificOffset), answer.Append(words, 8));
    answer.Set(offsetof(LINEADDRESSCAPS, dwDevSpecificSize), 8);
  }
  const uint32_t listOffset = model.dwCallTreatmentListOffset;
  const uint32_t listSize = model.dwCallTreatmentListSize;
  if (withList && listSize != 0 && listOffset >= kAddressCapsFixed && listOffset <= 680 &&
      listSize <= 680 - listOffset) {
    const uint32_t at =
        answer.Append(reinterpret_cast<const uint8_t*>(&model) + listOffset, listSize);
    const uint32_t entries = std::min<uint32_t>(model.dwNumCallTreatments, listSize / 12);
    for (uint32_t i = 0; i < entries; ++i) {
      const uint32_t field = at + 12 * i + 8;
      answer.Set(field, answer.Get(field) + at - listOffset);
    }
    answer.Set(offsetof(LINEADDRESSCAPS, dwCallTreatmentListOffset), at);
    answer.Set(offsetof(LINEADDRESSCAPS, dwCallTreatmentListSize), listSize);
  }
  AppendText(answer, offsetof(LINEADDRESSCAPS, dwDeviceClassesSize), TextPart(kDeviceClasses, 128));

  if (!HeadWritable(out)) return LINEERR_STRUCTURETOOSMALL;
  if (answer.Size() > TotalOf(out)) {
    DeliverPartial(
        out, &model, kAddressCapsFixed, answer.Size(),
        {offsetof(LINEADDRESSCAPS, dwAddressSize), offsetof(LINEADDRESSCAPS, dwAddressOffset),
         offsetof(LINEADDRESSCAPS, dwDevSpecificSize),
         offsetof(LINEADDRESSCAPS, dwDevSpecificOffset),
         offsetof(LINEADDRESSCAPS, dwCallTreatmentListSize),
         offsetof(LINEADDRESSCAPS, dwCallTreatmentListOffset),
         offsetof(LINEADDRESSCAPS, dwDeviceClassesSize),
         offsetof(LINEADDRESSCAPS, dwDeviceClassesOffset)});
    return 0;
  }
  Deliver(out, answer);
  return 0;
}

// Reads the status area of an address.
class StatusArea {
 public:
  explicit StatusArea(const LINEADDRESSSTATUS& status)
      : block_(reinterpret_cast<const uint8_t*>(&status)),
        area_(block_ + kAddressStatusAreaOffset) {}
  uint32_t Word(uint32_t n) const { return BlockWord(area_, 4 * n); }
  const uint8_t* Bytes(uint32_t byteInArea) const { return area_ + byteInArea; }
  // Bytes of the block at an offset counted from the block's start, or null when they lie
  // outside it.
  const uint8_t* BlockBytes(uint32_t offset, uint32_t size) const {
    if (offset > 856 || size > 856 - offset) return nullptr;
    return block_ + offset;
  }

 private:
  const uint8_t* block_;
  const uint8_t* area_;
};

// A text of the status area passed through the PBX-to-ANSI map, terminator kept.
std::vector<uint8_t> PbxText(const uint8_t* text, uint32_t size) {
  std::vector<uint8_t> bytes(text, text + size);
  if (size != 0) {
    bytes[size - 1] = 0;
    PbxToAnsi(reinterpret_cast<char*>(bytes.data()), size - 1);
  }
  return bytes;
}

// Appends the accounting record (140-byte form and its texts); its offset and size.
std::pair<uint32_t, uint32_t> AppendAccounting(Answer& answer, const StatusArea& area) {
  const uint32_t at = answer.Append(area.Bytes(kAccountingByte), kAccountingFormSize);
  for (uint32_t i = 0; i < kAccountingTexts; ++i) {
    const uint32_t pair = at + kAccountingPairsByte + 8 * i;
    const uint32_t size = answer.Get(pair);
    const uint8_t* text = size != 0 ? area.BlockBytes(answer.Get(pair + 4), size) : nullptr;
    if (text == nullptr) {
      answer.Set(pair, 0);
      answer.Set(pair + 4, 0);
      continue;
    }
    std::vector<uint8_t> copy(text, text + size);
    answer.Set(pair + 4, answer.Append(copy.data(), size));
  }
  return {at, answer.Size() - at};
}

// A list kept in a pool block named by its serial number, when the block holds size bytes.
const uint8_t* PoolList(uint32_t serial, uint32_t size) {
  if (serial == 0 || size == 0) return nullptr;
  void* block = FindBlock(serial);
  return block != nullptr && IsBadBlock(block, size) == 0 ? static_cast<const uint8_t*>(block)
                                                          : nullptr;
}

void ExtensionStatus(Answer& answer, const LINEADDRESSSTATUS& model, const StatusArea& area) {
  if (model.dwForwardNumEntries != 0) {
    const uint8_t* list = area.BlockBytes(model.dwForwardOffset, model.dwForwardSize);
    const uint32_t size = list != nullptr ? model.dwForwardSize : 0;
    answer.Set(offsetof(LINEADDRESSSTATUS, dwForwardOffset),
               size != 0 ? answer.Append(list, size) : 0);
    answer.Set(offsetof(LINEADDRESSSTATUS, dwForwardSize), size);
  } else {
    answer.Set(offsetof(LINEADDRESSSTATUS, dwForwardSize), 0);
    answer.Set(offsetof(LINEADDRESSSTATUS, dwForwardOffset), 0);
  }
  const uint32_t p = answer.Reserve(72);
  for (uint32_t w = 0; w <= 6; ++w) answer.Set(p + 4 * w, area.Word(w));
  answer.Set(p + 4 * 9, area.Word(kExtAttribute));
  answer.Set(p + 4 * 17, area.Word(kExtFeature14));
  const uint32_t nameSize = std::min(area.Word(kExtNameSize), kExtNameMaxChars + 1);
  if (nameSize != 0) {
    std::vector<uint8_t> name = PbxText(area.Bytes(kExtNameByte), nameSize);
    answer.Set(p + 4 * 8, answer.Append(name.data(), nameSize));
    answer.Set(p + 4 * 7, nameSize);
  }
  auto [recordAt, recordSize] = AppendAccounting(answer, area);
  answer.Set(p + 4 * 15, recordSize);
  answer.Set(p + 4 * 16, recordAt);
  const uint32_t groups = area.Word(kExtGroupCount);
  const uint32_t groupSize = area.Word(kExtGroupSize);
  if (const uint8_t* list = groups != 0 ? PoolList(area.Word(kExtGroupList), groupSize) : nullptr) {
    answer.Set(p + 4 * 10, groups);
    answer.Set(p + 4 * 12, answer.Append(list, groupSize));
    answer.Set(p + 4 * 11, groupSize);
  }
  const uint32_t waiting = area.Word(kExtMessageWaitingCount);
  const uint8_t* numbers = waiting != 0 && waiting < 0x10000
                               ? PoolList(area.Word(kExtMessageWaitingList), 4 * waiting)
                               : nullptr;
  if (numbers != nullptr) {
    const uint32_t head = answer.Reserve(8 + 8 * waiting);
    for (uint32_t i = 0; i < waiting; ++i) {
      char text[5] = {};
      std::memcpy(text, numbers + 4 * i, 4);
      const auto size = static_cast<uint32_t>(std::strlen(text) + 1);
      answer.Set(head + 8 + 8 * i + 4, answer.Append(text, size));
      answer.Set(head + 8 + 8 * i, size);
    }
    answer.Set(head, answer.Size() - head);
    answer.Set(head + 4, waiting);
    answer.Set(p + 4 * 13, answer.Size() - head);
    answer.Set(p + 4 * 14, head);
  }
  answer.Set(offsetof(LINEADDRESSSTATUS, dwDevSpecificOffset), p);
  answer.Set(offsetof(LINEADDRESSSTATUS, dwDevSpecificSize), answer.Size() - p);
}

LONG AddressStatus(HDRVLINE hdLine, DWORD addressId, LINEADDRESSSTATUS* out) {
  LineDevice* found = CheckedLine(hdLine);
  if (found == nullptr || !LineBlocksPresent(*found)) return LINEERR_INVALLINEHANDLE;
  LineDevice& line = *found;
  RequestCountHold hold(line);
  if (addressId >= line.devCaps->dwNumAddresses || addressId >= 4 ||
      line.addressTable[addressId] == nullptr) {
    return LINEERR_INVALADDRESSID;
  }
  if (!HeadWritable(out)) return LINEERR_STRUCTURETOOSMALL;
  const LINEADDRESSSTATUS& model = *line.addressTable[addressId]->addressStatus;
  const StatusArea area(model);
  const uint32_t kind = DeviceKindOf(line.deviceNumber);

  Answer answer(&model, kAddressStatusFixed);
  auto noForward = [&answer] {
    answer.Set(offsetof(LINEADDRESSSTATUS, dwForwardNumEntries), 0);
    answer.Set(offsetof(LINEADDRESSSTATUS, dwForwardSize), 0);
    answer.Set(offsetof(LINEADDRESSSTATUS, dwForwardOffset), 0);
  };
  answer.Set(offsetof(LINEADDRESSSTATUS, dwDevSpecificSize), 0);
  answer.Set(offsetof(LINEADDRESSSTATUS, dwDevSpecificOffset), 0);
  if (kind == 0 || kind == 1) {
    noForward();
    const uint32_t size = std::min(area.Word(0), kAddressStatusAreaSize - kTrunkTextByte);
    const uint32_t p = answer.Reserve(8);
    answer.Set(p, size);
    if (size != 0) {
      answer.Set(p + 4, p + 8);
      std::vector<uint8_t> text = PbxText(area.Bytes(kTrunkTextByte), size);
      answer.Append(text.data(), size);
    }
    answer.Set(offsetof(LINEADDRESSSTATUS, dwDevSpecificOffset), p);
    answer.Set(offsetof(LINEADDRESSSTATUS, dwDevSpecificSize), answer.Size() - p);
  } else if (kind == 2) {
    ExtensionStatus(answer, model, area);
  } else if (kind == 9) {
    noForward();
    const uint32_t p = answer.Reserve(8);
    auto [recordAt, recordSize] = AppendAccounting(answer, area);
    answer.Set(p, recordSize);
    answer.Set(p + 4, recordAt);
    answer.Set(offsetof(LINEADDRESSSTATUS, dwDevSpecificOffset), p);
    answer.Set(offsetof(LINEADDRESSSTATUS, dwDevSpecificSize), answer.Size() - p);
  } else if (kind == 10) {
    answer.Set(offsetof(LINEADDRESSSTATUS, dwForwardSize), 0);
    answer.Set(offsetof(LINEADDRESSSTATUS, dwForwardOffset), 0);
    const uint32_t p = answer.Reserve(12);
    const uint32_t members = area.Word(0);
    const uint32_t size = area.Word(1);
    if (const uint8_t* list = members != 0 ? PoolList(area.Word(3), size) : nullptr) {
      answer.Set(p, members);
      answer.Set(p + 4, size);
      answer.Set(p + 8, answer.Append(list, size));
    }
    answer.Set(offsetof(LINEADDRESSSTATUS, dwDevSpecificOffset), p);
    answer.Set(offsetof(LINEADDRESSSTATUS, dwDevSpecificSize), answer.Size() - p);
  } else {
    answer.Set(offsetof(LINEADDRESSSTATUS, dwForwardSize), 0);
    answer.Set(offsetof(LINEADDRESSSTATUS, dwForwardOffset), 0);
  }

  if (answer.Size() > TotalOf(out)) {
    DeliverPartial(
        out, &model, kAddressStatusFixed, answer.Size(),
        {offsetof(LINEADDRESSSTATUS, dwForwardNumEntries),
         offsetof(LINEADDRESSSTATUS, dwForwardSize), offsetof(LINEADDRESSSTATUS, dwForwardOffset),
         offsetof(LINEADDRESSSTATUS, dwDevSpecificSize),
         offsetof(LINEADDRESSSTATUS, dwDevSpecificOffset)});
    return 0;
  }
  Deliver(out, answer);
  return 0;
}

std::string HandleText(const void* handle) {
  return LogFormat("%" PRIxPTR, reinterpret_cast<uintptr_t>(handle));
}

}  // namespace
}  // namespace qrvn::provider

using namespace qrvn::provider;

extern "C" {

LONG TSPI_lineGetDevCaps(DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwExtVersion,
                         LPLINEDEVCAPS lpLineDevCaps) {
  WriteProviderLog(LogFormat("TSPI_lineGetDevCaps( dwDeviceID=x%x )", dwDeviceID));
  return LogResult("TSPI_lineGetDevCaps",
                   DevCaps(dwDeviceID, dwTSPIVersion, dwExtVersion, lpLineDevCaps));
}

LONG TSPI_lineGetLineDevStatus(HDRVLINE hdLine, LPLINEDEVSTATUS lpLineDevStatus) {
  WriteProviderLog("TSPI_lineGetLineDevStatus( hdLine=x" + HandleText(hdLine) + " )");
  return LogResult("TSPI_lineGetLineDevStatus", LineDevStatus(hdLine, lpLineDevStatus));
}

LONG TSPI_lineGetAddressCaps(DWORD dwDeviceID, DWORD dwAddressID, DWORD dwTSPIVersion,
                             DWORD dwExtVersion, LPLINEADDRESSCAPS lpAddressCaps) {
  WriteProviderLog(LogFormat("TSPI_lineGetAddressCaps( dwDeviceID=x%x )", dwDeviceID));
  return LogResult("TSPI_lineGetAddressCaps", AddressCaps(dwDeviceID, dwAddressID, dwTSPIVersion,
                                                          dwExtVersion, lpAddressCaps));
}

LONG TSPI_lineGetAddressStatus(HDRVLINE hdLine, DWORD dwAddressID,
                               LPLINEADDRESSSTATUS lpAddressStatus) {
  WriteProviderLog("TSPI_lineGetAddressStatus( hdLine=x" + HandleText(hdLine) + " )");
  return LogResult("TSPI_lineGetAddressStatus",
                   AddressStatus(hdLine, dwAddressID, lpAddressStatus));
}

LONG TSPI_lineGetAddressID(HDRVLINE hdLine, LPDWORD lpdwAddressID, DWORD /*dwAddressMode*/,
                           LPCWSTR lpsAddress, DWORD dwSize) {
  if (lpsAddress == nullptr || lpdwAddressID == nullptr) return LINEERR_INVALPOINTER;
  LineDevice* line = CheckedLine(hdLine);
  if (line == nullptr || !LineBlocksPresent(*line)) return LINEERR_INVALLINEHANDLE;
  RequestCountHold hold(*line);
  if (line->devCaps->dwAddressModes != LINEADDRESSMODE_DIALABLEADDR) return LINEERR_INVALLINEHANDLE;
  if (dwSize >= 33) return LINEERR_INVALADDRESS;
  std::u16string_view wide(lpsAddress, dwSize / 2);
  wide = wide.substr(0, wide.find(u'\0'));
  std::string ansi;
  if (!qrvn::platform::Utf16ToAnsi(wide, ansi) || ansi.empty()) return LINEERR_INVALADDRESS;
  const std::string key = ansi.substr(0, 4);
  const uint32_t addresses = std::min<uint32_t>(line->devCaps->dwNumAddresses, 4);
  for (uint32_t i = 0; i < addresses; ++i) {
    const AddressRecord* address = line->addressTable[i];
    if (address != nullptr && Text4(address->dialNumber) == key) {
      *lpdwAddressID = i;
      return 0;
    }
  }
  return LINEERR_INVALADDRESS;
}

LONG TSPI_lineGetNumAddressIDs(HDRVLINE hdLine, LPDWORD lpdwNumAddressIDs) {
  LineDevice* line = CheckedLine(hdLine);
  if (line == nullptr || line->devCaps == nullptr) return LINEERR_INVALLINEHANDLE;
  if (lpdwNumAddressIDs == nullptr) return LINEERR_INVALPOINTER;
  RequestCountHold hold(*line);
  *lpdwNumAddressIDs = line->devCaps->dwNumAddresses;
  return 0;
}

LONG TSPI_lineNegotiateTSPIVersion(DWORD dwDeviceID, DWORD dwLowVersion, DWORD dwHighVersion,
                                   LPDWORD lpdwTSPIVersion) {
  WriteProviderLog(LogFormat(
      "TSPI_lineNegotiateTSPIVersion( dwDeviceID=x%x dwLowVersion=x%x dwHighVersion=x%x )",
      dwDeviceID, dwLowVersion, dwHighVersion));
  if (dwDeviceID != INITIALIZE_NEGOTIATION && InstanceOfDevice(dwDeviceID) == nullptr) {
    return LINEERR_OPERATIONFAILED;
  }
  if (dwLowVersion > kProviderTspiVersion || dwHighVersion < kProviderTspiVersion) {
    return LINEERR_INCOMPATIBLEAPIVERSION;
  }
  if (lpdwTSPIVersion == nullptr) return LINEERR_INVALPOINTER;
  *lpdwTSPIVersion = kProviderTspiVersion;
  return 0;
}

LONG TSPI_lineNegotiateExtVersion(DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwLowVersion,
                                  DWORD dwHighVersion, LPDWORD lpdwExtVersion) {
  WriteProviderLog(
      LogFormat("TSPI_lineNegotiateExtVersion( dwDeviceID=x%x dwTSPIVersion=x%x "
                "dwLowVersion=x%x dwHighVersion=x%x  )",
                dwDeviceID, dwTSPIVersion, dwLowVersion, dwHighVersion));
  if (dwTSPIVersion < kProviderTspiVersion) return LINEERR_INCOMPATIBLEAPIVERSION;
  CVN2448Driver* instance = InstanceOfDevice(dwDeviceID);
  if (instance == nullptr) return LINEERR_OPERATIONFAILED;
  const uint32_t offered = ProviderExtVersion(*instance);
  if (dwHighVersion < dwLowVersion) return LINEERR_INCOMPATIBLEEXTVERSION;
  if (dwHighVersion >= offered && dwLowVersion > offered) return LINEERR_INCOMPATIBLEEXTVERSION;
  const uint32_t agreed =
      instance->ctiVersion == 0x12000 ? 0x10002 : std::min(dwHighVersion, offered);
  if (lpdwExtVersion == nullptr) return LINEERR_INVALPOINTER;
  *lpdwExtVersion = agreed;
  return 0;
}

LONG TSPI_lineSelectExtVersion(HDRVLINE hdLine, DWORD dwExtVersion) {
  WriteProviderLog("TSPI_lineSelectExtVersion( hdLine=x" + HandleText(hdLine) +
                   LogFormat(" dwExtVersion=x%x )", dwExtVersion));
  LineDevice* line = CheckedLine(hdLine);
  if (line == nullptr || line->instance == nullptr) return LINEERR_INVALLINEHANDLE;
  RequestCountHold hold(*line);
  if (dwExtVersion != 0 && dwExtVersion > ProviderExtVersion(*line->instance)) {
    return LINEERR_INCOMPATIBLEEXTVERSION;
  }
  return 0;
}

LONG TSPI_lineGetExtensionID(DWORD dwDeviceID, DWORD /*dwTSPIVersion*/,
                             LPLINEEXTENSIONID lpExtensionID) {
  if (lpExtensionID == nullptr) return LINEERR_INVALPOINTER;
  *lpExtensionID = {};
  CVN2448Driver* instance = InstanceOfDevice(dwDeviceID);
  if (instance == nullptr) return LINEERR_OPERATIONFAILED;
  const uint32_t cti = instance->ctiVersion;
  DWORD value = 0x10003;
  if (cti == 0x12000) {
    value = 0x10000;
  } else if (cti == 0x13000 || (cti >= 0x13130 && cti <= 0x13190 && cti % 0x10 == 0)) {
    value = 0x10002;
  }
  *lpExtensionID = {value, value, value, value};
  return 0;
}

LONG TSPI_lineGetDevConfig(DWORD /*dwDeviceID*/, LPVARSTRING /*lpDeviceConfig*/,
                           LPCWSTR /*lpszDeviceClass*/) {
  return LINEERR_OPERATIONFAILED;
}

}  // extern "C"
