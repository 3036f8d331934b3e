// The registry configuration of one provider instance, with its defaults and clamping.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qrvn::provider {

// The root of every instance's key; the permanent provider ID follows in 8 hex digits.
inline constexpr const char* kProviderKeyBase = "SOFTWARE\\Tervolin\\VN2448\\PBX";
// Line devices reported when neither a running instance nor LINEENUMDEV knows better.
inline constexpr uint32_t kDefaultLineCount = 236;

// The registry key of a provider instance ("...\\PBX0000001a" for provider ID 0x1A).
std::string ProviderKeyName(uint32_t permanentProviderId);

// Every configuration value an instance reads at start, after defaults and clamping.
struct InstanceConfig {
  uint32_t pbxType = 1;
  uint32_t comType = 1;
  uint32_t comPortNo = 1;
  bool comPortNoZero = false;  // COMPORTNO present with the value 0: start-up must fail
  uint32_t comSpeed = 9600;
  uint32_t debug = 0;
  uint32_t incomingAccount = 1;
  uint32_t disaAddress = 0;
  uint32_t keepAliveTime = 30;
  uint32_t fwdDndDelay = 0;
  uint32_t accInfoDelay = 1000;
  uint32_t accInfoMaxSize = 500;
  std::string accInfoFilePath;     // the system folder unless configured
  uint32_t logFileSize = 4000000;  // bytes
  uint32_t nackTimeout = 2000;
  uint32_t nackRetry = 4;
  uint32_t timeoutRetry = 16;
  uint32_t timeout = 30000;
  uint32_t useExtVersion = 0x10002;
  uint32_t initMsgWait = 1;
  std::array<uint8_t, 8> msgWaitCallback{};
};

// The four values read at provider initialisation; defaults when the key does not open.
void ReadInitValues(uint32_t permanentProviderId, InstanceConfig& config);
// Reads the full set; false when the instance's key cannot be opened or read.
bool ReadInstanceConfig(uint32_t permanentProviderId, InstanceConfig& config);
// The configured PBX type with its rule (0 or above 2 read as 1).
uint32_t ClampPbxType(uint32_t value);

}  // namespace qrvn::provider
