// The port a link runs over: the real serial port, or a scripted one in memory for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qrvn::linkdriver {

enum class PortWait { Ready, WokenUp, TimedOut, Failed };

// Line errors a port can report (bit set).
enum LineError : uint32_t {
  kLineOverrun = 1,
  kLineBreak = 2,
  kLineFraming = 4,
  kLineParity = 8,
  kLineOther = 16,
};

// What a modem-status wait saw.
struct ModemEvent {
  bool dsrChanged = false;
  uint32_t lineErrors = 0;  // LineError bits, already cleared on the port
};

class LinkPort {
 public:
  virtual ~LinkPort() = default;
  // Sets 8-N-1 raw at baud; false when the port refuses.
  virtual bool Configure(uint32_t baud) = 0;
  // Reads what has arrived without waiting: the count, 0 when nothing, -1 on error.
  virtual int32_t Read(uint8_t* buffer, size_t size) = 0;
  // Waits up to timeoutMs (process clock) for data or WakeUp().
  virtual PortWait WaitReadable(uint32_t timeoutMs) = 0;
  // Wakes a waiting thread.
  virtual void WakeUp() = 0;
  // Writes all bytes within timeoutMs: the count written (less on time-out), -1 on error.
  virtual int32_t Write(const uint8_t* data, size_t size, uint32_t timeoutMs) = 0;
  // Discards input and output not yet transferred.
  virtual bool Purge() = 0;
  // The DSR line.
  virtual bool Dsr() = 0;
  // Sets or clears DTR.
  virtual bool SetDtr(bool on) = 0;
  // Sets or clears RTS.
  virtual bool SetRts(bool on) = 0;
  // Waits up to timeoutMs for a DSR change or a line error; Ready with *event filled.
  virtual PortWait WaitModemEvent(uint32_t timeoutMs, ModemEvent* event) = 0;
};

// Opens the port of COM port number comPort; nullptr with a reason when it cannot be had.
using PortOpener = std::function<std::unique_ptr<LinkPort>(uint32_t comPort, std::string* error)>;

// Opens "COMn" through the platform's serial ports.
std::unique_ptr<LinkPort> OpenSerialPort(uint32_t comPort, std::string* error);

}  // namespace qrvn::linkdriver
