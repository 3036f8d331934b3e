// Serial ports on POSIX: termios for the line set-up, poll() with an eventfd for waits that
// another thread can interrupt, and the modem-control ioctls for DSR, DTR and RTS.
#include "platform/serial.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

#include "platform/clock.h"
#include "platform/registry.h"

namespace qrvn::platform {
namespace {

// How often a wait for a modem-line change looks at the lines, in real milliseconds: the
// lines cannot be waited for in a way another thread can interrupt.
constexpr int kModemPollRealMs = 50;

using SteadyClock = std::chrono::steady_clock;

// The real-time deadline of a process-clock time-out; time_point::max() for kInfinite.
SteadyClock::time_point RealDeadline(uint32_t timeoutMs) {
  if (timeoutMs == kInfinite) return SteadyClock::time_point::max();
  double realMs = std::ceil(static_cast<double>(timeoutMs) / TimeScale());
  return SteadyClock::now() + std::chrono::microseconds(static_cast<int64_t>(realMs * 1000.0));
}

// Milliseconds left until deadline as a poll() time-out (-1: for ever), capped at capMs.
int PollTimeout(SteadyClock::time_point deadline, int capMs = -1) {
  if (deadline == SteadyClock::time_point::max()) return capMs;
  auto left = deadline - SteadyClock::now();
  if (left <= SteadyClock::duration::zero()) return 0;
  // Round up so that a wait never ends a fraction of a millisecond early and spins.
  int64_t ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  if (capMs >= 0) ms = std::min<int64_t>(ms, capMs);
  return static_cast<int>(std::min<int64_t>(ms, 1 << 30));
}

// True for the errors of a device that has no modem lines at all (a pseudo-terminal).
bool NoModemLines(int error) {
  return error == ENOTTY || error == EINVAL;
}

bool SpeedCode(uint32_t baud, speed_t& code) {
  switch (baud) {
    case 1200:
      code = B1200;
      return true;
    case 2400:
      code = B2400;
      return true;
    case 4800:
      code = B4800;
      return true;
    case 9600:
      code = B9600;
      return true;
    case 19200:
      code = B19200;
      return true;
    default:
      return false;
  }
}

// Raw binary 8-N-1 without any flow control; reads return at once.
void MakeRaw(termios& tio) {
  cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | IMAXBEL);
  tio.c_iflag |= IGNBRK;
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
}

std::string Reason(const std::string& path, int error) {
  return path + ": " + std::strerror(error);
}

}  // namespace

struct SerialPort::Impl {
  int fd = -1;
  int wakeFd = -1;
  bool modemLines = false;
  bool exclusive = false;      // this port set TIOCEXCL (and may clear it)
  bool errorCounters = false;  // the driver keeps the kernel's line error counters
  serial_icounter_struct lastCount{};
  uint32_t pendingErrors = 0;

  ~Impl() {
    if (fd >= 0) {
      // Only the owner clears the flag: a refused opener must not unlock the holder's port.
      if (exclusive) ioctl(fd, TIOCNXCL);
      ::close(fd);
    }
    if (wakeFd >= 0) ::close(wakeFd);
  }

  // Takes a pending wake-up; true when there was one.
  bool TakeWakeUp() const {
    uint64_t count = 0;
    return ::read(wakeFd, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
  }

  // Adds the errors counted since the last look to pendingErrors; true when there were any.
  bool CollectErrors() {
    if (!errorCounters) return false;
    serial_icounter_struct now{};
    if (ioctl(fd, TIOCGICOUNT, &now) != 0) return false;
    uint32_t seen = 0;
    if (now.overrun != lastCount.overrun || now.buf_overrun != lastCount.buf_overrun) {
      seen |= kSerialOverrun;
    }
    if (now.brk != lastCount.brk) seen |= kSerialBreak;
    if (now.frame != lastCount.frame) seen |= kSerialFraming;
    if (now.parity != lastCount.parity) seen |= kSerialParity;
    lastCount = now;
    pendingErrors |= seen;
    return seen != 0;
  }

  // Reads the modem lines; false with errno set when they cannot be read.
  bool ModemBits(int& bits) const { return ioctl(fd, TIOCMGET, &bits) == 0; }

  // Sets (on) or clears one modem line; a device without modem lines ignores it.
  bool SetLine(int line, bool on) const {
    if (!modemLines) return true;
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
    return NoModemLines(errno);
  }
};

std::string SerialDevicePath(uint32_t comNumber) {
  std::string name = "COM" + std::to_string(comNumber);
  RegistryKey key;
  std::string device;
  if (RegistryKey::Open("SOFTWARE\\Qrvn\\Ports", RegAccess::Read, key) == RegResult::Ok &&
      key.QueryString(name, device) == RegResult::Ok && !device.empty()) {
    return device;
  }
  if (comNumber == 0) return "";  // there is no COM0 and no /dev/ttyS-1
  return "/dev/ttyS" + std::to_string(comNumber - 1);
}

SerialPort::SerialPort(std::unique_ptr<Impl> impl, std::string device)
    : impl_(std::move(impl)), device_(std::move(device)) {}

SerialPort::~SerialPort() = default;

std::unique_ptr<SerialPort> SerialPort::OpenCom(uint32_t comNumber, std::string* error) {
  std::string path = SerialDevicePath(comNumber);
  if (path.empty()) {
    if (error != nullptr) *error = "COM" + std::to_string(comNumber) + ": no such port";
    return nullptr;
  }
  return OpenDevice(path, error);
}

std::unique_ptr<SerialPort> SerialPort::OpenDevice(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& reason) -> std::unique_ptr<SerialPort> {
    if (error != nullptr) *error = reason;
    return nullptr;
  };
  auto impl = std::make_unique<Impl>();
  impl->fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (impl->fd < 0) return fail(Reason(path, errno));
  termios tio{};
  if (tcgetattr(impl->fd, &tio) != 0) return fail(path + ": not a serial device");
  // flock keeps out every other user of this module, root included; TIOCEXCL also keeps
  // out other programs that merely open the device.
  if (flock(impl->fd, LOCK_EX | LOCK_NB) != 0) {
    int lockError = errno;
    if (lockError == EWOULDBLOCK) return fail(path + ": the port is in use");
    return fail(Reason(path, lockError));
  }
  if (ioctl(impl->fd, TIOCEXCL) != 0) return fail(Reason(path, errno));
  impl->exclusive = true;
  // Raw at once, keeping the speed, so that nothing is echoed or translated before the
  // owner configures the port.
  MakeRaw(tio);
  if (tcsetattr(impl->fd, TCSANOW, &tio) != 0) return fail(Reason(path, errno));
  int bits = 0;
  impl->modemLines = impl->ModemBits(bits);
  impl->errorCounters = ioctl(impl->fd, TIOCGICOUNT, &impl->lastCount) == 0;
  impl->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (impl->wakeFd < 0) return fail(Reason(path, errno));
  return std::unique_ptr<SerialPort>(new SerialPort(std::move(impl), path));
}

bool SerialPort::Configure(uint32_t baud) {
  speed_t code{};
  if (!SpeedCode(baud, code)) return false;
  termios tio{};
  if (tcgetattr(impl_->fd, &tio) != 0) return false;
  MakeRaw(tio);
  if (cfsetispeed(&tio, code) != 0 || cfsetospeed(&tio, code) != 0) return false;
  if (tcsetattr(impl_->fd, TCSANOW, &tio) != 0) return false;
  // tcsetattr succeeds when any part was taken: check that the device kept what matters.
  termios now{};
  if (tcgetattr(impl_->fd, &now) != 0) return false;
  return cfgetospeed(&now) == code && cfgetispeed(&now) == code && (now.c_cflag & CSIZE) == CS8 &&
         (now.c_cflag & (PARENB | CSTOPB | CRTSCTS)) == 0 && (now.c_iflag & (IXON | IXOFF)) == 0;
}

int32_t SerialPort::ReadAvailable(uint8_t* buffer, size_t size) {
  if (size == 0) return 0;
  size = std::min<size_t>(size, 1u << 30);
  while (true) {
    ssize_t n = ::read(impl_->fd, buffer, size);
    if (n > 0) return static_cast<int32_t>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    break;
  }
  // Nothing read: a device that went away (a hung-up line reads as empty) is an error, so
  // that a reader loop does not spin on it.
  pollfd p{impl_->fd, POLLIN, 0};
  if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return -1;
  return 0;
}

WaitResult SerialPort::WaitReadable(uint32_t timeoutMs) {
  SteadyClock::time_point deadline = RealDeadline(timeoutMs);
  while (true) {
    pollfd fds[2] = {{impl_->wakeFd, POLLIN, 0}, {impl_->fd, POLLIN, 0}};
    int n = poll(fds, 2, PollTimeout(deadline));
    if (n < 0) {
      if (errno == EINTR) continue;
      return WaitResult::Failed;
    }
    if (fds[0].revents & POLLIN) {
      impl_->TakeWakeUp();
      return WaitResult::WokenUp;
    }
    if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      // A hung-up device also polls readable: only bytes that are really there count.
      int queued = 0;
      bool data =
          (fds[1].revents & POLLIN) && ioctl(impl_->fd, FIONREAD, &queued) == 0 && queued > 0;
      return data ? WaitResult::Ready : WaitResult::Failed;
    }
    if (fds[1].revents & POLLIN) return WaitResult::Ready;
    if (n == 0 && PollTimeout(deadline) == 0) return WaitResult::TimedOut;
  }
}

void SerialPort::WakeUp() {
  uint64_t one = 1;
  // The counter saturates only after 2^64-1 unanswered wake-ups; nothing to handle.
  [[maybe_unused]] ssize_t written = ::write(impl_->wakeFd, &one, sizeof one);
}

int32_t SerialPort::Write(const uint8_t* data, size_t size, uint32_t timeoutMs) {
  size = std::min<size_t>(size, 1u << 30);
  SteadyClock::time_point deadline = RealDeadline(timeoutMs);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(impl_->fd, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    // The output buffer is full: wait for room until the time-out.
    int waitMs = PollTimeout(deadline);
    if (waitMs == 0) break;
    pollfd p{impl_->fd, POLLOUT, 0};
    int ready = poll(&p, 1, waitMs);
    if (ready < 0 && errno != EINTR) return -1;
    if (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return -1;
  }
  return static_cast<int32_t>(done);
}

bool SerialPort::Purge() {
  return tcflush(impl_->fd, TCIOFLUSH) == 0;
}

bool SerialPort::Dsr() {
  if (!impl_->modemLines) return true;
  int bits = 0;
  if (impl_->ModemBits(bits)) return (bits & TIOCM_DSR) != 0;
  return NoModemLines(errno);
}

bool SerialPort::SetDtr(bool on) {
  return impl_->SetLine(TIOCM_DTR, on);
}

bool SerialPort::SetRts(bool on) {
  return impl_->SetLine(TIOCM_RTS, on);
}

WaitResult SerialPort::WaitModemChange(uint32_t timeoutMs) {
  SteadyClock::time_point deadline = RealDeadline(timeoutMs);
  int bits = 0;
  bool watchLines = impl_->modemLines && impl_->ModemBits(bits);
  int startDsr = bits & TIOCM_DSR;
  if (impl_->CollectErrors()) return WaitResult::Ready;
  const bool lookAround = watchLines || impl_->errorCounters;
  // TIOCMIWAIT would block where no wake-up can reach it, so the lines are looked at every
  // kModemPollRealMs while poll() sleeps on the wake-up and on a hang-up of the device.
  while (true) {
    int waitMs = PollTimeout(deadline, lookAround ? kModemPollRealMs : -1);
    pollfd fds[2] = {{impl_->wakeFd, POLLIN, 0}, {impl_->fd, 0, 0}};
    int n = poll(fds, 2, waitMs);
    if (n < 0 && errno != EINTR) return WaitResult::Failed;
    if (n > 0 && (fds[0].revents & POLLIN)) {
      impl_->TakeWakeUp();
      return WaitResult::WokenUp;
    }
    if (n > 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) return WaitResult::Failed;
    if (watchLines) {
      if (!impl_->ModemBits(bits)) return WaitResult::Failed;
      if ((bits & TIOCM_DSR) != startDsr) return WaitResult::Ready;
    }
    if (impl_->CollectErrors()) return WaitResult::Ready;
    if (PollTimeout(deadline) == 0) return WaitResult::TimedOut;
  }
}

uint32_t SerialPort::TakeLineErrors() {
  impl_->CollectErrors();
  uint32_t errors = impl_->pendingErrors;
  impl_->pendingErrors = 0;
  return errors;
}

}  // namespace qrvn::platform
