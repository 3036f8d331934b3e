// The device directory: device parameters <-> LineAddressKeys.
#include "provider/core/device_directory.h"

#include <cstring>

#include "provider/core/cvn2448_driver.h"
#include "provider/core/memory_pool.h"

namespace qrvn::provider {
namespace {

uint32_t U16(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 8) | p[1];
}

// Length of a NUL-padded text of at most max bytes.
uint32_t TextLength(const char* text, uint32_t max) {
  uint32_t n = 0;
  while (n < max && text[n] != '\0') ++n;
  return n;
}

// Decimal value of a directory number (its leading digits).
uint32_t Atoi(const char* text, uint32_t max) {
  uint32_t value = 0;
  for (uint32_t i = 0; i < max && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<uint32_t>(text[i] - '0');
  }
  return value;
}

void CopyDigits(char out[4], const char* digits, uint32_t len) {
  std::memset(out, 0, 4);
  if (digits != nullptr) std::memcpy(out, digits, len < 4 ? len : 4);
}

bool Used(const char digits[4]) {
  return digits[0] != '\0';
}

// Carves the next array out of the directory's block, keeping 8-byte alignment.
template <typename T>
T* Carve(uint8_t*& cursor, uint32_t count) {
  T* p = reinterpret_cast<T*>(cursor);
  size_t bytes = (sizeof(T) * count + 7) & ~size_t{7};
  cursor += bytes;
  return p;
}

template <typename T>
size_t Bytes(uint32_t count) {
  return (sizeof(T) * count + 7) & ~size_t{7};
}

// Index of the entry with key value, by lower bound over used entries; -1 when absent.
template <typename T, typename KeyOf>
int64_t Search(const T* table, uint32_t used, uint32_t value, KeyOf keyOf) {
  if (table == nullptr || used == 0) return -1;
  uint32_t low = 0;
  uint32_t high = used;
  while (low < high) {
    uint32_t mid = low + (high - low) / 2;
    if (keyOf(table[mid]) < value) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low < used && keyOf(table[low]) == value ? static_cast<int64_t>(low) : -1;
}

template <typename T, typename KeyOf>
void InsertionSort(T* table, uint32_t used, KeyOf keyOf) {
  for (uint32_t i = 1; i < used; ++i) {
    T entry = table[i];
    uint32_t j = i;
    while (j > 0 && keyOf(table[j - 1]) > keyOf(entry)) {
      table[j] = table[j - 1];
      --j;
    }
    table[j] = entry;
  }
}

}  // namespace

PbxDeviceDirectory::PbxDeviceDirectory(const uint32_t* ctiVersion) : ctiVersion_(ctiVersion) {}

PbxDeviceDirectory::~PbxDeviceDirectory() {
  Clear();
}

bool PbxDeviceDirectory::Allocate(const DirectorySizes& sizes) {
  Clear();
  size_t total = Bytes<ExtensionEntry>(sizes.extensions) + Bytes<TrunkEntry>(sizes.trunks) +
                 Bytes<uint32_t>(sizes.doorPhones) + Bytes<uint32_t>(sizes.disa) +
                 Bytes<uint32_t>(sizes.pagingOut) + Bytes<uint32_t>(sizes.pagingIn) +
                 Bytes<uint32_t>(sizes.bv) + Bytes<NumberEntry>(sizes.features) +
                 Bytes<NumberEntry>(sizes.specials) + Bytes<IndexedNumberEntry>(sizes.bvNumbers) +
                 Bytes<IndexedNumberEntry>(sizes.disaNumbers);
  if (total > 0x7FFFFFFF) return false;
  block_ = AllocMemory(kPoolZeroInit, static_cast<uint32_t>(total == 0 ? 8 : total));
  if (block_ == nullptr) return false;
  auto* cursor = static_cast<uint8_t*>(block_);
  extensions_ = Carve<ExtensionEntry>(cursor, sizes.extensions);
  trunks_ = Carve<TrunkEntry>(cursor, sizes.trunks);
  doorPhones_ = Carve<uint32_t>(cursor, sizes.doorPhones);
  disa_ = Carve<uint32_t>(cursor, sizes.disa);
  pagingOut_ = Carve<uint32_t>(cursor, sizes.pagingOut);
  pagingIn_ = Carve<uint32_t>(cursor, sizes.pagingIn);
  bv_ = Carve<uint32_t>(cursor, sizes.bv);
  features_ = Carve<NumberEntry>(cursor, sizes.features);
  specials_ = Carve<NumberEntry>(cursor, sizes.specials);
  bvNumbers_ = Carve<IndexedNumberEntry>(cursor, sizes.bvNumbers);
  disaNumbers_ = Carve<IndexedNumberEntry>(cursor, sizes.disaNumbers);
  sizes_ = sizes;
  return true;
}

void PbxDeviceDirectory::Clear() {
  if (block_ != nullptr) FreeMemory(block_);
  block_ = nullptr;
  sizes_ = {};
  extensions_ = nullptr;
  trunks_ = nullptr;
  doorPhones_ = disa_ = pagingOut_ = pagingIn_ = bv_ = nullptr;
  features_ = specials_ = nullptr;
  bvNumbers_ = disaNumbers_ = nullptr;
  extensionsUsed_ = trunksUsed_ = 0;
  tr_ = rm_ = 0;
  std::memset(queues_, 0, sizeof queues_);
}

int PbxDeviceDirectory::PutKey(uint32_t* table, uint32_t size, uint32_t index, uint32_t key) {
  if (table == nullptr || index >= size) return 0;
  table[index] = key;
  return 1;
}

int PbxDeviceDirectory::PutExtension(uint32_t index, uint16_t deviceId, const char* number,
                                     uint32_t key) {
  if (extensions_ == nullptr || index >= sizes_.extensions) return 0;
  ExtensionEntry& e = extensions_[index];
  e.deviceId = deviceId;
  CopyDigits(e.number, number, number != nullptr ? TextLength(number, 4) : 0);
  e.key = key;
  if (index + 1 > extensionsUsed_) extensionsUsed_ = index + 1;
  return 1;
}

int PbxDeviceDirectory::PutTrunk(uint32_t index, uint16_t trunkNumber, uint32_t key) {
  if (trunks_ == nullptr || index >= sizes_.trunks) return 0;
  trunks_[index] = {trunkNumber, key};
  if (index + 1 > trunksUsed_) trunksUsed_ = index + 1;
  return 1;
}

int PbxDeviceDirectory::PutDoorPhone(uint32_t index, uint32_t key) {
  return PutKey(doorPhones_, sizes_.doorPhones, index, key);
}
int PbxDeviceDirectory::PutDisa(uint32_t index, uint32_t key) {
  return PutKey(disa_, sizes_.disa, index, key);
}
int PbxDeviceDirectory::PutPagingOut(uint32_t index, uint32_t key) {
  return PutKey(pagingOut_, sizes_.pagingOut, index, key);
}
int PbxDeviceDirectory::PutPagingIn(uint32_t index, uint32_t key) {
  return PutKey(pagingIn_, sizes_.pagingIn, index, key);
}
int PbxDeviceDirectory::PutTr(uint32_t key) {
  tr_ = key;
  return 1;
}
int PbxDeviceDirectory::PutQueue(uint32_t index, uint32_t key) {
  return PutKey(queues_, 4, index, key);
}
int PbxDeviceDirectory::PutRm(uint32_t key) {
  rm_ = key;
  return 1;
}
int PbxDeviceDirectory::PutBv(uint32_t index, uint32_t key) {
  return PutKey(bv_, sizes_.bv, index, key);
}

int PbxDeviceDirectory::PutFeature(uint32_t index, uint8_t type, uint16_t number,
                                   const char* digits, uint32_t len) {
  if (features_ == nullptr || index >= sizes_.features) return 0;
  features_[index].type = type;
  features_[index].number = number;
  CopyDigits(features_[index].digits, digits, len);
  return 1;
}

int PbxDeviceDirectory::PutSpecial(uint32_t index, uint8_t type, uint16_t number,
                                   const char* digits, uint32_t len) {
  if (specials_ == nullptr || index >= sizes_.specials) return 0;
  specials_[index].type = type;
  specials_[index].number = number;
  CopyDigits(specials_[index].digits, digits, len);
  return 1;
}

int PbxDeviceDirectory::PutBvNumber(uint32_t index, uint16_t number, const char* digits,
                                    uint32_t len) {
  if (bvNumbers_ == nullptr || index >= sizes_.bvNumbers) return 0;
  bvNumbers_[index].number = number;
  CopyDigits(bvNumbers_[index].digits, digits, len);
  return 1;
}

int PbxDeviceDirectory::PutDisaNumber(uint32_t index, uint16_t number, const char* digits,
                                      uint32_t len) {
  if (disaNumbers_ == nullptr || index >= sizes_.disaNumbers) return 0;
  disaNumbers_[index].number = number;
  CopyDigits(disaNumbers_[index].digits, digits, len);
  return 1;
}

void PbxDeviceDirectory::SortExtensions() {
  InsertionSort(extensions_, extensionsUsed_,
                [](const ExtensionEntry& e) { return static_cast<uint32_t>(e.deviceId); });
}

void PbxDeviceDirectory::SortTrunks() {
  InsertionSort(trunks_, trunksUsed_,
                [](const TrunkEntry& e) { return static_cast<uint32_t>(e.trunkNumber); });
}

int32_t PbxDeviceDirectory::OneKey(uint32_t key, uint32_t* keys, uint32_t capacity) const {
  if (keys == nullptr || capacity == 0) return kDecodeNoRoom;
  keys[0] = key;
  return 1;
}

int32_t PbxDeviceDirectory::DecodeDevice(const uint8_t* param, uint32_t length, uint32_t* keys,
                                         uint32_t capacity) const {
  if (param == nullptr || length == 0) return kDecodeUnknownKind;
  if (keys == nullptr) capacity = 0;
  switch (param[0]) {
    case kParamExtension: {
      if (length < 3) return kDecodeNotFound;
      uint32_t id = U16(param + 1);
      if (id != 0) {
        int64_t i = Search(extensions_, extensionsUsed_, id,
                           [](const ExtensionEntry& e) { return uint32_t{e.deviceId}; });
        if (i < 0) return kDecodeNotFound;
        return OneKey(extensions_[i].key, keys, capacity);
      }
      // No device ID: the number text from byte 5 to its NUL or the parameter's end.
      if (length <= 5) return kDecodeNotFound;
      const char* text = reinterpret_cast<const char*>(param + 5);
      uint32_t textLength = TextLength(text, length - 5);
      if (textLength == 0 || textLength > 4) return kDecodeNotFound;
      for (uint32_t i = 0; i < extensionsUsed_; ++i) {
        const ExtensionEntry& e = extensions_[i];
        if (TextLength(e.number, 4) == textLength && std::memcmp(e.number, text, textLength) == 0) {
          return OneKey(e.key, keys, capacity);
        }
      }
      return kDecodeNotFound;
    }
    case kParamTrunk: {
      if (length < 5) return kDecodeNotFound;
      int64_t i = Search(trunks_, trunksUsed_, U16(param + 3),
                         [](const TrunkEntry& e) { return uint32_t{e.trunkNumber}; });
      if (i < 0) return kDecodeNotFound;
      return OneKey(trunks_[i].key, keys, capacity);
    }
    case kParamDoorPhone:
    case kParamDisa: {
      if (capacity == 0) return kDecodeNoRoom;
      const uint32_t* table = param[0] == kParamDoorPhone ? doorPhones_ : disa_;
      uint32_t size = param[0] == kParamDoorPhone ? sizes_.doorPhones : sizes_.disa;
      if (length < 2 || param[1] < 1 || param[1] > size) return kDecodeNotFound;
      return OneKey(table[param[1] - 1], keys, capacity);
    }
    case kParamPaging: {
      if (length < 2) return 0;
      if (param[1] == 1) {
        if (length < 3) return 0;
        uint32_t out = (param[2] & 1) != 0 ? sizes_.pagingOut : 0;
        uint32_t in = (param[2] & 2) != 0 ? sizes_.pagingIn : 0;
        if (param[2] < 1 || param[2] > 3) return 0;
        if (out + in == 0) return 0;
        if (keys == nullptr || capacity < out + in) return kDecodeNoRoom;
        for (uint32_t i = 0; i < out; ++i) keys[i] = pagingOut_[i];
        for (uint32_t i = 0; i < in; ++i) keys[out + i] = pagingIn_[i];
        return static_cast<int32_t>(out + in);
      }
      if (param[1] == 2 || param[1] == 3) {
        if (capacity == 0) return kDecodeNoRoom;
        const uint32_t* table = param[1] == 2 ? pagingOut_ : pagingIn_;
        uint32_t size = param[1] == 2 ? sizes_.pagingOut : sizes_.pagingIn;
        if (length < 4 || param[3] == 0 || param[3] > size) return 0;
        return OneKey(table[param[3] - 1], keys, capacity);
      }
      return 0;
    }
    case kParamQueue: {
      if (capacity == 0) return kDecodeNoRoom;
      if (length < 4) return kDecodeNotFound;
      // Subkinds 1..4 name QH, QO, QIH, QIO; the table holds QO, QH, QIO, QIH.
      static constexpr uint32_t kQueueIndex[] = {1, 0, 3, 2};
      uint8_t subkind = param[3];
      if (subkind == 0) return OneKey(tr_, keys, capacity);
      if (subkind > 4) return kDecodeNotFound;
      return OneKey(queues_[kQueueIndex[subkind - 1]], keys, capacity);
    }
    case kParamRm:
      return OneKey(rm_, keys, capacity);
    case kParamBv: {
      if (capacity == 0) return kDecodeNoRoom;
      if (length < 2 || param[1] < 1 || param[1] > sizes_.bv) return kDecodeNotFound;
      return OneKey(bv_[param[1] - 1], keys, capacity);
    }
    default:
      return kDecodeUnknownKind;
  }
}

int32_t PbxDeviceDirectory::EncodeDevice(uint32_t key, uint8_t* buffer, uint32_t capacity) const {
  if (ctiVersion_ == nullptr) return kEncodeNoVersion;
  uint32_t index = key >> 16;
  DirectoryLine line;
  if (lines_ == nullptr || index >= lines_->LineCount() || !lines_->DescribeLine(index, line)) {
    return kEncodeBad;
  }
  if (buffer == nullptr) capacity = 0;
  const bool newer = *ctiVersion_ >= 0x13000;
  switch (line.kind) {
    case kParamExtension: {
      if (capacity < 10) return kEncodeNoRoom;
      uint32_t numberLength = TextLength(line.dialNumber, 4);
      std::memset(buffer, 0, 10);
      buffer[0] = kParamExtension;
      if (newer) {
        buffer[3] = static_cast<uint8_t>(line.deviceId >> 8);
        buffer[4] = static_cast<uint8_t>(line.deviceId);
      }
      std::memcpy(buffer + 5, line.dialNumber, numberLength);
      return static_cast<int32_t>(5 + numberLength);
    }
    case kParamTrunk: {
      if (capacity < 5) return kEncodeNoRoom;
      uint32_t number = Atoi(line.dialNumber, 4);
      buffer[0] = kParamTrunk;
      buffer[1] = newer ? static_cast<uint8_t>(line.trunkValue >> 8) : 0;
      buffer[2] = newer ? static_cast<uint8_t>(line.trunkValue) : 0;
      buffer[3] = static_cast<uint8_t>(number >> 8);
      buffer[4] = static_cast<uint8_t>(number);
      return 5;
    }
    case kParamDoorPhone:
    case kParamDisa:
      if (capacity < 2) return kEncodeNoRoom;
      buffer[0] = static_cast<uint8_t>(line.kind);
      buffer[1] = static_cast<uint8_t>(Atoi(line.dialNumber, 4));
      return 2;
    case kParamPaging: {
      if (capacity < 4) return kEncodeNoRoom;
      for (uint32_t i = 0; i < sizes_.pagingOut; ++i) {
        if (pagingOut_[i] != key) continue;
        buffer[0] = kParamPaging;
        buffer[1] = 2;
        buffer[2] = 1;
        buffer[3] = static_cast<uint8_t>(i + 1);
        return 4;
      }
      for (uint32_t i = 0; i < sizes_.pagingIn; ++i) {
        if (pagingIn_[i] != key) continue;
        buffer[0] = kParamPaging;
        buffer[1] = 3;
        buffer[2] = 2;
        buffer[3] = static_cast<uint8_t>(i + 1);
        return 4;
      }
      return kEncodeBad;
    }
    case kParamQueue: {
      if (capacity < 8) return kEncodeNoRoom;
      if (std::strncmp(line.name, "TR", sizeof line.name) != 0) return kEncodeBad;
      static constexpr uint8_t kTr[8] = {kParamQueue, 0, 0, 0, 0, 1, 0, 0};
      std::memcpy(buffer, kTr, sizeof kTr);
      return 8;
    }
    case kParamRm:
      if (capacity < 2) return kEncodeNoRoom;
      if (std::strncmp(line.name, "RM", sizeof line.name) != 0) return kEncodeBad;
      buffer[0] = kParamRm;
      buffer[1] = 1;
      return 2;
    default:
      return kEncodeBad;
  }
}

uint32_t PbxDeviceDirectory::FindExtensionById(uint16_t deviceId) const {
  int64_t i = Search(extensions_, extensionsUsed_, deviceId,
                     [](const ExtensionEntry& e) { return uint32_t{e.deviceId}; });
  return i < 0 ? 0 : extensions_[i].key;
}

void PbxDeviceDirectory::FindFeatureNumber(const uint8_t* param, uint32_t length,
                                           char digits[4]) const {
  if (param == nullptr || digits == nullptr || (length != 6 && length != 8)) return;
  uint8_t type = 0;
  if (param[0] == kParamFeature) {
    type = param[3];
  } else if (param[0] == kParamQueue && (param[3] == 1 || param[3] == 3)) {
    type = param[3] == 1 ? 7 : 11;
  } else {
    return;
  }
  uint32_t number = U16(param + 4);
  for (uint32_t i = 0; i < sizes_.features; ++i) {
    const NumberEntry& e = features_[i];
    if (Used(e.digits) && e.type == type && e.number == number) {
      std::memcpy(digits, e.digits, 4);
      return;
    }
  }
}

int PbxDeviceDirectory::FindSpecialDevice(const uint8_t* param, uint32_t length,
                                          char digits[4]) const {
  if (param == nullptr || length != 8) return 1;
  if (param[0] != kParamQueue || digits == nullptr) return 0;
  uint32_t number = U16(param + 4);
  for (uint32_t i = 0; i < sizes_.specials; ++i) {
    const NumberEntry& e = specials_[i];
    if (Used(e.digits) && e.type == param[3] && e.number == number) {
      std::memcpy(digits, e.digits, 4);
      return 1;
    }
  }
  return 0;
}

void PbxDeviceDirectory::FindIndexDevice(const uint8_t* param, uint32_t length,
                                         char digits[4]) const {
  if (param == nullptr || digits == nullptr || length != 2 || param[0] != kParamBv) return;
  for (uint32_t i = 0; i < sizes_.bvNumbers; ++i) {
    const IndexedNumberEntry& e = bvNumbers_[i];
    if (Used(e.digits) && e.number == param[1]) {
      std::memcpy(digits, e.digits, 4);
      return;
    }
  }
}

int PbxDeviceDirectory::IsFeatureNumber(const char* digits, uint32_t count) const {
  if (digits == nullptr || count > 4) return 0;
  for (uint32_t i = 0; i < sizes_.features; ++i) {
    const NumberEntry& e = features_[i];
    if (Used(e.digits) && std::memcmp(e.digits, digits, count) == 0) return 1;
  }
  return 0;
}

const IndexedNumberEntry* PbxDeviceDirectory::DisaNumber(uint32_t index) const {
  return index < sizes_.disaNumbers ? &disaNumbers_[index] : nullptr;
}
const NumberEntry* PbxDeviceDirectory::Feature(uint32_t index) const {
  return index < sizes_.features ? &features_[index] : nullptr;
}
const NumberEntry* PbxDeviceDirectory::Special(uint32_t index) const {
  return index < sizes_.specials ? &specials_[index] : nullptr;
}
const ExtensionEntry* PbxDeviceDirectory::Extension(uint32_t index) const {
  return index < extensionsUsed_ ? &extensions_[index] : nullptr;
}
const TrunkEntry* PbxDeviceDirectory::Trunk(uint32_t index) const {
  return index < trunksUsed_ ? &trunks_[index] : nullptr;
}

PbxDeviceDirectory* DirectoryOf(CVN2448Driver& instance) {
  return dynamic_cast<PbxDeviceDirectory*>(instance.directory.get());
}

std::unique_ptr<DeviceDirectory> MakePbxDeviceDirectory(CVN2448Driver& owner) {
  return std::make_unique<PbxDeviceDirectory>(&owner.ctiVersion);
}

}  // namespace qrvn::provider
