// Stop signals through a self-pipe: the handler only writes the signal number into a pipe
// (async-signal-safe); a thread blocked on the pipe's other end does the rest.
#include "platform/signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "platform/thread.h"

namespace qrvn::platform {
namespace {

std::atomic<int> signalPipeWrite{-1};
std::mutex ownerMutex;
bool owned = false;

extern "C" void OnStopSignal(int signal) {
  const int saved = errno;
  const int fd = signalPipeWrite.load();
  const unsigned char byte = static_cast<unsigned char>(signal);
  if (fd >= 0) {
    ssize_t ignored = write(fd, &byte, 1);
    (void)ignored;
  }
  errno = saved;
}

}  // namespace

struct StopSignalWatch::Impl {
  int readFd = -1;
  int writeFd = -1;
  struct sigaction previousInt {};
  struct sigaction previousTerm {};
  std::mutex restoreMutex;
  bool restored = false;
  Thread watcher;

  void Restore() {
    std::lock_guard guard(restoreMutex);
    if (restored) return;
    restored = true;
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
  }
};

StopSignalWatch::StopSignalWatch(std::function<void(int)> onSignal) {
  {
    std::lock_guard guard(ownerMutex);
    if (owned) return;
    owned = true;
  }
  auto impl = std::make_unique<Impl>();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    std::lock_guard guard(ownerMutex);
    owned = false;
    return;
  }
  impl->readFd = fds[0];
  impl->writeFd = fds[1];
  signalPipeWrite.store(impl->writeFd);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &impl->previousInt);
  sigaction(SIGTERM, &action, &impl->previousTerm);
  Impl* raw = impl.get();
  raw->watcher.Start([raw, onSignal = std::move(onSignal)] {
    unsigned char byte = 0;
    ssize_t n = 0;
    do {
      n = read(raw->readFd, &byte, 1);
    } while (n < 0 && errno == EINTR);
    if (n != 1 || byte == 0) return;  // the watch ends
    raw->Restore();
    if (onSignal) onSignal(byte);
  });
  impl_ = std::move(impl);
}

StopSignalWatch::~StopSignalWatch() {
  if (!impl_) return;
  impl_->Restore();
  signalPipeWrite.store(-1);
  const unsigned char stop = 0;
  ssize_t ignored = write(impl_->writeFd, &stop, 1);
  (void)ignored;
  impl_->watcher.Join();
  close(impl_->readFd);
  close(impl_->writeFd);
  std::lock_guard guard(ownerMutex);
  owned = false;
}

}  // namespace qrvn::platform
