// Folders of the machine's state and files opened by one writer at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qrvn::platform {

// $QRVN_ROOT, or /var/lib/qrvn when unset (not created).
std::string RootFolder();
// $QRVN_ROOT/system, where logs and the default queue file live; created on demand.
std::string SystemFolder();
// Creates a folder and its missing parents; true when it exists afterwards.
bool CreateFolders(const std::string& path);
// The real path of the running program's executable file; empty when it cannot be told.
std::string RunningExecutablePath();

enum class FileDisposition {
  OpenExisting,  // fail when missing
  OpenAlways,    // create when missing, keep the contents
  CreateAlways,  // create or truncate
};

// A file held by one writer: opening fails at once while another writer (any process, or
// another ExclusiveFile of this one) holds it. Closed on destruction.
class ExclusiveFile {
 public:
  // Opens path for reading and writing; nullptr when missing, held elsewhere or not openable.
  static std::unique_ptr<ExclusiveFile> Open(const std::string& path, FileDisposition disposition);
  ~ExclusiveFile();
  ExclusiveFile(const ExclusiveFile&) = delete;
  ExclusiveFile& operator=(const ExclusiveFile&) = delete;

  // Reads up to size bytes at offset; the count read, or -1 on error.
  int64_t ReadAt(uint64_t offset, void* buffer, size_t size);
  // Writes size bytes at offset; false unless all were written.
  bool WriteAt(uint64_t offset, const void* data, size_t size);
  // The file's size, or -1 on error.
  int64_t Size();
  // Cuts or extends the file to size bytes.
  bool Truncate(uint64_t size);
  // Pushes written data to the device.
  bool Flush();

 private:
  explicit ExclusiveFile(intptr_t handle) : handle_(handle) {}
  intptr_t handle_;
};

}  // namespace qrvn::platform
