// The placeholder parts of an instance, used until the subsystems that implement them are
// installed.
#include "provider/core/instance_parts.h"

#include "provider/core/cvn2448_driver.h"
#include "provider/core/device_directory.h"
#include "provider/core/line_events.h"
#include "provider/core/notice_analyzer.h"
#include "provider/session/pbx_session.h"

namespace qrvn::provider {
namespace {

// A session that cannot start: Open then closes the link and unbinds the driver.
class PlaceholderSession final : public PbxSession {
 public:
  explicit PlaceholderSession(CVN2448Driver& owner) : PbxSession(&owner.ctiVersion) {}
  int32_t StartUp(uint32_t, uint32_t) override { return kStartUpFailed; }
  int32_t RegisterEvents() override { return 0; }
  int32_t CloseSession() override { return 0; }
  void ReleaseDevices() override {}
  bool LinesCounted() const override { return false; }
  uint32_t LineCount() const override { return 0; }
  LineDevice* Line(uint32_t) override { return nullptr; }
  uint32_t PbxSystemStatus() const override { return 0; }
};

// An event intake without threads: it cannot start and queues nothing.
class PlaceholderAnalyzer final : public NoticeAnalyzer {
 public:
  bool Start(ASYNC_COMPLETION) override { return false; }
  void StopAnalyzer() override {}
  void StopKeepAlive() override {}
  void ClearRunFlags() override {}
  int32_t OnReceive(const uint8_t*, int32_t) override { return 0; }
};

class PlaceholderConfigExchange final : public ConfigExchange {
 public:
  LONG Answer(LPVOID, DWORD) override { return LINEERR_OPERATIONFAILED; }
};

std::unique_ptr<DeviceDirectory> MakeDirectory(CVN2448Driver&) {
  return std::make_unique<DeviceDirectory>();
}
std::unique_ptr<PbxSession> MakeSession(CVN2448Driver& owner) {
  return std::make_unique<PlaceholderSession>(owner);
}
std::unique_ptr<NoticeAnalyzer> MakeAnalyzer(CVN2448Driver&) {
  return std::make_unique<PlaceholderAnalyzer>();
}
std::unique_ptr<ConfigExchange> MakeConfigExchange(CVN2448Driver&) {
  return std::make_unique<PlaceholderConfigExchange>();
}

// Calls the line's own callback when the line is open.
void PostToLine(CVN2448Driver& owner, uint32_t lineIndex, HTAPICALL htCall, DWORD msg,
                DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3) {
  if (owner.session == nullptr) return;
  LineDevice* line = owner.session->Line(lineIndex);
  if (line == nullptr || line->eventProc == nullptr) return;
  line->eventProc(line->htLine, htCall, msg, param1, param2, param3);
}

// Forgets the line's callback.
LONG ForgetLine(HDRVLINE hdLine) {
  auto* line = reinterpret_cast<LineDevice*>(hdLine);
  if (line != nullptr) {
    line->eventProc = nullptr;
    line->htLine = nullptr;
  }
  return 0;
}

LONG NoRegistryAnswer(DWORD, LPVOID, DWORD) {
  return 0;
}

constinit InstancePartFactories g_factories{MakeDirectory,      MakeSession, MakeAnalyzer,
                                            MakeConfigExchange, PostToLine,  ForgetLine,
                                            NoRegistryAnswer};

}  // namespace

InstancePartFactories PlaceholderParts() {
  return {MakeDirectory, MakeSession, MakeAnalyzer,    MakeConfigExchange,
          PostToLine,    ForgetLine,  NoRegistryAnswer};
}

InstancePartFactories& PartFactories() {
  return g_factories;
}

void InstallInstanceParts() {
  // The subsystems of the provider put their makers here as they come into being.
  g_factories = PlaceholderParts();
  g_factories.makeDirectory = MakePbxDeviceDirectory;
  g_factories.makeSession = MakeCtiPbxSession;
  g_factories.makeAnalyzer = MakeNoticeAnalyzer;
  g_factories.postLineEvent = PostLineEventByIndex;
  g_factories.closeLine = TSPI_lineClose;
}

}  // namespace qrvn::provider
