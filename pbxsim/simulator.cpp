#include "pbxsim/simulator.h"

#include <cctype>

#include "platform/registry.h"

namespace qrvn::pbxsim {

Simulator::Simulator(std::unique_ptr<ByteLine> line, Model model, LinkOptions options, LogSink log)
    : line_(std::move(line)), pbx_(std::move(model)), log_(std::move(log)) {
  link_ = std::make_unique<Link>(*line_, pbx_, options, log_);
}

std::unique_ptr<Simulator> Simulator::OnPseudoTerminal(Model model, LinkOptions options,
                                                       LogSink log, std::string* slavePath,
                                                       std::string* error) {
  auto pty = PtyLine::Create(error);
  if (!pty) return nullptr;
  if (slavePath) *slavePath = pty->SlavePath();
  return std::make_unique<Simulator>(std::move(pty), std::move(model), options, std::move(log));
}

Simulator::~Simulator() {
  Stop();
}

bool Simulator::Start() {
  return link_->Start();
}

void Simulator::Stop() {
  stopScenario_ = true;
  scenarioThread_.Join();
  link_->Stop();
}

bool Simulator::StartScenario(Scenario scenario) {
  if (!scenarioDone_) return false;
  scenarioThread_.Join();
  scenario_ = std::move(scenario);
  stopScenario_ = false;
  scenarioDone_ = false;
  bool started = scenarioThread_.Start([this] {
    scenario_.Run(*link_, pbx_, stopScenario_, log_);
    if (log_) link_->Note("scenario finished");
    scenarioDone_ = true;
  });
  if (!started) scenarioDone_ = true;
  return started;
}

bool RegisterComPort(const std::string& comName, const std::string& path, std::string* error) {
  std::string upper;
  for (char c : comName) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  bool valid = upper.size() > 3 && upper.compare(0, 3, "COM") == 0;
  for (size_t i = 3; valid && i < upper.size(); ++i) {
    valid = std::isdigit(static_cast<unsigned char>(upper[i])) != 0;
  }
  if (!valid || upper == "COM0") {
    if (error) *error = "\"" + comName + "\" is not a port name like COM1";
    return false;
  }
  platform::RegistryKey key;
  platform::RegResult r = platform::RegistryKey::Create("SOFTWARE\\Qrvn\\Ports", key);
  if (r == platform::RegResult::Ok) r = key.SetString(upper, path);
  if (r != platform::RegResult::Ok) {
    if (error) {
      *error = "cannot write HKLM\\SOFTWARE\\Qrvn\\Ports\\" + upper + " in " +
               platform::RegistryFilePath() + ": " + platform::RegistryLastError();
    }
    return false;
  }
  return true;
}

}  // namespace qrvn::pbxsim
