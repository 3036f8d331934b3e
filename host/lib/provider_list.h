// The list of installed telephony service providers, kept in the registry the way the
// Windows telephony service keeps it: NumProviders, NextProviderID and the contiguous pairs
// ProviderIDn / ProviderFilenamen under kProvidersKey.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace qrvn::host {

inline constexpr const char* kProvidersKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Providers";

struct ProviderEntry {
  uint32_t permanentId = 0;
  std::string fileName;  // the module, e.g. "qrvntapi.tsp"
};

// Reads the installed providers in their order; an absent list is an empty one.
platform::RegResult ReadProviderList(std::vector<ProviderEntry>& providers);
// Appends a provider with the next permanent provider ID (returned in permanentId).
platform::RegResult AddProvider(const std::string& fileName, uint32_t& permanentId);
// Removes a provider and closes the gap so that the numbering stays contiguous.
platform::RegResult RemoveProvider(uint32_t permanentId);

}  // namespace qrvn::host
