// POSIX pseudo-terminals: posix_openpt with the slave held open, and a wake-up pipe.
#include "platform/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qrvn::platform {

namespace {

bool MakeRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

std::string Reason(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

PseudoTerminal::PseudoTerminal(int fd, int heldSlave, int wakeRead, int wakeWrite,
                               std::string slavePath)
    : fd_(fd),
      heldSlave_(heldSlave),
      wakeRead_(wakeRead),
      wakeWrite_(wakeWrite),
      slavePath_(std::move(slavePath)) {}

PseudoTerminal::~PseudoTerminal() {
  if (heldSlave_ >= 0) close(heldSlave_);
  close(fd_);
  close(wakeRead_);
  close(wakeWrite_);
}

std::unique_ptr<PseudoTerminal> PseudoTerminal::Create(std::string* error) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) {
    if (error) *error = Reason("posix_openpt");
    return nullptr;
  }
  char name[128];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    if (error) *error = Reason("pseudo-terminal set-up");
    close(master);
    return nullptr;
  }
  int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0 || !MakeRaw(slave)) {
    if (error) *error = Reason("pseudo-terminal slave");
    if (slave >= 0) close(slave);
    close(master);
    return nullptr;
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  int pipeFds[2];
  if (pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
    if (error) *error = Reason("pipe");
    close(slave);
    close(master);
    return nullptr;
  }
  return std::unique_ptr<PseudoTerminal>(
      new PseudoTerminal(master, slave, pipeFds[0], pipeFds[1], name));
}

std::unique_ptr<PseudoTerminal> PseudoTerminal::OpenTerminal(const std::string& path,
                                                             std::string* error) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 || !MakeRaw(fd)) {
    if (error) *error = Reason(path.c_str());
    if (fd >= 0) close(fd);
    return nullptr;
  }
  int pipeFds[2];
  if (pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
    if (error) *error = Reason("pipe");
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<PseudoTerminal>(new PseudoTerminal(fd, -1, pipeFds[0], pipeFds[1], ""));
}

int32_t PseudoTerminal::Read(uint8_t* buffer, size_t size) {
  ssize_t n = read(fd_, buffer, size);
  if (n >= 0) return static_cast<int32_t>(n);
  if (errno == EAGAIN || errno == EINTR || errno == EIO) return 0;
  return -1;
}

bool PseudoTerminal::WaitReadable(uint32_t timeoutMs) {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
  int r = poll(fds, 2, static_cast<int>(timeoutMs));
  if (r <= 0) return false;
  if (fds[1].revents & POLLIN) {
    uint8_t drain[64];
    while (read(wakeRead_, drain, sizeof drain) > 0) {
    }
  }
  if (fds[0].revents & (POLLHUP | POLLERR)) {
    // Nobody holds the other side: do not spin on the hang-up.
    usleep(static_cast<useconds_t>(std::min<uint32_t>(timeoutMs, 10)) * 1000);
  }
  return true;
}

int32_t PseudoTerminal::Write(const uint8_t* data, size_t size) {
  size_t done = 0;
  int idle = 0;
  while (done < size) {
    ssize_t n = write(fd_, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      idle = 0;
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return -1;
    // The other side is not reading: wait for room, at most about 30 seconds.
    pollfd p = {fd_, POLLOUT, 0};
    if (poll(&p, 1, 100) == 0 && ++idle > 300) return -1;
  }
  return static_cast<int32_t>(done);
}

void PseudoTerminal::WakeUp() {
  uint8_t one = 1;
  ssize_t ignored = write(wakeWrite_, &one, 1);
  (void)ignored;
}

}  // namespace qrvn::platform
