// Payload blocks: the byte format, the walk along chained blocks and corrupt lengths.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "installer/payload.h"
#include "tests/installer/installer_test_files.h"
#include "tests/support/temp_root.h"

namespace qrvn::installer {
namespace {

using test_files::Bytes;
using test_files::ReadFile;
using test_files::WriteFile;

class InstallerPayloadTest : public ::testing::Test {
 protected:
  qrvn::testing::TempRoot root_;
  std::string file_ = root_.File("carrier");
};

TEST_F(InstallerPayloadTest, AppendWritesPayloadThenLittleEndianLengthCountingItself) {
  WriteFile(file_, Bytes("IMAGE"));
  std::vector<uint8_t> payload(300, 0xAB);
  ASSERT_TRUE(AppendBlock(file_, payload).Ok());

  std::vector<uint8_t> expected = Bytes("IMAGE");
  expected.insert(expected.end(), payload.begin(), payload.end());
  // 300 + 4 = 0x130.
  expected.insert(expected.end(), {0x30, 0x01, 0x00, 0x00});
  EXPECT_EQ(ReadFile(file_), expected);
}

TEST_F(InstallerPayloadTest, BlocksChainTowardsTheFrontAndBlockOneEndsTheFile) {
  WriteFile(file_, Bytes("program image"));
  ASSERT_TRUE(AppendBlock(file_, Bytes("oldest")).Ok());
  ASSERT_TRUE(AppendBlock(file_, Bytes("")).Ok());
  ASSERT_TRUE(AppendBlock(file_, Bytes("newest block")).Ok());

  std::vector<uint8_t> payload;
  ASSERT_TRUE(ReadBlock(file_, 1, payload).Ok());
  EXPECT_EQ(payload, Bytes("newest block"));
  ASSERT_TRUE(ReadBlock(file_, 2, payload).Ok());
  EXPECT_TRUE(payload.empty());
  ASSERT_TRUE(ReadBlock(file_, 3, payload).Ok());
  EXPECT_EQ(payload, Bytes("oldest"));

  PayloadBlock block;
  ASSERT_TRUE(LocateBlock(file_, 3, block).Ok());
  EXPECT_EQ(block.offset, 13u);
  EXPECT_EQ(block.size, 6u);

  std::vector<PayloadBlock> blocks;
  uint64_t front = 0;
  ASSERT_TRUE(ListBlocks(file_, blocks, front).Ok());
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].size, 12u);
  EXPECT_EQ(blocks[1].size, 0u);
  EXPECT_EQ(blocks[2].offset, 13u);
  EXPECT_EQ(front, 13u);
}

TEST_F(InstallerPayloadTest, SingleBlockWithoutAnyFrontAndTheLengthOnlyBlock) {
  WriteFile(file_, {'x', 'y', 6, 0, 0, 0});
  std::vector<uint8_t> payload;
  ASSERT_TRUE(ReadBlock(file_, 1, payload).Ok());
  EXPECT_EQ(payload, Bytes("xy"));

  // Four bytes holding 4: a block with an empty payload.
  WriteFile(file_, {4, 0, 0, 0});
  payload = Bytes("stale");
  ASSERT_TRUE(ReadBlock(file_, 1, payload).Ok());
  EXPECT_TRUE(payload.empty());
}

struct CorruptCase {
  const char* name;
  std::vector<uint8_t> file;
  uint32_t block;
  PayloadStatus status;
};

TEST_F(InstallerPayloadTest, CorruptLengthsAreRefusedWithAReason) {
  const std::vector<CorruptCase> cases = {
      {"empty file", {}, 1, PayloadStatus::NoLengthField},
      {"shorter than a length", {4, 0, 0}, 1, PayloadStatus::NoLengthField},
      {"length 0", {'a', 'b', 0, 0, 0, 0}, 1, PayloadStatus::LengthBelowFour},
      {"length 3 ends past its own field",
       {'a', 'b', 3, 0, 0, 0},
       1,
       PayloadStatus::LengthBelowFour},
      {"length reaches before the start",
       {'a', 'b', 7, 0, 0, 0},
       1,
       PayloadStatus::LengthBeforeStart},
      {"largest length", {'a', 0xFF, 0xFF, 0xFF, 0xFF}, 1, PayloadStatus::LengthBeforeStart},
      {"block 2 when block 1 fills the file", {'a', 5, 0, 0, 0}, 2, PayloadStatus::NoLengthField},
      {"block 2 reaches before the start",
       {9, 0, 0, 0, 'a', 5, 0, 0, 0},
       2,
       PayloadStatus::LengthBeforeStart},
  };
  for (const CorruptCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(file_, c.file);
    std::vector<uint8_t> payload = Bytes("untouched");
    PayloadOutcome outcome = ReadBlock(file_, c.block, payload);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_NE(outcome.message.find(file_), std::string::npos) << outcome.message;
    EXPECT_EQ(payload, Bytes("untouched"));
  }
}

TEST_F(InstallerPayloadTest, ListStopsAtTheFirstUnsoundLength) {
  // "IMAGE" ends in bytes that read as a length far beyond the file.
  WriteFile(file_, Bytes("PROGRAM IMAGE"));
  ASSERT_TRUE(AppendBlock(file_, Bytes("one")).Ok());
  std::vector<PayloadBlock> blocks;
  uint64_t front = 0;
  ASSERT_TRUE(ListBlocks(file_, blocks, front).Ok());
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].offset, 13u);
  EXPECT_EQ(front, 13u);
}

TEST_F(InstallerPayloadTest, MissingFilesAndUnwritableTargetsAreReported) {
  std::vector<uint8_t> payload;
  EXPECT_EQ(ReadBlock(root_.File("absent"), 1, payload).status, PayloadStatus::OpenFailed);
  std::filesystem::create_directory(root_.File("folder"));
  PayloadOutcome written = WriteWholeFile(root_.File("folder"), Bytes("x"));
  EXPECT_EQ(written.status, PayloadStatus::OpenFailed);
  EXPECT_NE(written.message.find(root_.File("folder")), std::string::npos);
  EXPECT_EQ(WriteWholeFile(root_.File("no/such/folder/file"), Bytes("x")).status,
            PayloadStatus::OpenFailed);
}

}  // namespace
}  // namespace qrvn::installer
