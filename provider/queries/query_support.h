// Small pieces shared by the query entry points: result texts for the provider log, the
// extension version an instance offers, UTF-16 conversion with a unit limit, and the check of
// a caller's structure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tapi/tspi.h"

namespace qrvn::provider {

class CVN2448Driver;

// The highest TSPI version the provider speaks.
inline constexpr DWORD kProviderTspiVersion = 0x20001;

// The name of a LINEERR_ result ("LINEERR_NOMEM"), "0" for success, or x%x for others.
std::string ResultName(LONG result);
// Writes "<function> = <result>" to the provider log and returns the result.
LONG LogResult(const char* function, LONG result);
// The TAPI extension version an instance offers (fixed by its CTI version at start-up).
uint32_t ProviderExtVersion(CVN2448Driver& instance);
// Converts ANSI text to UTF-16 with its terminator; false when it does not convert or needs
// more than limitUnits units (terminator included).
bool ToUtf16Limited(std::string_view ansi, uint32_t limitUnits, std::u16string& out);
// Rounds a size up to a multiple of 4.
constexpr uint32_t Round4(uint32_t n) {
  return (n + 3) & ~uint32_t{3};
}
// True when a caller's structure can take at least its 12-byte head: not null and its own
// dwTotalSize covers the head.
bool HeadWritable(const void* structure);

}  // namespace qrvn::provider
