// Link driver benchmarks, each reported as a ratio against a baseline measured in the same
// run:
//  - the text and binary scanners against a plain memchr pass over the same bytes;
//  - the time from a frame's last byte reaching the pty to the driver's acknowledgement
//    leaving it (median and 99th percentile), against a bare echo over a pty;
//  - the CPU one connected idle link uses over 10 seconds (getrusage).
// Run: linkdriver_bench [--benchmark_filter=...]; the link figures follow the table.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "linkdriver/config.h"
#include "linkdriver/driver.h"
#include "linkdriver/framing.h"
#include "platform/registry.h"
#include "platform/shared_memory.h"

namespace {

using qrvn::linkdriver::Framing;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// 64 KiB of back-to-back frames of 100-byte messages with some 0x0A bytes in them.
Bytes Stream(Framing framing) {
  Bytes message(100);
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i * 7);
  Bytes out;
  char seq = '0';
  while (out.size() < 65536) {
    Bytes f = framing == Framing::Text ? qrvn::linkdriver::BuildTextFrame(seq, message)
                                       : qrvn::linkdriver::BuildBinaryFrame(seq, message);
    out.insert(out.end(), f.begin(), f.end());
    seq = seq == '0' ? '1' : '0';
  }
  return out;
}

void Scan(benchmark::State& state, Framing framing, bool decode) {
  Bytes bytes = Stream(framing);
  qrvn::linkdriver::Message message;
  for (auto _ : state) {
    size_t pos = 0;
    size_t frames = 0;
    while (pos < bytes.size()) {
      std::span<const uint8_t> rest(bytes.data() + pos, bytes.size() - pos);
      qrvn::linkdriver::Token t = qrvn::linkdriver::Scan(framing, rest, false);
      if (t.kind != qrvn::linkdriver::TokenKind::Frame) break;
      if (decode) {
        size_t at = 0;
        auto body = rest.subspan(t.bodyBegin, t.bodyEnd - t.bodyBegin);
        while (qrvn::linkdriver::NextMessage(framing, body, &at, &message)) ++frames;
      }
      pos += t.end;
      ++frames;
    }
    benchmark::DoNotOptimize(frames);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void Memchr(benchmark::State& state, Framing framing) {
  Bytes bytes = Stream(framing);
  uint8_t target = framing == Framing::Text ? ']' : 0x0A;
  for (auto _ : state) {
    size_t hits = 0;
    const uint8_t* p = bytes.data();
    const uint8_t* end = p + bytes.size();
    while (p < end) {
      const void* found = std::memchr(p, target, static_cast<size_t>(end - p));
      if (found == nullptr) break;
      p = static_cast<const uint8_t*>(found) + 1;
      ++hits;
    }
    benchmark::DoNotOptimize(hits);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_MemchrText(benchmark::State& s) {
  Memchr(s, Framing::Text);
}
void BM_ScanText(benchmark::State& s) {
  Scan(s, Framing::Text, false);
}
void BM_ScanDecodeText(benchmark::State& s) {
  Scan(s, Framing::Text, true);
}
void BM_MemchrBinary(benchmark::State& s) {
  Memchr(s, Framing::Binary);
}
void BM_ScanBinary(benchmark::State& s) {
  Scan(s, Framing::Binary, false);
}
void BM_ScanDecodeBinary(benchmark::State& s) {
  Scan(s, Framing::Binary, true);
}
BENCHMARK(BM_MemchrText);
BENCHMARK(BM_ScanText);
BENCHMARK(BM_ScanDecodeText);
BENCHMARK(BM_MemchrBinary);
BENCHMARK(BM_ScanBinary);
BENCHMARK(BM_ScanDecodeBinary);

// Keeps each run's time per iteration to print the ratios afterwards.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    for (const char* framing : {"Text", "Binary"}) {
      auto base = times_.find(std::string("BM_Memchr") + framing);
      if (base == times_.end()) continue;
      for (const char* kind : {"BM_Scan", "BM_ScanDecode"}) {
        auto it = times_.find(std::string(kind) + framing);
        if (it == times_.end()) continue;
        std::printf("ratio %s%s / BM_Memchr%s = %.2f\n", kind, framing, framing,
                    it->second / base->second);
      }
    }
  }

 private:
  std::map<std::string, double> times_;
};

struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) slave = ptsname(master);
  }
  ~Pty() {
    if (master >= 0) close(master);
  }
};

// Reads from fd until want bytes came; false on error or after 2 s without them.
bool ReadExactly(int fd, uint8_t* buffer, size_t want) {
  size_t got = 0;
  while (got < want) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 2000) <= 0) return false;
    ssize_t n = read(fd, buffer + got, want - got);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

double Percentile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(q * static_cast<double>(values.size() - 1));
  return values[index];
}

// A bare round trip over a pty: one byte to the slave side and echoed back by a thread that
// blocks in poll(), as the driver's receive thread does.
std::vector<double> EchoLatencies(int rounds) {
  Pty pty;
  int slave = open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
  termios tio{};
  tcgetattr(slave, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave, TCSANOW, &tio);
  std::thread echo([&] {
    uint8_t b;
    for (int i = 0; i < rounds; ++i) {
      if (!ReadExactly(slave, &b, 1)) return;
      if (write(slave, &b, 1) != 1) return;
    }
  });
  std::vector<double> us;
  for (int i = 0; i < rounds; ++i) {
    uint8_t b = 0x41;
    if (write(pty.master, &b, 1) != 1) break;
    auto start = Clock::now();
    if (!ReadExactly(pty.master, &b, 1)) break;
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  echo.join();
  close(slave);
  return us;
}

int32_t IgnoreEvent(uint32_t, const uint8_t*, int32_t) {
  return 1;
}
int32_t IgnoreStatus(uint32_t, int32_t, int32_t) {
  return 1;
}

void LinkFigures() {
  std::string root = (std::filesystem::temp_directory_path() / "qrvn-bench-XXXXXX").string();
  if (mkdtemp(root.data()) == nullptr) return;
  setenv("QRVN_ROOT", root.c_str(), 1);
  Pty pty;
  qrvn::platform::RegistryKey ports;
  qrvn::platform::RegistryKey::Create("SOFTWARE\\Qrvn\\Ports", ports);
  ports.SetString("COM16", pty.slave);
  qrvn::platform::RegistryKey key;
  qrvn::platform::RegistryKey::Create(qrvn::linkdriver::ProviderKeyPath(0xbe), key);
  key.SetDword("COMPORTNO", 16);

  qrvn::linkdriver::DriverOptions options;
  options.monitorName = "qrvn-bench-monitor-" + std::to_string(getpid());
  options.monitorMutexName = options.monitorName + "-mutex";
  {
    qrvn::linkdriver::Driver driver(options);
    uint32_t handle = 0;
    std::printf("connecting a link over %s (line reset and drain take a few seconds)...\n",
                pty.slave.c_str());
    if (driver.Connect(&handle, 0xbe, 0, IgnoreEvent, IgnoreStatus) != 0) {
      std::printf("connect failed\n");
      return;
    }
    const int rounds = 2000;
    std::vector<double> ack;
    char seq = '0';
    Bytes event{0x60, 1, 0, 0, 1, 0, 2, 0x12, 0x34};
    for (int i = 0; i < rounds; ++i) {
      Bytes frame = qrvn::linkdriver::BuildTextFrame(seq, event);
      if (write(pty.master, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) {
        break;
      }
      auto start = Clock::now();
      uint8_t answer = 0;
      if (!ReadExactly(pty.master, &answer, 1) || answer != '+') break;
      ack.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      seq = seq == '0' ? '1' : '0';
    }
    std::vector<double> echo = EchoLatencies(rounds);
    if (ack.size() == static_cast<size_t>(rounds) && !echo.empty()) {
      double median = Percentile(ack, 0.5);
      double p99 = Percentile(ack, 0.99);
      double echoMedian = Percentile(echo, 0.5);
      double echoP99 = Percentile(echo, 0.99);
      std::printf(
          "ack latency over pty: median %.1f us, p99 %.1f us (target 2000 us: %.3f of it)\n",
          median, p99, p99 / 2000.0);
      std::printf("bare pty echo:        median %.1f us, p99 %.1f us\n", echoMedian, echoP99);
      std::printf("ratio ack/echo: median %.2f, p99 %.2f\n", median / echoMedian, p99 / echoP99);
    } else {
      std::printf("ack latency: the exchange broke off after %zu frames\n", ack.size());
    }

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    auto wallStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    double cpu = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
                 seconds(before.ru_stime);
    std::printf("idle link CPU over %.1f s: %.4f s = %.3f%% of a core (target 1%%: ratio %.3f)\n",
                wall, cpu, 100.0 * cpu / wall, cpu / wall / 0.01);
    driver.DisConnect(handle);
  }
  qrvn::platform::SharedArea::Remove(options.monitorName);
  qrvn::platform::NamedMutex::Remove(options.monitorMutexName);
  std::filesystem::remove_all(root);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  LinkFigures();
  benchmark::Shutdown();
  return 0;
}
