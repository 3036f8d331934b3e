// The initial contents of a line's four prepared TAPI blocks (LINEDEVCAPS, LINEDEVSTATUS,
// LINEADDRESSCAPS, LINEADDRESSSTATUS) for every kind of line, and the layout facts of those
// blocks that the query entry points read back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "provider/core/instance_parts.h"
#include "tapi/tapi.h"

namespace qrvn::provider {

// The rows of the per-kind value tables.
enum class LineClass {
  System,
  Queue,  // QO, QH, QIO, QIH
  Tr,
  Rm,
  Bv,
  Door,
  Disa,
  Paging,  // INPAGE, OUTPAGE
  Trunk,
  Extension,
  VoicePort,
  Other,  // a kind the model does not make; only the common values
};

// The instance values the initial blocks depend on.
struct InitialBlockValues {
  uint32_t pbxType = 1;
  uint32_t ctiVersion = 0x13000;
  uint32_t countryGroup = 0;
  std::string romVersion;
  // The SYSTEM line's device-specific counts, as left after the download.
  uint32_t doorPhones = 0;
  uint32_t disa = 0;
  uint32_t paging = 0;  // incoming plus outgoing
  uint32_t trunks = 0;
  uint32_t extensions = 0;
};

// Fixed places inside the prepared blocks.
inline constexpr uint32_t kCapsProviderInfoOffset = 252;
inline constexpr uint32_t kCapsSwitchInfoOffset = 312;
inline constexpr uint32_t kCapsLineNameOffset = 372;
inline constexpr uint32_t kCapsDevSpecificOffset = 432;
inline constexpr uint32_t kCapsTextRoom = 60;
inline constexpr uint32_t kCapsLineNameRoom = 58;
inline constexpr uint32_t kDevStatusDevSpecificOffset = 88;
inline constexpr uint32_t kAddressTextOffset = 228;
inline constexpr uint32_t kAddressTextRoom = 48;
inline constexpr uint32_t kAddressCapsDevSpecificOffset = 276;
inline constexpr uint32_t kCallTreatmentListOffset = 284;
inline constexpr uint32_t kCallTreatmentCount = 14;
inline constexpr uint32_t kAddressStatusForwardOffset = 64;
inline constexpr uint32_t kAddressStatusForwardRoom = 154;
inline constexpr uint32_t kAddressStatusAreaOffset = 220;
inline constexpr uint32_t kAddressStatusAreaSize = 636;

// Words of the extension's status area (the LINEADDRESSSTATUS device-specific area).
enum ExtensionStatusWord : uint32_t {
  kExtClassOfService = 0,
  kExtReminderTime = 1,
  kExtReminderRepeat = 3,
  kExtReminderResult = 6,  // 99999 while a reminder is set
  kExtNameSize = 7,
  kExtNameOffset = 8,
  kExtMessageWaitingCount = 10,
  kExtAttribute = 13,
  kExtFeature14 = 14,
  kExtMessageWaitingList = 31,  // pool serial number of the originator list (4 bytes each)
  kExtGroupCount = 32,
  kExtGroupSize = 33,
  kExtGroupList = 35,  // pool serial number of the group list (12-byte entries)
};
inline constexpr uint32_t kExtNameByte = 72;  // the name text inside the area
inline constexpr uint32_t kExtNameMaxChars = 51;
inline constexpr uint32_t kAccountingByte = 144;  // the 140-byte accounting form inside the area
inline constexpr uint32_t kAccountingFormSize = 140;
inline constexpr uint32_t kAccountingTexts = 12;
inline constexpr uint32_t kAccountingPairsByte = 44;  // twelve (size, offset) pairs, 8 bytes each
// Trunk status area: word 0 text size, word 1 text offset, word 2 trunk value, text at 32.
inline constexpr uint32_t kTrunkTextByte = 32;

// The row of the per-kind tables a line takes (by its model kind and device number).
LineClass ClassOf(const LineDevice& line);
// The device kind 0..13 of a PBX device number (the call-tracking classification).
uint32_t DeviceKindOf(uint32_t deviceNumber);
// The instance values of a running instance (its session's model and counts).
InitialBlockValues InitialValuesOf(CVN2448Driver& instance);
// Writes the initial values of every kind-dependent field of the line's four blocks. The
// blocks must be allocated and the line's kind, numbers, name, raw record and address text set.
void FillInitialLineBlocks(LineDevice& line, const InitialBlockValues& values);
// The same with the values of the line's running instance.
void FillInitialLineBlocks(LineDevice& line, CVN2448Driver& instance);

// Stores an address text (ANSI, at most 4 characters used) in the prepared LINEADDRESSCAPS.
void SetModelAddressText(LINEADDRESSCAPS& caps, std::string_view ansi);
// The ANSI address text of the prepared LINEADDRESSCAPS (empty when none).
std::string ModelAddressText(const LINEADDRESSCAPS& caps);
// Reads a 32-bit word of a block at a byte offset.
uint32_t BlockWord(const void* block, uint32_t byteOffset);
// Writes a 32-bit word of a block at a byte offset.
void SetBlockWord(void* block, uint32_t byteOffset, uint32_t value);

}  // namespace qrvn::provider
