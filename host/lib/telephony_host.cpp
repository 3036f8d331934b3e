#include "host/lib/telephony_host.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/clock.h"

namespace qrvn::host {
namespace {

// The running host: provider callbacks carry no context of their own.
std::atomic<TelephonyHost*> runningHost{nullptr};

// The host knows the TAPI 2.0/2.1 structure layouts, so it offers versions up to 2.1.
constexpr DWORD kLowVersion = TAPI_VERSION1_4;
constexpr DWORD kHighVersion = TAPI_VERSION2_1;

void IgnorePhoneEvent(HTAPIPHONE, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

std::string Hex(LONG value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

}  // namespace

struct TelephonyHost::Provider {
  ProviderEntry entry;
  std::unique_ptr<platform::Module> module;
  TspiTable tspi;
  DWORD version = 0;
  uint32_t lineBase = 0;
  uint32_t numLines = 0;
};

struct TelephonyHost::Line {
  uint32_t deviceId = 0;
  Provider* provider = nullptr;
  DWORD version = 0;
  HDRVLINE hdLine = nullptr;
  bool open = false;
};

struct TelephonyHost::Call {
  Line* line = nullptr;
  HDRVCALL hdCall = nullptr;
};

TelephonyHost::TelephonyHost(EventHandler onEvent) : onEvent_(std::move(onEvent)) {
  TelephonyHost* expected = nullptr;
  // A second host in one process would receive the first one's callbacks: refuse to run it.
  if (runningHost.compare_exchange_strong(expected, this)) {
    dispatcher_.Start([this] { DispatchLoop(); });
  } else {
    stopping_ = true;
  }
}

TelephonyHost::~TelephonyHost() {
  Shutdown();
  TelephonyHost* self = this;
  runningHost.compare_exchange_strong(self, nullptr);
}

std::vector<ProviderStatus> TelephonyHost::Start() {
  std::vector<ProviderStatus> statuses;
  std::vector<ProviderEntry> entries;
  if (ReadProviderList(entries) != platform::RegResult::Ok) {
    ProviderStatus status;
    status.result = LINEERR_OPERATIONFAILED;
    status.error = "cannot read the provider list: " + platform::RegistryLastError();
    statuses.push_back(status);
    return statuses;
  }
  for (const ProviderEntry& entry : entries) statuses.push_back(StartProvider(entry));
  return statuses;
}

ProviderStatus TelephonyHost::StartProvider(const ProviderEntry& entry) {
  ProviderStatus status;
  status.entry = entry;
  auto fail = [&](LONG result, std::string error) {
    status.result = result;
    status.error = std::move(error);
    return status;
  };
  if (runningHost.load() != this) {
    return fail(LINEERR_OPERATIONFAILED, "another telephony host runs in this process");
  }

  auto provider = std::make_unique<Provider>();
  provider->entry = entry;
  std::string loadError;
  provider->module = platform::Module::Load(entry.fileName, &loadError);
  if (!provider->module) return fail(LINEERR_OPERATIONFAILED, "cannot load: " + loadError);
#define QRVN_HOST_BIND(name) provider->tspi.name = provider->module->Function<PFN_##name>(#name);
  QRVN_TSPI_FUNCTIONS(QRVN_HOST_BIND)
#undef QRVN_HOST_BIND
  const TspiTable& tspi = provider->tspi;
  if (!tspi.TSPI_lineNegotiateTSPIVersion || !tspi.TSPI_providerEnumDevices ||
      !tspi.TSPI_providerInit || !tspi.TSPI_providerShutdown) {
    return fail(LINEERR_OPERATIONFAILED, "not a telephony service provider (entry points missing)");
  }

  DWORD version = 0;
  LONG r = tspi.TSPI_lineNegotiateTSPIVersion(INITIALIZE_NEGOTIATION, kLowVersion, kHighVersion,
                                              &version);
  if (r != 0) return fail(r, "TSPI_lineNegotiateTSPIVersion failed: " + Hex(r));
  provider->version = version;

  DWORD numLines = 0;
  DWORD numPhones = 0;
  r = tspi.TSPI_providerEnumDevices(entry.permanentId, &numLines, &numPhones,
                                    reinterpret_cast<HPROVIDER>(provider.get()), &LineCreateThunk,
                                    &IgnorePhoneEvent);
  if (r != 0) return fail(r, "TSPI_providerEnumDevices failed: " + Hex(r));

  uint32_t lineBase = 0;
  {
    std::lock_guard guard(mutex_);
    lineBase = static_cast<uint32_t>(lines_.size());
  }
  DWORD options = 0;
  r = tspi.TSPI_providerInit(version, entry.permanentId, lineBase, 0, numLines, numPhones,
                             &CompletionThunk, &options);
  if (r != 0) return fail(r, "TSPI_providerInit failed: " + Hex(r));

  provider->lineBase = lineBase;
  provider->numLines = numLines;
  std::vector<std::unique_ptr<Line>> lines;
  for (DWORD i = 0; i < numLines; ++i) {
    auto line = std::make_unique<Line>();
    line->deviceId = lineBase + i;
    line->provider = provider.get();
    DWORD lineVersion = 0;
    if (tspi.TSPI_lineNegotiateTSPIVersion(line->deviceId, kLowVersion, version, &lineVersion) ==
        0) {
      line->version = lineVersion;
    }
    lines.push_back(std::move(line));
  }
  status.lineBase = lineBase;
  status.numLines = numLines;
  status.tspiVersion = version;
  std::lock_guard guard(mutex_);
  for (auto& line : lines) lines_.push_back(std::move(line));
  providers_.push_back(std::move(provider));
  return status;
}

void TelephonyHost::Shutdown() {
  std::vector<uint32_t> openLines;
  {
    std::lock_guard guard(mutex_);
    for (const auto& line : lines_) {
      if (line->open) openLines.push_back(line->deviceId);
    }
  }
  for (uint32_t deviceId : openLines) CloseLine(deviceId);

  std::vector<Provider*> providers;
  {
    std::lock_guard guard(mutex_);
    for (auto& provider : providers_) providers.push_back(provider.get());
  }
  for (auto it = providers.rbegin(); it != providers.rend(); ++it) {
    (*it)->tspi.TSPI_providerShutdown((*it)->version, (*it)->entry.permanentId);
  }

  // Deliver what the providers said on their way out, then stop the dispatcher; only then may
  // the modules go, since the event handler may still be inside one.
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
  }
  cv_.notify_all();
  dispatcher_.Join();
  std::lock_guard guard(mutex_);
  calls_.clear();
  lines_.clear();
  providers_.clear();
}

uint32_t TelephonyHost::LineCount() const {
  std::lock_guard guard(mutex_);
  return static_cast<uint32_t>(lines_.size());
}

TelephonyHost::Line* TelephonyHost::FindLine(uint32_t deviceId) const {
  return deviceId < lines_.size() ? lines_[deviceId].get() : nullptr;
}

const TspiTable* TelephonyHost::ProviderOf(uint32_t deviceId) const {
  std::lock_guard guard(mutex_);
  Line* line = FindLine(deviceId);
  return line != nullptr ? &line->provider->tspi : nullptr;
}

DWORD TelephonyHost::LineVersion(uint32_t deviceId) const {
  std::lock_guard guard(mutex_);
  Line* line = FindLine(deviceId);
  return line != nullptr ? line->version : 0;
}

LONG TelephonyHost::OpenLine(uint32_t deviceId) {
  Line* line = nullptr;
  {
    std::lock_guard guard(mutex_);
    line = FindLine(deviceId);
    if (line == nullptr) return LINEERR_BADDEVICEID;
    if (line->open) return LINEERR_ALLOCATED;
  }
  const TspiTable& tspi = line->provider->tspi;
  if (!tspi.TSPI_lineOpen) return LINEERR_OPERATIONUNAVAIL;
  HDRVLINE hdLine = nullptr;
  // The provider may post events from inside TSPI_lineOpen: the host's lock is not held here.
  LONG r = tspi.TSPI_lineOpen(deviceId, reinterpret_cast<HTAPILINE>(line), &hdLine, line->version,
                              &LineEventThunk);
  if (r == 0) {
    std::lock_guard guard(mutex_);
    line->hdLine = hdLine;
    line->open = true;
  }
  return r;
}

LONG TelephonyHost::CloseLine(uint32_t deviceId) {
  Line* line = nullptr;
  HDRVLINE hdLine = nullptr;
  {
    std::lock_guard guard(mutex_);
    line = FindLine(deviceId);
    if (line == nullptr) return LINEERR_BADDEVICEID;
    if (!line->open) return LINEERR_INVALLINEHANDLE;
    hdLine = line->hdLine;
  }
  const TspiTable& tspi = line->provider->tspi;
  LONG r = tspi.TSPI_lineClose != nullptr ? tspi.TSPI_lineClose(hdLine) : 0;
  std::lock_guard guard(mutex_);
  line->open = false;
  line->hdLine = nullptr;
  std::erase_if(calls_, [&](const auto& item) { return item.second->line == line; });
  return r;
}

HDRVLINE TelephonyHost::DriverLine(uint32_t deviceId) const {
  std::lock_guard guard(mutex_);
  Line* line = FindLine(deviceId);
  return line != nullptr && line->open ? line->hdLine : nullptr;
}

LONG TelephonyHost::QueryStructure(const std::function<LONG(void*)>& query,
                                   std::vector<uint8_t>& buffer, size_t initialSize) {
  size_t size = std::max<size_t>(initialSize, 3 * sizeof(DWORD));
  for (int attempt = 0; attempt < 4; ++attempt) {
    buffer.assign(size, 0);
    const DWORD total = static_cast<DWORD>(size);
    std::memcpy(buffer.data(), &total, sizeof total);
    LONG r = query(buffer.data());
    if (r != 0) return r;
    DWORD needed = 0;
    std::memcpy(&needed, buffer.data() + sizeof(DWORD), sizeof needed);
    if (needed <= total) return 0;
    size = needed;
  }
  return LINEERR_STRUCTURETOOSMALL;  // the provider keeps asking for more
}

DRV_REQUESTID TelephonyHost::NewRequest() {
  std::lock_guard guard(mutex_);
  DRV_REQUESTID id = nextRequest_++;
  if (nextRequest_ > 0x7FFFFFFF) nextRequest_ = 1;  // request IDs stay positive results
  pending_[id] = Pending{};
  return id;
}

bool TelephonyHost::WaitForReply(DRV_REQUESTID id, uint32_t timeoutMs, LONG& result) {
  std::unique_lock lock(mutex_);
  auto ready = [&] {
    auto it = pending_.find(id);
    return it == pending_.end() || it->second.done;
  };
  platform::Clock& clock = platform::CurrentClock();
  if (!clock.WaitUntil(lock, cv_, clock.NowMs() + timeoutMs, ready)) return false;
  auto it = pending_.find(id);
  if (it == pending_.end()) return false;
  result = it->second.result;
  pending_.erase(it);
  return true;
}

void TelephonyHost::LineEventThunk(HTAPILINE htLine, HTAPICALL htCall, DWORD msg, DWORD_PTR p1,
                                   DWORD_PTR p2, DWORD_PTR p3) {
  if (TelephonyHost* host = runningHost.load()) {
    host->OnLineEvent(reinterpret_cast<Line*>(htLine), htCall, msg, p1, p2, p3);
  }
}

void TelephonyHost::LineCreateThunk(HTAPILINE, HTAPICALL, DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
                                    DWORD_PTR p3) {
  if (TelephonyHost* host = runningHost.load()) {
    HostEvent event;
    event.message = msg;
    event.param1 = p1;
    event.param2 = p2;
    event.param3 = p3;
    host->Enqueue(event);
  }
}

void TelephonyHost::CompletionThunk(DRV_REQUESTID id, LONG result) {
  if (TelephonyHost* host = runningHost.load()) host->OnCompletion(id, result);
}

void TelephonyHost::OnLineEvent(Line* line, HTAPICALL htCall, DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
                                DWORD_PTR p3) {
  HostEvent event;
  event.message = msg;
  event.param1 = p1;
  event.param2 = p2;
  event.param3 = p3;
  {
    std::lock_guard guard(mutex_);
    // The line handle is the host's own record: never follow one that is not in the table.
    auto known =
        std::find_if(lines_.begin(), lines_.end(), [&](const auto& l) { return l.get() == line; });
    if (known == lines_.end()) return;
    event.deviceId = line->deviceId;
    if (msg == LINE_NEWCALL) {
      // dwParam1 is the provider's call handle, dwParam2 where the host writes its own.
      auto call = std::make_unique<Call>();
      call->line = line;
      call->hdCall = reinterpret_cast<HDRVCALL>(p1);
      Call* raw = call.get();
      calls_[raw] = std::move(call);
      if (p2 != 0) *reinterpret_cast<HTAPICALL*>(p2) = reinterpret_cast<HTAPICALL>(raw);
      event.call = reinterpret_cast<HTAPICALL>(raw);
      event.hdCall = raw->hdCall;
    } else if (htCall != nullptr) {
      auto it = calls_.find(reinterpret_cast<Call*>(htCall));
      if (it != calls_.end()) {
        event.call = htCall;
        event.hdCall = it->second->hdCall;
      }
    }
  }
  Enqueue(event);
}

void TelephonyHost::OnCompletion(DRV_REQUESTID id, LONG result) {
  {
    std::lock_guard guard(mutex_);
    auto it = pending_.find(id);
    if (it == pending_.end()) return;  // not ours, or already abandoned
    it->second.done = true;
    it->second.result = result;
  }
  cv_.notify_all();
  HostEvent event;
  event.message = LINE_REPLY;
  event.param1 = id;
  event.param2 = static_cast<DWORD_PTR>(static_cast<DWORD>(result));
  Enqueue(event);
}

void TelephonyHost::Enqueue(HostEvent event) {
  {
    std::lock_guard guard(mutex_);
    queue_.push_back(event);
  }
  cv_.notify_all();
}

void TelephonyHost::DispatchLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, and everything delivered
    HostEvent event = queue_.front();
    queue_.pop_front();
    lock.unlock();
    if (onEvent_) onEvent_(event);
    // The host is the application of its lines: a call that went idle is deallocated.
    if (event.message == LINE_CALLSTATE && event.param1 == LINECALLSTATE_IDLE &&
        event.call != nullptr) {
      ForgetCall(reinterpret_cast<Call*>(event.call));
    }
    lock.lock();
  }
}

void TelephonyHost::ForgetCall(Call* call) {
  HDRVCALL hdCall = nullptr;
  PFN_TSPI_lineCloseCall closeCall = nullptr;
  {
    std::lock_guard guard(mutex_);
    auto it = calls_.find(call);
    if (it == calls_.end()) return;
    hdCall = call->hdCall;
    closeCall = call->line->provider->tspi.TSPI_lineCloseCall;
    calls_.erase(it);
  }
  if (closeCall != nullptr) closeCall(hdCall);
}

}  // namespace qrvn::host
