// A running simulated PBX: a line, the PBX's answers, the link protocol and an optional
// scenario, started and stopped together.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "pbxsim/line.h"
#include "pbxsim/link.h"
#include "pbxsim/model.h"
#include "pbxsim/pbx.h"
#include "pbxsim/scenario.h"
#include "platform/thread.h"

namespace qrvn::pbxsim {

class Simulator {
 public:
  // Takes the line; the model and options are fixed for the simulator's life.
  Simulator(std::unique_ptr<ByteLine> line, Model model, LinkOptions options, LogSink log);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // A simulator on a new pseudo-terminal; *slavePath gets the device the host opens.
  // nullptr with a reason in *error.
  static std::unique_ptr<Simulator> OnPseudoTerminal(Model model, LinkOptions options, LogSink log,
                                                     std::string* slavePath, std::string* error);

  // Starts answering on the line; false when the link threads cannot be had.
  bool Start();
  // Stops the scenario and the link.
  void Stop();
  // Runs a scenario on a thread of its own; false when one is running already.
  bool StartScenario(Scenario scenario);
  // True when no scenario is running (or it has finished).
  bool ScenarioDone() const { return scenarioDone_; }

  Link& GetLink() { return *link_; }
  Pbx& GetPbx() { return pbx_; }
  ByteLine& GetLine() { return *line_; }

 private:
  std::unique_ptr<ByteLine> line_;
  Pbx pbx_;
  LogSink log_;
  std::unique_ptr<Link> link_;
  Scenario scenario_;
  std::atomic<bool> stopScenario_{false};
  std::atomic<bool> scenarioDone_{true};
  platform::Thread scenarioThread_;
};

// Writes REG_SZ "COMn" = path under HKLM\SOFTWARE\Qrvn\Ports, so that the host's COMn is
// this device; false with a reason in *error.
bool RegisterComPort(const std::string& comName, const std::string& path, std::string* error);

}  // namespace qrvn::pbxsim
