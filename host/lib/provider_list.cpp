#include "host/lib/provider_list.h"

#include <algorithm>

namespace qrvn::host {
namespace {

using platform::RegAccess;
using platform::RegistryKey;
using platform::RegResult;

std::string IdName(size_t index) {
  return "ProviderID" + std::to_string(index);
}
std::string FileName(size_t index) {
  return "ProviderFilename" + std::to_string(index);
}

// Writes the whole list back: the pairs 0..n-1, then removes stale pairs past the end.
RegResult WriteList(RegistryKey& key, const std::vector<ProviderEntry>& providers,
                    size_t oldCount) {
  for (size_t i = 0; i < providers.size(); ++i) {
    if (RegResult r = key.SetDword(IdName(i), providers[i].permanentId); r != RegResult::Ok) {
      return r;
    }
    if (RegResult r = key.SetString(FileName(i), providers[i].fileName); r != RegResult::Ok) {
      return r;
    }
  }
  for (size_t i = providers.size(); i < oldCount; ++i) {
    key.DeleteValue(IdName(i));
    key.DeleteValue(FileName(i));
  }
  return key.SetDword("NumProviders", static_cast<uint32_t>(providers.size()));
}

}  // namespace

RegResult ReadProviderList(std::vector<ProviderEntry>& providers) {
  providers.clear();
  RegistryKey key;
  RegResult r = RegistryKey::Open(kProvidersKey, RegAccess::Read, key);
  if (r == RegResult::NotFound) return RegResult::Ok;
  if (r != RegResult::Ok) return r;
  uint32_t count = 0;
  r = key.QueryDword("NumProviders", count);
  if (r == RegResult::NotFound) return RegResult::Ok;
  if (r != RegResult::Ok) return r;
  for (uint32_t i = 0; i < count; ++i) {
    ProviderEntry entry;
    if (key.QueryDword(IdName(i), entry.permanentId) != RegResult::Ok ||
        key.QueryString(FileName(i), entry.fileName) != RegResult::Ok) {
      continue;  // a damaged pair is skipped, as the service skips a provider it cannot name
    }
    providers.push_back(entry);
  }
  return RegResult::Ok;
}

RegResult AddProvider(const std::string& fileName, uint32_t& permanentId) {
  std::vector<ProviderEntry> providers;
  if (RegResult r = ReadProviderList(providers); r != RegResult::Ok) return r;
  RegistryKey key;
  if (RegResult r = RegistryKey::Create(kProvidersKey, key); r != RegResult::Ok) return r;
  uint32_t next = 1;
  key.QueryDword("NextProviderID", next);
  // Never hand out an ID that is still in use, whatever NextProviderID says.
  for (const ProviderEntry& p : providers) next = std::max(next, p.permanentId + 1);
  permanentId = next;
  providers.push_back({next, fileName});
  if (RegResult r = key.SetDword("NextProviderID", next + 1); r != RegResult::Ok) return r;
  return WriteList(key, providers, providers.size());
}

RegResult RemoveProvider(uint32_t permanentId) {
  std::vector<ProviderEntry> providers;
  if (RegResult r = ReadProviderList(providers); r != RegResult::Ok) return r;
  const size_t oldCount = providers.size();
  std::erase_if(providers, [&](const ProviderEntry& p) { return p.permanentId == permanentId; });
  if (providers.size() == oldCount) return RegResult::NotFound;
  RegistryKey key;
  if (RegResult r = RegistryKey::Open(kProvidersKey, RegAccess::Write, key); r != RegResult::Ok) {
    return r;
  }
  return WriteList(key, providers, oldCount);
}

}  // namespace qrvn::host
