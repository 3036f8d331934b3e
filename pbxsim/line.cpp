// The simulator's byte lines: a serial device through the platform's serial port, or the
// master side of a platform pseudo-terminal.
#include "pbxsim/line.h"

#include "platform/serial.h"

namespace qrvn::pbxsim {

namespace {

class SerialLine : public ByteLine {
 public:
  explicit SerialLine(std::unique_ptr<platform::SerialPort> port) : port_(std::move(port)) {}
  int32_t Read(uint8_t* buffer, size_t size) override { return port_->ReadAvailable(buffer, size); }
  bool WaitReadable(uint32_t timeoutMs) override {
    return port_->WaitReadable(timeoutMs) != platform::WaitResult::TimedOut;
  }
  int32_t Write(const uint8_t* data, size_t size) override {
    return port_->Write(data, size, 30000);
  }
  void WakeUp() override { port_->WakeUp(); }

 private:
  std::unique_ptr<platform::SerialPort> port_;
};

}  // namespace

std::unique_ptr<ByteLine> OpenSerialLine(const std::string& device, uint32_t baud,
                                         std::string* error) {
  auto port = platform::SerialPort::OpenDevice(device, error);
  if (!port) return nullptr;
  if (!port->Configure(baud)) {
    if (error) *error = device + ": cannot set " + std::to_string(baud) + " baud";
    return nullptr;
  }
  return std::make_unique<SerialLine>(std::move(port));
}

std::unique_ptr<PtyLine> PtyLine::Create(std::string* error) {
  auto terminal = platform::PseudoTerminal::Create(error);
  return terminal ? std::unique_ptr<PtyLine>(new PtyLine(std::move(terminal))) : nullptr;
}

std::unique_ptr<PtyLine> PtyLine::OpenTerminal(const std::string& path, std::string* error) {
  auto terminal = platform::PseudoTerminal::OpenTerminal(path, error);
  return terminal ? std::unique_ptr<PtyLine>(new PtyLine(std::move(terminal))) : nullptr;
}

}  // namespace qrvn::pbxsim
