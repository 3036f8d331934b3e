// Byte layout of the link monitor area, shared by the driver that writes it and the
// programs that read it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qrvn::linkdriver::monitor {

inline constexpr const char* kAreaName = "TervolinWLTPBXMONITOR";
inline constexpr const char* kMutexName = "WLTBPXMNBeenStartedMutex";
inline constexpr size_t kAreaSize = 512;
// The part the creating process clears.
inline constexpr size_t kClearedBytes = 240;
inline constexpr uint32_t kFirstPort = 1;
inline constexpr uint32_t kLastPort = 16;

// 16-bit entries per COM port p (1..16), at base + 2p.
inline constexpr size_t kPortOpenBase = 70;
inline constexpr size_t kModemLinesBase = 102;
inline constexpr size_t kDsrBase = 134;
inline constexpr size_t kReceiveBase = 166;
inline constexpr size_t kSendBase = 198;
// 32-bit counters the provider supplies.
inline constexpr size_t kAllocCountOffset = 232;
inline constexpr size_t kQueCountOffset = 236;

// Offset of the 16-bit entry of port p in the column that starts at base.
constexpr size_t PortEntry(size_t base, uint32_t port) {
  return base + 2 * port;
}

}  // namespace qrvn::linkdriver::monitor
