// The provider log and the event log: header, line format, size limit and wrap-around.
#include "provider/core/provider_log.h"

#include <gtest/gtest.h>

#include <regex>

#include "platform/files.h"
#include "provider_test_support.h"
#include "tests/support/temp_root.h"

namespace qrvn::provider {
namespace {

class LogTest : public ::testing::Test {
 protected:
  void TearDown() override { SetProviderLogSettings({0, 0}); }
  // Writes a log file with a given header offset, padded up to that offset.
  static void Prepare(const std::string& path, uint32_t nextOffset) {
    auto file = platform::ExclusiveFile::Open(path, platform::FileDisposition::CreateAlways);
    ASSERT_NE(file, nullptr);
    std::string text = LogFormat("%08u\r\n", nextOffset);
    text.resize(nextOffset, '.');
    ASSERT_TRUE(file->WriteAt(0, text.data(), text.size()));
  }
  static uint32_t Header(const std::string& text) {
    return static_cast<uint32_t>(std::stoul(text.substr(0, 8)));
  }
  testing::TempRoot root_;
};

TEST_F(LogTest, NewFileGetsHeaderAndStampedLines) {
  LogSettings settings{1, 1000000};
  WriteEventLog(settings, "NoticeAnalyzeThread End");
  WriteEventLog(settings, "second");
  std::string text = testing::EventLogText();
  ASSERT_GE(text.size(), 10u);
  EXPECT_EQ(Header(text), text.size());
  EXPECT_EQ(text.substr(8, 2), "\r\n");
  std::regex layout(R"(\d{8}\r\n\[\d\d/\d\d \d\d:\d\d:\d\d:\d{3}\] NoticeAnalyzeThread End\r\n)"
                    R"(\[\d\d/\d\d \d\d:\d\d:\d\d:\d{3}\] second\r\n)");
  EXPECT_TRUE(std::regex_match(text, layout)) << text;
}

TEST_F(LogTest, FileNamesCarryTheDayOfTheMonth) {
  EXPECT_EQ(LogFilePath("Qrvntapi", 7), platform::SystemFolder() + "/Qrvntapi07.log");
  EXPECT_EQ(LogFilePath("Qrvntsp", 31), platform::SystemFolder() + "/Qrvntsp31.log");
}

TEST_F(LogTest, DebugZeroWritesNothing) {
  WriteEventLog(LogSettings{0, 1000000}, "x");
  WriteEventLogRaw(LogSettings{0, 1000000}, "x");
  SetProviderLogSettings({0, 4000000});
  WriteProviderLog("x");
  SetProviderLogSettings({1, 0});
  WriteProviderLog("x");
  EXPECT_TRUE(testing::EventLogText().empty());
  EXPECT_TRUE(testing::ProviderLogText().empty());
}

TEST_F(LogTest, ProviderLogFollowsTheProcessWideSettings) {
  SetProviderLogSettings({1, 1000000});
  WriteProviderLog("TSPI_providerShutdown() Start");
  EXPECT_NE(testing::ProviderLogText().find("] TSPI_providerShutdown() Start\r\n"),
            std::string::npos);
}

TEST_F(LogTest, LineThatWouldPassTheLimitStartsAgainAtOffsetTen) {
  const std::string path = testing::TodaysLogPath("Qrvntapi");
  SetProviderLogSettings({1, 1000000});
  const std::string body = "wrap line";
  const size_t lineLength = 23 + body.size();  // "[mm/dd hh:mm:ss:mmm] " + text + CR LF
  struct Case {
    uint32_t start;
    uint32_t expectedAt;
  } cases[] = {
      {static_cast<uint32_t>(1000000 - lineLength), static_cast<uint32_t>(1000000 - lineLength)},
      {static_cast<uint32_t>(1000000 - lineLength + 1), 10},
      {999990, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start);
    Prepare(path, c.start);
    WriteProviderLog(body);
    std::string text = testing::ReadFileText(path);
    EXPECT_EQ(Header(text), c.expectedAt + lineLength);
    EXPECT_EQ(text.substr(c.expectedAt + 21, body.size() + 2), body + "\r\n");
  }
}

TEST_F(LogTest, RawTextIsWrittenAsGivenWithoutSizeCheck) {
  const std::string path = testing::TodaysLogPath("Qrvntsp");
  Prepare(path, 999995);
  const std::string mark = "\r\n###-- QueDataDelete --###\r\n";
  WriteEventLogRaw(LogSettings{1, 1000000}, mark);
  std::string text = testing::ReadFileText(path);
  EXPECT_EQ(Header(text), 999995 + mark.size());
  EXPECT_EQ(text.substr(999995), mark);
}

TEST_F(LogTest, ALineIsDroppedWhileAnotherWriterHoldsTheFile) {
  LogSettings settings{1, 1000000};
  WriteEventLog(settings, "first");
  const std::string before = testing::EventLogText();
  {
    auto held = platform::ExclusiveFile::Open(testing::TodaysLogPath("Qrvntsp"),
                                              platform::FileDisposition::OpenExisting);
    ASSERT_NE(held, nullptr);
    WriteEventLog(settings, "dropped");
  }
  EXPECT_EQ(testing::EventLogText(), before);
}

TEST_F(LogTest, ADamagedHeaderNeverLetsALineOverwriteIt) {
  const std::string path = testing::TodaysLogPath("Qrvntsp");
  {
    auto file = platform::ExclusiveFile::Open(path, platform::FileDisposition::CreateAlways);
    ASSERT_TRUE(file->WriteAt(0, "00000003\r\n", 10));
  }
  WriteEventLog(LogSettings{1, 1000000}, "after");
  std::string text = testing::ReadFileText(path);
  EXPECT_EQ(text.substr(0, 10), LogFormat("%08zu\r\n", text.size()));
  EXPECT_EQ(text.substr(10, 1), "[");
}

}  // namespace
}  // namespace qrvn::provider
