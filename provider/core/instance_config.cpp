// Reading an instance's registry configuration.
#include "provider/core/instance_config.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"

namespace qrvn::provider {
namespace {

using platform::RegResult;

// A value that is missing, or stored with another type, takes its default; false when the
// registry itself cannot be read.
bool Dword(const platform::RegistryKey& key, std::string_view name, uint32_t fallback,
           uint32_t& out, bool* present = nullptr) {
  uint32_t value = 0;
  RegResult result = key.QueryDword(name, value);
  if (present != nullptr) *present = result == RegResult::Ok;
  if (result == RegResult::Ok) {
    out = value;
    return true;
  }
  out = fallback;
  return result == RegResult::NotFound || result == RegResult::WrongType;
}

bool Text(const platform::RegistryKey& key, std::string_view name, size_t maxBytes,
          std::string& out) {
  std::string value;
  RegResult result = key.QueryString(name, value);
  if (result == RegResult::Ok) {
    // The value is read into a buffer of maxBytes with its terminator.
    if (value.size() >= maxBytes) value.resize(maxBytes - 1);
    out = value;
    return true;
  }
  return result == RegResult::NotFound || result == RegResult::WrongType;
}

bool MsgWaitCallback(const platform::RegistryKey& key, std::array<uint8_t, 8>& out) {
  out.fill(0);
  std::vector<uint8_t> bytes;
  RegResult result = key.QueryBinary("MSGWAITCALLBACK", bytes);
  if (result == RegResult::Ok) {
    std::memcpy(out.data(), bytes.data(), std::min(bytes.size(), out.size()));
    return true;
  }
  return result == RegResult::NotFound || result == RegResult::WrongType;
}

uint32_t ClampUseExtVersion(uint32_t value) {
  return value < 0x10002 ? 0x10000 : value;
}

}  // namespace

std::string ProviderKeyName(uint32_t permanentProviderId) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", permanentProviderId);
  return std::string(kProviderKeyBase) + hex;
}

uint32_t ClampPbxType(uint32_t value) {
  return value == 0 || value > 2 ? 1 : value;
}

void ReadInitValues(uint32_t permanentProviderId, InstanceConfig& config) {
  config.pbxType = 1;
  config.useExtVersion = 0x10002;
  config.initMsgWait = 1;
  config.msgWaitCallback.fill(0);
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(ProviderKeyName(permanentProviderId), platform::RegAccess::Read,
                                  key) != RegResult::Ok) {
    return;
  }
  uint32_t value = 0;
  if (Dword(key, "PBXTYPE", 1, value)) config.pbxType = ClampPbxType(value);
  if (Dword(key, "USEEXTVERSION", 0x10002, value)) config.useExtVersion = ClampUseExtVersion(value);
  if (Dword(key, "INITMSGWAIT", 1, value)) config.initMsgWait = value;
  if (!MsgWaitCallback(key, config.msgWaitCallback)) config.msgWaitCallback.fill(0);
}

bool ReadInstanceConfig(uint32_t permanentProviderId, InstanceConfig& config) {
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(ProviderKeyName(permanentProviderId), platform::RegAccess::Read,
                                  key) != RegResult::Ok) {
    return false;
  }
  InstanceConfig c;
  uint32_t v = 0;
  bool ok = true;
  ok = ok && Dword(key, "PBXTYPE", 1, v);
  c.pbxType = ClampPbxType(v);
  ok = ok && Dword(key, "COMTYPE", 1, c.comType);
  bool portPresent = false;
  ok = ok && Dword(key, "COMPORTNO", 1, c.comPortNo, &portPresent);
  c.comPortNoZero = portPresent && c.comPortNo == 0;
  ok = ok && Dword(key, "COMSPEED", 9600, v);
  c.comSpeed = (v == 1200 || v == 2400 || v == 4800 || v == 9600 || v == 19200) ? v : 9600;
  ok = ok && Dword(key, "DEBUG", 0, c.debug);
  ok = ok && Dword(key, "INCOMINGACCOUNT", 1, c.incomingAccount);
  ok = ok && Dword(key, "DISAADDRESS", 0, c.disaAddress);
  ok = ok && Dword(key, "KEEPALIVETIME", 30, v);
  c.keepAliveTime = std::clamp<uint32_t>(v, 10, 3600);
  ok = ok && Dword(key, "FWDDNDDELEY", 0, v);
  c.fwdDndDelay = std::min<uint32_t>(v, 10000);
  ok = ok && Dword(key, "ACCINFODELEY", 1000, v);
  c.accInfoDelay = std::min<uint32_t>(v, 10000);
  ok = ok && Dword(key, "ACCINFOMAXSIZE", 500, v);
  c.accInfoMaxSize = std::clamp<uint32_t>(v, 500, 10000);
  c.accInfoFilePath = platform::SystemFolder();
  ok = ok && Text(key, "ACCINFOFILEPATH", 256, c.accInfoFilePath);
  ok = ok && Dword(key, "LOGFILESIZE", 4, v);
  c.logFileSize = std::clamp<uint32_t>(v, 1, 30) * 1000000u;
  ok = ok && Dword(key, "NACKTIMEOUT", 2000, v);
  c.nackTimeout = std::clamp<uint32_t>(v, 100, 60000);
  ok = ok && Dword(key, "NACKRETRY", 4, v);
  c.nackRetry = std::min<uint32_t>(v, 50);
  ok = ok && Dword(key, "TIMEOUTRETRY", 16, v);
  c.timeoutRetry = std::min<uint32_t>(v, 50);
  ok = ok && Dword(key, "TIMEOUT", 30000, c.timeout);
  ok = ok && Dword(key, "USEEXTVERSION", 0x10002, v);
  c.useExtVersion = ClampUseExtVersion(v);
  ok = ok && Dword(key, "INITMSGWAIT", 1, c.initMsgWait);
  ok = ok && MsgWaitCallback(key, c.msgWaitCallback);
  if (!ok) return false;
  config = c;
  return true;
}

}  // namespace qrvn::provider
