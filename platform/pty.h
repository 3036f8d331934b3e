// Pseudo-terminals: the master side, for programs that play the far end of a serial line
// (the PBX simulator, tests). The slave's path is what the other program opens as its port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qrvn::platform {

class PseudoTerminal {
 public:
  // Creates a raw pseudo-terminal pair and holds its master side; nullptr with a reason.
  static std::unique_ptr<PseudoTerminal> Create(std::string* error);
  // Opens an existing terminal device raw and non-blocking (a peer on the slave side).
  static std::unique_ptr<PseudoTerminal> OpenTerminal(const std::string& path, std::string* error);
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Reads what has arrived without waiting; the count (0 when nothing), -1 on error.
  int32_t Read(uint8_t* buffer, size_t size);
  // Waits up to timeoutMs (real milliseconds) for input or WakeUp(); false on time-out.
  bool WaitReadable(uint32_t timeoutMs);
  // Writes all bytes, waiting for room up to about 30 seconds; the count, or -1 on error.
  int32_t Write(const uint8_t* data, size_t size);
  // Wakes a thread blocked in WaitReadable (callable from any thread).
  void WakeUp();
  // The slave device path ("/dev/pts/7"); empty for an opened terminal.
  const std::string& SlavePath() const { return slavePath_; }

 private:
  PseudoTerminal(int fd, int heldSlave, int wakeRead, int wakeWrite, std::string slavePath);
  int fd_;
  int heldSlave_;  // keeps the slave open so that the master never sees a hang-up
  int wakeRead_;
  int wakeWrite_;
  std::string slavePath_;
};

}  // namespace qrvn::platform
