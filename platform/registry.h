// The machine registry (HKEY_LOCAL_MACHINE), kept in $QRVN_ROOT/registry.reg.
// Key paths are below HKEY_LOCAL_MACHINE ("SOFTWARE\\Qrvn\\Ports"), case-insensitive; a
// leading "HKEY_LOCAL_MACHINE\\" or "HKLM\\" is accepted. A path naming another hive, or with an
// empty component or a control character, names no key (NotFound). Value names are
// case-insensitive; the empty name is the key's default value. Every query reads the last complete
// file; every change locks, re-reads, applies and replaces the file atomically.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrvn::platform {

enum class RegType : uint32_t { String = 1, Binary = 3, Dword = 4 };

struct RegValue {
  RegType type = RegType::String;
  uint32_t dword = 0;          // RegType::Dword
  std::string text;            // RegType::String, UTF-8
  std::vector<uint8_t> bytes;  // RegType::Binary
};

enum class RegResult {
  Ok,
  NotFound,      // key or value missing
  WrongType,     // the value exists with another type
  AccessDenied,  // a change through a key opened for reading
  BadFile,       // registry.reg does not parse; RegistryLastError() names the line
  IoError,       // the file or its lock could not be read or written
};

enum class RegAccess { Read, Write };

// An open key. Holds its path only: it never caches values.
class RegistryKey {
 public:
  RegistryKey() = default;
  // Opens an existing key.
  static RegResult Open(std::string_view path, RegAccess access, RegistryKey& key);
  // Opens a key for writing, creating it and its missing parents.
  static RegResult Create(std::string_view path, RegistryKey& key);

  // The key's path as it was opened, without the HKEY_LOCAL_MACHINE prefix.
  const std::string& Path() const { return path_; }

  // Reads one value of any type.
  RegResult Query(std::string_view name, RegValue& value) const;
  // Reads a REG_DWORD value.
  RegResult QueryDword(std::string_view name, uint32_t& value) const;
  // Reads a REG_SZ value.
  RegResult QueryString(std::string_view name, std::string& value) const;
  // Reads a REG_BINARY value.
  RegResult QueryBinary(std::string_view name, std::vector<uint8_t>& value) const;

  // Writes (creates or replaces) one value; HKEY_LOCAL_MACHINE itself holds none (AccessDenied).
  RegResult Set(std::string_view name, const RegValue& value);
  // Writes a REG_DWORD value.
  RegResult SetDword(std::string_view name, uint32_t value);
  // Writes a REG_SZ value.
  RegResult SetString(std::string_view name, std::string_view value);
  // Writes a REG_BINARY value.
  RegResult SetBinary(std::string_view name, std::span<const uint8_t> value);
  // Removes one value.
  RegResult DeleteValue(std::string_view name);

  // Names of the key's values, in file order.
  RegResult ValueNames(std::vector<std::string>& names) const;
  // Names of the key's direct subkeys.
  RegResult SubKeyNames(std::vector<std::string>& names) const;

 private:
  std::string path_;
  RegAccess access_ = RegAccess::Read;
};

// Removes a key with all its values and subkeys (not HKEY_LOCAL_MACHINE itself: AccessDenied).
RegResult DeleteRegistryKey(std::string_view path);
// Merges registry editor text ([key], [-key], "name"=data, "name"=-) in one atomic change.
// The text is parsed completely first: on a fault nothing changes, the result is BadFile and
// RegistryLastError() reads "<sourceName>:LINE: what".
RegResult ImportRegistryText(std::string_view text, std::string_view sourceName);
// A key and its subkeys as registry editor text; importing it into an empty registry
// reproduces it byte for byte as registry.reg.
RegResult ExportRegistryKey(std::string_view path, std::string& text);
// The path of the registry file ($QRVN_ROOT/registry.reg).
std::string RegistryFilePath();
// A one-line description of the calling thread's last BadFile or IoError ("registry.reg:12: ...").
std::string RegistryLastError();

}  // namespace qrvn::platform
