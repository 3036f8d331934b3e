// The guarded memory pool against plain malloc/free on 2 threads, in the same run. Each
// thread keeps a ring of live blocks and replaces the oldest one per iteration (a free and an
// allocation); the pool run also checks a link between two live blocks each time, as the
// call-tracking code does with every handle TAPI gives back.
// The closing lines give the ratios pool / malloc of the time per iteration.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "provider/core/memory_pool.h"

namespace {

constexpr size_t kRing = 64;
constexpr uint32_t kBlockSize = 96;  // about a small call record

qrvn::provider::MemoryPool& SharedPool() {
  static qrvn::provider::MemoryPool pool;
  return pool;
}

void BM_MallocFree(benchmark::State& state) {
  std::array<void*, kRing> ring{};
  for (auto& slot : ring) slot = std::malloc(kBlockSize);
  size_t i = 0;
  for (auto _ : state) {
    std::free(ring[i]);
    ring[i] = std::malloc(kBlockSize);
    benchmark::DoNotOptimize(ring[i]);
    i = (i + 1) % kRing;
  }
  for (void* block : ring) std::free(block);
}

// The same with the fills every pool block gets (zeroed at allocation, 0xFF at release),
// to show what the pool's bookkeeping adds on top of them.
void BM_MallocFreeWithFills(benchmark::State& state) {
  std::array<void*, kRing> ring{};
  for (auto& slot : ring) slot = std::calloc(1, kBlockSize + 40);
  size_t i = 0;
  for (auto _ : state) {
    std::memset(ring[i], 0xFF, kBlockSize + 40);
    std::free(ring[i]);
    ring[i] = std::malloc(kBlockSize + 40);
    std::memset(ring[i], 0, kBlockSize + 40);
    benchmark::DoNotOptimize(ring[i]);
    i = (i + 1) % kRing;
  }
  for (void* block : ring) std::free(block);
}

void BM_PoolAllocFree(benchmark::State& state) {
  qrvn::provider::MemoryPool& pool = SharedPool();
  std::array<void*, kRing> ring{};
  for (auto& slot : ring) slot = pool.Alloc(qrvn::provider::kPoolZeroInit, kBlockSize);
  size_t i = 0;
  for (auto _ : state) {
    pool.Free(ring[i]);
    ring[i] = pool.Alloc(qrvn::provider::kPoolZeroInit, kBlockSize);
    benchmark::DoNotOptimize(ring[i]);
    i = (i + 1) % kRing;
  }
  for (void* block : ring) pool.Free(block);
}

void BM_PoolAllocFreeIsLinked(benchmark::State& state) {
  qrvn::provider::MemoryPool& pool = SharedPool();
  std::array<void*, kRing> ring{};
  for (auto& slot : ring) slot = pool.Alloc(qrvn::provider::kPoolZeroInit, kBlockSize);
  // A call record and its call-information block, checked as every handle is.
  void* call = pool.Alloc(qrvn::provider::kPoolZeroInit, kBlockSize);
  void* info = pool.Alloc(qrvn::provider::kPoolZeroInit, kBlockSize);
  pool.LinkBlocks(call, info, 0);
  size_t i = 0;
  for (auto _ : state) {
    pool.Free(ring[i]);
    ring[i] = pool.Alloc(qrvn::provider::kPoolZeroInit, kBlockSize);
    benchmark::DoNotOptimize(ring[i]);
    benchmark::DoNotOptimize(pool.IsLinked(call, info, 0));
    i = (i + 1) % kRing;
  }
  for (void* block : ring) pool.Free(block);
  pool.Free(info);
  pool.Free(call);
}

BENCHMARK(BM_MallocFree)->Threads(2)->UseRealTime();
BENCHMARK(BM_MallocFreeWithFills)->Threads(2)->UseRealTime();
BENCHMARK(BM_PoolAllocFree)->Threads(2)->UseRealTime();
BENCHMARK(BM_PoolAllocFreeIsLinked)->Threads(2)->UseRealTime();

// Keeps the time per iteration of every run so that the ratio can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        times[run.run_name.function_name + "/" + std::to_string(run.threads)] =
            run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto plain = reporter.times.find("BM_MallocFree/2");
  for (const char* name :
       {"BM_MallocFreeWithFills/2", "BM_PoolAllocFree/2", "BM_PoolAllocFreeIsLinked/2"}) {
    auto pool = reporter.times.find(name);
    if (pool != reporter.times.end() && plain != reporter.times.end() && plain->second > 0) {
      std::printf("%s / BM_MallocFree/2 (time per iteration, 2 threads): %.2f\n", name,
                  pool->second / plain->second);
    }
  }
  benchmark::Shutdown();
  return 0;
}
