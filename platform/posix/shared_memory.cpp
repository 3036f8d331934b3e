// Named shared areas (POSIX shared memory) and named mutexes (POSIX named semaphores).
#include "platform/shared_memory.h"

#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <ctime>

#include "platform/clock.h"

namespace qrvn::platform {
namespace {

// "Name" is the POSIX object "/Name"; a name given with its slash is kept.
std::string ObjectName(const std::string& name) {
  return !name.empty() && name.front() == '/' ? name : "/" + name;
}

}  // namespace

std::unique_ptr<SharedArea> SharedArea::Open(const std::string& name, size_t size, bool create,
                                             bool readOnly, bool* created) {
  if (created != nullptr) *created = false;
  if (size == 0) return nullptr;
  std::string object = ObjectName(name);
  bool made = false;
  int fd = -1;
  if (create) {
    fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    made = fd >= 0;
    if (!made && errno != EEXIST) return nullptr;
    // The creation mode is cut by the umask; other users' processes must open it too.
    if (made) fchmod(fd, 0666);
  }
  if (fd < 0) {
    fd = shm_open(object.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC, 0);
    if (fd < 0) return nullptr;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    close(fd);
    return nullptr;
  }
  // Mapping past the object's end would fault on access: size it (zero-filled; also when
  // its creator has not sized it yet) or, read-only, refuse.
  if (static_cast<uint64_t>(info.st_size) < size) {
    if ((readOnly && !made) || ftruncate(fd, static_cast<off_t>(size)) != 0) {
      close(fd);
      if (made) shm_unlink(object.c_str());
      return nullptr;
    }
  }
  void* data =
      mmap(nullptr, size, readOnly ? PROT_READ : PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (data == MAP_FAILED) {
    if (made) shm_unlink(object.c_str());
    return nullptr;
  }
  if (created != nullptr) *created = made;
  return std::unique_ptr<SharedArea>(new SharedArea(static_cast<uint8_t*>(data), size));
}

SharedArea::~SharedArea() {
  munmap(data_, size_);
}

bool SharedArea::Remove(const std::string& name) {
  return shm_unlink(ObjectName(name).c_str()) == 0;
}

struct NamedMutex::Impl {
  sem_t* semaphore = SEM_FAILED;
  ~Impl() {
    if (semaphore != SEM_FAILED) sem_close(semaphore);
  }
};

NamedMutex::NamedMutex(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

NamedMutex::~NamedMutex() = default;

std::unique_ptr<NamedMutex> NamedMutex::Open(const std::string& name, bool* existed) {
  std::string object = ObjectName(name);
  auto impl = std::make_unique<Impl>();
  bool was = false;
  impl->semaphore = sem_open(object.c_str(), O_CREAT | O_EXCL, 0666, 1);
  if (impl->semaphore == SEM_FAILED) {
    if (errno != EEXIST) return nullptr;
    was = true;
    impl->semaphore = sem_open(object.c_str(), 0);
    if (impl->semaphore == SEM_FAILED) return nullptr;
  } else {
    // sem_open's mode is cut by the umask; on Linux the semaphore is the file
    // /dev/shm/sem.<name>, which other users' processes must be able to open.
    chmod(("/dev/shm/sem." + object.substr(1)).c_str(), 0666);
  }
  if (existed != nullptr) *existed = was;
  return std::unique_ptr<NamedMutex>(new NamedMutex(std::move(impl)));
}

bool NamedMutex::Lock(uint32_t timeoutMs) {
  if (timeoutMs == kInfinite) {
    while (sem_wait(impl_->semaphore) != 0) {
      if (errno != EINTR) return false;
    }
    return true;
  }
  // The time-out is on the process clock; the semaphore waits in real time.
  double realMs = std::ceil(static_cast<double>(timeoutMs) / TimeScale());
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  int64_t ns = deadline.tv_nsec + static_cast<int64_t>(realMs * 1e6);
  deadline.tv_sec += static_cast<time_t>(ns / 1000000000);
  deadline.tv_nsec = static_cast<long>(ns % 1000000000);
  while (sem_clockwait(impl_->semaphore, CLOCK_MONOTONIC, &deadline) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

void NamedMutex::Unlock() {
  // A binary mutex: giving back one that is free would let two holders in later.
  int value = 0;
  if (sem_getvalue(impl_->semaphore, &value) == 0 && value > 0) return;
  sem_post(impl_->semaphore);
}

bool NamedMutex::Remove(const std::string& name) {
  return sem_unlink(ObjectName(name).c_str()) == 0;
}

}  // namespace qrvn::platform
