// The provider module as the telephony service loads it, with the real link driver, against
// the PBX simulator over a pseudo-terminal: TSPI_providerEnumDevices and TSPI_providerInit
// start a whole instance (session, device model, groups, queue file, event registration),
// the PBX's line count is announced, and a changed count ends in LINEENUMDEV and a failed Init
// that the next Init makes good.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "pbxsim/simulator.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "tapi/tspi.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using qrvn::platform::Module;
using qrvn::platform::RegistryKey;

constexpr DWORD kProviderId = 0x1a;
constexpr DWORD kTspiVersion = 0x20001;
const char* const kKey = "SOFTWARE\\Tervolin\\VN2448\\PBX0000001a";

void Completion(DRV_REQUESTID, LONG) {}

// The provider module this test binary was built with.
std::string ProviderModulePath() {
  return QRVN_PROVIDER_MODULE;
}

std::string ModelFile(const char* name) {
  return (fs::path(__FILE__).parent_path().parent_path().parent_path() / "pbxsim" / "models" / name)
      .string();
}

// The line devices a provider shows for a model, counted from the model's own data: the
// SYSTEM line, queue lines, TR and RM (CTI 1.3 and later), BV, door phones, DISA, paging,
// trunks and extensions, with the exclusions of a VN2448D and the 64 lines of a VN2448.
uint32_t ExpectedLines(const qrvn::pbxsim::Model& model) {
  bool cti12 = qrvn::pbxsim::CtiWord(model.ctiVersion) == 0x12000;
  uint32_t capacity[32] = {};
  bool present[32] = {};
  capacity[11] = 4;
  for (const auto& c : qrvn::pbxsim::Capacities(model)) {
    capacity[c.tag] = c.value;
    present[c.tag] = true;
  }
  uint32_t bv = cti12 ? 0 : 2;
  if (qrvn::pbxsim::CtiWord(model.ctiVersion) >= 0x13170 && present[27]) bv = capacity[27];
  uint32_t pagingIn = capacity[24] != 0 ? capacity[24] : (cti12 ? 0 : capacity[19]);
  uint32_t extensions = 0;
  for (const auto& e : model.extensions) {
    bool excluded = model.name == "VN2448D" && e.device >= 97 && e.device < 97 + 96;
    if (!e.number.empty() && e.type != 4 && e.type != 5 && !excluded) ++extensions;
  }
  if (model.name == "VN2448" && extensions > 64) extensions = 64;
  uint32_t trunks = 0;
  for (const auto& t : model.trunks) {
    if (!(model.name == "VN2448D" && t.number >= 13 && t.number <= 24)) ++trunks;
  }
  return 1 + (cti12 ? 0 : 6) + bv + capacity[9] + capacity[10] + pagingIn + capacity[11] + trunks +
         extensions;
}

class ProviderStartUp : public ::testing::Test {
 protected:
  void Start(qrvn::pbxsim::Model model, qrvn::pbxsim::LinkOptions options = {}) {
    std::string error, path;
    model_ = model;
    sim_ = qrvn::pbxsim::Simulator::OnPseudoTerminal(
        std::move(model), options,
        [this](const std::string& line) {
          std::lock_guard lock(logMutex_);
          log_ += line + "\n";
        },
        &path, &error);
    ASSERT_NE(sim_, nullptr) << error;
    ASSERT_TRUE(qrvn::pbxsim::RegisterComPort("COM3", path, &error)) << error;
    RegistryKey key;
    ASSERT_EQ(RegistryKey::Create(kKey, key), qrvn::platform::RegResult::Ok);
    key.SetDword("COMPORTNO", 3);
    key.SetDword("COMSPEED", 19200);
    key.SetDword("INITMSGWAIT", 0);
    ASSERT_TRUE(sim_->Start());
    module_ = Module::Load(ProviderModulePath(), &error);
    ASSERT_NE(module_, nullptr) << error;
    enumDevices_ = module_->Function<PFN_TSPI_providerEnumDevices>("TSPI_providerEnumDevices");
    init_ = module_->Function<PFN_TSPI_providerInit>("TSPI_providerInit");
    shutdown_ = module_->Function<PFN_TSPI_providerShutdown>("TSPI_providerShutdown");
    ASSERT_TRUE(enumDevices_ && init_ && shutdown_);
  }
  void TearDown() override {
    if (running_) shutdown_(kTspiVersion, kProviderId);
    module_.reset();
    if (sim_) sim_->Stop();
    std::lock_guard lock(logMutex_);
    if (HasFailure()) std::fprintf(stderr, "simulator log:\n%s", log_.c_str());
  }
  DWORD EnumLines() {
    DWORD lines = 0, phones = 0;
    EXPECT_EQ(enumDevices_(kProviderId, &lines, &phones, nullptr, nullptr, nullptr), 0);
    return lines;
  }
  LONG Init(DWORD lines) {
    DWORD options = 0;
    LONG result = init_(kTspiVersion, kProviderId, 0, 0, lines, 0, Completion, &options);
    running_ = result == 0;
    return result;
  }
  uint32_t StoredLineCount() {
    RegistryKey key;
    uint32_t count = 0;
    if (RegistryKey::Open(kKey, qrvn::platform::RegAccess::Read, key) ==
        qrvn::platform::RegResult::Ok) {
      key.QueryDword("LINEENUMDEV", count);
    }
    return count;
  }
  // Starts with the PBX's line count already known, as after an earlier start.
  void StartKnown(const qrvn::pbxsim::Model& model) {
    Start(model);
    if (HasFatalFailure()) return;
    RegistryKey key;
    ASSERT_EQ(RegistryKey::Create(kKey, key), qrvn::platform::RegResult::Ok);
    key.SetDword("LINEENUMDEV", ExpectedLines(model));
    ASSERT_EQ(EnumLines(), ExpectedLines(model));
    ASSERT_EQ(Init(ExpectedLines(model)), 0);
    EXPECT_EQ(EnumLines(), ExpectedLines(model));
  }

  qrvn::testing::TempRoot root_;
  qrvn::pbxsim::Model model_;
  std::unique_ptr<qrvn::pbxsim::Simulator> sim_;
  std::unique_ptr<Module> module_;
  PFN_TSPI_providerEnumDevices enumDevices_ = nullptr;
  PFN_TSPI_providerInit init_ = nullptr;
  PFN_TSPI_providerShutdown shutdown_ = nullptr;
  bool running_ = false;
  std::mutex logMutex_;
  std::string log_;
};

TEST_F(ProviderStartUp, ChangedLineCountIsRecordedAndTheNextInitStarts) {
  Start(qrvn::pbxsim::DefaultModel());
  const uint32_t expected = ExpectedLines(model_);
  // Nothing known yet: the default count is announced, the PBX has another.
  DWORD announced = EnumLines();
  ASSERT_NE(announced, expected);
  EXPECT_EQ(Init(announced), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(StoredLineCount(), expected);
  EXPECT_EQ(sim_->GetLink().RequestCount(33), 0u) << "no event registration in that run";

  ASSERT_EQ(EnumLines(), expected);
  ASSERT_EQ(Init(expected), 0);
  EXPECT_EQ(EnumLines(), expected);
  EXPECT_EQ(sim_->GetLink().RequestCount(33), 6u);
  EXPECT_EQ(sim_->GetLink().RequestCount(185), 2u) << "one version request per start";
  EXPECT_TRUE(fs::exists(qrvn::platform::SystemFolder() + "/qrvnsmdr.que"));
  EXPECT_EQ(fs::file_size(qrvn::platform::SystemFolder() + "/qrvnsmdr.que"), 20u + 500u * 4104u);
  EXPECT_EQ(shutdown_(kTspiVersion, kProviderId), 0);
  running_ = false;
}

TEST_F(ProviderStartUp, EveryModelStartsWithItsLineCount) {
  const char* files[] = {"vn2448-cti12.json", "vn2448d-group0.json", "vn1224.json",
                         "vn9000-cti1320.json"};
  for (const char* file : files) {
    SCOPED_TRACE(file);
    {
      std::lock_guard lock(logMutex_);
      log_.clear();
    }
    qrvn::pbxsim::Model model;
    std::string error;
    ASSERT_TRUE(qrvn::pbxsim::LoadModel(ModelFile(file), model, &error)) << error;
    StartKnown(model);
    if (HasFatalFailure()) return;
    if (model.name == "VN2448D") {
      // All extensions, 96 unregistered, all trunks, 12 unregistered, four queues.
      EXPECT_EQ(sim_->GetLink().RequestCount(33), 1u + 96u + 1u + 12u + 4u);
    }
    if (model.name == "VN2448") {
      EXPECT_EQ(ExpectedLines(model), 1u + 2u + 1u + 1u + 4u + 8u + 64u);
      // CTI 1.2: one registration per extension and trunk line.
      EXPECT_EQ(sim_->GetLink().RequestCount(33), 64u + 8u);
    }
    EXPECT_EQ(shutdown_(kTspiVersion, kProviderId), 0);
    running_ = false;
    module_.reset();
    sim_->Stop();
    sim_.reset();
  }
}

TEST_F(ProviderStartUp, AnUnsupportedModelFailsAndLeavesTheNextInitWorking) {
  qrvn::pbxsim::Model model = qrvn::pbxsim::DefaultModel();
  model.modelCode = 5;
  Start(model);
  EXPECT_EQ(Init(EnumLines()), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(StoredLineCount(), 0u);
  EXPECT_EQ(sim_->GetLink().RequestCount(143), 0u) << "no download after the refusal";
}

TEST_F(ProviderStartUp, VersionNegotiationWithThePbx) {
  struct Case {
    const char* version;
    bool starts;
    uint32_t versionRequests;
  };
  for (const Case& c : {Case{"1.317", true, 2}, Case{"1.3", true, 2}, Case{"1.400", false, 1},
                        Case{"1.312", false, 2}}) {
    SCOPED_TRACE(c.version);
    qrvn::pbxsim::Model model = qrvn::pbxsim::DefaultModel();
    model.ctiVersion = c.version;
    if (c.starts) {
      StartKnown(model);
    } else {
      Start(model);
      EXPECT_EQ(Init(EnumLines()), LINEERR_OPERATIONFAILED);
    }
    if (HasFatalFailure()) return;
    EXPECT_EQ(sim_->GetLink().RequestCount(185), c.versionRequests);
    if (running_) {
      EXPECT_EQ(shutdown_(kTspiVersion, kProviderId), 0);
    }
    running_ = false;
    module_.reset();
    sim_->Stop();
    sim_.reset();
  }
}

TEST_F(ProviderStartUp, APbxThatStopsAnsweringFailsStartUpAndTheNextInitWorks) {
  Start(qrvn::pbxsim::DefaultModel());
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(kKey, key), qrvn::platform::RegResult::Ok);
  key.SetDword("TIMEOUT", 2000);
  const uint32_t expected = ExpectedLines(model_);
  key.SetDword("LINEENUMDEV", expected);
  sim_->GetLink().SilenceCode(106, true);  // the member lists never come
  EXPECT_EQ(Init(expected), LINEERR_OPERATIONFAILED);
  EXPECT_GE(sim_->GetLink().RequestCount(106), 1u);
  EXPECT_EQ(sim_->GetLink().RequestCount(33), 0u);
  sim_->GetLink().SilenceCode(106, false);
  EXPECT_EQ(Init(expected), 0);
  EXPECT_EQ(EnumLines(), expected);
}

// Bytes on the wire in both directions, from the simulator's wire trace, and the time from the
// first byte to the last on the simulator's clock.
struct Wire {
  uint64_t bytes = 0;
  double firstSeconds = -1;
  double lastSeconds = 0;
};
Wire WireOf(const std::string& log) {
  Wire wire;
  size_t at = 0;
  while ((at = log.find("] wire ", at)) != std::string::npos) {
    size_t stamp = log.rfind('[', at);
    double seconds = std::atof(log.c_str() + stamp + 1);
    if (wire.firstSeconds < 0) wire.firstSeconds = seconds;
    wire.lastSeconds = seconds;
    size_t colon = log.find(": ", at);
    size_t end = log.find('\n', at);
    at = end;
    if (colon == std::string::npos || colon > end) continue;
    std::string shown = log.substr(colon + 2, end - colon - 2);
    if (!shown.empty() && shown.front() == '"') {
      wire.bytes += shown.size() >= 2 ? shown.size() - 2 : 0;
    } else if (!shown.empty()) {
      wire.bytes += (shown.size() + 1) / 3;
    }
  }
  return wire;
}

// The start-up of a VN9000 with 500 extensions and 100 trunks at 19200 baud, every byte paced
// at its wire time, against the wire time of the bytes exchanged. Reported, not asserted; a
// measurement that takes real seconds, so it runs only on request, with time at real speed:
// QRVN_TIME_SCALE=1 integration_tests --gtest_also_run_disabled_tests --gtest_filter='*Paced*'
TEST_F(ProviderStartUp, DISABLED_PacedVn9000StartUpAgainstItsWireTime) {
  qrvn::pbxsim::Model model = qrvn::pbxsim::DefaultModel("VN9000");
  model.extensions.clear();
  for (uint16_t i = 0; i < 500; ++i) {
    qrvn::pbxsim::Extension e;
    e.device = static_cast<uint16_t>(i + 1);
    e.number = std::to_string(2000 + i);
    e.name = "Ext " + e.number;
    model.extensions.push_back(e);
  }
  model.trunks.clear();
  for (uint16_t i = 1; i <= 100; ++i) {
    qrvn::pbxsim::Trunk t;
    t.number = i;
    t.text = "CO" + std::to_string(i);
    model.trunks.push_back(t);
  }
  qrvn::pbxsim::LinkOptions options;
  options.baud = 19200;
  options.traceWire = true;
  Start(model, options);
  ASSERT_FALSE(HasFatalFailure());
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(kKey, key), qrvn::platform::RegResult::Ok);
  key.SetDword("LINEENUMDEV", ExpectedLines(model));
  uint64_t start = qrvn::platform::CurrentClock().NowMs();
  ASSERT_EQ(Init(ExpectedLines(model)), 0);
  uint64_t ms = qrvn::platform::CurrentClock().NowMs() - start;
  Wire wire;
  {
    std::lock_guard lock(logMutex_);
    wire = WireOf(log_);
  }
  // The Init time includes the link driver's line reset before the first byte; the dialogue
  // runs from the first byte to the last.
  const double wireMs = static_cast<double>(wire.bytes) * 10.0 * 1000.0 / 19200.0;
  const double dialogueMs = (wire.lastSeconds - wire.firstSeconds) * 1000.0;
  RecordProperty("startup_ms", static_cast<int>(ms));
  RecordProperty("dialogue_ms", static_cast<int>(dialogueMs));
  RecordProperty("wire_ms", static_cast<int>(wireMs));
  std::printf(
      "VN9000 500/100 at 19200 baud: Init %llu ms, dialogue %.0f ms, wire time of %llu "
      "bytes %.0f ms: ratio %.3f (Init %.3f)\n",
      static_cast<unsigned long long>(ms), dialogueMs, static_cast<unsigned long long>(wire.bytes),
      wireMs, wireMs > 0 ? dialogueMs / wireMs : 0.0,
      wireMs > 0 ? static_cast<double>(ms) / wireMs : 0.0);
  EXPECT_GT(wire.bytes, 500u * 20u);
  if (const char* dump = std::getenv("QRVN_DUMP_SIM_LOG"); dump != nullptr) {
    std::lock_guard lock(logMutex_);
    std::FILE* f = std::fopen(dump, "w");
    if (f != nullptr) {
      std::fputs(log_.c_str(), f);
      std::fclose(f);
    }
  }
}

}  // namespace
