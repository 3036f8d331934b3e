// The line device model: raw extension and trunk records as the PBX sent them, the line-device
// table with one address per line, and the prepared TAPI blocks of every line.
#pragma once

#include <cstdint>

#include "provider/core/instance_parts.h"
#include "tapi/tapi.h"

namespace qrvn::provider {

class CtiPbxSession;

// Sizes of the prepared TAPI blocks.
inline constexpr uint32_t kDevCapsSize = 456;
inline constexpr uint32_t kDevStatusSize = 688;
inline constexpr uint32_t kAddressCapsSize = 680;
inline constexpr uint32_t kAddressStatusSize = 856;
inline constexpr uint32_t kCallListSize = 32;
// Raw area bytes reserved per extension and per trunk.
inline constexpr uint32_t kRawExtensionSize = 66;
inline constexpr uint32_t kRawTrunkSize = 58;
// Records of extension, trunk and group replies start here.
inline constexpr uint32_t kRecordOffset = 13;
// Offsets inside the LINEADDRESSSTATUS device-specific area (at 220).
inline constexpr uint32_t kStatusDevSpecificOffset = 220;
inline constexpr uint32_t kStatusDeviceIdOffset = 52;   // extensions: the PBX device ID
inline constexpr uint32_t kStatusTrunkValueOffset = 8;  // trunks: the trunk value
// Room kept in the feature table for the further feature numbers beyond the group numbers.
inline constexpr uint32_t kFurtherFeatureRoom = 256;

// The one address of a line.
struct AddressRecord {
  LINEADDRESSCAPS* addressCaps;
  LINEADDRESSSTATUS* addressStatus;
  uint8_t* callList;  // the address's call list (32 bytes)
  char dialNumber[4];
  uint32_t addressIndex;
  LineDevice* line;
  // Accounting delivery state of the address.
  uint32_t lastDeliveryTick;
  uint32_t deferredCount;
  uint32_t deliveredCount;
};

// The five feature access codes, up to 4 characters each, NUL-padded.
struct AccessCodes {
  char local[4];
  char trunkGroup[4];
  char pagingIn[4];
  char pagingOut[4];
  char doorPhone[4];
};

// Everything the model allocates; all pool blocks, null when not allocated.
struct DeviceModel {
  uint8_t* raw = nullptr;         // extension area, then the trunk area
  uint32_t extensionArea = 0;     // bytes reserved for extensions
  uint32_t trunkArea = 0;         // bytes reserved for trunks
  uint32_t extensionBytes = 0;    // bytes stored in the extension area
  uint32_t trunkBytes = 0;        // bytes stored in the trunk area
  uint32_t extensionRecords = 0;  // records received
  uint32_t trunkRecords = 0;
  uint32_t extensionLines = 0;  // counts left after the download
  uint32_t trunkLines = 0;
  AccessCodes codes{};
  LineDevice* lines = nullptr;  // the line-device table
  uint32_t lineCount = 0;
  uint8_t* deviceBlocks = nullptr;         // LINEDEVCAPS + LINEDEVSTATUS per line
  uint8_t* addressTables = nullptr;        // 16-byte address tables (4 pointers on 64-bit: 32)
  uint8_t* addressBlocks = nullptr;        // address record, caps, status and call list per line
  uint32_t* extensionNumbers = nullptr;    // 4 bytes per extension
  uint32_t* extensionDeviceIds = nullptr;  // the device identifier of each extension line
  uint32_t featuresUsed = 0;
  uint32_t specialsUsed = 0;
};

// Bytes per line in the address block array (8-byte aligned parts).
uint32_t AddressStride();

// Downloads the extension and trunk records and the access codes: 1 or 0.
int DownloadDevices(CtiPbxSession& session, CVN2448Driver& instance);
// Allocates the line table and blocks and builds every line: 1 or 0. Calls onCounted with
// the line count as soon as the table exists.
int BuildDevices(CtiPbxSession& session, CVN2448Driver& instance,
                 void (*onCounted)(void*, uint32_t), void* context);
// Frees everything of the model; safe on a partly built model and twice.
void ReleaseDeviceModel(DeviceModel& model, CVN2448Driver& instance);
// Reads the line control flags of the provider's registry key into the lines: false when
// LINECTRLFLAGVER is above 0x10000.
bool ReadLineControlFlags(uint32_t permanentProviderId, LineDevice* lines, uint32_t count);

}  // namespace qrvn::provider
