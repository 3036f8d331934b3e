// The device directory of an instance: the tables that map the PBX's device parameters
// (extensions, trunks, door phones, DISA ports, paging groups, TR, queues, RM, BV devices) to
// LineAddressKeys, the feature and special number tables, and the small lookups of handlers.
#pragma once

#include <cstdint>

#include "provider/core/instance_parts.h"

namespace qrvn::provider {

// A LineAddressKey: line index in the high 16 bits, address index in the low 16 bits.
inline constexpr uint32_t MakeLineAddressKey(uint32_t lineIndex, uint32_t addressIndex = 0) {
  return (lineIndex << 16) | (addressIndex & 0xFFFF);
}

// Device kind bytes of device parameters.
enum DeviceParamKind : uint8_t {
  kParamExtension = 1,
  kParamTrunk = 2,
  kParamDialled = 3,
  kParamDoorPhone = 10,
  kParamDisa = 11,
  kParamPaging = 12,
  kParamFeature = 32,
  kParamQueue = 33,
  kParamRm = 34,
  kParamBv = 35,
};

// DecodeDevice results.
inline constexpr int32_t kDecodeUnknownKind = -1;
inline constexpr int32_t kDecodeNotFound = -2;
inline constexpr int32_t kDecodeNoRoom = -3;
// EncodeDevice results.
inline constexpr int32_t kEncodeBad = -1;
inline constexpr int32_t kEncodeNoRoom = -2;
inline constexpr int32_t kEncodeNoVersion = -3;

// What encoding needs to know of one line of the device model.
struct DirectoryLine {
  uint32_t kind = 0;        // the device kind byte of the line's parameters
  char name[8] = {};        // the line's name prefix ("EXT", "TR", "RM", ...)
  char dialNumber[4] = {};  // the address's directory number, NUL-padded
  uint16_t deviceId = 0;    // extensions: the PBX's device ID
  uint16_t trunkValue = 0;  // trunks: the trunk value
};

// The device model as the directory sees it.
class DirectoryLines {
 public:
  virtual ~DirectoryLines() = default;
  // The number of line devices.
  virtual uint32_t LineCount() const = 0;
  // Describes line index; false when there is no such line.
  virtual bool DescribeLine(uint32_t index, DirectoryLine& out) const = 0;
};

// The sizes of the tables, fixed when the directory is allocated.
struct DirectorySizes {
  uint32_t extensions = 0;
  uint32_t trunks = 0;
  uint32_t doorPhones = 0;
  uint32_t disa = 0;
  uint32_t pagingOut = 0;
  uint32_t pagingIn = 0;
  uint32_t bv = 0;
  uint32_t features = 0;
  uint32_t specials = 0;
  uint32_t bvNumbers = 0;
  uint32_t disaNumbers = 0;
};

struct ExtensionEntry {
  uint16_t deviceId;
  char number[4];
  uint32_t key;
};
struct TrunkEntry {
  uint16_t trunkNumber;
  uint32_t key;
};
struct NumberEntry {
  uint8_t type;
  uint16_t number;
  char digits[4];
};
struct IndexedNumberEntry {
  uint16_t number;
  char digits[4];
};

class PbxDeviceDirectory final : public DeviceDirectory {
 public:
  // An empty directory reading the instance's CTI version word through ctiVersion.
  explicit PbxDeviceDirectory(const uint32_t* ctiVersion);
  ~PbxDeviceDirectory() override;
  PbxDeviceDirectory(const PbxDeviceDirectory&) = delete;
  PbxDeviceDirectory& operator=(const PbxDeviceDirectory&) = delete;

  // Sizes every table in one pool block (the old one is released); false without memory.
  bool Allocate(const DirectorySizes& sizes);
  // Releases the tables.
  void Clear();
  // Sets the device model that encoding reads (null: no lines).
  void SetLines(const DirectoryLines* lines) { lines_ = lines; }

  // Key-table puts: 1 written, 0 for an index outside the table.
  int PutExtension(uint32_t index, uint16_t deviceId, const char* number, uint32_t key);
  int PutTrunk(uint32_t index, uint16_t trunkNumber, uint32_t key);
  int PutDoorPhone(uint32_t index, uint32_t key);
  int PutDisa(uint32_t index, uint32_t key);
  int PutPagingOut(uint32_t index, uint32_t key);
  int PutPagingIn(uint32_t index, uint32_t key);
  int PutTr(uint32_t key);
  // Queue entries 0..3 are the "QO", "QH", "QIO" and "QIH" lines.
  int PutQueue(uint32_t index, uint32_t key);
  int PutRm(uint32_t key);
  int PutBv(uint32_t index, uint32_t key);
  // Number-table puts at the writer's index (refused outside the table); digits up to 4.
  int PutFeature(uint32_t index, uint8_t type, uint16_t number, const char* digits, uint32_t len);
  int PutSpecial(uint32_t index, uint8_t type, uint16_t number, const char* digits, uint32_t len);
  int PutBvNumber(uint32_t index, uint16_t number, const char* digits, uint32_t len);
  int PutDisaNumber(uint32_t index, uint16_t number, const char* digits, uint32_t len);

  // Stable ascending sort of the extension table by device ID (after the download).
  void SortExtensions();
  // Stable ascending sort of the trunk table by trunk number.
  void SortTrunks();

  // Device parameter -> keys: the number written, or kDecode* (never more than capacity).
  int32_t DecodeDevice(const uint8_t* param, uint32_t length, uint32_t* keys,
                       uint32_t capacity) const;
  // Key -> device parameter: its length, or kEncode* (never writes past capacity).
  int32_t EncodeDevice(uint32_t key, uint8_t* buffer, uint32_t capacity) const;
  // The key of the extension with this device ID, or 0.
  uint32_t FindExtensionById(uint16_t deviceId) const;
  // The digits of a feature number named by a kind-32 or kind-33 parameter of 6 or 8 bytes.
  void FindFeatureNumber(const uint8_t* param, uint32_t length, char digits[4]) const;
  // The digits of a special device named by an 8-byte kind-33 parameter: 1 found, else 0.
  int FindSpecialDevice(const uint8_t* param, uint32_t length, char digits[4]) const;
  // The digits of the BV number named by a 2-byte kind-35 parameter.
  void FindIndexDevice(const uint8_t* param, uint32_t length, char digits[4]) const;
  // 1 when some feature number begins with the count digits given.
  int IsFeatureNumber(const char* digits, uint32_t count) const;

  const DirectorySizes& Sizes() const { return sizes_; }
  // The DISA number entry at index, or null.
  const IndexedNumberEntry* DisaNumber(uint32_t index) const;
  // The feature entry at index, or null.
  const NumberEntry* Feature(uint32_t index) const;
  // The special entry at index, or null.
  const NumberEntry* Special(uint32_t index) const;
  // The extension entry at index, or null.
  const ExtensionEntry* Extension(uint32_t index) const;
  // The trunk entry at index, or null.
  const TrunkEntry* Trunk(uint32_t index) const;

 private:
  int PutKey(uint32_t* table, uint32_t size, uint32_t index, uint32_t key);
  int32_t OneKey(uint32_t key, uint32_t* keys, uint32_t capacity) const;

  const uint32_t* ctiVersion_;
  const DirectoryLines* lines_ = nullptr;
  DirectorySizes sizes_{};
  void* block_ = nullptr;
  ExtensionEntry* extensions_ = nullptr;
  TrunkEntry* trunks_ = nullptr;
  uint32_t* doorPhones_ = nullptr;
  uint32_t* disa_ = nullptr;
  uint32_t* pagingOut_ = nullptr;
  uint32_t* pagingIn_ = nullptr;
  uint32_t* bv_ = nullptr;
  NumberEntry* features_ = nullptr;
  NumberEntry* specials_ = nullptr;
  IndexedNumberEntry* bvNumbers_ = nullptr;
  IndexedNumberEntry* disaNumbers_ = nullptr;
  uint32_t extensionsUsed_ = 0;
  uint32_t trunksUsed_ = 0;
  uint32_t tr_ = 0;
  uint32_t queues_[4] = {};
  uint32_t rm_ = 0;
};

// The directory of an instance, or null when the instance has another kind.
PbxDeviceDirectory* DirectoryOf(CVN2448Driver& instance);
// Makes the directory of an instance (its factory).
std::unique_ptr<DeviceDirectory> MakePbxDeviceDirectory(CVN2448Driver& owner);

}  // namespace qrvn::provider
