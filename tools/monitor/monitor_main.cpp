// qrvn-monitor: shows, per COM port in use, what the link driver publishes in its monitor
// area (open, DTR, DSR, receive and send activity) and the provider's two counters.
//   qrvn-monitor            print once
//   qrvn-monitor --watch    refresh in place once a second
//   --area NAME             another area name than the driver's (tests)
#include <cstdio>
#include <cstring>
#include <string>

#include "linkdriver/monitor_layout.h"
#include "platform/clock.h"
#include "platform/shared_memory.h"
#include "tools/monitor/monitor_view.h"

namespace {

int Usage() {
  std::fputs("usage: qrvn-monitor [--watch] [--area NAME]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool watch = false;
  std::string name = qrvn::linkdriver::monitor::kAreaName;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--watch") == 0) {
      watch = true;
    } else if (std::strcmp(argv[i], "--area") == 0 && i + 1 < argc) {
      name = argv[++i];
    } else {
      return Usage();
    }
  }
  using qrvn::platform::SharedArea;
  for (bool first = true;; first = false) {
    auto area = SharedArea::Open(name, qrvn::linkdriver::monitor::kAreaSize, false, true);
    std::string text =
        area ? qrvn::tools::RenderMonitor(area->Data(), name) : qrvn::tools::NoAreaMessage(name);
    // In watch mode the screen is redrawn from its top-left corner.
    if (watch) std::fputs(first ? "\x1b[2J\x1b[H" : "\x1b[H\x1b[J", stdout);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    if (!watch) return area ? 0 : 1;
    qrvn::platform::SleepMs(1000);
  }
}
