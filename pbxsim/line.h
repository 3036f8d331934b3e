// The byte pipe the simulator talks on: a serial device or the master side of a
// pseudo-terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/pty.h"

namespace qrvn::pbxsim {

class ByteLine {
 public:
  virtual ~ByteLine() = default;
  // Reads what has arrived without waiting; the count (0 when nothing), -1 on error.
  virtual int32_t Read(uint8_t* buffer, size_t size) = 0;
  // Waits up to timeoutMs (real milliseconds) for input or WakeUp(); true when woken so.
  virtual bool WaitReadable(uint32_t timeoutMs) = 0;
  // Writes all bytes; the count, or -1 on error.
  virtual int32_t Write(const uint8_t* data, size_t size) = 0;
  // Wakes a thread blocked in WaitReadable.
  virtual void WakeUp() = 0;
};

// Opens a serial device (through the platform's serial port) at a baud rate.
std::unique_ptr<ByteLine> OpenSerialLine(const std::string& device, uint32_t baud,
                                         std::string* error);

// The master side of a new pseudo-terminal (the slave's path is what the host opens), or a
// peer on an existing terminal.
class PtyLine : public ByteLine {
 public:
  // Creates a raw pseudo-terminal pair; nullptr with a reason in *error.
  static std::unique_ptr<PtyLine> Create(std::string* error);
  // Opens an existing terminal device raw (a test's peer on the slave side).
  static std::unique_ptr<PtyLine> OpenTerminal(const std::string& path, std::string* error);

  int32_t Read(uint8_t* buffer, size_t size) override { return terminal_->Read(buffer, size); }
  bool WaitReadable(uint32_t timeoutMs) override { return terminal_->WaitReadable(timeoutMs); }
  int32_t Write(const uint8_t* data, size_t size) override { return terminal_->Write(data, size); }
  void WakeUp() override { terminal_->WakeUp(); }
  // The slave device path ("/dev/pts/7"); empty for an opened terminal.
  const std::string& SlavePath() const { return terminal_->SlavePath(); }

 private:
  explicit PtyLine(std::unique_ptr<platform::PseudoTerminal> terminal)
      : terminal_(std::move(terminal)) {}
  std::unique_ptr<platform::PseudoTerminal> terminal_;
};

}  // namespace qrvn::pbxsim
