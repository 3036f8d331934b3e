// Serial ports: "COMn" names, the raw 8-N-1 set-up of the PBX link, reads that wait without
// polling, and the modem lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qrvn::platform {

// The device of port COMn: the REG_SZ value "COMn" of HKLM\SOFTWARE\Qrvn\Ports, or
// /dev/ttyS<n-1> when there is none.
std::string SerialDevicePath(uint32_t comNumber);

enum class WaitResult { Ready, WokenUp, TimedOut, Failed };

// Errors on the receive line, as bits.
enum SerialLineError : uint32_t {
  kSerialOverrun = 1,  // bytes lost because the device's buffer was full
  kSerialBreak = 2,
  kSerialFraming = 4,
  kSerialParity = 8,
};

// One open serial device. Time-outs are process-clock milliseconds (sped up by
// QRVN_TIME_SCALE); the bytes on the line keep their real timing.
class SerialPort {
 public:
  // Opens COMn exclusively; nullptr with a reason in *error when it cannot be had.
  static std::unique_ptr<SerialPort> OpenCom(uint32_t comNumber, std::string* error);
  // Opens a device by path exclusively; nullptr with a reason in *error.
  static std::unique_ptr<SerialPort> OpenDevice(const std::string& path, std::string* error);
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // 8 data bits, no parity, 1 stop bit, raw binary, no flow control; baud is one of
  // 1200, 2400, 4800, 9600, 19200. False for another speed or when the device refuses.
  bool Configure(uint32_t baud);
  // Reads what has arrived, without waiting; the count (0 when nothing), or -1 on error.
  int32_t ReadAvailable(uint8_t* buffer, size_t size);
  // Waits up to timeoutMs for data to read or for WakeUp(); idle waiting costs no CPU.
  WaitResult WaitReadable(uint32_t timeoutMs);
  // Wakes a thread blocked in WaitReadable or WaitModemChange (callable from any thread).
  void WakeUp();
  // Writes all bytes, waiting up to timeoutMs for room; the count written, or -1 on error.
  int32_t Write(const uint8_t* data, size_t size, uint32_t timeoutMs);
  // Discards unread input and unsent output.
  bool Purge();
  // The DSR line; a device that cannot report modem lines is DSR on.
  bool Dsr();
  // Sets or clears DTR; a device without modem lines accepts and ignores it.
  bool SetDtr(bool on);
  // Sets or clears RTS; a device without modem lines accepts and ignores it.
  bool SetRts(bool on);
  // Waits up to timeoutMs for DSR to change, a line error or WakeUp(); Ready on a change or
  // an error (TakeLineErrors tells which errors).
  WaitResult WaitModemChange(uint32_t timeoutMs);
  // The line errors (SerialLineError bits) seen since the last call; a device that cannot
  // count them (a pseudo-terminal) reports none.
  uint32_t TakeLineErrors();
  // The device path the port was opened on.
  const std::string& Device() const { return device_; }

 private:
  struct Impl;
  SerialPort(std::unique_ptr<Impl> impl, std::string device);
  std::unique_ptr<Impl> impl_;
  std::string device_;
};

}  // namespace qrvn::platform
