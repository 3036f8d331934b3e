// The machine registry on a POSIX file system: registry.reg replaced atomically under a flock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/files.h"
#include "platform/posix/reg_text.h"
#include "platform/registry.h"

namespace qrvn::platform {
namespace {

constexpr const char* kFileName = "registry.reg";
constexpr const char* kLockName = "registry.lock";
constexpr const char* kTempName = "registry.reg.tmp";

thread_local std::string lastError;

RegResult Failed(RegResult result, std::string what) {
  lastError = std::move(what);
  return result;
}

RegResult IoFailure(const std::string& what) {
  return Failed(RegResult::IoError, what + ": " + std::strerror(errno));
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting whether close succeeded (it may report a late write error).
  bool Close() {
    int fd = std::exchange(fd_, -1);
    return fd < 0 || close(fd) == 0;
  }

 private:
  int fd_;
};

// Reads and parses registry.reg; a missing file is an empty registry.
RegResult Load(reg::Node& root) {
  root = reg::Node{};
  std::string path = RegistryFilePath();
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return RegResult::Ok;
    return IoFailure(path);
  }
  std::string text;
  char buffer[65536];
  while (true) {
    ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return IoFailure(path);
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  std::vector<reg::Section> sections;
  reg::ParseError error;
  if (!reg::ParseText(text, true, sections, error)) {
    return Failed(RegResult::BadFile,
                  std::string(kFileName) + ":" + std::to_string(error.line) + ": " + error.what);
  }
  reg::Apply(sections, root);
  return RegResult::Ok;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Replaces registry.reg by text: a complete temporary file, flushed, renamed over the old one.
// Called with the lock held, so the one temporary name is ours (a killed writer's leftover is
// simply truncated).
RegResult Store(const std::string& text) {
  std::string folder = RootFolder();
  std::string path = RegistryFilePath();
  std::string temp = folder + "/" + kTempName;
  Fd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd.get() < 0) return IoFailure(temp);
  struct stat old {};
  if (stat(path.c_str(), &old) == 0) fchmod(fd.get(), old.st_mode & 07777);
  if (!WriteAll(fd.get(), text) || fsync(fd.get()) != 0 || !fd.Close()) {
    RegResult result = IoFailure(temp);
    unlink(temp.c_str());
    return result;
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    RegResult result = IoFailure(path);
    unlink(temp.c_str());
    return result;
  }
  // Make the rename itself durable; the new file is already complete either way.
  Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) fsync(dir.get());
  return RegResult::Ok;
}

// The exclusive lock every change holds from its re-read to its rename; released on
// destruction (and by the kernel when a writer dies).
class ChangeLock {
 public:
  ChangeLock() = default;
  ~ChangeLock() {
    if (fd_ >= 0) close(fd_);
  }
  ChangeLock(const ChangeLock&) = delete;
  ChangeLock& operator=(const ChangeLock&) = delete;

  RegResult Acquire() {
    std::string folder = RootFolder();
    if (!CreateFolders(folder)) return IoFailure(folder);
    std::string path = folder + "/" + kLockName;
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return IoFailure(path);
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) return IoFailure(path);
    }
    return RegResult::Ok;
  }

 private:
  int fd_ = -1;
};

// One change: lock, re-read, apply, and store when change() reports that it changed something.
template <typename Change>
RegResult Modify(Change&& change) {
  ChangeLock lock;
  RegResult result = lock.Acquire();
  if (result != RegResult::Ok) return result;
  reg::Node root;
  result = Load(root);
  if (result != RegResult::Ok) return result;
  bool changed = false;
  result = change(root, changed);
  if (result != RegResult::Ok || !changed) return result;
  return Store(reg::WriteText(root));
}

// Reads the registry and finds a key; NotFound when the path names none.
RegResult LoadKey(std::string_view path, reg::Node& root, const reg::Node*& key) {
  std::vector<std::string> components;
  if (!reg::SplitKeyPath(path, false, components)) return RegResult::NotFound;
  RegResult result = Load(root);
  if (result != RegResult::Ok) return result;
  key = reg::Find(root, components);
  return key != nullptr ? RegResult::Ok : RegResult::NotFound;
}

}  // namespace

RegResult RegistryKey::Open(std::string_view path, RegAccess access, RegistryKey& key) {
  reg::Node root;
  const reg::Node* node = nullptr;
  RegResult result = LoadKey(path, root, node);
  if (result != RegResult::Ok) return result;
  key.path_ = std::string(path);
  key.access_ = access;
  return RegResult::Ok;
}

RegResult RegistryKey::Create(std::string_view path, RegistryKey& key) {
  std::vector<std::string> components;
  if (!reg::SplitKeyPath(path, false, components)) return RegResult::NotFound;
  RegResult result = Modify([&](reg::Node& root, bool& changed) {
    changed = reg::Find(root, components) == nullptr;
    reg::FindOrCreate(root, components);
    return RegResult::Ok;
  });
  if (result != RegResult::Ok) return result;
  key.path_ = std::string(path);
  key.access_ = RegAccess::Write;
  return RegResult::Ok;
}

RegResult RegistryKey::Query(std::string_view name, RegValue& value) const {
  reg::Node root;
  const reg::Node* node = nullptr;
  RegResult result = LoadKey(path_, root, node);
  if (result != RegResult::Ok) return result;
  const reg::Entry* entry = reg::FindValue(*node, name);
  if (entry == nullptr) return RegResult::NotFound;
  value = entry->value;
  return RegResult::Ok;
}

RegResult RegistryKey::QueryDword(std::string_view name, uint32_t& value) const {
  RegValue v;
  RegResult result = Query(name, v);
  if (result != RegResult::Ok) return result;
  if (v.type != RegType::Dword) return RegResult::WrongType;
  value = v.dword;
  return RegResult::Ok;
}

RegResult RegistryKey::QueryString(std::string_view name, std::string& value) const {
  RegValue v;
  RegResult result = Query(name, v);
  if (result != RegResult::Ok) return result;
  if (v.type != RegType::String) return RegResult::WrongType;
  value = std::move(v.text);
  return RegResult::Ok;
}

RegResult RegistryKey::QueryBinary(std::string_view name, std::vector<uint8_t>& value) const {
  RegValue v;
  RegResult result = Query(name, v);
  if (result != RegResult::Ok) return result;
  if (v.type != RegType::Binary) return RegResult::WrongType;
  value = std::move(v.bytes);
  return RegResult::Ok;
}

RegResult RegistryKey::Set(std::string_view name, const RegValue& value) {
  if (access_ != RegAccess::Write) return RegResult::AccessDenied;
  std::vector<std::string> components;
  if (!reg::SplitKeyPath(path_, false, components)) return RegResult::NotFound;
  if (components.empty()) return RegResult::AccessDenied;  // HKEY_LOCAL_MACHINE holds no values
  // Keep only the fields of the value's type, so what is stored is what a query returns.
  RegValue stored;
  stored.type = value.type;
  if (value.type == RegType::Dword) stored.dword = value.dword;
  if (value.type == RegType::String) stored.text = value.text;
  if (value.type == RegType::Binary) stored.bytes = value.bytes;
  return Modify([&](reg::Node& root, bool& changed) {
    reg::Node* node = reg::Find(root, components);
    if (node == nullptr) return RegResult::NotFound;
    reg::SetValue(*node, name, stored);
    changed = true;
    return RegResult::Ok;
  });
}

RegResult RegistryKey::SetDword(std::string_view name, uint32_t value) {
  RegValue v;
  v.type = RegType::Dword;
  v.dword = value;
  return Set(name, v);
}

RegResult RegistryKey::SetString(std::string_view name, std::string_view value) {
  RegValue v;
  v.type = RegType::String;
  v.text = std::string(value);
  return Set(name, v);
}

RegResult RegistryKey::SetBinary(std::string_view name, std::span<const uint8_t> value) {
  RegValue v;
  v.type = RegType::Binary;
  v.bytes.assign(value.begin(), value.end());
  return Set(name, v);
}

RegResult RegistryKey::DeleteValue(std::string_view name) {
  if (access_ != RegAccess::Write) return RegResult::AccessDenied;
  std::vector<std::string> components;
  if (!reg::SplitKeyPath(path_, false, components)) return RegResult::NotFound;
  return Modify([&](reg::Node& root, bool& changed) {
    reg::Node* node = reg::Find(root, components);
    if (node == nullptr || !reg::RemoveValue(*node, name)) return RegResult::NotFound;
    changed = true;
    return RegResult::Ok;
  });
}

RegResult RegistryKey::ValueNames(std::vector<std::string>& names) const {
  reg::Node root;
  const reg::Node* node = nullptr;
  RegResult result = LoadKey(path_, root, node);
  if (result != RegResult::Ok) return result;
  names.clear();
  for (const reg::Entry& entry : node->values) names.push_back(entry.name);
  return RegResult::Ok;
}

RegResult RegistryKey::SubKeyNames(std::vector<std::string>& names) const {
  reg::Node root;
  const reg::Node* node = nullptr;
  RegResult result = LoadKey(path_, root, node);
  if (result != RegResult::Ok) return result;
  names.clear();
  for (const reg::Node& sub : node->subkeys) names.push_back(sub.name);
  return RegResult::Ok;
}

RegResult DeleteRegistryKey(std::string_view path) {
  std::vector<std::string> components;
  if (!reg::SplitKeyPath(path, false, components)) return RegResult::NotFound;
  if (components.empty()) return RegResult::AccessDenied;
  return Modify([&](reg::Node& root, bool& changed) {
    changed = reg::Remove(root, components);
    return changed ? RegResult::Ok : RegResult::NotFound;
  });
}

RegResult ImportRegistryText(std::string_view text, std::string_view sourceName) {
  std::vector<reg::Section> sections;
  reg::ParseError error;
  if (!reg::ParseText(text, false, sections, error)) {
    return Failed(RegResult::BadFile,
                  std::string(sourceName) + ":" + std::to_string(error.line) + ": " + error.what);
  }
  return Modify([&](reg::Node& root, bool& changed) {
    reg::Apply(sections, root);
    changed = true;
    return RegResult::Ok;
  });
}

RegResult ExportRegistryKey(std::string_view path, std::string& text) {
  std::vector<std::string> components;
  if (!reg::SplitKeyPath(path, false, components)) return RegResult::NotFound;
  reg::Node root;
  RegResult result = Load(root);
  if (result != RegResult::Ok) return result;
  return reg::WriteSubtree(root, components, text) ? RegResult::Ok : RegResult::NotFound;
}

std::string RegistryFilePath() {
  return RootFolder() + "/" + kFileName;
}

std::string RegistryLastError() {
  return lastError;
}

}  // namespace qrvn::platform
