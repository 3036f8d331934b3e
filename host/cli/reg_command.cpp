// `qrvn reg`: the registry command with the syntax and output of the Windows reg tool.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "host/cli/cli.h"
#include "platform/registry.h"

namespace qrvn::cli {
namespace {

using platform::RegAccess;
using platform::RegistryKey;
using platform::RegResult;
using platform::RegType;
using platform::RegValue;

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kDone = "The operation completed successfully.";
constexpr std::string_view kCanceled = "The operation was canceled by the user.";

constexpr std::string_view kUsage =
    "Usage:\n"
    "  qrvn reg query KEY [/v NAME | /ve] [/s]\n"
    "  qrvn reg add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD|REG_BINARY] [/d DATA] [/f]\n"
    "  qrvn reg delete KEY [/v NAME | /ve] [/f]\n"
    "  qrvn reg import FILE\n"
    "  qrvn reg export KEY FILE [/y]\n"
    "\n"
    "KEY is HKLM\\SUBKEY or HKEY_LOCAL_MACHINE\\SUBKEY. REG_DWORD data is decimal or 0x hex,\n"
    "REG_BINARY data is hex digits (\"31323334\"). /f and /y answer Yes to every question.\n";

// Why a command failed: one line for standard error.
struct Failure {
  std::string message;
};

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool HasPrefixNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == Lower(prefix);
}

// The parsed command line of one reg operation.
struct Options {
  std::vector<std::string> positional;
  std::optional<std::string> valueName;  // /v NAME, or "" for /ve
  std::optional<std::string> type;       // /t
  std::optional<std::string> data;       // /d
  bool force = false;                    // /f or /y
  bool recurse = false;                  // /s
  bool help = false;                     // /?
};

// Splits switches (/x or -x, any case) from positional arguments. Anything that is not a
// known switch is positional, so that a file path like /tmp/a.reg is not taken for one.
std::optional<Failure> ParseOptions(std::span<const std::string> args, Options& options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string name =
        arg.size() > 1 && (arg[0] == '/' || arg[0] == '-') ? Lower(arg.substr(1)) : "";
    auto next = [&](std::optional<std::string>& into) -> std::optional<Failure> {
      if (i + 1 == args.size()) return Failure{"option " + arg + " needs an argument"};
      if (into) return Failure{"option " + arg + " is given twice"};
      into = args[++i];
      return std::nullopt;
    };
    std::optional<Failure> failure;
    if (name == "v") {
      failure = next(options.valueName);
    } else if (name == "ve") {
      if (options.valueName) return Failure{"give only one of /v and /ve"};
      options.valueName = "";
    } else if (name == "t") {
      failure = next(options.type);
    } else if (name == "d") {
      failure = next(options.data);
    } else if (name == "f" || name == "y") {
      options.force = true;
    } else if (name == "s") {
      options.recurse = true;
    } else if (name == "?" || name == "h" || name == "-help") {
      options.help = true;
    } else {
      options.positional.push_back(arg);
    }
    if (failure) return failure;
  }
  return std::nullopt;
}

// A KEY argument: "HKLM\..." or "HKEY_LOCAL_MACHINE\..." -> the path below the hive.
std::optional<Failure> ParseKey(const std::string& key, std::string& path) {
  if (key.starts_with("\\\\")) return Failure{"remote registries are not supported"};
  std::string_view first = std::string_view(key).substr(0, key.find('\\'));
  std::string hive = Lower(first);
  if (hive != "hklm" && hive != "hkey_local_machine") {
    if (hive.starts_with("hk")) {
      return Failure{"only the HKEY_LOCAL_MACHINE (HKLM) hive is available, not " +
                     std::string(first)};
    }
    return Failure{"invalid key name \"" + key +
                   "\": start it with HKLM\\ or HKEY_LOCAL_MACHINE\\"};
  }
  path = key.substr(first.size());
  if (!path.empty()) path.erase(0, 1);
  if (!path.empty() && path.back() == '\\') path.pop_back();
  if (path.find("\\\\") != std::string::npos || path.starts_with("\\")) {
    return Failure{"invalid key name \"" + key + "\": empty subkey name"};
  }
  for (char c : path) {
    if (static_cast<unsigned char>(c) < 0x20) {
      return Failure{"invalid key name \"" + key + "\": control character"};
    }
  }
  return std::nullopt;
}

std::string DisplayPath(const std::string& path) {
  return path.empty() ? std::string(kRoot) : std::string(kRoot) + "\\" + path;
}

std::string DisplayName(const std::string& name) {
  return name.empty() ? "(Default)" : name;
}

std::string ResultMessage(RegResult result) {
  switch (result) {
    case RegResult::Ok:
      return "";
    case RegResult::NotFound:
      return "the system was unable to find the specified registry key or value";
    case RegResult::WrongType:
      return "the value has another type";
    case RegResult::AccessDenied:
      return "access is denied";
    case RegResult::BadFile:
    case RegResult::IoError:
      return platform::RegistryLastError();
  }
  return "unknown registry error";
}

std::optional<Failure> Check(RegResult result) {
  if (result == RegResult::Ok) return std::nullopt;
  return Failure{ResultMessage(result)};
}

// Asks a Yes/No question on the command's input; anything but yes (or end of input) is No.
bool Confirm(CommandIo& io, const std::string& question) {
  io.out << question << " (Yes/No)? " << std::flush;
  std::string answer;
  if (!std::getline(io.in, answer)) {
    io.out << "\n";
    return false;
  }
  while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
  std::string lower = Lower(answer);
  return lower == "y" || lower == "yes";
}

std::string TypeName(RegType type) {
  switch (type) {
    case RegType::String:
      return "REG_SZ";
    case RegType::Dword:
      return "REG_DWORD";
    case RegType::Binary:
      return "REG_BINARY";
  }
  return "REG_NONE";
}

std::string DataText(const RegValue& value) {
  char buffer[16];
  switch (value.type) {
    case RegType::String:
      return value.text;
    case RegType::Dword:
      std::snprintf(buffer, sizeof buffer, "0x%x", static_cast<unsigned>(value.dword));
      return buffer;
    case RegType::Binary: {
      std::string text;
      for (uint8_t byte : value.bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X", byte);
        text += buffer;
      }
      return text;
    }
  }
  return "";
}

void PrintValue(CommandIo& io, const std::string& name, const RegValue& value) {
  io.out << "    " << DisplayName(name) << "    " << TypeName(value.type) << "    "
         << DataText(value) << "\n";
}

std::optional<Failure> ParseData(const std::string& typeName, const std::string* data,
                                 RegValue& value) {
  std::string type = Lower(typeName);
  if (type == "reg_sz") {
    value.type = RegType::String;
    value.text = data != nullptr ? *data : "";
  } else if (type == "reg_dword") {
    value.type = RegType::Dword;
    if (data == nullptr) return Failure{"REG_DWORD needs data (/d NUMBER)"};
    bool hex = HasPrefixNoCase(*data, "0x");
    std::string_view digits = std::string_view(*data).substr(hex ? 2 : 0);
    uint64_t number = 0;
    bool good = !digits.empty() && digits.size() <= 10;
    for (char c : digits) {
      int d = c >= '0' && c <= '9' ? c - '0' : -1;
      if (hex && d < 0 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      if (hex && d < 0 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
      if (d < 0) good = false;
      number = number * (hex ? 16 : 10) + static_cast<uint64_t>(d < 0 ? 0 : d);
    }
    if (!good || number > 0xffffffffULL) {
      return Failure{"invalid REG_DWORD data \"" + *data +
                     "\": give a number from 0 to 4294967295, decimal or 0x hex"};
    }
    value.dword = static_cast<uint32_t>(number);
  } else if (type == "reg_binary") {
    value.type = RegType::Binary;
    std::string digits = data != nullptr ? *data : "";
    auto hexValue = [](char c) {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    bool good = digits.size() % 2 == 0;
    for (size_t i = 0; good && i < digits.size(); i += 2) {
      int high = hexValue(digits[i]);
      int low = hexValue(digits[i + 1]);
      good = high >= 0 && low >= 0;
      value.bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    if (!good) {
      return Failure{"invalid REG_BINARY data \"" + digits +
                     "\": give an even number of hex digits, like 31323334"};
    }
  } else {
    return Failure{"unsupported value type \"" + typeName +
                   "\": use REG_SZ, REG_DWORD or REG_BINARY"};
  }
  return std::nullopt;
}

std::optional<Failure> ExpectPositional(const Options& options, size_t count,
                                        std::string_view what) {
  if (options.positional.size() < count) return Failure{"missing " + std::string(what)};
  if (options.positional.size() > count) {
    return Failure{"unexpected argument \"" + options.positional[count] + "\""};
  }
  return std::nullopt;
}

// Prints one key's values, then either its subkeys' blocks (/s) or their names.
std::optional<Failure> QueryKey(CommandIo& io, const std::string& path, bool recurse) {
  RegistryKey key;
  if (auto failure = Check(RegistryKey::Open(path, RegAccess::Read, key))) return failure;
  std::vector<std::string> names;
  std::vector<std::string> subkeys;
  if (auto failure = Check(key.ValueNames(names))) return failure;
  if (auto failure = Check(key.SubKeyNames(subkeys))) return failure;
  io.out << "\n" << DisplayPath(path) << "\n";
  for (const std::string& name : names) {
    RegValue value;
    if (auto failure = Check(key.Query(name, value))) return failure;
    PrintValue(io, name, value);
  }
  if (recurse) {
    for (const std::string& sub : subkeys) {
      std::string subPath = path;
      if (!subPath.empty()) subPath += '\\';
      subPath += sub;
      if (auto failure = QueryKey(io, subPath, true)) {
        return failure;
      }
    }
    return std::nullopt;
  }
  if (!subkeys.empty()) io.out << "\n";
  for (const std::string& sub : subkeys) io.out << DisplayPath(path) << "\\" << sub << "\n";
  return std::nullopt;
}

std::optional<Failure> Query(const Options& options, CommandIo& io) {
  if (auto failure = ExpectPositional(options, 1, "KEY")) return failure;
  if (options.type || options.data) return Failure{"/t and /d belong to reg add"};
  std::string path;
  if (auto failure = ParseKey(options.positional[0], path)) return failure;
  if (!options.valueName) return QueryKey(io, path, options.recurse);
  RegistryKey key;
  if (auto failure = Check(RegistryKey::Open(path, RegAccess::Read, key))) return failure;
  RegValue value;
  if (auto failure = Check(key.Query(*options.valueName, value))) return failure;
  io.out << "\n" << DisplayPath(path) << "\n";
  PrintValue(io, *options.valueName, value);
  io.out << "\n";
  return std::nullopt;
}

// The shortest prefix of path that does not exist yet ("" when the key exists).
std::optional<Failure> FirstMissingKey(const std::string& path, std::string& missing) {
  missing.clear();
  for (size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
    std::string prefix = path.substr(0, end);
    RegistryKey key;
    RegResult result = RegistryKey::Open(prefix, RegAccess::Read, key);
    if (result == RegResult::NotFound) {
      missing = prefix;
      return std::nullopt;
    }
    if (auto failure = Check(result)) return failure;
    if (end == std::string::npos) return std::nullopt;
  }
}

std::optional<Failure> Add(const Options& options, CommandIo& io, bool& canceled) {
  if (auto failure = ExpectPositional(options, 1, "KEY")) return failure;
  std::string path;
  if (auto failure = ParseKey(options.positional[0], path)) return failure;
  if (!options.valueName) {
    if (options.type || options.data) return Failure{"name the value with /v NAME or /ve"};
    RegistryKey key;
    if (auto failure = Check(RegistryKey::Create(path, key))) return failure;
    io.out << kDone << "\n";
    return std::nullopt;
  }
  if (path.empty()) return Failure{"HKEY_LOCAL_MACHINE itself holds no values; name a subkey"};
  RegValue value;
  const std::string* data = options.data ? &*options.data : nullptr;
  if (auto failure = ParseData(options.type.value_or("REG_SZ"), data, value)) return failure;
  const std::string& name = *options.valueName;
  if (!options.force) {
    RegistryKey existing;
    RegResult opened = RegistryKey::Open(path, RegAccess::Read, existing);
    RegValue old;
    RegResult found = opened == RegResult::Ok ? existing.Query(name, old) : opened;
    if (found != RegResult::Ok && found != RegResult::NotFound) return Check(found);
    if (found == RegResult::Ok &&
        !Confirm(io, "Value " + DisplayName(name) + " exists, overwrite")) {
      canceled = true;
      return std::nullopt;
    }
  }
  // Creating the key and setting the value are two changes: a failed set takes back the keys
  // this command created, so that a failed command leaves the registry as it was.
  std::string firstCreated;
  if (auto failure = FirstMissingKey(path, firstCreated)) return failure;
  RegistryKey key;
  if (auto failure = Check(RegistryKey::Create(path, key))) return failure;
  if (auto failure = Check(key.Set(name, value))) {
    if (!firstCreated.empty()) platform::DeleteRegistryKey(firstCreated);
    return failure;
  }
  io.out << kDone << "\n";
  return std::nullopt;
}

std::optional<Failure> Delete(const Options& options, CommandIo& io, bool& canceled) {
  if (auto failure = ExpectPositional(options, 1, "KEY")) return failure;
  if (options.type || options.data) return Failure{"/t and /d belong to reg add"};
  std::string path;
  if (auto failure = ParseKey(options.positional[0], path)) return failure;
  RegistryKey key;
  if (auto failure = Check(RegistryKey::Open(path, RegAccess::Write, key))) return failure;
  if (options.valueName) {
    const std::string& name = *options.valueName;
    RegValue old;
    if (auto failure = Check(key.Query(name, old))) return failure;
    if (!options.force && !Confirm(io, "Delete the registry value " + DisplayName(name))) {
      canceled = true;
      return std::nullopt;
    }
    if (auto failure = Check(key.DeleteValue(name))) return failure;
  } else {
    if (path.empty()) return Failure{"HKEY_LOCAL_MACHINE itself cannot be deleted"};
    if (!options.force &&
        !Confirm(io, "Permanently delete the registry key " + DisplayPath(path))) {
      canceled = true;
      return std::nullopt;
    }
    if (auto failure = Check(platform::DeleteRegistryKey(path))) return failure;
  }
  io.out << kDone << "\n";
  return std::nullopt;
}

std::optional<Failure> Import(const Options& options, CommandIo& io) {
  if (auto failure = ExpectPositional(options, 1, "FILE")) return failure;
  const std::string& file = options.positional[0];
  std::ifstream in(file, std::ios::binary);
  if (!in) return Failure{"cannot open " + file};
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return Failure{"cannot read " + file};
  if (auto failure = Check(platform::ImportRegistryText(text.str(), file))) return failure;
  io.out << kDone << "\n";
  return std::nullopt;
}

std::optional<Failure> Export(const Options& options, CommandIo& io, bool& canceled) {
  if (auto failure = ExpectPositional(options, 2, "KEY and FILE")) return failure;
  std::string path;
  if (auto failure = ParseKey(options.positional[0], path)) return failure;
  const std::string& file = options.positional[1];
  std::string text;
  if (auto failure = Check(platform::ExportRegistryKey(path, text))) return failure;
  if (!options.force && std::ifstream(file).good() &&
      !Confirm(io, "File " + file + " already exists. Overwrite")) {
    canceled = true;
    return std::nullopt;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) return Failure{"cannot write " + file};
  io.out << kDone << "\n";
  return std::nullopt;
}

}  // namespace

int RunRegCommand(std::span<const std::string> args, CommandIo& io) {
  Options options;
  std::optional<Failure> failure = ParseOptions(args.empty() ? args : args.subspan(1), options);
  std::string operation = args.empty() ? "" : Lower(args.front());
  if (operation == "/?" || operation == "-?" || operation == "--help" || operation == "-h" ||
      (options.help && !failure)) {
    io.out << kUsage;
    return 0;
  }
  bool canceled = false;
  if (!failure) {
    if (operation == "query") {
      failure = Query(options, io);
    } else if (operation == "add") {
      failure = Add(options, io, canceled);
    } else if (operation == "delete") {
      failure = Delete(options, io, canceled);
    } else if (operation == "import") {
      failure = Import(options, io);
    } else if (operation == "export") {
      failure = Export(options, io, canceled);
    } else if (operation.empty()) {
      failure = Failure{"missing operation: query, add, delete, import or export (qrvn reg /?)"};
    } else {
      failure = Failure{"unknown operation \"" + args.front() +
                        "\": use query, add, delete, import or export"};
    }
  }
  if (failure) {
    io.err << "ERROR: " << failure->message << "\n";
    return 1;
  }
  if (canceled) {
    io.out << kCanceled << "\n";
    return 1;
  }
  return 0;
}

}  // namespace qrvn::cli
