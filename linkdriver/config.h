// A link's configuration, read from its provider's registry key.
#pragma once

#include <cstdint>
#include <string>

namespace qrvn::linkdriver {

struct LinkConfig {
  uint32_t comPort = 1;
  uint32_t baud = 9600;
  uint32_t debug = 0;
  uint32_t timeoutMs = 30000;
  uint32_t nackTimeoutMs = 2000;
  uint32_t nackRetry = 4;
  uint32_t timeoutRetry = 16;
  uint32_t logFileSize = 4;  // millions of bytes
};

// The registry key of a provider instance ("SOFTWARE\Tervolin\VN2448\PBX" + 8 hex digits).
std::string ProviderKeyPath(uint32_t permanentProviderId);
// Brings values into their allowed ranges (port 1..16, the five speeds, time-out and retry
// bounds, log size 1..30).
LinkConfig ClampConfig(LinkConfig config);
// Reads and clamps the configuration of a provider; the defaults when the key is missing.
LinkConfig ReadLinkConfig(uint32_t permanentProviderId);

}  // namespace qrvn::linkdriver
