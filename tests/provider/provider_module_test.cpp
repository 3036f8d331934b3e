// The provider module loaded as the telephony service loads it: by file, entry points bound
// by name. Each test gets its own folder holding a copy of the module and, where the test
// wants one, a test link driver as qrvnsdrv.so beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/module.h"
#include "platform/registry.h"
#include "provider_test_support.h"
#include "tapi/tspi.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using qrvn::platform::Module;
using qrvn::platform::RegistryKey;

enum class LinkDriver { None, Full, WithoutDataComm };

class ModuleTest : public ::testing::Test {
 protected:
  void Load(LinkDriver driver = LinkDriver::Full) {
    fs::path bin = fs::path(root_.Path()) / "bin";
    fs::create_directories(bin);
    fs::copy_file(QRVN_PROVIDER_MODULE, bin / "qrvntapi.tsp");
    if (driver == LinkDriver::Full) fs::copy_file(QRVN_TEST_LINK_DRIVER, bin / "qrvnsdrv.so");
    if (driver == LinkDriver::WithoutDataComm) {
      fs::copy_file(QRVN_TEST_LINK_DRIVER_NODATACOMM, bin / "qrvnsdrv.so");
    }
    std::string error;
    module_ = Module::Load((bin / "qrvntapi.tsp").string(), &error);
    ASSERT_NE(module_, nullptr) << error;
#define BIND(name) name = module_->Function<PFN_##name>(#name);
    BIND(TSPI_providerEnumDevices)
    BIND(TSPI_providerInit)
    BIND(TSPI_providerShutdown)
    BIND(TSPI_providerGenericDialogData)
    BIND(TSPI_providerUIIdentify)
    BIND(TSPI_providerCreateLineDevice)
    BIND(TSPI_providerCreatePhoneDevice)
    BIND(TSPI_providerConfig)
    BIND(TSPI_providerFreeDialogInstance)
    BIND(TSPI_providerRemove)
#undef BIND
    ASSERT_NE(TSPI_providerInit, nullptr);
  }
  void TearDown() override {
    module_.reset();
  }

  static void Configure(uint32_t id, const char* name, uint32_t value) {
    RegistryKey key;
    ASSERT_EQ(RegistryKey::Create(ProviderKeyName(id), key), qrvn::platform::RegResult::Ok);
    ASSERT_EQ(key.SetDword(name, value), qrvn::platform::RegResult::Ok);
  }
  static std::string ProviderKeyName(uint32_t id) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", id);
    return std::string("SOFTWARE\\Tervolin\\VN2448\\PBX") + hex;
  }
  LONG Init(uint32_t id, DWORD lines = 236) {
    DWORD options = 0;
    return TSPI_providerInit(0x20001, id, 0, 0, lines, 0, nullptr, &options);
  }
  DWORD EnumLines(uint32_t id, LONG* result = nullptr) {
    DWORD lines = 0;
    DWORD phones = 77;
    LONG r = TSPI_providerEnumDevices(id, &lines, &phones, nullptr, nullptr, nullptr);
    if (result != nullptr) *result = r;
    if (r == 0) {
      EXPECT_EQ(phones, 0u);
    }
    return lines;
  }
  std::vector<std::string> DriverCalls() {
    std::vector<std::string> calls;
    std::ifstream in(root_.File("testlink.calls"));
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    return calls;
  }

  qrvn::testing::TempRoot root_;
  std::unique_ptr<Module> module_;
  PFN_TSPI_providerEnumDevices TSPI_providerEnumDevices = nullptr;
  PFN_TSPI_providerInit TSPI_providerInit = nullptr;
  PFN_TSPI_providerShutdown TSPI_providerShutdown = nullptr;
  PFN_TSPI_providerGenericDialogData TSPI_providerGenericDialogData = nullptr;
  PFN_TSPI_providerUIIdentify TSPI_providerUIIdentify = nullptr;
  PFN_TSPI_providerCreateLineDevice TSPI_providerCreateLineDevice = nullptr;
  PFN_TSPI_providerCreatePhoneDevice TSPI_providerCreatePhoneDevice = nullptr;
  PFN_TSPI_providerConfig TSPI_providerConfig = nullptr;
  PFN_TSPI_providerFreeDialogInstance TSPI_providerFreeDialogInstance = nullptr;
  PFN_TSPI_providerRemove TSPI_providerRemove = nullptr;
};

template <typename R, typename... Args>
R CallWithZeros(R (*function)(Args...)) {
  return function(Args{}...);
}

TEST_F(ModuleTest, EveryPhoneFunctionAnswersDisconnected) {
  Load();
  int bound = 0;
#define CHECK_PHONE(name)                                                       \
  {                                                                             \
    auto function = module_->Function<PFN_##name>(#name);                       \
    ASSERT_NE(function, nullptr) << #name;                                      \
    EXPECT_EQ(CallWithZeros(function), static_cast<LONG>(0x90000024)) << #name; \
    ++bound;                                                                    \
  }
  QRVN_TSPI_PHONE_FUNCTIONS(CHECK_PHONE)
#undef CHECK_PHONE
  EXPECT_EQ(bound, 28);
}

TEST_F(ModuleTest, EnumDevicesReports236LinesWithoutLineEnumDev) {
  Load();
  EXPECT_EQ(EnumLines(0x1A), 236u);
  DWORD phones = 0;
  EXPECT_EQ(TSPI_providerEnumDevices(0x1B, nullptr, &phones, nullptr, nullptr, nullptr),
            LINEERR_OPERATIONFAILED);
}

TEST_F(ModuleTest, ProviderKeyIsNamedByEightLowerCaseHexDigits) {
  Configure(0x1A, "LINEENUMDEV", 17);
  Configure(0xABCDEF12u, "LINEENUMDEV", 33);
  Load();
  EXPECT_EQ(EnumLines(0x1A), 17u);
  EXPECT_EQ(EnumLines(0xABCDEF12u), 33u);
  EXPECT_EQ(EnumLines(0x1B), 236u);
}

TEST_F(ModuleTest, SeventeenthProviderIsRefused) {
  Load();
  for (uint32_t id = 1; id <= 16; ++id) {
    LONG result = -1;
    EnumLines(id, &result);
    ASSERT_EQ(result, 0) << id;
  }
  LONG result = 0;
  EnumLines(17, &result);
  EXPECT_EQ(result, LINEERR_OPERATIONFAILED);
  EXPECT_EQ(Init(17), LINEERR_OPERATIONFAILED);
  // A known provider still finds its slot.
  EnumLines(16, &result);
  EXPECT_EQ(result, 0);
}

TEST_F(ModuleTest, OldTspiVersionsAreRefused) {
  Load();
  DWORD options = 0;
  EXPECT_EQ(TSPI_providerInit(0x20000, 1, 0, 0, 236, 0, nullptr, &options),
            static_cast<LONG>(0x8000000C));
  EXPECT_EQ(TSPI_providerShutdown(0x10004, 1), static_cast<LONG>(0x8000000C));
  EXPECT_EQ(TSPI_providerInit(0x20001, 1, 0, 0, 236, 0, nullptr, nullptr), LINEERR_OPERATIONFAILED);
}

TEST_F(ModuleTest, OpenFailsBeforeLoadingForBadLinkSettings) {
  struct Case {
    const char* name;
    uint32_t value;
  } cases[] = {{"COMTYPE", 3}, {"COMTYPE", 0}, {"COMPORTNO", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + std::to_string(c.value));
    qrvn::platform::DeleteRegistryKey(ProviderKeyName(0x1A));
    Configure(0x1A, c.name, c.value);
    if (module_ == nullptr) Load();
    EXPECT_EQ(Init(0x1A), LINEERR_OPERATIONFAILED);
    EXPECT_TRUE(DriverCalls().empty());
  }
}

TEST_F(ModuleTest, OpenFailsWithoutTheChosenDriverFile) {
  Configure(0x1A, "COMTYPE", 2);  // the Ethernet driver is not there
  Configure(0x2B, "COMTYPE", 1);
  Load(LinkDriver::None);
  EXPECT_EQ(Init(0x1A), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(Init(0x2B), LINEERR_OPERATIONFAILED);
}

TEST_F(ModuleTest, OpenFailsWhenTheDriverLacksAnExport) {
  Configure(0x1A, "COMTYPE", 1);
  Load(LinkDriver::WithoutDataComm);
  EXPECT_EQ(Init(0x1A), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(DriverCalls(), (std::vector<std::string>{"Version"}));
}

TEST_F(ModuleTest, OpenFailsWhenConnectFails) {
  Configure(0x1A, "DEBUG", 1);
  std::ofstream(root_.File("testlink.script")) << "connect -5\n";
  Load();
  EXPECT_EQ(Init(0x1A), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(DriverCalls(), (std::vector<std::string>{"Version", "Connect id=26 slot=0"}));
  EXPECT_NE(qrvn::testing::EventLogText().find("] CVN2448Driver::Open() Connect = -5\r\n"),
            std::string::npos);
}

// The test link driver answers every request with an empty reply, so the PBX never names
// its model: start-up gives up after the version requests, and Open closes the session,
// disconnects and unbinds.
TEST_F(ModuleTest, FailedSessionStartUpClosesTheLinkAndUnbinds) {
  Configure(0x1A, "COMPORTNO", 3);
  Load();
  EXPECT_EQ(Init(0x1A), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(DriverCalls(),
            (std::vector<std::string>{
                "Version", "Connect id=26 slot=0", "DataComm handle=7 code=1 length=4",
                "DataComm handle=7 code=185 length=16", "DataComm handle=7 code=185 length=14",
                "DataComm handle=7 code=185 length=14", "DataComm handle=7 code=2 length=4",
                "DisConnect handle=7"}));
  // Nothing was left running: shutting the provider down is a no-op.
  EXPECT_EQ(TSPI_providerShutdown(0x20001, 0x1A), 0);
  EXPECT_EQ(TSPI_providerShutdown(0x20001, 0x999), 0);
}

TEST_F(ModuleTest, DebugZeroCreatesNoLogFiles) {
  Configure(0x1A, "DEBUG", 0);
  std::ofstream(root_.File("testlink.script")) << "connect -5\n";
  Load();
  EXPECT_EQ(Init(0x1A), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TSPI_providerShutdown(0x20001, 0x1A), 0);
  fs::path system = fs::path(root_.Path()) / "system";
  bool anyLog = false;
  if (fs::exists(system)) {
    for (const auto& entry : fs::directory_iterator(system)) {
      anyLog = anyLog || entry.path().extension() == ".log";
    }
  }
  EXPECT_FALSE(anyLog);
}

TEST_F(ModuleTest, SmallProviderFunctions) {
  Configure(0x1A, "DEBUG", 1);
  Load();
  EXPECT_EQ(TSPI_providerCreateLineDevice(0, 0), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TSPI_providerCreatePhoneDevice(0, 0), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TSPI_providerConfig(nullptr, 0x1A), 0);
  EXPECT_EQ(TSPI_providerFreeDialogInstance(nullptr), 0);
  EXPECT_EQ(TSPI_providerGenericDialogData(0x1A, 1, nullptr, 0), 0);
  EXPECT_EQ(TSPI_providerRemove(nullptr, 0x1A), 0);
  RegistryKey key;
  EXPECT_EQ(RegistryKey::Open(ProviderKeyName(0x1A), qrvn::platform::RegAccess::Read, key),
            qrvn::platform::RegResult::NotFound);
  EXPECT_EQ(TSPI_providerRemove(nullptr, 0x1A), 0);

  char16_t name[256];
  ASSERT_EQ(TSPI_providerUIIdentify(name), 0);
  std::u16string text(name);
  ASSERT_GE(text.size(), 12u);
  EXPECT_EQ(text.substr(text.size() - 12), u"QRVNTAPI.TSP");
  // The module names itself from the folder it was loaded from.
  EXPECT_EQ(text[0], u'/');
  EXPECT_NE(text.find(u"/QRVNTAPI.TSP"), std::u16string::npos);
  EXPECT_EQ(TSPI_providerUIIdentify(nullptr), LINEERR_OPERATIONFAILED);
}

TEST_F(ModuleTest, DirectUseExportsAnswerOneForEmptySlots) {
  Load();
  auto pbxClose = module_->Function<LONG (*)(DWORD)>("PBXClose");
  auto lineDevOpen = module_->Function<LONG (*)(DWORD)>("LineDevOpen");
  auto lineDevClose2 = module_->Function<LONG (*)(DWORD, DWORD)>("LineDevClose2");
  auto pbxInitialize = module_->Function<LONG (*)(DWORD, DWORD, LINEEVENT)>("PBXInitialize");
  ASSERT_TRUE(pbxClose && lineDevOpen && lineDevClose2 && pbxInitialize);
  EXPECT_EQ(pbxInitialize(0, 0, nullptr), 1);
  EXPECT_EQ(pbxClose(3), 1);
  EXPECT_EQ(lineDevOpen(40), 1);
  EXPECT_EQ(lineDevClose2(0, 5), 1);
}

}  // namespace
