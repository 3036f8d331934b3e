// Folders of the machine's state and single-writer files on POSIX.
#include "platform/files.h"

#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

namespace qrvn::platform {

std::string RootFolder() {
  const char* root = std::getenv("QRVN_ROOT");
  if (root != nullptr && *root != '\0') return root;
  return "/var/lib/qrvn";
}

std::string SystemFolder() {
  std::string folder = RootFolder() + "/system";
  CreateFolders(folder);
  return folder;
}

bool CreateFolders(const std::string& path) {
  if (path.empty()) return false;
  // Walk the path one component at a time; a parent made by another process at the same
  // moment (EEXIST) is as good as one made here.
  for (size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
    std::string part = path.substr(0, pos);
    if (!part.empty() && mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    if (pos == std::string::npos) break;
  }
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::unique_ptr<ExclusiveFile> ExclusiveFile::Open(const std::string& path,
                                                   FileDisposition disposition) {
  int flags = O_RDWR | O_CLOEXEC;
  if (disposition != FileDisposition::OpenExisting) flags |= O_CREAT;
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return nullptr;
  // The lock belongs to this open file description, so a second open of the same file in
  // this process is refused just like one from another process.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return nullptr;
  }
  // Truncate only once the file is ours: O_TRUNC would cut a file another writer holds.
  if (disposition == FileDisposition::CreateAlways && ftruncate(fd, 0) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<ExclusiveFile>(new ExclusiveFile(fd));
}

ExclusiveFile::~ExclusiveFile() {
  ::close(static_cast<int>(handle_));
}

int64_t ExclusiveFile::ReadAt(uint64_t offset, void* buffer, size_t size) {
  int fd = static_cast<int>(handle_);
  size_t done = 0;
  while (done < size) {
    ssize_t n = pread(fd, static_cast<char*>(buffer) + done, size - done,
                      static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool ExclusiveFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  int fd = static_cast<int>(handle_);
  size_t done = 0;
  while (done < size) {
    ssize_t n = pwrite(fd, static_cast<const char*>(data) + done, size - done,
                       static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int64_t ExclusiveFile::Size() {
  struct stat info {};
  if (fstat(static_cast<int>(handle_), &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool ExclusiveFile::Truncate(uint64_t size) {
  return ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) == 0;
}

bool ExclusiveFile::Flush() {
  return fsync(static_cast<int>(handle_)) == 0;
}

std::string RunningExecutablePath() {
  // The kernel names the running executable in /proc/self/exe.
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

}  // namespace qrvn::platform
