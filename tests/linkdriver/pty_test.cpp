// The real module qrvnsdrv.so, loaded as the provider loads it, over pseudo-terminal pairs
// with a scripted PBX on the master side.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "callbacks.h"
#include "linkdriver/monitor_layout.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shared_memory.h"
#include "pty_peer.h"
#include "tests/support/temp_root.h"

namespace qrvn::testing {
namespace {

using ReceiveFn = int32_t (*)(uint32_t, const uint8_t*, int32_t);
using StatusFn = int32_t (*)(uint32_t, int32_t, int32_t);

struct Module {
  void* handle = nullptr;
  int32_t (*connect)(uint32_t*, uint32_t, uint32_t, ReceiveFn, StatusFn) = nullptr;
  int32_t (*disconnect)(uint32_t) = nullptr;
  int32_t (*sendData)(uint32_t, const uint8_t*, int32_t) = nullptr;
  int32_t (*dataComm)(uint32_t, const uint8_t*, int32_t, uint8_t*, int32_t) = nullptr;
  int32_t (*version)(char*) = nullptr;
  void (*setAllocCount)(uint32_t) = nullptr;
  void (*setQueCount)(uint32_t) = nullptr;

  // The module of the build, loaded once per process (after the time scale is set).
  static Module& Get() {
    static Module m = [] {
      Module loaded;
      loaded.handle = dlopen(QRVN_LINKDRIVER_MODULE, RTLD_NOW | RTLD_LOCAL);
      if (loaded.handle == nullptr) return loaded;
      auto bind = [&](auto& fn, const char* name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(loaded.handle, name));
      };
      bind(loaded.connect, "Connect");
      bind(loaded.disconnect, "DisConnect");
      bind(loaded.sendData, "SendData");
      bind(loaded.dataComm, "DataComm");
      bind(loaded.version, "Version");
      bind(loaded.setAllocCount, "SetAllocCount");
      bind(loaded.setQueCount, "SetQueCount");
      return loaded;
    }();
    return m;
  }
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

template <typename F>
bool Eventually(F condition) {
  for (int i = 0; i < 5000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

class PtyTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kProvider = 0x2c;

  void SetUp() override {
    CallbackLog::Get().Reset();
    ASSERT_NE(m_.handle, nullptr) << dlerror();
    ASSERT_TRUE(pbx_.Ok());
  }
  void TearDown() override {
    if (connected_) m_.disconnect(handle_);
  }

  // Points COMn at the pty and writes the link's configuration.
  void Configure(uint32_t com, uint32_t debug = 0) {
    platform::RegistryKey ports;
    ASSERT_EQ(platform::RegistryKey::Create("SOFTWARE\\Qrvn\\Ports", ports),
              platform::RegResult::Ok);
    ports.SetString("COM" + std::to_string(com), pbx_.SlavePath());
    platform::RegistryKey key;
    ASSERT_EQ(platform::RegistryKey::Create("SOFTWARE\\Tervolin\\VN2448\\PBX0000002c", key),
              platform::RegResult::Ok);
    key.SetDword("COMPORTNO", com);
    key.SetDword("DEBUG", debug);
    key.SetDword("NACKTIMEOUT", 60000);
    key.SetDword("TIMEOUT", 60000);
  }

  void Connect() {
    ASSERT_EQ(m_.connect(&handle_, kProvider, 2, CallbackLog::OnReceive, CallbackLog::OnStatus), 0);
    connected_ = true;
  }

  int32_t Exchange(const Bytes& request, Bytes* reply) {
    reply->assign(2048, 0);
    int32_t n = m_.dataComm(handle_, request.data(), static_cast<int32_t>(request.size()),
                            reply->data(), 2048);
    if (n >= 0) reply->resize(static_cast<size_t>(n));
    return n;
  }

  Module& m_ = Module::Get();
  TempRoot root_;
  PtyPbx pbx_;
  uint32_t handle_ = 99;
  bool connected_ = false;
};

TEST_F(PtyTest, ModuleExportsTheSevenFunctions) {
  EXPECT_NE(m_.connect, nullptr);
  EXPECT_NE(m_.disconnect, nullptr);
  EXPECT_NE(m_.sendData, nullptr);
  EXPECT_NE(m_.dataComm, nullptr);
  EXPECT_NE(m_.setAllocCount, nullptr);
  EXPECT_NE(m_.setQueCount, nullptr);
  ASSERT_NE(m_.version, nullptr);
  char text[32] = {};
  EXPECT_EQ(m_.version(text), 1);
  EXPECT_STREQ(text, "Build 0040 2003.01.20");
  EXPECT_EQ(dlsym(m_.handle, "WriteVersion"), nullptr);
}

TEST_F(PtyTest, SessionOpenThenBinaryExchangesAndEventsOnTheWire) {
  Configure(9, 1);
  Connect();
  Bytes reply;
  ASSERT_EQ(Exchange({1, 1, 0, 0}, &reply), 4);
  EXPECT_EQ(reply, (Bytes{1, 2, 1, 0}));
  ASSERT_TRUE(pbx_.Peer().WaitItems(2));  // the proposal and the acknowledgement of the answer
  Bytes proposal = TextFrame('0', {{1, 1, 1, 0, 1, 0, 1, 1}});
  Bytes expected = proposal;
  expected.push_back('+');
  EXPECT_EQ(AsText(pbx_.Peer().Raw()), AsText(expected));

  PbxPeer::Script script;
  script.replyPayload = {0x05, 0x00, 0x02, 0x0A, 0x0A};
  pbx_.Peer().SetScript(script);
  Bytes request{0x21, 1, 0, 0, 0x07, 0x00, 0x01, 0x0A};
  ASSERT_EQ(Exchange(request, &reply), 9);
  EXPECT_EQ(reply, (Bytes{0x21, 2, 2, 0, 0x05, 0x00, 0x02, 0x0A, 0x0A}));
  Bytes sent = request;
  sent[2] = 2;
  Bytes binary = BinaryFrame('0', {sent});
  ASSERT_TRUE(pbx_.Peer().WaitItems(4));
  Bytes raw = pbx_.Peer().Raw();
  Bytes tail(raw.begin() + static_cast<long>(expected.size()), raw.end());
  Bytes wanted = binary;
  wanted.insert(wanted.end(), {0x0A, 0x06});
  EXPECT_EQ(tail, wanted);

  // Nine bytes with one 0x0A: the escaped length is 10, so its low byte is doubled too.
  pbx_.Peer().SetScript({});
  Bytes nine{0x22, 1, 0, 0, 0x07, 0x00, 0x02, 0x0A, 0x01};
  ASSERT_EQ(Exchange(nine, &reply), 4);
  ASSERT_TRUE(pbx_.Peer().WaitItems(6));
  raw = pbx_.Peer().Raw();
  Bytes header{0x0A, 0x01, 0x01, 0x0A, 0x02, 0x00, 0x0A, 0x0A, 0x22, 0x01, 0x03};
  auto at = std::search(raw.begin(), raw.end(), header.begin(), header.end());
  EXPECT_NE(at, raw.end());
  nine[2] = 3;
  EXPECT_EQ(pbx_.Peer().Items().at(4).messages.at(0), nine);

  Bytes event{0x50, 1, 0, 0, 0x0A};
  pbx_.Peer().SendFrame({event}, true);
  ASSERT_TRUE(CallbackLog::Get().WaitEvents(1));
  EXPECT_EQ(CallbackLog::Get().Events().at(0), event);
  EXPECT_EQ(CallbackLog::Get().Slots().at(0), 2u);

  m_.disconnect(handle_);
  connected_ = false;
  std::string log =
      ReadFile(platform::SystemFolder() + "/qrvnsdrv" + (platform::LocalNow().day < 10 ? "0" : "") +
               std::to_string(platform::LocalNow().day) + ".log");
  EXPECT_NE(log.find("] SENDDATA(TXT):" + AsText(proposal) + "\r\n"), std::string::npos);
  EXPECT_NE(log.find("] SENDDATA(BIN):^[0^:000921010200070001^0A^]"), std::string::npos) << log;
  EXPECT_NE(log.find("] RECVDATA(BIN):^+\r\n"), std::string::npos);
}

TEST_F(PtyTest, RefusedFramesBlockTheLinkUntilThePbxResetsIt) {
  Configure(10);
  Connect();
  PbxPeer::Script script;
  script.nacks = 4;
  script.reply = false;
  pbx_.Peer().SetScript(script);
  Bytes message{0x30, 1, 0, 0};
  EXPECT_EQ(m_.sendData(handle_, message.data(), 4), -22);
  ASSERT_TRUE(pbx_.Peer().WaitItems(5));
  EXPECT_EQ(pbx_.Peer().Items().at(4).kind, PeerItem::Block);
  Bytes reply(64);
  EXPECT_EQ(m_.dataComm(handle_, message.data(), 4, reply.data(), 64), -2);
  EXPECT_EQ(m_.dataComm(handle_, message.data(), 2049, reply.data(), 64), -2);
  pbx_.Peer().SendReset();
  pbx_.Peer().SetScript({});
  ASSERT_TRUE(
      Eventually([&] { return m_.dataComm(handle_, message.data(), 4, reply.data(), 64) == 4; }));
  EXPECT_EQ(m_.dataComm(handle_, message.data(), 2049, reply.data(), 64), -10);
}

TEST_F(PtyTest, MonitorAreaShowsTheConnectedPort) {
  Configure(13);
  Connect();
  auto area = platform::SharedArea::Open(linkdriver::monitor::kAreaName, 512, false, true);
  ASSERT_NE(area, nullptr);
  auto entry16 = [&](size_t offset) {
    uint16_t v;
    std::memcpy(&v, area->Data() + offset, 2);
    return v;
  };
  auto entry32 = [&](size_t offset) {
    uint32_t v;
    std::memcpy(&v, area->Data() + offset, 4);
    return v;
  };
  EXPECT_EQ(entry16(70 + 2 * 13), 1);
  EXPECT_EQ(entry16(102 + 2 * 13), 1);
  EXPECT_EQ(entry16(134 + 2 * 13), 1);  // a pty counts as DSR on
  m_.setAllocCount(4321);
  m_.setQueCount(12);
  EXPECT_EQ(entry32(232), 4321u);
  EXPECT_EQ(entry32(236), 12u);
  m_.disconnect(handle_);
  connected_ = false;
  EXPECT_EQ(entry16(70 + 2 * 13), 0);
}

TEST_F(PtyTest, ClosedPtyIsReportedAndSendsFailCleanly) {
  Configure(11);
  Connect();
  pbx_.Close();
  ASSERT_TRUE(CallbackLog::Get().WaitAnyStatus());
  auto statuses = CallbackLog::Get().Statuses();
  for (int32_t code : statuses) {
    EXPECT_TRUE(code == -5 || code == -6 || code == -14) << code;
  }
  Bytes message{0x30, 1, 0, 0};
  Bytes reply(16);
  ASSERT_TRUE(Eventually([&] { return m_.sendData(handle_, message.data(), 4) == -1; }));
  EXPECT_EQ(m_.dataComm(handle_, message.data(), 4, reply.data(), 16), -1);
  EXPECT_EQ(m_.disconnect(handle_), 0);
  connected_ = false;
}

TEST_F(PtyTest, ConnectRefusals) {
  uint32_t h = 0;
  EXPECT_EQ(m_.connect(&h, kProvider, 16, CallbackLog::OnReceive, CallbackLog::OnStatus), -2);
  // A COM port whose device does not exist.
  platform::RegistryKey ports;
  ASSERT_EQ(platform::RegistryKey::Create("SOFTWARE\\Qrvn\\Ports", ports), platform::RegResult::Ok);
  ports.SetString("COM12", root_.File("no-such-device"));
  platform::RegistryKey key;
  ASSERT_EQ(platform::RegistryKey::Create("SOFTWARE\\Tervolin\\VN2448\\PBX0000002c", key),
            platform::RegResult::Ok);
  key.SetDword("COMPORTNO", 12);
  EXPECT_EQ(m_.connect(&h, kProvider, 1, CallbackLog::OnReceive, CallbackLog::OnStatus), -1);
  // Same provider twice.
  Configure(14);
  Connect();
  EXPECT_EQ(m_.connect(&h, kProvider, 1, CallbackLog::OnReceive, CallbackLog::OnStatus), -3);
  EXPECT_EQ(m_.disconnect(7), 0);
}

}  // namespace
}  // namespace qrvn::testing
