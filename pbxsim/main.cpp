// qrvn-pbxsim: a simulated PBX on a pseudo-terminal or serial device.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>

#include "pbxsim/simulator.h"
#include "platform/clock.h"

namespace {

std::atomic<bool> g_stop{false};  // set by SIGINT / SIGTERM

void OnSignal(int) {
  g_stop = true;
}

const char kHelp[] =
    "Usage: qrvn-pbxsim [options]\n"
    "A simulated QR-VN PBX speaking the CTI serial link protocol on a pseudo-terminal\n"
    "(the default) or a serial device.\n"
    "\n"
    "Line:\n"
    "  --register COMn        register the pseudo-terminal as COMn in the registry\n"
    "                         (HKLM\\SOFTWARE\\Qrvn\\Ports below $QRVN_ROOT)\n"
    "  --device PATH          use a serial device instead of a pseudo-terminal\n"
    "  --baud N               speed of --device, and of --pace (default 9600)\n"
    "  --pace                 every byte sent takes its wire time at --baud\n"
    "PBX:\n"
    "  --model FILE           the PBX model (JSON); see pbxsim/README.md\n"
    "  --preset NAME          a built-in model: VN1632 (default, CTI 1.320), VN2448 (CTI 1.2),\n"
    "                         VN2448D (CTI 1.3), VN1224, VN9000\n"
    "  --refuse-binary        refuse the binary framing proposal (text framing only)\n"
    "  --scenario FILE        replay events and faults from a scenario file\n"
    "  --exit-after-scenario  stop when the scenario has ended\n"
    "Faults and timing:\n"
    "  --fragment N           split replies and events into messages of N bytes\n"
    "  --reply-delay MS       pause before each reply\n"
    "  --ack-timeout MS       wait for the host's acknowledgement (default 2000)\n"
    "  --no-poll-answer       never answer the system status poll\n"
    "  --no-reset             do not answer the host's \"!\" with \"?\"\n"
    "Output:\n"
    "  --log FILE             write the decoded message log to FILE (default: standard error)\n"
    "  --trace                log every byte sequence on the wire as well\n"
    "  --quiet                no message log\n"
    "  --check                check the model (and scenario) files and exit\n"
    "  --help                 this text\n"
    "\n"
    "Without options it runs the default PBX (a VN1632 with CTI 1.320, 16 extensions,\n"
    "8 trunks, door phones, paging and groups) on a new pseudo-terminal and prints its path.\n";

bool NumberArg(const char* text, uint32_t& out) {
  char* end = nullptr;
  unsigned long v = std::strtoul(text, &end, 10);
  if (end == text || *end != '\0' || v > 0xFFFFFFFFul) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qrvn::pbxsim;
  std::string modelFile, preset, device, registerAs, scenarioFile, logFile;
  uint32_t baud = 9600, fragment = 0, replyDelay = 0, ackTimeout = 2000;
  bool pace = false, refuseBinary = false, exitAfter = false, noPoll = false, noReset = false;
  bool trace = false, quiet = false, checkOnly = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "qrvn-pbxsim: %s needs a value\n", a.c_str());
        std::exit(2);
      }
      out = argv[++i];
    };
    auto number = [&](uint32_t& out) {
      std::string v;
      value(v);
      if (!NumberArg(v.c_str(), out)) {
        std::fprintf(stderr, "qrvn-pbxsim: %s needs a number, got \"%s\"\n", a.c_str(), v.c_str());
        std::exit(2);
      }
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (a == "--model") {
      value(modelFile);
    } else if (a == "--preset") {
      value(preset);
    } else if (a == "--device") {
      value(device);
    } else if (a == "--register") {
      value(registerAs);
    } else if (a == "--scenario") {
      value(scenarioFile);
    } else if (a == "--log") {
      value(logFile);
    } else if (a == "--baud") {
      number(baud);
    } else if (a == "--fragment") {
      number(fragment);
    } else if (a == "--reply-delay") {
      number(replyDelay);
    } else if (a == "--ack-timeout") {
      number(ackTimeout);
    } else if (a == "--pace") {
      pace = true;
    } else if (a == "--refuse-binary") {
      refuseBinary = true;
    } else if (a == "--exit-after-scenario") {
      exitAfter = true;
    } else if (a == "--no-poll-answer") {
      noPoll = true;
    } else if (a == "--no-reset") {
      noReset = true;
    } else if (a == "--trace") {
      trace = true;
    } else if (a == "--quiet") {
      quiet = true;
    } else if (a == "--check") {
      checkOnly = true;
    } else {
      std::fprintf(stderr, "qrvn-pbxsim: unknown option \"%s\" (see --help)\n", a.c_str());
      return 2;
    }
  }

  Model model;
  std::string error;
  if (!modelFile.empty()) {
    if (!LoadModel(modelFile, model, &error)) {
      std::fprintf(stderr, "qrvn-pbxsim: %s\n", error.c_str());
      return 1;
    }
  } else if (!preset.empty()) {
    if (ModelCodeOf(preset) == 0) {
      std::fprintf(stderr, "qrvn-pbxsim: unknown preset \"%s\"\n", preset.c_str());
      return 2;
    }
    model = DefaultModel(preset);
  } else {
    model = DefaultModel();
  }
  if (refuseBinary) model.acceptBinary = false;

  Scenario scenario;
  if (!scenarioFile.empty()) {
    Pbx probe(model);
    if (!Scenario::Load(scenarioFile, probe, scenario, &error)) {
      std::fprintf(stderr, "qrvn-pbxsim: %s\n", error.c_str());
      return 1;
    }
  }
  if (checkOnly) {
    std::printf("model %s (CTI %s): %zu extensions, %zu trunks, %zu groups; scenario %zu steps\n",
                model.name.c_str(), model.ctiVersion.c_str(), model.extensions.size(),
                model.trunks.size(), model.groups.size(), scenario.Steps().size());
    return 0;
  }

  std::ofstream logOut;
  if (!logFile.empty()) {
    logOut.open(logFile, std::ios::app);
    if (!logOut) {
      std::fprintf(stderr, "qrvn-pbxsim: cannot write %s\n", logFile.c_str());
      return 1;
    }
  }
  LogSink log;
  if (!quiet) {
    log = [&logOut, toFile = !logFile.empty()](const std::string& line) {
      if (toFile) {
        logOut << line << '\n';
        logOut.flush();
      } else {
        std::fprintf(stderr, "%s\n", line.c_str());
      }
    };
  }

  std::unique_ptr<ByteLine> line;
  std::string where;
  if (!device.empty()) {
    line = OpenSerialLine(device, baud, &error);
    where = device;
  } else {
    auto pty = PtyLine::Create(&error);
    if (pty) where = pty->SlavePath();
    line = std::move(pty);
  }
  if (!line) {
    std::fprintf(stderr, "qrvn-pbxsim: %s\n", error.c_str());
    return 1;
  }
  if (!registerAs.empty() && !RegisterComPort(registerAs, where, &error)) {
    std::fprintf(stderr, "qrvn-pbxsim: %s\n", error.c_str());
    return 1;
  }

  LinkOptions options;
  options.baud = pace ? baud : 0;
  options.fragmentSize = fragment;
  options.replyDelayMs = replyDelay;
  options.ackTimeoutMs = ackTimeout;
  options.answerBlockWithReset = !noReset;
  options.traceWire = trace;
  std::string name = model.name, cti = model.ctiVersion;
  Simulator sim(std::move(line), std::move(model), options, log);
  if (noPoll) sim.GetPbx().SetPollSilent(true);
  if (!sim.Start()) {
    std::fprintf(stderr, "qrvn-pbxsim: cannot start the link threads\n");
    return 1;
  }
  std::printf("qrvn-pbxsim: %s with CTI %s on %s", name.c_str(), cti.c_str(), where.c_str());
  if (!registerAs.empty()) std::printf(" (registered as %s)", registerAs.c_str());
  std::printf("\n");
  std::fflush(stdout);

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  if (!scenarioFile.empty()) sim.StartScenario(std::move(scenario));
  while (!g_stop) {
    if (exitAfter && sim.ScenarioDone()) {
      sim.GetLink().WaitIdle(5000);
      break;
    }
    qrvn::platform::SleepMs(100);
  }
  sim.Stop();
  return 0;
}
