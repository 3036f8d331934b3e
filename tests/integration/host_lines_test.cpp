// The whole chain: the telephony host starts the provider module, which reaches the PBX
// simulator through the real link driver over a pseudo-terminal; `qrvn lines --json` lists
// the model's lines in their order with their names.
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "host/cli/cli.h"
#include "host/lib/provider_list.h"
#include "pbxsim/model.h"
#include "pbxsim/simulator.h"
#include "platform/registry.h"
#include "tests/support/temp_root.h"

namespace {

using qrvn::platform::RegistryKey;
using qrvn::platform::RegResult;

std::string Numbered(const char* prefix, uint32_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "%s%04u", prefix, n);
  return text;
}

// The line names the provider shows for a CTI 1.3 or later model without BV lines, in the
// order of its device model: SYSTEM, the queue lines, TR and RM, door phones, DISA ports,
// incoming and outgoing paging, trunks by number, extensions by their dial number.
std::vector<std::string> ExpectedNames(const qrvn::pbxsim::Model& model) {
  uint32_t capacity[32] = {};
  for (const auto& c : qrvn::pbxsim::Capacities(model)) capacity[c.tag] = c.value;
  EXPECT_EQ(capacity[27], 0u) << "this expectation has no place for BV lines";
  const uint32_t pagingIn = capacity[24] != 0 ? capacity[24] : capacity[19];
  std::vector<std::string> names = {"SYSTEM",  "QO0001", "QH0001", "QIO0001",
                                    "QIH0001", "TR0001", "RM0001"};
  for (uint32_t i = 1; i <= capacity[9]; ++i) names.push_back(Numbered("DOOR", i));
  for (uint32_t i = 1; i <= capacity[10]; ++i) names.push_back(Numbered("DISA", i));
  for (uint32_t i = 1; i <= pagingIn; ++i) names.push_back(Numbered("INPAGE", i));
  for (uint32_t i = 1; i <= capacity[11]; ++i) names.push_back(Numbered("OUTPAGE", i));
  for (const auto& trunk : model.trunks) names.push_back(Numbered("CO", trunk.number));
  for (const auto& e : model.extensions) {
    if (e.number.empty() || e.type == 4 || e.type == 5) continue;
    names.push_back(Numbered("EXT", static_cast<uint32_t>(std::stoul(e.number))));
  }
  return names;
}

TEST(HostEndToEnd, QrvnLinesListsTheModelsLinesInOrder) {
  qrvn::testing::TempRoot root;
  const qrvn::pbxsim::Model model = qrvn::pbxsim::DefaultModel();
  std::mutex logMutex;
  std::string log;
  std::string error;
  std::string path;
  auto sim = qrvn::pbxsim::Simulator::OnPseudoTerminal(
      model, {},
      [&](const std::string& line) {
        std::lock_guard lock(logMutex);
        log += line + "\n";
      },
      &path, &error);
  ASSERT_NE(sim, nullptr) << error;
  ASSERT_TRUE(qrvn::pbxsim::RegisterComPort("COM1", path, &error)) << error;
  ASSERT_TRUE(sim->Start());

  uint32_t providerId = 0;
  ASSERT_EQ(qrvn::host::AddProvider(QRVN_PROVIDER_MODULE, providerId), RegResult::Ok);
  char keyName[64];
  std::snprintf(keyName, sizeof keyName, "SOFTWARE\\Tervolin\\VN2448\\PBX%08x", providerId);
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(keyName, key), RegResult::Ok);
  key.SetDword("COMPORTNO", 1);
  key.SetDword("COMSPEED", 19200);
  key.SetDword("INITMSGWAIT", 0);

  auto lines = [&](std::string& out, std::string& err) {
    std::istringstream in;
    std::ostringstream o, e;
    qrvn::cli::CommandIo io{in, o, e};
    std::vector<std::string> args = {"lines", "--json"};
    int status = qrvn::cli::RunCli(args, io);
    out = o.str();
    err = e.str();
    return status;
  };
  std::string out, err;
  // The first start learns the PBX's line count and asks to be started again.
  EXPECT_EQ(lines(out, err), 1) << out << err;
  ASSERT_EQ(lines(out, err), 0) << out << err;
  sim->Stop();

  nlohmann::json doc = nlohmann::json::parse(out);
  ASSERT_EQ(doc["providers"].size(), 1u);
  EXPECT_TRUE(doc["providers"][0]["started"].get<bool>());
  std::vector<std::string> names;
  for (const auto& line : doc["lines"]) {
    EXPECT_EQ(line["deviceId"].get<uint32_t>(), names.size());
    EXPECT_TRUE(line["inService"].get<bool>()) << line.dump();
    names.push_back(line["name"].get<std::string>());
  }
  EXPECT_EQ(names, ExpectedNames(model));
  if (HasFailure()) {
    std::lock_guard lock(logMutex);
    std::fprintf(stderr, "simulator log:\n%s", log.c_str());
  }
}

}  // namespace
