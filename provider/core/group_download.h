// The queue group download of a PBX with CTI 1.3 and later: group records into the feature and
// special tables of the device directory, the group tables of the four queue lines, each
// group's member map and the member list of each queue line.
#pragma once

#include <cstdint>
#include <functional>

#include "provider/core/device_directory.h"
#include "provider/core/instance_parts.h"
#include "provider/core/message_codec.h"
#include "tapi/tapi.h"

namespace qrvn::provider {

inline constexpr uint8_t kDeviceDataRequest = 143;
inline constexpr uint8_t kGroupMemberRequest = 106;

// One group of a queue line's group table.
struct GroupEntry {
  uint8_t type;
  uint16_t number;
  uint16_t zero;
  char dial[6];  // the record's digits, zero-padded
  uint8_t attribute;
  uint16_t value1;
  uint16_t value2;
  uint8_t* memberMap;  // pool block with the map as the PBX reported it, or null
  uint32_t memberMapLength;
};

// One member of a queue line's member list (12 bytes).
struct MemberEntry {
  uint32_t groupKind;
  uint32_t groupNumber;
  uint32_t deviceId;  // TAPI device ID of the member's line
};
static_assert(sizeof(MemberEntry) == 12);

// Queue lines in the order of the directory's queue table.
enum QueueLine : uint32_t { kQueueQO = 0, kQueueQH = 1, kQueueQIO = 2, kQueueQIH = 3 };

// Word indexes of the member list in the device-specific area of a queue line's address status.
inline constexpr uint32_t kMemberListCountWord = 0;
inline constexpr uint32_t kMemberListSizeWord = 1;
inline constexpr uint32_t kMemberListBlockWord = 3;  // the list block's pool serial number

// What the download needs of the session that runs it.
struct GroupDownloadContext {
  const CodecSession* codec = nullptr;
  // One request/reply exchange with the PBX: the reply length or a negative result.
  std::function<int32_t(const uint8_t* request, int32_t length, uint8_t* reply, int32_t size)>
      exchange;
  uint32_t ctiVersion = 0;
  uint32_t pbxType = 0;
  PbxDeviceDirectory* directory = nullptr;
  LineDevice* queueLines[4] = {};  // QO, QH, QIO, QIH
  LINEADDRESSSTATUS* queueStatus[4] = {};
  uint32_t lineDeviceIdBase = 0;
  uint32_t* featuresUsed = nullptr;  // entries of the feature table in use (in and out)
  uint32_t* specialsUsed = nullptr;  // entries of the special table in use (in and out)
};

// Runs the download: 1 success, 0 failure (the caller then releases the device model).
int DownloadGroupData(const GroupDownloadContext& context);
// Frees a queue line's group table, member maps and member list.
void ReleaseGroupData(LineDevice& line, LINEADDRESSSTATUS* status);
// The member list of a queue line's address status (count entries), or null.
const MemberEntry* MemberList(const LINEADDRESSSTATUS* status, uint32_t* count);

}  // namespace qrvn::provider
