// Provider instances through the TSPI provider functions, with a scripted PBX session and
// the test link driver: start-up, the changed line count, link binding, Close and Shutdown,
// the link driver's callbacks and SendRequest.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/core/direct_use.h"
#include "provider/core/process.h"
#include "provider_test_support.h"
#include "tapi/tspi.h"
#include "tests/support/temp_root.h"

namespace qrvn::provider {
namespace {

// What the scripted session and analyzer do, and what they saw.
struct Script {
  int32_t startUp = kStartUpReady;
  uint32_t pbxLines = 4;
  int32_t registerEvents = 1;
  bool analyzerStarts = true;
  uint32_t systemStatus = 2;
  std::vector<std::string> calls;
  std::vector<std::vector<uint8_t>> received;
  std::vector<std::string> dialogAnswers;
};
Script g_script;

class ScriptedSession final : public PbxSession {
 public:
  explicit ScriptedSession(CVN2448Driver& owner) : PbxSession(&owner.ctiVersion), owner_(owner) {}
  int32_t StartUp(uint32_t, uint32_t) override {
    g_script.calls.push_back("StartUp");
    lines_.assign(g_script.pbxLines, LineDevice{});
    owner_.SetLineCount(g_script.pbxLines);
    counted_ = true;
    return g_script.startUp;
  }
  int32_t RegisterEvents() override {
    g_script.calls.push_back("RegisterEvents");
    return g_script.registerEvents;
  }
  int32_t CloseSession() override {
    g_script.calls.push_back("CloseSession");
    return 1;
  }
  void ReleaseDevices() override { g_script.calls.push_back("ReleaseDevices"); }
  bool LinesCounted() const override { return counted_; }
  uint32_t LineCount() const override { return static_cast<uint32_t>(lines_.size()); }
  LineDevice* Line(uint32_t index) override {
    return index < lines_.size() ? &lines_[index] : nullptr;
  }
  uint32_t PbxSystemStatus() const override { return g_script.systemStatus; }

 private:
  CVN2448Driver& owner_;
  std::vector<LineDevice> lines_;
  bool counted_ = false;
};

class ScriptedAnalyzer final : public NoticeAnalyzer {
 public:
  bool Start(ASYNC_COMPLETION) override {
    g_script.calls.push_back("Start");
    return g_script.analyzerStarts;
  }
  void StopAnalyzer() override { g_script.calls.push_back("StopAnalyzer"); }
  void StopKeepAlive() override { g_script.calls.push_back("StopKeepAlive"); }
  void ClearRunFlags() override {}
  int32_t OnReceive(const uint8_t* message, int32_t length) override {
    g_script.received.emplace_back(message, message + length);
    return 1;
  }
};

class ScriptedExchange final : public ConfigExchange {
 public:
  LONG Answer(LPVOID, DWORD size) override {
    g_script.dialogAnswers.push_back("instance " + std::to_string(size));
    return 0;
  }
};

InstancePartFactories ScriptedParts() {
  InstancePartFactories parts = PlaceholderParts();
  parts.makeSession = [](CVN2448Driver& owner) -> std::unique_ptr<PbxSession> {
    return std::make_unique<ScriptedSession>(owner);
  };
  parts.makeAnalyzer = [](CVN2448Driver&) -> std::unique_ptr<NoticeAnalyzer> {
    return std::make_unique<ScriptedAnalyzer>();
  };
  parts.makeConfigExchange = [](CVN2448Driver&) -> std::unique_ptr<ConfigExchange> {
    return std::make_unique<ScriptedExchange>();
  };
  parts.registryDialogData = [](DWORD id, LPVOID, DWORD) -> LONG {
    g_script.dialogAnswers.push_back("registry " + std::to_string(id));
    return 0;
  };
  return parts;
}

struct LineEventSeen {
  HTAPILINE line;
  DWORD msg;
  DWORD_PTR param1;
};
std::vector<LineEventSeen> g_lineEvents;
void OnLineEvent(HTAPILINE line, HTAPICALL, DWORD msg, DWORD_PTR p1, DWORD_PTR, DWORD_PTR) {
  g_lineEvents.push_back({line, msg, p1});
}

class LifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_script = Script{};
    g_lineEvents.clear();
    ASSERT_TRUE(ProcessAttach());
    PartFactories() = ScriptedParts();
    oldBox_ = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& request) {
      boxes_.push_back(request.caption + "|" + request.text);
      return platform::MessageBoxResult::Ok;
    });
    Configure(kId, "DEBUG", 1);
  }
  void TearDown() override {
    ProcessDetach();
    PartFactories() = PlaceholderParts();
    platform::SetMessageBoxHandler(oldBox_);
  }
  static void Configure(uint32_t id, const char* name, uint32_t value) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::RegistryKey::Create(ProviderKeyName(id), key), platform::RegResult::Ok);
    ASSERT_EQ(key.SetDword(name, value), platform::RegResult::Ok);
  }
  void Driver(const std::string& script) { std::ofstream(root_.File("testlink.script")) << script; }
  std::vector<std::string> DriverCalls() {
    std::vector<std::string> calls;
    std::ifstream in(root_.File("testlink.calls"));
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    return calls;
  }
  LONG Init(uint32_t id, DWORD lines) {
    DWORD options = 99;
    LONG result = TSPI_providerInit(0x20001, id, 100, 0, lines, 0, nullptr, &options);
    if (result == 0) {
      EXPECT_EQ(options, 0u);
    }
    return result;
  }
  // Binds a test-control function of the test link driver the provider loaded.
  template <typename F>
  F Control(const char* name) {
    if (testLink_ == nullptr) testLink_ = platform::Module::Load("QRVNSDRV.DLL", nullptr);
    return testLink_ != nullptr ? testLink_->Function<F>(name) : nullptr;
  }

  static constexpr uint32_t kId = 0x1A;
  testing::TempRoot root_;
  platform::MessageBoxHandler oldBox_;
  std::vector<std::string> boxes_;
  std::unique_ptr<platform::Module> testLink_;
};

TEST_F(LifecycleTest, InitStartsAndShutdownClosesStepByStep) {
  ASSERT_EQ(Init(kId, 4), 0);
  EXPECT_EQ(g_script.calls, (std::vector<std::string>{"StartUp", "RegisterEvents", "Start"}));
  EXPECT_EQ(DriverCalls(), (std::vector<std::string>{"Version", "Connect id=26 slot=0"}));
  CVN2448Driver* instance = SlotInstance(0);
  ASSERT_NE(instance, nullptr);
  EXPECT_STREQ(instance->link.version, "TestLink 1.0");
  // Pool changes reach the driver's monitor count while it is bound.
  auto allocCount = Control<uint32_t (*)()>("TestLinkAllocCount");
  void* block = AllocMemory(kPoolZeroInit, 8);
  EXPECT_EQ(allocCount(), 2u);
  FreeMemory(block);
  EXPECT_EQ(allocCount(), 1u);
  EXPECT_EQ(FindSlotByLineDevice(103), 0);
  EXPECT_EQ(FindSlotByLineDevice(104), -1);

  g_script.calls.clear();
  EXPECT_EQ(TSPI_providerShutdown(0x20001, kId), 0);
  EXPECT_EQ(g_script.calls,
            (std::vector<std::string>{"StopKeepAlive", "CloseSession", "StopAnalyzer",
                                      "ReleaseDevices", "StopKeepAlive", "StopAnalyzer"}));
  EXPECT_EQ(DriverCalls().back(), "DisConnect handle=7");
  EXPECT_EQ(SlotInstance(0), nullptr);
  EXPECT_EQ(Process().providerTable[0].permanentProviderId.load(), kUnusedProviderId);
  EXPECT_EQ(ProcessPool().Count(), 0u);

  std::string log = testing::ProviderLogText();
  size_t at = 0;
  for (const char* step : {"TSPI_providerShutdown() Start", "TSPI_providerShutdown() 001",
                           "TSPI_providerShutdown() 004",   "TSPI_providerShutdown() 005",
                           "CVN2448Driver::Close() Start",  "CVN2448Driver::Close() 001",
                           "CVN2448Driver::Close() 002",    "CVN2448Driver::Close() 003",
                           "CVN2448Driver::Close() 004",    "CVN2448Driver::Close() 005",
                           "CVN2448Driver::Close() 006",    "CVN2448Driver::Close() 007",
                           "CVN2448Driver::Close() 010",    "CVN2448Driver::Close() 011",
                           "CVN2448Driver::Close() End",    "TSPI_providerShutdown() 006",
                           "TSPI_providerShutdown() 007",   "TSPI_providerShutdown() 008",
                           "TSPI_providerShutdown() 009",   "TSPI_providerShutdown() End"}) {
    size_t found = log.find(std::string("] ") + step + "\r\n", at);
    ASSERT_NE(found, std::string::npos) << step << "\n" << log;
    at = found;
  }
}

TEST_F(LifecycleTest, ChangedLineCountIsStoredAndReportedNextTime) {
  g_script.startUp = kLineCountChanged;
  g_script.pbxLines = 40;
  EXPECT_EQ(Init(kId, 236), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(g_script.calls,
            (std::vector<std::string>{"StartUp", "StopKeepAlive", "CloseSession", "StopAnalyzer",
                                      "ReleaseDevices", "StopKeepAlive", "StopAnalyzer"}));
  EXPECT_EQ(boxes_,
            (std::vector<std::string>{"Tervolin QR-VN TSP Message|SystemChange.\nPlease Reboot."}));
  EXPECT_EQ(SlotInstance(0), nullptr);
  DWORD lines = 0;
  DWORD phones = 9;
  EXPECT_EQ(TSPI_providerEnumDevices(kId, &lines, &phones, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(lines, 40u);
  EXPECT_EQ(phones, 0u);
  g_script.startUp = kStartUpReady;
  EXPECT_EQ(Init(kId, 40), 0);
}

TEST_F(LifecycleTest, ChangedLineCountWithoutMessageBoxWhenInitMsgWaitIsZero) {
  Configure(kId, "INITMSGWAIT", 0);
  g_script.startUp = kLineCountChanged;
  EXPECT_EQ(Init(kId, 236), LINEERR_OPERATIONFAILED);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(LifecycleTest, FailuresAfterConnectCloseTheSessionAndUnbind) {
  struct Case {
    const char* name;
    int32_t startUp;
    int32_t registerEvents;
    bool analyzerStarts;
  } cases[] = {
      {"start-up fails", kStartUpFailed, 1, true},
      {"event registration fails", kStartUpReady, 0, true},
      {"threads do not start", kStartUpReady, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(root_.File("testlink.calls").c_str());
    g_script.startUp = c.startUp;
    g_script.registerEvents = c.registerEvents;
    g_script.analyzerStarts = c.analyzerStarts;
    EXPECT_EQ(Init(kId, 4), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(DriverCalls(), (std::vector<std::string>{"Version", "Connect id=26 slot=0",
                                                       "DataComm handle=7 code=2 length=4",
                                                       "DisConnect handle=7"}));
    EXPECT_EQ(SlotInstance(0), nullptr);
    // Init reserved the slot itself: it goes back to provider ID 0, not in use.
    EXPECT_EQ(Process().providerTable[0].permanentProviderId.load(), 0u);
    EXPECT_EQ(Process().providerTable[0].inUse.load(), 0u);
    EXPECT_EQ(ProcessPool().Count(), 0u);
  }
}

TEST_F(LifecycleTest, ClosingMessageGoesBySendDataForTheVn9000Models) {
  Configure(kId, "PBXTYPE", 2);
  ASSERT_EQ(Init(kId, 4), 0);
  CVN2448Driver* instance = SlotInstance(0);
  instance->pbxType = 4;
  instance->SendClosingMessage();
  EXPECT_EQ(DriverCalls().back(), "SendData handle=7 code=2 length=4");
  instance->reinitPending = 1;
  instance->SendClosingMessage();
  EXPECT_EQ(DriverCalls().back(), "SendData handle=7 code=2 length=4");
  EXPECT_EQ(DriverCalls().size(), 3u);
}

TEST_F(LifecycleTest, EnumDevicesAfterEnumReservedTheSlotKeepsItForInit) {
  DWORD lines = 0;
  DWORD phones = 0;
  ASSERT_EQ(TSPI_providerEnumDevices(kId, &lines, &phones, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(lines, 236u);
  g_script.startUp = kStartUpFailed;
  EXPECT_EQ(Init(kId, 4), LINEERR_OPERATIONFAILED);
  // Reserved by EnumDevices: it stays reserved for the provider.
  EXPECT_EQ(Process().providerTable[0].permanentProviderId.load(), kId);
  EXPECT_EQ(Process().providerTable[0].inUse.load(), 1u);
  g_script.startUp = kStartUpReady;
  ASSERT_EQ(Init(kId, 4), 0);
  // While the instance runs, EnumDevices reports the PBX's own count.
  ASSERT_EQ(TSPI_providerEnumDevices(kId, &lines, &phones, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(lines, 4u);
}

TEST_F(LifecycleTest, SecondInitOfARunningProviderIsRefusedAndChangesNothing) {
  ASSERT_EQ(Init(kId, 4), 0);
  CVN2448Driver* running = SlotInstance(0);
  EXPECT_EQ(Init(kId, 4), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(SlotInstance(0), running);
  EXPECT_EQ(running->link.dataComm != nullptr, true);
}

TEST_F(LifecycleTest, LinkFailureReinitialisesOpenLinesAndRefusesCommands) {
  ASSERT_EQ(Init(kId, 4), 0);
  PBXInitialize(0, 0, &OnLineEvent);
  EXPECT_EQ(LineDevOpen2(0, 1), 1);
  EXPECT_EQ(LineDevOpen2(0, 3), 1);
  EXPECT_EQ(LineDevOpen2(0, 99), 1);  // no such line: nothing happens
  CVN2448Driver* instance = SlotInstance(0);
  LineDevice* line1 = instance->session->Line(1);

  auto status = Control<int32_t (*)(int32_t)>("TestLinkStatus");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status(-3), 1);
  ASSERT_EQ(g_lineEvents.size(), 2u);
  EXPECT_EQ(g_lineEvents[0].line, reinterpret_cast<HTAPILINE>(line1));
  EXPECT_EQ(g_lineEvents[0].msg, LINE_LINEDEVSTATE);
  EXPECT_EQ(g_lineEvents[0].param1, LINEDEVSTATE_REINIT);
  std::string log = testing::EventLogText();
  EXPECT_NE(log.find("] LINEDEVSTATE_REINIT-0004[1] error_code[-3]\r\n"), std::string::npos);
  EXPECT_NE(log.find("] LINEDEVSTATE_REINIT-0004[3] error_code[-3]\r\n"), std::string::npos);
  EXPECT_EQ(log.find("LINEDEVSTATE_REINIT-0004[0]"), std::string::npos);
  EXPECT_EQ(instance->reinitPending.load(), 1u);

  size_t callsBefore = DriverCalls().size();
  uint8_t closing[4] = {2, 1, 0, 0};
  uint8_t other[4] = {5, 1, 0, 0};
  uint8_t reply[kMaxMessage];
  EXPECT_EQ(SendRequest(*instance, instance->link.handle, closing, 4, reply, kMaxMessage), 0);
  EXPECT_EQ(SendRequest(*instance, instance->link.handle, other, 4, reply, kMaxMessage),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(DriverCalls().size(), callsBefore);
}

TEST_F(LifecycleTest, LineDevCloseStopsEvents) {
  ASSERT_EQ(Init(kId, 4), 0);
  PBXInitialize(0, 0, &OnLineEvent);
  LineDevOpen(0);
  LineDevClose2(0, 2);
  EXPECT_EQ(SlotInstance(0)->lineOpenFlags, (std::vector<uint32_t>{1, 1, 0, 1}));
  LineDevClose(0);
  EXPECT_EQ(SlotInstance(0)->lineOpenFlags, (std::vector<uint32_t>{0, 0, 0, 0}));
  Control<int32_t (*)(int32_t)>("TestLinkStatus")(-1);
  EXPECT_TRUE(g_lineEvents.empty());
}

TEST_F(LifecycleTest, SendRequestPassesDataCommThroughUnlessMessagesWereLost) {
  ASSERT_EQ(Init(kId, 4), 0);
  CVN2448Driver* instance = SlotInstance(0);
  uint8_t request[4] = {0x21, 1, 0, 0};
  uint8_t reply[kMaxMessage] = {};
  EXPECT_EQ(SendRequest(*instance, instance->link.handle, request, 4, reply, kMaxMessage), 4);
  EXPECT_EQ(reply[0], 0x21);
  EXPECT_EQ(reply[1], 2);
  Driver("datacomm -4\n");
  EXPECT_EQ(SendRequest(*instance, instance->link.handle, request, 4, reply, kMaxMessage), -4);
  g_script.systemStatus = 5;
  size_t callsBefore = DriverCalls().size();
  EXPECT_EQ(SendRequest(*instance, instance->link.handle, request, 4, reply, kMaxMessage),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(DriverCalls().size(), callsBefore);
}

TEST_F(LifecycleTest, ReceiveCallbackQueuesMessagesUpTo2048Bytes) {
  ASSERT_EQ(Init(kId, 4), 0);
  auto receive = Control<int32_t (*)(const uint8_t*, int32_t)>("TestLinkReceive");
  std::vector<uint8_t> event(2048, 0x44);
  EXPECT_EQ(receive(event.data(), 2048), 1);
  std::vector<uint8_t> longer(2049, 0x44);
  EXPECT_EQ(receive(longer.data(), 2049), 0);
  EXPECT_EQ(receive(event.data(), 3), 0);
  ASSERT_EQ(g_script.received.size(), 1u);
  EXPECT_EQ(g_script.received[0], event);
  EXPECT_EQ(ReceiveCallback(5, event.data(), 8), 0);  // a slot without an instance
  EXPECT_EQ(StatusCallback(5, -1, 0), 0);
}

TEST_F(LifecycleTest, PbxCloseEndsTheInstanceButKeepsTheSlot) {
  ASSERT_EQ(Init(kId, 4), 0);
  EXPECT_EQ(PBXClose(0), 1);
  EXPECT_EQ(SlotInstance(0), nullptr);
  EXPECT_EQ(Process().providerTable[0].permanentProviderId.load(), kId);
  EXPECT_EQ(Process().providerTable[0].inUse.load(), 1u);
  EXPECT_EQ(DriverCalls().back(), "DisConnect handle=7");
  EXPECT_EQ(PBXClose(0), 1);
  EXPECT_EQ(PBXClose(77), 1);
}

TEST_F(LifecycleTest, GenericDialogDataRouting) {
  int params = 0;
  EXPECT_EQ(TSPI_providerGenericDialogData(kId, 1, &params, 4), 0);
  EXPECT_EQ(TSPI_providerGenericDialogData(0x55, 3, &params, 4), 0);
  DWORD lines = 0;
  DWORD phones = 0;
  TSPI_providerEnumDevices(kId, &lines, &phones, nullptr, nullptr, nullptr);
  EXPECT_EQ(TSPI_providerGenericDialogData(kId, 3, &params, 4), LINEERR_OPERATIONFAILED);
  ASSERT_EQ(Init(kId, 4), 0);
  EXPECT_EQ(TSPI_providerGenericDialogData(kId, 3, &params, 12), 0);
  EXPECT_EQ(g_script.dialogAnswers, (std::vector<std::string>{"registry 85", "instance 12"}));
}

TEST_F(LifecycleTest, UnloadEndsAnInstanceThatWasNeverShutDown) {
  ASSERT_EQ(Init(kId, 4), 0);
  ProcessDetach();
  EXPECT_EQ(DriverCalls().back(), "DisConnect handle=7");
  ASSERT_TRUE(ProcessAttach());
}

}  // namespace
}  // namespace qrvn::provider
