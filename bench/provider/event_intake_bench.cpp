// The event intake path: events fed through the receive callback as fast as one thread can,
// queued, taken by NoticeAnalyzeThread, traced, dispatched to a handler that only posts one
// line event (PostLineEvent to an open line whose callback does nothing). Runs with logging
// off and on; the baseline hands the same messages from one thread to another through a
// mutex-guarded deque. The closing lines give events per second and the ratios to the baseline.
//
// QRVN_TIME_SCALE is set to 1000 so that the analyzer's 50 ms idle pause at the start of a
// run does not count; the intake itself never waits on the clock while events are queued.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "provider/core/cvn2448_driver.h"
#include "provider/core/event_dispatch.h"
#include "provider/core/line_events.h"
#include "provider/core/link_binding.h"
#include "provider/core/notice_analyzer.h"
#include "provider/core/process.h"

namespace {

using namespace qrvn::provider;

// A ConnectInform about extension 0x20 connected to 0x21, as the PBX sends it.
const std::vector<uint8_t> kEvent = {kConnectInform, 1, 5, 0, 1, 0,   2, 1, 0x20, 2, 0, 2, 1,
                                     0x21,           3, 0, 2, 1, 0x22};

// A device model of one open line in service.
class OneLineSession final : public PbxSession {
 public:
  explicit OneLineSession(CVN2448Driver& owner) : PbxSession(&owner.ctiVersion) {
    status_.dwTotalSize = sizeof status_;
    status_.dwDevStatusFlags = LINEDEVSTATUSFLAGS_INSERVICE;
    line_.devStatus = &status_;
    line_.eventProc = [](HTAPILINE, HTAPICALL, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR) {};
  }
  int32_t StartUp(uint32_t, uint32_t) override { return kStartUpReady; }
  int32_t RegisterEvents() override { return 1; }
  int32_t CloseSession() override { return 1; }
  void ReleaseDevices() override {}
  bool LinesCounted() const override { return true; }
  uint32_t LineCount() const override { return 1; }
  LineDevice* Line(uint32_t index) override { return index == 0 ? &line_ : nullptr; }
  uint32_t PbxSystemStatus() const override { return 2; }

 private:
  LINEDEVSTATUS status_{};
  LineDevice line_;
};

std::atomic<uint64_t> g_handled{0};
constexpr int kBurst = 1000;

int32_t PostingHandler(CVN2448Driver& owner, uint8_t*, int32_t) {
  PostLineEvent(owner.session->Line(0), nullptr, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0, 0);
  g_handled.fetch_add(1, std::memory_order_relaxed);
  return 1;
}

void RunIntake(benchmark::State& state, bool logging) {
  SetProviderLogSettings({logging ? 1u : 0u, 4000000});
  auto instance = std::make_unique<CVN2448Driver>(0);
  instance->config.debug = logging ? 1 : 0;
  instance->config.logFileSize = 4000000;
  instance->config.keepAliveTime = 3600;
  instance->ctiVersion = 0x13000;
  instance->providerSemaphore = std::make_unique<qrvn::platform::BinarySemaphore>(true);
  instance->session = std::make_unique<OneLineSession>(*instance);
  instance->SetLineCount(1);
  instance->SetLineOpenFlag(0, 1);
  instance->analyzer = std::make_unique<EventAnalyzer>(*instance);
  SetEventHandler(kConnectInform, &PostingHandler);
  Process().providerTable[0].instance = instance.get();
  if (!instance->analyzer->Start(nullptr)) {
    state.SkipWithError("the analyzer did not start");
    return;
  }
  g_handled = 0;
  uint64_t fed = 0;
  for (auto _ : state) {
    // The link driver's receive thread delivering a burst of events; the iteration ends when
    // the analyzer has handled them all.
    for (int i = 0; i < kBurst; ++i) {
      if (ReceiveCallback(0, kEvent.data(), static_cast<int32_t>(kEvent.size())) == 1) ++fed;
    }
    while (g_handled.load() < fed) std::this_thread::yield();
  }
  state.SetItemsProcessed(static_cast<int64_t>(fed));
  instance->analyzer->StopKeepAlive();
  instance->analyzer->StopAnalyzer();
  Process().providerTable[0].instance = nullptr;
}

void BM_IntakeLoggingOff(benchmark::State& state) {
  RunIntake(state, false);
}
void BM_IntakeLoggingOn(benchmark::State& state) {
  RunIntake(state, true);
}

// The baseline: the same messages from one thread to another through a mutex-guarded deque.
void BM_MutexDequeBaseline(benchmark::State& state) {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<std::vector<uint8_t>> queue;
  bool done = false;
  uint64_t taken = 0;
  std::thread consumer([&] {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      cv.wait(lock, [&] { return done || !queue.empty(); });
      while (!queue.empty()) {
        std::vector<uint8_t> message = std::move(queue.front());
        queue.pop_front();
        benchmark::DoNotOptimize(message.data());
        ++taken;
      }
      if (done) return;
    }
  });
  uint64_t fed = 0;
  for (auto _ : state) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      queue.emplace_back(kEvent);
    }
    cv.notify_one();
    ++fed;
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  cv.notify_one();
  consumer.join();
  state.SetItemsProcessed(static_cast<int64_t>(fed));
}

BENCHMARK(BM_MutexDequeBaseline)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_IntakeLoggingOff)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_IntakeLoggingOn)->UseRealTime()->MinTime(1.0);

// Keeps the events per second of every run for the closing lines.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      auto items = run.counters.find("items_per_second");
      if (items != run.counters.end()) rates[run.run_name.function_name] = items->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QRVN_TIME_SCALE", "1000", 1);
  std::string root = (std::filesystem::temp_directory_path() / "qrvn-bench-XXXXXX").string();
  if (mkdtemp(root.data()) == nullptr) return 1;
  setenv("QRVN_ROOT", root.c_str(), 1);
  if (!ProcessAttach()) return 1;
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double baseline = reporter.rates["BM_MutexDequeBaseline"];
  for (const char* name : {"BM_IntakeLoggingOff", "BM_IntakeLoggingOn"}) {
    double rate = reporter.rates[name];
    std::printf("%s: %.0f events/s, %.3f of the baseline's rate\n", name, rate,
                baseline > 0 ? rate / baseline : 0.0);
  }
  benchmark::Shutdown();
  ProcessDetach();
  std::filesystem::remove_all(root);
  return 0;
}
