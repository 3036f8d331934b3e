// Serial ports over pseudo-terminal pairs: the test talks on the master side, the port under
// test owns the slave.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/serial.h"
#include "tests/support/temp_root.h"

namespace qrvn::platform {
namespace {

// Guards the test against a hang only; never reached when the code works.
constexpr int kSafetyMs = 10000;

class SerialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    char name[128] = {};
    ASSERT_EQ(ptsname_r(master_, name, sizeof name), 0);
    slave_ = name;
  }
  void TearDown() override { CloseMaster(); }

  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

  std::unique_ptr<SerialPort> OpenPort() {
    std::string error;
    auto port = SerialPort::OpenDevice(slave_, &error);
    EXPECT_NE(port, nullptr) << error;
    return port;
  }

  // Reads exactly n bytes from the master.
  std::vector<uint8_t> MasterRead(size_t n) {
    std::vector<uint8_t> bytes;
    while (bytes.size() < n) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, kSafetyMs) <= 0) break;
      uint8_t buffer[512];
      ssize_t got = read(master_, buffer, std::min(sizeof buffer, n - bytes.size()));
      if (got <= 0) break;
      bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
  }

  // Collects exactly n bytes through the port's own wait and read.
  static std::vector<uint8_t> PortRead(SerialPort& port, size_t n) {
    std::vector<uint8_t> bytes;
    while (bytes.size() < n) {
      if (port.WaitReadable(kInfinite) != WaitResult::Ready) break;
      uint8_t buffer[512];
      int32_t got = port.ReadAvailable(buffer, sizeof buffer);
      if (got < 0) break;
      bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
  }

  int master_ = -1;
  std::string slave_;
};

std::vector<uint8_t> EveryByte() {
  std::vector<uint8_t> bytes(256);
  std::iota(bytes.begin(), bytes.end(), 0);  // includes XON/XOFF, CR, LF, ^C, DEL
  return bytes;
}

TEST_F(SerialTest, RoundTripOfEveryByteAtEachSpeed) {
  auto port = OpenPort();
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->Device(), slave_);
  const std::vector<uint8_t> payload = EveryByte();
  for (uint32_t baud : {1200u, 2400u, 4800u, 9600u, 19200u}) {
    SCOPED_TRACE(baud);
    ASSERT_TRUE(port->Configure(baud));
    termios tio{};
    ASSERT_EQ(tcgetattr(master_, &tio), 0);  // a master reports its slave's settings
    EXPECT_EQ(cfgetospeed(&tio), cfgetispeed(&tio));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    ASSERT_EQ(port->Write(payload.data(), payload.size(), 1000), 256);
    EXPECT_EQ(MasterRead(payload.size()), payload);
    ASSERT_EQ(write(master_, payload.data(), payload.size()), 256);
    EXPECT_EQ(PortRead(*port, payload.size()), payload);
  }
}

TEST_F(SerialTest, OnlyTheFiveLinkSpeedsAreAccepted) {
  auto port = OpenPort();
  ASSERT_NE(port, nullptr);
  for (uint32_t baud : {0u, 300u, 9601u, 38400u, 115200u}) EXPECT_FALSE(port->Configure(baud));
  EXPECT_TRUE(port->Configure(9600));
}

TEST_F(SerialTest, PortIsExclusiveAndBadDevicesAreExplained) {
  auto port = OpenPort();
  ASSERT_NE(port, nullptr);
  std::string error;
  EXPECT_EQ(SerialPort::OpenDevice(slave_, &error), nullptr);
  EXPECT_NE(error.find(slave_), std::string::npos) << error;
  // Other programs are kept out too, and a refused opener leaves that in place (root may
  // still open the device, so the flag itself is checked).
  int other = open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (other >= 0) {
    int exclusive = 0;
    EXPECT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);
    close(other);
  } else {
    EXPECT_EQ(errno, EBUSY);
  }
  port.reset();
  EXPECT_NE(OpenPort(), nullptr);

  testing::TempRoot root;
  EXPECT_EQ(SerialPort::OpenDevice(root.File("none"), &error), nullptr);
  EXPECT_NE(error.find(root.File("none")), std::string::npos) << error;
  close(open(root.File("plain").c_str(), O_CREAT | O_WRONLY, 0600));
  EXPECT_EQ(SerialPort::OpenDevice(root.File("plain"), &error), nullptr);
  EXPECT_FALSE(error.empty());
}

TEST_F(SerialTest, ReadsWhatIsThereWithoutWaiting) {
  auto port = OpenPort();
  ASSERT_NE(port, nullptr);
  uint8_t buffer[16];
  EXPECT_EQ(port->ReadAvailable(buffer, sizeof buffer), 0);
  EXPECT_EQ(port->WaitReadable(10), WaitResult::TimedOut);
  ASSERT_EQ(write(master_, "\x02\x10\x03", 3), 3);
  ASSERT_EQ(port->WaitReadable(kInfinite), WaitResult::Ready);
  EXPECT_EQ(PortRead(*port, 3), (std::vector<uint8_t>{0x02, 0x10, 0x03}));
  EXPECT_EQ(port->ReadAvailable(buffer, sizeof buffer), 0);
}

TEST_F(SerialTest, BlockedWaitsWakeWhenAnotherThreadCallsWakeUp) {
  auto port = OpenPort();
  ASSERT_NE(port, nullptr);
  for (bool modemWait : {false, true}) {
    WaitResult result = WaitResult::Failed;
    std::thread waiter([&] {
      result = modemWait ? port->WaitModemChange(kInfinite) : port->WaitReadable(kInfinite);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    port->WakeUp();
    waiter.join();
    EXPECT_EQ(result, WaitResult::WokenUp) << modemWait;
  }
  // A wake-up given before the wait is kept for it, and used up by it.
  port->WakeUp();
  EXPECT_EQ(port->WaitReadable(kInfinite), WaitResult::WokenUp);
  EXPECT_EQ(port->WaitReadable(10), WaitResult::TimedOut);
  EXPECT_EQ(port->WaitModemChange(10), WaitResult::TimedOut);
}

TEST_F(SerialTest, PseudoTerminalIsDsrOnAndAcceptsModemLineChanges) {
  auto port = OpenPort();
  ASSERT_NE(port, nullptr);
  EXPECT_TRUE(port->Dsr());
  EXPECT_TRUE(port->SetDtr(false));
  EXPECT_TRUE(port->SetDtr(true));
  EXPECT_TRUE(port->SetRts(false));
  EXPECT_TRUE(port->SetRts(true));
  EXPECT_TRUE(port->Dsr());
  // No error counters on a pseudo-terminal: none reported, and the modem wait is not woken
  // by a phantom error.
  EXPECT_EQ(port->TakeLineErrors(), 0u);
  EXPECT_EQ(port->WaitModemChange(20), WaitResult::TimedOut);
}

TEST_F(SerialTest, PurgeDropsUnreadInput) {
  auto port = OpenPort();
  ASSERT_NE(port, nullptr);
  ASSERT_EQ(write(master_, "stale", 5), 5);
  ASSERT_EQ(port->WaitReadable(kInfinite), WaitResult::Ready);
  EXPECT_TRUE(port->Purge());
  uint8_t buffer[8];
  EXPECT_EQ(port->ReadAvailable(buffer, sizeof buffer), 0);
  ASSERT_EQ(write(master_, "new", 3), 3);
  EXPECT_EQ(PortRead(*port, 3), (std::vector<uint8_t>{'n', 'e', 'w'}));
}

TEST_F(SerialTest, WriteGivesUpAfterItsTimeOutWhenNobodyReads) {
  auto port = OpenPort();
  ASSERT_NE(port, nullptr);
  std::vector<uint8_t> flood(1 << 20, 0x55);
  int32_t written = port->Write(flood.data(), flood.size(), 20);
  EXPECT_GT(written, 0);
  EXPECT_LT(written, static_cast<int32_t>(flood.size()));
}

TEST_F(SerialTest, VanishedDeviceIsReportedInsteadOfSpinning) {
  auto port = OpenPort();
  ASSERT_NE(port, nullptr);
  ASSERT_EQ(write(master_, "x", 1), 1);
  ASSERT_EQ(port->WaitReadable(kInfinite), WaitResult::Ready);
  CloseMaster();
  // What arrived before the hang-up may still be read; then every call reports failure.
  uint8_t buffer[4];
  int32_t got = port->ReadAvailable(buffer, sizeof buffer);
  EXPECT_TRUE(got == 1 || got == -1) << got;
  EXPECT_EQ(port->WaitReadable(kInfinite), WaitResult::Failed);
  EXPECT_EQ(port->ReadAvailable(buffer, sizeof buffer), -1);
  EXPECT_EQ(port->WaitModemChange(kInfinite), WaitResult::Failed);
  EXPECT_EQ(port->Write(buffer, 1, 100), -1);
}

TEST_F(SerialTest, ComNumbersMapThroughTheRegistryOrToTtyS) {
  testing::TempRoot root;
  EXPECT_EQ(SerialDevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(SerialDevicePath(12), "/dev/ttyS11");
  RegistryKey ports;
  ASSERT_EQ(RegistryKey::Create("SOFTWARE\\Qrvn\\Ports", ports), RegResult::Ok);
  ASSERT_EQ(ports.SetString("COM3", slave_), RegResult::Ok);
  EXPECT_EQ(SerialDevicePath(3), slave_);
  EXPECT_EQ(SerialDevicePath(4), "/dev/ttyS3");
  std::string error;
  auto port = SerialPort::OpenCom(3, &error);
  ASSERT_NE(port, nullptr) << error;
  EXPECT_EQ(port->Device(), slave_);
  EXPECT_EQ(SerialPort::OpenCom(0, &error), nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace qrvn::platform
