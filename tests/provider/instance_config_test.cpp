// The registry configuration of an instance: key name, defaults and clamping.
#include "provider/core/instance_config.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/registry.h"
#include "tests/support/temp_root.h"

namespace qrvn::provider {
namespace {

TEST(ProviderKey, EightLowerCaseHexDigits) {
  EXPECT_EQ(ProviderKeyName(0x1A), "SOFTWARE\\Tervolin\\VN2448\\PBX0000001a");
  EXPECT_EQ(ProviderKeyName(0xABCDEF12), "SOFTWARE\\Tervolin\\VN2448\\PBXabcdef12");
  EXPECT_EQ(ProviderKeyName(0), "SOFTWARE\\Tervolin\\VN2448\\PBX00000000");
}

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(platform::RegistryKey::Create(ProviderKeyName(0x1A), key_), platform::RegResult::Ok);
  }
  InstanceConfig Read() {
    InstanceConfig config;
    EXPECT_TRUE(ReadInstanceConfig(0x1A, config));
    return config;
  }
  testing::TempRoot root_;
  platform::RegistryKey key_;
};

TEST_F(ConfigTest, MissingValuesTakeTheirDefaults) {
  InstanceConfig c = Read();
  EXPECT_EQ(c.pbxType, 1u);
  EXPECT_EQ(c.comType, 1u);
  EXPECT_EQ(c.comPortNo, 1u);
  EXPECT_FALSE(c.comPortNoZero);
  EXPECT_EQ(c.comSpeed, 9600u);
  EXPECT_EQ(c.debug, 0u);
  EXPECT_EQ(c.incomingAccount, 1u);
  EXPECT_EQ(c.keepAliveTime, 30u);
  EXPECT_EQ(c.fwdDndDelay, 0u);
  EXPECT_EQ(c.accInfoDelay, 1000u);
  EXPECT_EQ(c.accInfoMaxSize, 500u);
  EXPECT_EQ(c.accInfoFilePath, platform::SystemFolder());
  EXPECT_EQ(c.logFileSize, 4000000u);
  EXPECT_EQ(c.nackTimeout, 2000u);
  EXPECT_EQ(c.nackRetry, 4u);
  EXPECT_EQ(c.timeoutRetry, 16u);
  EXPECT_EQ(c.timeout, 30000u);
  EXPECT_EQ(c.useExtVersion, 0x10002u);
  EXPECT_EQ(c.initMsgWait, 1u);
}

TEST_F(ConfigTest, ClampingTable) {
  struct Case {
    const char* name;
    uint32_t stored;
    uint32_t InstanceConfig::*field;
    uint32_t expected;
  } cases[] = {
      {"KEEPALIVETIME", 5, &InstanceConfig::keepAliveTime, 10},
      {"KEEPALIVETIME", 3601, &InstanceConfig::keepAliveTime, 3600},
      {"KEEPALIVETIME", 600, &InstanceConfig::keepAliveTime, 600},
      {"LOGFILESIZE", 0, &InstanceConfig::logFileSize, 1000000},
      {"LOGFILESIZE", 31, &InstanceConfig::logFileSize, 30000000},
      {"LOGFILESIZE", 7, &InstanceConfig::logFileSize, 7000000},
      {"NACKTIMEOUT", 50, &InstanceConfig::nackTimeout, 100},
      {"NACKTIMEOUT", 70000, &InstanceConfig::nackTimeout, 60000},
      {"NACKRETRY", 51, &InstanceConfig::nackRetry, 50},
      {"TIMEOUTRETRY", 99, &InstanceConfig::timeoutRetry, 50},
      {"ACCINFOMAXSIZE", 10001, &InstanceConfig::accInfoMaxSize, 10000},
      {"ACCINFOMAXSIZE", 499, &InstanceConfig::accInfoMaxSize, 500},
      {"ACCINFODELEY", 10000, &InstanceConfig::accInfoDelay, 10000},
      {"ACCINFODELEY", 12000, &InstanceConfig::accInfoDelay, 10000},
      {"FWDDNDDELEY", 20000, &InstanceConfig::fwdDndDelay, 10000},
      {"PBXTYPE", 0, &InstanceConfig::pbxType, 1},
      {"PBXTYPE", 3, &InstanceConfig::pbxType, 1},
      {"PBXTYPE", 2, &InstanceConfig::pbxType, 2},
      {"COMSPEED", 19200, &InstanceConfig::comSpeed, 19200},
      {"COMSPEED", 38400, &InstanceConfig::comSpeed, 9600},
      {"USEEXTVERSION", 0x10001, &InstanceConfig::useExtVersion, 0x10000},
      {"USEEXTVERSION", 0x10005, &InstanceConfig::useExtVersion, 0x10005},
      {"TIMEOUT", 5, &InstanceConfig::timeout, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + std::to_string(c.stored));
    ASSERT_EQ(key_.SetDword(c.name, c.stored), platform::RegResult::Ok);
    InstanceConfig config = Read();
    EXPECT_EQ(config.*(c.field), c.expected);
    key_.DeleteValue(c.name);
  }
}

TEST_F(ConfigTest, ComPortZeroIsMarkedOnlyWhenPresent) {
  key_.SetDword("COMPORTNO", 0);
  EXPECT_TRUE(Read().comPortNoZero);
  key_.SetDword("COMPORTNO", 3);
  EXPECT_FALSE(Read().comPortNoZero);
}

TEST_F(ConfigTest, MsgWaitCallbackReadsEightBytesAndPathIsCut) {
  const uint8_t digits[] = {'1', '2', '3', '4'};
  key_.SetBinary("MSGWAITCALLBACK", digits);
  key_.SetString("ACCINFOFILEPATH", std::string(300, 'p'));
  InstanceConfig c = Read();
  EXPECT_EQ(c.msgWaitCallback, (std::array<uint8_t, 8>{'1', '2', '3', '4', 0, 0, 0, 0}));
  EXPECT_EQ(c.accInfoFilePath.size(), 255u);
}

TEST_F(ConfigTest, InitValuesDefaultWhenTheKeyIsMissing) {
  InstanceConfig c;
  c.pbxType = 9;
  c.initMsgWait = 0;
  ReadInitValues(0x77, c);
  EXPECT_EQ(c.pbxType, 1u);
  EXPECT_EQ(c.initMsgWait, 1u);
  EXPECT_EQ(c.useExtVersion, 0x10002u);
  InstanceConfig full;
  EXPECT_FALSE(ReadInstanceConfig(0x77, full));
}

}  // namespace
}  // namespace qrvn::provider
