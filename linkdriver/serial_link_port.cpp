// The link port over a real serial device (or pseudo-terminal) of the platform layer.
#include <memory>

#include "linkdriver/port.h"
#include "platform/serial.h"

namespace qrvn::linkdriver {
namespace {

PortWait FromPlatform(platform::WaitResult result) {
  switch (result) {
    case platform::WaitResult::Ready:
      return PortWait::Ready;
    case platform::WaitResult::WokenUp:
      return PortWait::WokenUp;
    case platform::WaitResult::TimedOut:
      return PortWait::TimedOut;
    case platform::WaitResult::Failed:
      return PortWait::Failed;
  }
  return PortWait::Failed;
}

class SerialLinkPort final : public LinkPort {
 public:
  explicit SerialLinkPort(std::unique_ptr<platform::SerialPort> port) : port_(std::move(port)) {}
  bool Configure(uint32_t baud) override { return port_->Configure(baud); }
  int32_t Read(uint8_t* buffer, size_t size) override { return port_->ReadAvailable(buffer, size); }
  PortWait WaitReadable(uint32_t timeoutMs) override {
    return FromPlatform(port_->WaitReadable(timeoutMs));
  }
  void WakeUp() override { port_->WakeUp(); }
  int32_t Write(const uint8_t* data, size_t size, uint32_t timeoutMs) override {
    return port_->Write(data, size, timeoutMs);
  }
  bool Purge() override { return port_->Purge(); }
  bool Dsr() override { return port_->Dsr(); }
  bool SetDtr(bool on) override { return port_->SetDtr(on); }
  bool SetRts(bool on) override { return port_->SetRts(on); }
  PortWait WaitModemEvent(uint32_t timeoutMs, ModemEvent* event) override {
    const bool dsrBefore = port_->Dsr();
    PortWait result = FromPlatform(port_->WaitModemChange(timeoutMs));
    if (result != PortWait::Ready) return result;
    const uint32_t errors = port_->TakeLineErrors();
    if (errors & platform::kSerialOverrun) event->lineErrors |= kLineOverrun;
    if (errors & platform::kSerialBreak) event->lineErrors |= kLineBreak;
    if (errors & platform::kSerialFraming) event->lineErrors |= kLineFraming;
    if (errors & platform::kSerialParity) event->lineErrors |= kLineParity;
    event->dsrChanged = port_->Dsr() != dsrBefore || errors == 0;
    return result;
  }

 private:
  std::unique_ptr<platform::SerialPort> port_;
};

}  // namespace

std::unique_ptr<LinkPort> OpenSerialPort(uint32_t comPort, std::string* error) {
  std::unique_ptr<platform::SerialPort> port = platform::SerialPort::OpenCom(comPort, error);
  if (!port) return nullptr;
  return std::make_unique<SerialLinkPort>(std::move(port));
}

}  // namespace qrvn::linkdriver
