// The line device model: download of the PBX's device records, the build of every line in its
// fixed order, the prepared TAPI blocks, the line control flags, and release.
#include "provider/session/device_model.h"

#include "provider/queries/initial_blocks.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/text.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/core/group_download.h"
#include "provider/core/memory_pool.h"
#include "provider/session/pbx_session.h"

namespace qrvn::provider {
namespace {

constexpr uint32_t kDeviceBlockStride = kDevCapsSize + kDevStatusSize;  // 1144
constexpr uint32_t kAddressTableStride = 4 * sizeof(AddressRecord*);
constexpr uint32_t kIndexedReplySize = 4096;
constexpr uint32_t kIndexedRecordStart = 12;
constexpr uint32_t kSingleTrunkLimit = 30720;

constexpr uint32_t Align8(uint32_t n) {
  return (n + 7) & ~uint32_t{7};
}
constexpr uint32_t kAddressRecordBytes = Align8(sizeof(AddressRecord));

uint32_t U16(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 8) | p[1];
}

// "0000" with the decimal digits of x appended, then the last four characters.
std::string FourDigits(uint32_t x) {
  std::string s = "0000" + std::to_string(x);
  return s.substr(s.size() - 4);
}

uint32_t Location(uint32_t k) {
  return (((k & 1) + 1) << 16) | ((k >> 1) + 1);
}

// Size of the extension record at r within [r, end), or 0 when it is not whole.
uint32_t ExtensionRecordSize(const uint8_t* r, const uint8_t* end) {
  if (end - r < 5) return 0;
  uint32_t l1 = r[3];
  if (static_cast<uint32_t>(end - r) < 5 + l1) return 0;
  uint32_t l2 = r[4 + l1];
  uint32_t size = 14 + l1 + l2;
  return static_cast<uint32_t>(end - r) >= size ? size : 0;
}

// Size of the trunk record at r within [r, end), or 0 when it is not whole.
uint32_t TrunkRecordSize(const uint8_t* r, const uint8_t* end) {
  if (end - r < 4) return 0;
  uint32_t size = 10 + r[3];
  return static_cast<uint32_t>(end - r) >= size ? size : 0;
}

bool InRange(uint32_t n, DeviceRange range) {
  return range.count != 0 && n >= range.first && n < uint32_t{range.first} + range.count;
}

std::string Text4(const char text[4]) {
  size_t n = 0;
  while (n < 4 && text[n] != '\0') ++n;
  return std::string(text, n);
}

// The builder of one start-up: downloads into the session's model and builds its lines.
class Builder {
 public:
  Builder(CtiPbxSession& session, CVN2448Driver& instance)
      : s_(session), in_(instance), m_(session.BuildModel()) {}

  int Download();
  int Build(void (*onCounted)(void*, uint32_t), void* context);

 private:
  uint32_t Cti() const { return in_.ctiVersion; }
  int32_t Paged(uint8_t deviceClass, uint8_t* area, uint32_t areaSize, uint32_t* stored,
                uint8_t* temp, uint32_t tempSize, uint32_t* records);
  bool Single(uint8_t deviceClass, uint8_t* area, uint32_t limit, uint32_t* stored);
  bool AccessCodes();
  void CountLines();
  // Pages through an indexed number class (DISA 4, BV 8, further features 28) and hands each
  // record (index, digits) to put; false when a record is bad or an exchange fails.
  template <typename Put>
  bool Indexed(uint8_t deviceClass, bool paged, Put put);
  bool AllocateLines();
  LineDevice& NewLine(uint32_t kind, uint32_t deviceNumber, const char* prefix,
                      const std::string& suffix, const std::string& dial, uint32_t location);
  void SetAddressText(LineDevice& line, const std::string& text);
  bool BuildLines();
  bool Groups();

  CtiPbxSession& s_;
  CVN2448Driver& in_;
  DeviceModel& m_;
  PbxDeviceDirectory* dir_ = nullptr;
  uint32_t next_ = 0;  // the next line index
};

int32_t Builder::Paged(uint8_t deviceClass, uint8_t* area, uint32_t areaSize, uint32_t* stored,
                       uint8_t* temp, uint32_t tempSize, uint32_t* records) {
  uint8_t key[4] = {};
  uint32_t lastKey = 0;
  bool first = true;
  for (;;) {
    MessageParam params[3] = {{1, &deviceClass, 1}, {2, "\xFF\xFF", 2}, {3, key, 4}};
    int32_t n = s_.Exchange(kDeviceDataRequest, params, 3, temp, tempSize);
    if (n < 0) return -1;
    if (s_.Decode(temp, n) < 0) return -1;
    const ParsedParam* count = s_.ParamAt(2);
    if (count == nullptr || count->length < 2 || U16(temp + count->offset) == 0) return 0;
    const uint32_t end = static_cast<uint32_t>(n);
    if (end <= kRecordOffset) return 0;
    // The first reply is kept whole, later ones without their 13 leading bytes; a reply
    // larger than the space left is cut to it.
    uint32_t from = *stored == 0 ? 0 : kRecordOffset;
    uint32_t add = end - from;
    if (add > areaSize - *stored) add = areaSize - *stored;
    std::memcpy(area + *stored, temp + from, add);
    *stored += add;
    const uint8_t* p = temp + kRecordOffset;
    const uint8_t* last = nullptr;
    while (p < temp + end) {
      uint32_t size =
          deviceClass == 1 ? ExtensionRecordSize(p, temp + end) : TrunkRecordSize(p, temp + end);
      if (size == 0) break;
      last = p;
      ++*records;
      p += size;
    }
    if (last == nullptr) return 0;
    uint32_t next = U16(last);
    // A PBX that does not move on would keep this loop going for ever.
    if (!first && next <= lastKey) return 0;
    first = false;
    lastKey = next;
    key[0] = 0;
    key[1] = 0;
    key[2] = last[0];
    key[3] = last[1];
  }
}

bool Builder::Single(uint8_t deviceClass, uint8_t* area, uint32_t limit, uint32_t* stored) {
  MessageParam params[2] = {{1, &deviceClass, 1}, {2, "\xFF\xFF", 2}};
  if (limit == 0) {
    // No room reserved: the reply is still asked for (the exchange must succeed).
    uint8_t scratch[16];
    if (s_.Exchange(kDeviceDataRequest, params, 2, scratch, sizeof scratch) < 0) return false;
    *stored = 0;
    return true;
  }
  int32_t n = s_.Exchange(kDeviceDataRequest, params, 2, area, limit);
  if (n < 0) return false;
  *stored = static_cast<uint32_t>(n);
  return true;
}

bool Builder::AccessCodes() {
  std::memset(&m_.codes, 0, sizeof m_.codes);
  char* codes[5] = {m_.codes.local, m_.codes.trunkGroup, m_.codes.pagingIn, m_.codes.pagingOut,
                    m_.codes.doorPhone};
  if (Cti() >= 0x13000) {
    const uint16_t numbers[5] = {18, 19, 26, 24, 23};
    for (int i = 0; i < 5; ++i) {
      const uint8_t one = 1;
      const uint8_t number[2] = {static_cast<uint8_t>(numbers[i] >> 8),
                                 static_cast<uint8_t>(numbers[i])};
      MessageParam params[3] = {{1, &one, 1}, {2, &one, 1}, {3, number, 2}};
      int32_t n = s_.Exchange(kSystemParameterRequest, params, 3);
      if (n < 0) return false;
      const uint8_t* reply = s_.Reply();
      s_.Decode(reply, n);
      const ParsedParam* code = s_.ParamByTag(3);
      if (code != nullptr && code->length > 2) {
        // The code is the 4 bytes that begin 4 bytes into the value, as far as it goes.
        uint32_t len = code->length > 4 ? code->length - 4 : 0;
        std::memcpy(codes[i], reply + code->offset + 4, len < 4 ? len : 4);
      }
    }
    return true;
  }
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(ProviderKeyName(in_.permanentProviderId),
                                  platform::RegAccess::Read, key) != platform::RegResult::Ok) {
    return true;
  }
  const char* names[2] = {"LOCALACCESSFLX", "TRUNKGROUPACCESSFLX"};
  for (int i = 0; i < 2; ++i) {
    std::string value;
    if (key.QueryString(names[i], value) == platform::RegResult::Ok) {
      std::memcpy(codes[i], value.data(), value.size() < 4 ? value.size() : 4);
    }
  }
  return true;
}

int Builder::Download() {
  const SystemCapacity& cap = s_.Capacity();
  const uint64_t extArea = uint64_t{cap.extensions} * kRawExtensionSize;
  const uint64_t trunkArea = uint64_t{cap.trunks} * kRawTrunkSize;
  if (extArea + trunkArea > 0x7FFFFFF0) return 0;
  m_.extensionArea = static_cast<uint32_t>(extArea);
  m_.trunkArea = static_cast<uint32_t>(trunkArea);
  m_.raw = static_cast<uint8_t*>(AllocMemory(kPoolZeroInit, m_.extensionArea + m_.trunkArea + 8));
  if (m_.raw == nullptr) return 0;
  uint8_t* trunks = m_.raw + m_.extensionArea;
  const uint32_t pbxType = s_.PbxType();
  uint32_t extensions = cap.extensions;
  uint32_t trunkCount = cap.trunks;
  if (Cti() >= 0x13130) {
    uint32_t tempSize = m_.extensionArea > kMaxMessage ? m_.extensionArea : kMaxMessage;
    auto* temp = static_cast<uint8_t*>(AllocMemory(kPoolZeroInit, tempSize));
    if (temp == nullptr) return 0;
    bool ok = Paged(1, m_.raw, m_.extensionArea, &m_.extensionBytes, temp, tempSize,
                    &m_.extensionRecords) >= 0 &&
              Paged(2, trunks, m_.trunkArea, &m_.trunkBytes, temp, tempSize, &m_.trunkRecords) >= 0;
    if (ok && pbxType == 4) {
      extensions = m_.extensionRecords;
      trunkCount = m_.trunkRecords;
    }
    ok = ok && AccessCodes();
    FreeMemory(temp);
    if (!ok) return 0;
  } else {
    if (!Single(1, m_.raw, m_.extensionArea, &m_.extensionBytes)) return 0;
    if (pbxType == 4 && m_.extensionBytes >= kRecordOffset) extensions = U16(m_.raw + 11);
    uint32_t limit = m_.trunkArea < kSingleTrunkLimit ? m_.trunkArea : kSingleTrunkLimit;
    if (!Single(2, trunks, limit, &m_.trunkBytes)) return 0;
    if (pbxType == 4 && m_.trunkBytes >= kRecordOffset) trunkCount = U16(trunks + 11);
    if (!AccessCodes()) return 0;
  }
  // Extension lines: the records among the first `extensions` that become lines.
  const DeviceRange excludedExt = s_.ExcludedExtensions();
  uint32_t valid = 0;
  const uint8_t* end = m_.raw + m_.extensionBytes;
  const uint8_t* p = m_.extensionBytes > kRecordOffset ? m_.raw + kRecordOffset : end;
  for (uint32_t i = 0; i < extensions && p < end; ++i) {
    uint32_t size = ExtensionRecordSize(p, end);
    if (size == 0) break;
    uint8_t type = p[4 + p[3] + 1 + p[4 + p[3]]];
    bool line =
        p[3] != 0 && type != 4 && type != 5 && !(pbxType == 2 && InRange(U16(p), excludedExt));
    if (line) ++valid;
    p += size;
  }
  // A VN2448 shows 64 extension lines; never more lines than records to build them from.
  if (pbxType == 1 && valid > 64) valid = 64;
  m_.extensionLines = valid;
  // Trunk lines likewise.
  const DeviceRange excludedTrunk = s_.ExcludedTrunks();
  if (pbxType == 2)
    trunkCount = trunkCount > excludedTrunk.count ? trunkCount - excludedTrunk.count : 0;
  uint32_t trunkValid = 0;
  end = trunks + m_.trunkBytes;
  p = m_.trunkBytes > kRecordOffset ? trunks + kRecordOffset : end;
  while (p < end && trunkValid < trunkCount) {
    uint32_t size = TrunkRecordSize(p, end);
    if (size == 0) break;
    if (!(pbxType == 2 && InRange(U16(p), excludedTrunk))) ++trunkValid;
    p += size;
  }
  m_.trunkLines = trunkValid;
  return 1;
}

template <typename Put>
bool Builder::Indexed(uint8_t deviceClass, bool paged, Put put) {
  auto* buffer = static_cast<uint8_t*>(AllocMemory(kPoolZeroInit, kIndexedReplySize));
  if (buffer == nullptr) return false;
  uint8_t key[4] = {};
  int32_t lastIndex = -1;
  bool ok = true;
  for (;;) {
    MessageParam params[3] = {{1, &deviceClass, 1}, {2, "\xFF\xFF", 2}, {3, key, 4}};
    int32_t n = s_.Exchange(kDeviceDataRequest, params, paged ? 3 : 2, buffer, kIndexedReplySize);
    if (n < 0) {
      ok = false;
      break;
    }
    if (s_.Decode(buffer, n) < 0) {
      ok = put(-1, nullptr, 0);  // the reply does not decode
      break;
    }
    const ParsedParam* count = s_.ParamAt(2);
    uint32_t records = count != nullptr && count->length >= 1 ? buffer[count->offset] : 0;
    if (records == 0) break;
    const uint32_t end = static_cast<uint32_t>(n);
    uint32_t p = kIndexedRecordStart;
    int32_t last = -1;
    for (uint32_t r = 0; r < records && ok; ++r) {
      if (p + 2 > end) break;
      uint32_t len = buffer[p + 1];
      if (len > 4 || p + 2 + len + 1 > end) {
        ok = false;
        break;
      }
      uint32_t size = 2 + len + 3 + buffer[p + 2 + len];
      if (p + size > end) {
        ok = false;
        break;
      }
      ok = put(buffer[p], reinterpret_cast<const char*>(buffer + p + 2), len);
      last = buffer[p];
      p += size;
    }
    if (!ok || !paged || last < 0 || last <= lastIndex) break;
    lastIndex = last;
    key[3] = static_cast<uint8_t>(last);
  }
  FreeMemory(buffer);
  return ok;
}

bool Builder::AllocateLines() {
  const SystemCapacity& cap = s_.Capacity();
  const uint64_t n = 1ull + cap.queues + cap.tr + cap.rm + cap.bv + cap.doorPhones + cap.disa +
                     cap.pagingIn + cap.pagingOut + m_.trunkLines + m_.extensionLines;
  if (n > 0xFFFF) return false;  // a line index is 16 bits of a LineAddressKey
  const auto count = static_cast<uint32_t>(n);
  auto* table = AllocMemory(kPoolZeroInit, static_cast<uint32_t>(sizeof(LineDevice) * count));
  if (table == nullptr) return false;
  m_.lines = static_cast<LineDevice*>(table);
  for (uint32_t i = 0; i < count; ++i) new (&m_.lines[i]) LineDevice();
  m_.lineCount = count;
  m_.deviceBlocks = static_cast<uint8_t*>(AllocMemory(kPoolZeroInit, kDeviceBlockStride * count));
  m_.addressTables = static_cast<uint8_t*>(AllocMemory(kPoolZeroInit, kAddressTableStride * count));
  m_.addressBlocks = static_cast<uint8_t*>(AllocMemory(kPoolZeroInit, AddressStride() * count));
  uint32_t perExtension = 4 * (m_.extensionLines > 0 ? m_.extensionLines : 1);
  m_.extensionNumbers = static_cast<uint32_t*>(AllocMemory(kPoolZeroInit, perExtension));
  m_.extensionDeviceIds = static_cast<uint32_t*>(AllocMemory(kPoolZeroInit, perExtension));
  if (m_.deviceBlocks == nullptr || m_.addressTables == nullptr || m_.addressBlocks == nullptr ||
      m_.extensionNumbers == nullptr || m_.extensionDeviceIds == nullptr) {
    return false;
  }
  DirectorySizes sizes;
  sizes.extensions = m_.extensionLines;
  sizes.trunks = m_.trunkLines;
  sizes.doorPhones = cap.doorPhones;
  sizes.disa = cap.disa;
  sizes.pagingOut = cap.pagingOut;
  sizes.pagingIn = cap.pagingIn;
  sizes.bv = cap.bv;
  sizes.features = cap.groupMemberTotal + kFurtherFeatureRoom;
  sizes.specials = cap.groupLinkTotal;
  sizes.bvNumbers = 256;
  sizes.disaNumbers = cap.disa;
  return dir_->Allocate(sizes);
}

LineDevice& Builder::NewLine(uint32_t kind, uint32_t deviceNumber, const char* prefix,
                             const std::string& suffix, const std::string& dial,
                             uint32_t location) {
  const uint32_t i = next_++;
  LineDevice& line = m_.lines[i];
  line.lineIndex = i;
  line.lineKind = kind;
  line.deviceNumber = static_cast<uint16_t>(deviceNumber);
  line.permanentLineId = (in_.permanentProviderId << 16) + deviceNumber;
  line.location = location;
  line.table = m_.lines;
  line.providerSlot = in_.slot;
  line.instance = &in_;
  std::snprintf(line.namePrefix, sizeof line.namePrefix, "%s", prefix);
  std::snprintf(line.name, sizeof line.name, "%s%s", prefix, suffix.c_str());

  uint8_t* device = m_.deviceBlocks + size_t{i} * kDeviceBlockStride;
  auto* caps = reinterpret_cast<LINEDEVCAPS*>(device);
  auto* status = reinterpret_cast<LINEDEVSTATUS*>(device + kDevCapsSize);
  caps->dwTotalSize = caps->dwNeededSize = caps->dwUsedSize = kDevCapsSize;
  // The texts (provider, switch, line name) are written with the rest of the query values
  // once every line is built (FillInitialLineBlocks).
  caps->dwDevSpecificOffset = 432;
  caps->dwDevSpecificSize = 24;
  caps->dwStringFormat = STRINGFORMAT_UNICODE;
  caps->dwNumAddresses = 1;
  caps->dwPermanentLineID = line.permanentLineId;
  status->dwTotalSize = status->dwNeededSize = status->dwUsedSize = kDevStatusSize;
  status->dwDevSpecificOffset = 88;
  status->dwDevSpecificSize = 600;
  line.devCaps = caps;
  line.devStatus = status;

  uint8_t* block = m_.addressBlocks + size_t{i} * AddressStride();
  auto* address = new (block) AddressRecord{};
  auto* addressCaps = reinterpret_cast<LINEADDRESSCAPS*>(block + kAddressRecordBytes);
  auto* addressStatus =
      reinterpret_cast<LINEADDRESSSTATUS*>(block + kAddressRecordBytes + kAddressCapsSize);
  address->addressCaps = addressCaps;
  address->addressStatus = addressStatus;
  address->callList = block + kAddressRecordBytes + kAddressCapsSize + kAddressStatusSize;
  std::memcpy(address->dialNumber, dial.data(), dial.size() < 4 ? dial.size() : 4);
  address->addressIndex = 0;
  address->line = &line;
  addressCaps->dwTotalSize = addressCaps->dwNeededSize = addressCaps->dwUsedSize = kAddressCapsSize;
  addressCaps->dwLineDeviceID = in_.lineDeviceIdBase + i;
  addressCaps->dwAddressOffset = 228;
  addressCaps->dwDevSpecificOffset = 276;
  addressCaps->dwDevSpecificSize = 8;
  addressStatus->dwTotalSize = addressStatus->dwNeededSize = addressStatus->dwUsedSize =
      kAddressStatusSize;
  addressStatus->dwForwardOffset = 64;
  addressStatus->dwForwardSize = 154;
  addressStatus->dwDevSpecificOffset = kStatusDevSpecificOffset;
  addressStatus->dwDevSpecificSize = 636;
  line.addressTable =
      reinterpret_cast<AddressRecord**>(m_.addressTables + size_t{i} * kAddressTableStride);
  line.addressTable[0] = address;
  return line;
}

void Builder::SetAddressText(LineDevice& line, const std::string& text) {
  // Kept in the ANSI code page like every text of the model; the queries convert it.
  SetModelAddressText(*line.addressTable[0]->addressCaps, text);
}

bool Builder::BuildLines() {
  const SystemCapacity& cap = s_.Capacity();
  const provider::AccessCodes& codes = m_.codes;
  const uint32_t pbxType = s_.PbxType();
  NewLine(kLineSystem, 1, "SYSTEM", "", "", 0);
  static constexpr const char* kQueueNames[4] = {"QO", "QH", "QIO", "QIH"};
  for (uint32_t k = 0; k < cap.queues && k < 4; ++k) {
    LineDevice& line = NewLine(kLineQueue, 2 + k, kQueueNames[k], "0001", "", 0);
    dir_->PutQueue(k, MakeLineAddressKey(line.lineIndex));
  }
  if (cap.tr != 0)
    dir_->PutTr(MakeLineAddressKey(NewLine(kLineQueue, 16, "TR", "0001", "", 0).lineIndex));
  if (cap.rm != 0)
    dir_->PutRm(MakeLineAddressKey(NewLine(kLineRm, 32, "RM", "0001", "", 0).lineIndex));
  if (pbxType == 6 && cap.bv != 0) {
    uint32_t used = 0;
    bool ok = Indexed(8, true, [&](int32_t index, const char* digits, uint32_t len) {
      if (index < 0) {
        // No BV numbers from this PBX: both BV kinds take the default number.
        dir_->PutBvNumber(0, 1, "725", 3);
        dir_->PutBvNumber(1, 2, "725", 3);
        return true;
      }
      dir_->PutBvNumber(used++, static_cast<uint16_t>(index), digits, len);
      return true;
    });
    if (!ok) return false;
  }
  for (uint32_t k = 0; k < cap.bv; ++k) {
    LineDevice& line = NewLine(kLineBv, 48 + k, "BV", FourDigits(k + 1), "", 0);
    dir_->PutBv(k, MakeLineAddressKey(line.lineIndex));
  }
  for (uint32_t k = 0; k < cap.doorPhones; ++k) {
    LineDevice& line =
        NewLine(kLineDoorPhone, 256 + k, "DOOR", FourDigits(k + 1), FourDigits(k + 1), Location(k));
    dir_->PutDoorPhone(k, MakeLineAddressKey(line.lineIndex));
    if (codes.doorPhone[0] != '\0')
      SetAddressText(line, Text4(codes.doorPhone) + std::to_string(k + 1));
  }
  if (cap.disa != 0) {
    uint32_t used = 0;
    bool ok = Indexed(4, true, [&](int32_t index, const char* digits, uint32_t len) {
      if (index < 0) return false;
      if (used < cap.disa) dir_->PutDisaNumber(used++, static_cast<uint16_t>(index), digits, len);
      return true;
    });
    if (!ok) return false;
  }
  for (uint32_t k = 0; k < cap.disa; ++k) {
    std::string dial = FourDigits(k + 1);
    bool fromTable = in_.config.disaAddress != 1;
    if (fromTable) {
      const IndexedNumberEntry* entry = dir_->DisaNumber(k);
      dial = entry != nullptr ? Text4(entry->digits) : "";
    }
    LineDevice& line = NewLine(kLineDisa, 512 + k, "DISA", FourDigits(k + 1), dial, Location(k));
    dir_->PutDisa(k, MakeLineAddressKey(line.lineIndex));
    if (fromTable) SetAddressText(line, dial);
  }
  char two[3];
  for (uint32_t k = 0; k < cap.pagingIn; ++k) {
    LineDevice& line =
        NewLine(kLinePaging, 768 + k, "INPAGE", FourDigits(k + 1), FourDigits(k + 1), Location(k));
    dir_->PutPagingIn(k, MakeLineAddressKey(line.lineIndex));
    std::snprintf(two, sizeof two, "%02u", (k + 1) % 100);
    if (codes.pagingIn[0] != '\0') SetAddressText(line, Text4(codes.pagingIn) + two);
  }
  for (uint32_t k = 0; k < cap.pagingOut; ++k) {
    LineDevice& line = NewLine(kLinePaging, 768 + cap.pagingIn + k, "OUTPAGE", FourDigits(k + 1),
                               FourDigits(k + 1), Location(k));
    dir_->PutPagingOut(k, MakeLineAddressKey(line.lineIndex));
    std::snprintf(two, sizeof two, "%02u", (k + 1) % 100);
    if (codes.pagingOut[0] != '\0') SetAddressText(line, Text4(codes.pagingOut) + two);
  }
  // Trunks, in download order.
  const DeviceRange excludedTrunk = s_.ExcludedTrunks();
  uint8_t* trunks = m_.raw + m_.extensionArea;
  const uint8_t* end = trunks + m_.trunkBytes;
  const uint8_t* p = m_.trunkBytes > kRecordOffset ? trunks + kRecordOffset : end;
  for (uint32_t built = 0; built < m_.trunkLines && p < end;) {
    uint32_t size = TrunkRecordSize(p, end);
    if (size == 0) break;
    const uint8_t* r = p;
    p += size;
    uint32_t number = U16(r);
    if (pbxType == 2 && InRange(number, excludedTrunk)) continue;
    uint8_t type = r[4 + r[3]];
    uint32_t value = U16(r + 5 + r[3]);
    uint32_t device = (type == 2 ? 8191 : 4095) + number;
    LineDevice& line = NewLine(kLineTrunk, device, "CO", FourDigits(number), FourDigits(number), 0);
    line.rawRecord = r;
    auto* dev =
        reinterpret_cast<uint8_t*>(line.addressTable[0]->addressStatus) + kStatusDevSpecificOffset;
    auto trunkValue = static_cast<uint16_t>(value);
    std::memcpy(dev + kStatusTrunkValueOffset, &trunkValue, 2);
    SetAddressText(line, std::to_string(number));
    dir_->PutTrunk(built, static_cast<uint16_t>(number), MakeLineAddressKey(line.lineIndex));
    ++built;
  }
  // Extensions, in download order.
  const DeviceRange excludedExt = s_.ExcludedExtensions();
  end = m_.raw + m_.extensionBytes;
  p = m_.extensionBytes > kRecordOffset ? m_.raw + kRecordOffset : end;
  uint32_t ordinary = 0;
  uint32_t voice = 0;
  for (uint32_t built = 0; built < m_.extensionLines && p < end;) {
    uint32_t size = ExtensionRecordSize(p, end);
    if (size == 0) break;
    const uint8_t* r = p;
    p += size;
    uint32_t l1 = r[3];
    uint8_t type = r[4 + l1 + 1 + r[4 + l1]];
    uint32_t deviceId = U16(r);
    if (l1 == 0 || type == 4 || type == 5 || (pbxType == 2 && InRange(deviceId, excludedExt))) {
      continue;
    }
    std::string number(reinterpret_cast<const char*>(r + 4), l1 < 4 ? l1 : 4);
    uint32_t device = type == 6 ? 24576 + voice++ : 12288 + ordinary++;
    LineDevice& line =
        NewLine(kLineExtension, device, "EXT", FourDigits(built + 1), number, Location(built));
    line.rawRecord = r;
    auto* dev =
        reinterpret_cast<uint8_t*>(line.addressTable[0]->addressStatus) + kStatusDevSpecificOffset;
    auto id = static_cast<uint16_t>(deviceId);
    std::memcpy(dev + kStatusDeviceIdOffset, &id, 2);
    SetAddressText(line, number);
    uint32_t key = MakeLineAddressKey(line.lineIndex);
    dir_->PutExtension(built, static_cast<uint16_t>(deviceId), number.c_str(), key);
    std::memcpy(&m_.extensionNumbers[built], line.addressTable[0]->dialNumber, 4);
    m_.extensionDeviceIds[built] = key;
    ++built;
  }
  dir_->SortExtensions();
  dir_->SortTrunks();
  return true;
}

bool Builder::Groups() {
  GroupDownloadContext context;
  context.codec = &s_;
  context.exchange = [this](const uint8_t* request, int32_t length, uint8_t* reply, int32_t size) {
    return SendRequest(in_, in_.link.handle, request, length, reply, size);
  };
  context.ctiVersion = Cti();
  context.pbxType = s_.PbxType();
  context.directory = dir_;
  if (s_.Capacity().queues >= 4) {
    for (uint32_t q = 0; q < 4; ++q) {
      context.queueLines[q] = &m_.lines[1 + q];
      context.queueStatus[q] = m_.lines[1 + q].addressTable[0]->addressStatus;
    }
  }
  context.lineDeviceIdBase = in_.lineDeviceIdBase;
  context.featuresUsed = &m_.featuresUsed;
  context.specialsUsed = &m_.specialsUsed;
  return DownloadGroupData(context) == 1;
}

int Builder::Build(void (*onCounted)(void*, uint32_t), void* context) {
  dir_ = DirectoryOf(in_);
  if (dir_ == nullptr) return 0;
  dir_->SetLines(&s_);
  if (!AllocateLines()) return 0;
  if (onCounted != nullptr) onCounted(context, m_.lineCount);
  if (!BuildLines()) return 0;
  if (next_ != m_.lineCount) return 0;  // every counted line must have been built
  // The prepared blocks get the values the queries answer with, line by line.
  const InitialBlockValues values = InitialValuesOf(in_);
  for (uint32_t i = 0; i < m_.lineCount; ++i) FillInitialLineBlocks(m_.lines[i], values);
  if (Cti() >= 0x13000) {
    if (!Groups()) return 0;
    bool ok = Indexed(28, Cti() != 0x13000, [&](int32_t index, const char* digits, uint32_t len) {
      if (index < 0) return false;
      if (dir_->PutFeature(m_.featuresUsed, 9, static_cast<uint16_t>(index), digits, len) == 1) {
        ++m_.featuresUsed;
      }
      return true;
    });
    if (!ok) return 0;
  }
  return ReadLineControlFlags(in_.permanentProviderId, m_.lines, m_.lineCount) ? 1 : 0;
}

}  // namespace

uint32_t AddressStride() {
  return kAddressRecordBytes + kAddressCapsSize + kAddressStatusSize + kCallListSize;
}

int DownloadDevices(CtiPbxSession& session, CVN2448Driver& instance) {
  Builder builder(session, instance);
  return builder.Download();
}

int BuildDevices(CtiPbxSession& session, CVN2448Driver& instance,
                 void (*onCounted)(void*, uint32_t), void* context) {
  Builder builder(session, instance);
  return builder.Build(onCounted, context);
}

void ReleaseDeviceModel(DeviceModel& model, CVN2448Driver& instance) {
  if (model.lines != nullptr) {
    for (uint32_t i = 0; i < model.lineCount; ++i) {
      LineDevice& line = model.lines[i];
      AddressRecord* address = line.addressTable != nullptr ? line.addressTable[0] : nullptr;
      if (line.lineKind == kLineQueue || line.groups != nullptr) {
        ReleaseGroupData(line, address != nullptr ? address->addressStatus : nullptr);
      }
    }
    FreeMemory(model.lines);
  }
  for (void* block :
       {static_cast<void*>(model.deviceBlocks), static_cast<void*>(model.addressTables),
        static_cast<void*>(model.addressBlocks), static_cast<void*>(model.extensionNumbers),
        static_cast<void*>(model.extensionDeviceIds), static_cast<void*>(model.raw)}) {
    if (block != nullptr) FreeMemory(block);
  }
  if (PbxDeviceDirectory* directory = DirectoryOf(instance); directory != nullptr) {
    directory->Clear();
    directory->SetLines(nullptr);
  }
  model = DeviceModel{};
}

bool ReadLineControlFlags(uint32_t permanentProviderId, LineDevice* lines, uint32_t count) {
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(ProviderKeyName(permanentProviderId), platform::RegAccess::Read,
                                  key) != platform::RegResult::Ok) {
    return true;  // no key: no flags
  }
  uint32_t entries = 0;
  uint32_t version = 1;
  key.QueryDword("LINECTRLFLAGNO", entries);
  key.QueryDword("LINECTRLFLAGVER", version);
  if (version > 0x10000) return false;
  if (entries == 0) return true;
  std::vector<uint8_t> value;
  if (key.QueryBinary("LINECTRLFLAG", value) != platform::RegResult::Ok) return true;
  if (entries > value.size() / 8) entries = static_cast<uint32_t>(value.size() / 8);
  for (uint32_t i = 0; i < count; ++i) {
    LineDevice& line = lines[i];
    if (line.addressTable == nullptr || line.addressTable[0] == nullptr) continue;
    const char* dial = line.addressTable[0]->dialNumber;
    for (uint32_t e = 0; e < entries; ++e) {
      uint32_t flags = 0;
      std::memcpy(&flags, value.data() + 8 * e + 4, 4);
      if (std::memcmp(value.data() + 8 * e, dial, 4) == 0 && (flags & 1) != 0) {
        line.lineControlFlag = static_cast<uint16_t>(line.lineControlFlag | 1);
      }
    }
  }
  return true;
}

}  // namespace qrvn::provider
