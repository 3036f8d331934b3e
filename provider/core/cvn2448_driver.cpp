// The provider instance: construction, Open (link binding), Close and destruction.
#include "provider/core/cvn2448_driver.h"

#include <array>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/clock.h"
#include "provider/core/process.h"

namespace qrvn::provider {
namespace {

// Guards the size of every instance's LineOpenFlags against the link driver's status thread.
std::mutex g_lineFlagsMutex;

}  // namespace

const char* PbxModelName(uint32_t pbxType) {
  static constexpr std::array<const char*, 6> kNames = {"VN2448", "VN2448D", "VN1632",
                                                        "VN9000", "VN9000D", "VN1224"};
  return pbxType >= 1 && pbxType <= kNames.size() ? kNames[pbxType - 1] : "-----";
}

CVN2448Driver::CVN2448Driver(uint32_t slotIndex) : slot(slotIndex) {
  InstancePartFactories& parts = PartFactories();
  directory = parts.makeDirectory(*this);
  if (directory != nullptr) session = parts.makeSession(*this);
  if (session != nullptr) analyzer = parts.makeAnalyzer(*this);
  if (analyzer != nullptr) configExchange = parts.makeConfigExchange(*this);
}

CVN2448Driver::~CVN2448Driver() {
  if (analyzer != nullptr) {
    analyzer->StopKeepAlive();
    analyzer->StopAnalyzer();
  }
  while (activeRequestCount.load() != 0) platform::SleepMs(10);
  // A link still connected would go on calling back into this instance.
  if (link.disConnect != nullptr) link.disConnect(link.handle);
  configExchange.reset();
  analyzer.reset();
  session.reset();
  directory.reset();
  if (link.module != nullptr) Unbind();
}

CVN2448Driver* CVN2448Driver::Create(uint32_t slotIndex) {
  static_assert(alignof(CVN2448Driver) <= 16, "pool blocks are 16-byte aligned");
  void* block = AllocMemory(kPoolZeroInit, sizeof(CVN2448Driver));
  if (block == nullptr) return nullptr;
  return new (block) CVN2448Driver(slotIndex);
}

void CVN2448Driver::Destroy(CVN2448Driver* instance) {
  if (instance == nullptr) return;
  instance->~CVN2448Driver();
  FreeMemory(instance);
}

bool CVN2448Driver::Complete() const {
  return directory != nullptr && session != nullptr && analyzer != nullptr &&
         configExchange != nullptr;
}

void CVN2448Driver::SetLineCount(uint32_t count) {
  std::lock_guard<std::mutex> lock(g_lineFlagsMutex);
  numberOfLines = count;
  lineOpenFlags.resize(count, 0);
}

std::vector<uint32_t> CVN2448Driver::LineOpenFlagsSnapshot() const {
  std::lock_guard<std::mutex> lock(g_lineFlagsMutex);
  return lineOpenFlags;
}

void CVN2448Driver::SetLineOpenFlag(uint32_t lineIndex, uint32_t value) {
  std::lock_guard<std::mutex> lock(g_lineFlagsMutex);
  if (lineIndex < lineOpenFlags.size()) lineOpenFlags[lineIndex] = value;
}

bool CVN2448Driver::Open(uint32_t providerId, uint32_t slotIndex, ASYNC_COMPLETION completionProc) {
  permanentProviderId = providerId;
  slot = slotIndex;
  if (!ReadInstanceConfig(providerId, config)) {
    WriteEventLog(*this, LogFormat("CVN2448Driver::Open() registry key %s cannot be read",
                                   ProviderKeyName(providerId).c_str()));
    return false;
  }
  pbxType = config.pbxType;
  SetProviderLogSettings(EventLogSettings());
  if (!Complete()) return false;
  if ((config.comType != 1 && config.comType != 2) || config.comPortNoZero) {
    WriteEventLog(*this, LogFormat("CVN2448Driver::Open() COMTYPE[%u] COMPORTNO[%u] refused",
                                   config.comType, config.comPortNo));
    return false;
  }
  if (!LoadLinkDriver()) return false;
  completion = completionProc;
  return BindAndStart();
}

bool CVN2448Driver::LoadLinkDriver() {
  const char* name = config.comType == 1 ? kSerialLinkDriver : kEthernetLinkDriver;
  std::string error;
  link.module = platform::Module::Load(name, &error);
  if (link.module == nullptr) {
    WriteEventLog(*this,
                  LogFormat("CVN2448Driver::Open() %s cannot be loaded: %s", name, error.c_str()));
    return false;
  }
  auto setAllocCount = link.module->Function<SetCountFn>("SetAllocCount");
  auto setQueCount = link.module->Function<SetCountFn>("SetQueCount");
  Process().setAllocCount = setAllocCount;
  Process().setQueCount = setQueCount;
  ProcessPool().SetCountReporter(setAllocCount);
  return true;
}

bool CVN2448Driver::BindAndStart() {
  auto version = link.module->Function<VersionFn>("Version");
  std::memset(link.version, 0, sizeof link.version);
  if (version != nullptr) {
    version(link.version);
    link.version[kLinkVersionSize - 1] = '\0';
  }
  link.connect = link.module->Function<ConnectFn>("Connect");
  link.disConnect = link.module->Function<DisConnectFn>("DisConnect");
  link.sendData = link.module->Function<SendDataFn>("SendData");
  link.dataComm = link.module->Function<DataCommFn>("DataComm");
  if (link.connect == nullptr || link.disConnect == nullptr || link.sendData == nullptr ||
      link.dataComm == nullptr) {
    WriteEventLog(*this, "CVN2448Driver::Open() link driver export missing");
    Unbind();
    return false;
  }
  int32_t connected =
      link.connect(&link.handle, permanentProviderId, slot, &ReceiveCallback, &StatusCallback);
  if (connected < 0) {
    WriteEventLog(*this, LogFormat("CVN2448Driver::Open() Connect = %d", connected));
    Unbind();
    return false;
  }
  int32_t started = session->StartUp(permanentProviderId, slot);
  if (started == kLineCountChanged) return true;
  if (started != kStartUpReady) {
    FailAfterConnect();
    return false;
  }
  if (session->RegisterEvents() != 1 || !analyzer->Start(completion)) {
    FailAfterConnect();
    return false;
  }
  return true;
}

void CVN2448Driver::FailAfterConnect() {
  analyzer->StopKeepAlive();
  analyzer->StopAnalyzer();
  SendClosingMessage();
  session->ReleaseDevices();
  link.disConnect(link.handle);
  Unbind();
}

void CVN2448Driver::Unbind() {
  link.connect = nullptr;
  link.disConnect = nullptr;
  link.sendData = nullptr;
  link.dataComm = nullptr;
  Process().setAllocCount = nullptr;
  Process().setQueCount = nullptr;
  ProcessPool().SetCountReporter(nullptr);
  link.module.reset();
}

void CVN2448Driver::SendClosingMessage() {
  if (reinitPending.load() == 1 || link.dataComm == nullptr) return;
  uint8_t request[10];
  int32_t length =
      BuildMessage(session.get(), kClosingMessageCode, request, sizeof request, nullptr, 0);
  if (length < 0) return;
  if (pbxType == 4 || pbxType == 5) {
    // These models send no reply to the closing message.
    if (link.sendData != nullptr) link.sendData(link.handle, request, length);
    return;
  }
  std::array<uint8_t, kMaxMessage> reply{};
  link.dataComm(link.handle, request, length, reply.data(), kMaxMessage);
}

bool CVN2448Driver::Close() {
  WriteProviderLog("CVN2448Driver::Close() Start");
  if (analyzer != nullptr) analyzer->StopKeepAlive();
  WriteProviderLog("CVN2448Driver::Close() 001");
  if (session != nullptr) session->CloseSession();
  WriteProviderLog("CVN2448Driver::Close() 002");
  if (analyzer != nullptr) analyzer->StopAnalyzer();
  WriteProviderLog("CVN2448Driver::Close() 003");
  if (link.disConnect != nullptr) {
    WriteProviderLog("CVN2448Driver::Close() 004");
    link.disConnect(link.handle);
    WriteProviderLog("CVN2448Driver::Close() 005");
  }
  link.connect = nullptr;
  link.disConnect = nullptr;
  link.sendData = nullptr;
  link.dataComm = nullptr;
  WriteProviderLog("CVN2448Driver::Close() 006");
  if (session != nullptr) session->ReleaseDevices();
  WriteProviderLog("CVN2448Driver::Close() 007");
  if (SetCountFn setAllocCount = Process().setAllocCount.load(); setAllocCount != nullptr) {
    // The instance's own block goes right after Close.
    setAllocCount(ProcessPool().Count() - 1);
  }
  WriteProviderLog("CVN2448Driver::Close() 010");
  Process().setAllocCount = nullptr;
  Process().setQueCount = nullptr;
  ProcessPool().SetCountReporter(nullptr);
  WriteProviderLog("CVN2448Driver::Close() 011");
  link.module.reset();
  WriteProviderLog("CVN2448Driver::Close() End");
  return true;
}

}  // namespace qrvn::provider
