// qrvn-monitor run as a program against a monitor area written by the driver's own code.
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "linkdriver/monitor.h"
#include "platform/shared_memory.h"

namespace {

// Runs the tool and returns its output and exit status.
std::string RunTool(const std::string& arguments, int* status) {
  std::string command = std::string(QRVN_MONITOR_TOOL) + " " + arguments;
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  if (pipe == nullptr) return out;
  char buffer[512];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  int raw = pclose(pipe);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

TEST(MonitorToolTest, ShowsPortsInUseAndCounters) {
  std::string name = "qrvn-tooltest-" + std::to_string(getpid());
  auto area = qrvn::linkdriver::MonitorArea::Open(name, name + "-mutex");
  ASSERT_NE(area, nullptr);
  area->SetPortOpen(3, true);
  area->SetModemLines(3, true);
  area->SetDsr(3, true);
  area->SetReceive(3, true);
  area->SetPortOpen(12, true);
  area->SetAllocCount(812);
  area->SetQueCount(4);
  int status = -1;
  std::string out = RunTool("--area " + name, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "Link monitor /" + name +
                     "\n"
                     "Port   Open  DTR   DSR   Receive  Send\n"
                     "COM3   yes   on    on    active   idle\n"
                     "COM12  yes   off   off   idle     idle\n"
                     "Provider memory pool blocks: 812\n"
                     "Provider event queue length: 4\n");
  area->SetPortOpen(3, false);
  area->SetPortOpen(12, false);
  out = RunTool("--area " + name, &status);
  EXPECT_NE(out.find("No COM port in use.\n"), std::string::npos);
  qrvn::platform::SharedArea::Remove(name);
  qrvn::platform::NamedMutex::Remove(name + "-mutex");
}

TEST(MonitorToolTest, WatchRedrawsInPlace) {
  // The refresh sleeps on the process clock, which the test run speeds up a hundredfold.
  int status = -1;
  std::string out =
      RunTool("--watch --area qrvn-tooltest-watch-missing & sleep 0.3; kill $!", &status);
  ASSERT_EQ(out.rfind("\x1b[2J\x1b[H", 0), 0u);
  size_t redraws = 0;
  for (size_t at = out.find("\x1b[H\x1b[J"); at != std::string::npos;
       at = out.find("\x1b[H\x1b[J", at + 1)) {
    ++redraws;
  }
  EXPECT_GE(redraws, 2u);
  EXPECT_NE(out.find("No link driver has created the monitor area"), std::string::npos);
}

TEST(MonitorToolTest, SaysWhenNoDriverCreatedTheArea) {
  int status = -1;
  std::string out = RunTool("--area qrvn-tooltest-missing-area", &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "No link driver has created the monitor area /qrvn-tooltest-missing-area.\n");
  RunTool("--bogus", &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
