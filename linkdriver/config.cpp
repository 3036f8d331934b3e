#include "linkdriver/config.h"

#include <cstdio>

#include "platform/registry.h"

namespace qrvn::linkdriver {

std::string ProviderKeyPath(uint32_t permanentProviderId) {
  char id[9];
  std::snprintf(id, sizeof id, "%08x", permanentProviderId);
  return std::string("SOFTWARE\\Tervolin\\VN2448\\PBX") + id;
}

LinkConfig ClampConfig(LinkConfig c) {
  if (c.comPort == 0 || c.comPort > 16) c.comPort = 1;
  switch (c.baud) {
    case 1200:
    case 2400:
    case 4800:
    case 9600:
    case 19200:
      break;
    default:
      c.baud = 9600;
  }
  if (c.nackTimeoutMs < 100) c.nackTimeoutMs = 100;
  if (c.nackTimeoutMs > 60000) c.nackTimeoutMs = 60000;
  if (c.nackRetry > 50) c.nackRetry = 50;
  if (c.timeoutRetry > 50) c.timeoutRetry = 50;
  if (c.logFileSize == 0) c.logFileSize = 1;
  if (c.logFileSize > 30) c.logFileSize = 30;
  return c;
}

LinkConfig ReadLinkConfig(uint32_t permanentProviderId) {
  LinkConfig c;
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(ProviderKeyPath(permanentProviderId), platform::RegAccess::Read,
                                  key) != platform::RegResult::Ok) {
    return c;
  }
  auto read = [&key](const char* name, uint32_t& field) {
    uint32_t value = 0;
    if (key.QueryDword(name, value) == platform::RegResult::Ok) field = value;
  };
  read("COMPORTNO", c.comPort);
  read("COMSPEED", c.baud);
  read("DEBUG", c.debug);
  read("TIMEOUT", c.timeoutMs);
  read("NACKTIMEOUT", c.nackTimeoutMs);
  read("NACKRETRY", c.nackRetry);
  read("TIMEOUTRETRY", c.timeoutRetry);
  read("LOGFILESIZE", c.logFileSize);
  return ClampConfig(c);
}

}  // namespace qrvn::linkdriver
