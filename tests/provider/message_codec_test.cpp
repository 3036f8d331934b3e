// The CTI message codec: layout, fit test, tags, negative replies and cut-short messages.
#include "provider/core/message_codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace qrvn::provider {
namespace {

class CodecTest : public ::testing::Test {
 protected:
  uint32_t version_ = 0x10100;
  CodecSession session_{&version_};
  CodecSession noVersion_{nullptr};
};

TEST_F(CodecTest, EmptyRequestIsTheHeaderAloneAndTheRestIsCleared) {
  std::vector<uint8_t> buffer(16, 0xAA);
  EXPECT_EQ(BuildMessage(&session_, 0x1B9, buffer.data(), 16, nullptr, 0), 4);
  EXPECT_EQ(buffer, (std::vector<uint8_t>{0xB9, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CodecTest, ParametersAreTagLengthValueMostSignificantFirst) {
  uint8_t big[300] = {};
  MessageParam params[] = {{5, "101", 3}, {0x102, big, 300}};
  std::vector<uint8_t> buffer(400);
  ASSERT_EQ(BuildMessage(&session_, 33, buffer.data(), 400, params, 2), 4 + 6 + 303);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 4, buffer.begin() + 10),
            (std::vector<uint8_t>{0x05, 0x00, 0x03, '1', '0', '1'}));
  EXPECT_EQ(buffer[10], 0x02);
  EXPECT_EQ(buffer[11], 0x01);
  EXPECT_EQ(buffer[12], 0x2C);
}

TEST_F(CodecTest, BuildRefusals) {
  uint8_t value[4] = {1, 2, 3, 4};
  uint8_t buffer[10];
  struct Case {
    const char* name;
    const CodecSession* session;
    uint32_t size;
    MessageParam param;
    int32_t expected;
  } cases[] = {
      {"fits: 4 + 3 + 2 < 10", &session_, 10, {1, value, 2}, 9},
      {"does not fit: 4 + 3 + 3", &session_, 10, {1, value, 3}, kCodecNoRoom},
      {"buffer below 4", &session_, 3, {1, value, 1}, kCodecNoRoom},
      {"tag 0", &session_, 10, {0, value, 1}, kCodecBadTag},
      {"negative tag", &session_, 10, {-4, value, 1}, kCodecBadTag},
      {"no version reference", &noVersion_, 10, {1, value, 1}, kCodecNoVersion},
      {"null session", nullptr, 10, {1, value, 1}, kCodecNoVersion},
      {"length that wraps round", &session_, 10, {1, value, 0xFFFFFFFEu}, kCodecNoRoom},
      {"missing value bytes", &session_, 10, {1, nullptr, 2}, kCodecNoRoom},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BuildMessage(c.session, 7, buffer, c.size, &c.param, 1), c.expected);
  }
}

TEST_F(CodecTest, ParseNegativeReplyFillsItsEntries) {
  const uint8_t reply[] = {0x21, 3, 9, 0, 1, 0, 1, 0x55, 2, 0, 2, 0xAB, 0xCD};
  ParsedParam entries[4] = {};
  EXPECT_EQ(ParseMessage(&session_, entries, 4, reply, sizeof reply), -2);
  EXPECT_EQ(entries[0].tag, 1u);
  EXPECT_EQ(entries[0].offset, 7u);
  EXPECT_EQ(entries[0].length, 1u);
  EXPECT_EQ(entries[1].tag, 2u);
  EXPECT_EQ(entries[1].offset, 11u);
  EXPECT_EQ(entries[1].length, 2u);
}

TEST_F(CodecTest, ParseEdges) {
  ParsedParam entries[4] = {};
  const uint8_t stopAtZeroTag[] = {1, 2, 0, 0, 4, 0, 1, 9, 0, 5, 0, 1, 7};
  EXPECT_EQ(ParseMessage(&session_, entries, 4, stopAtZeroTag, sizeof stopAtZeroTag), 1);

  // The last header has no value bytes left: entry written with length 0, not counted.
  entries[1] = {99, 99, 99};
  const uint8_t noValue[] = {1, 1, 0, 0, 4, 0, 1, 9, 6, 0, 3};
  EXPECT_EQ(ParseMessage(&session_, entries, 4, noValue, sizeof noValue), 1);
  EXPECT_EQ(entries[1].tag, 6u);
  EXPECT_EQ(entries[1].offset, 11u);
  EXPECT_EQ(entries[1].length, 0u);

  const uint8_t headerOnly[] = {1, 2, 0, 0};
  EXPECT_EQ(ParseMessage(&session_, entries, 4, headerOnly, 4), 0);
  EXPECT_EQ(ParseMessage(&session_, entries, 4, headerOnly, 3), kCodecTooShort);
  EXPECT_EQ(ParseMessage(&noVersion_, entries, 4, headerOnly, 4), kCodecNoVersion);
}

TEST_F(CodecTest, ParseNeverReportsBytesBeyondTheMessage) {
  ParsedParam entries[4] = {};
  // The parameter claims 0x0100 bytes but only 2 follow.
  const uint8_t claimsTooMuch[] = {1, 1, 0, 0, 4, 1, 0, 0xAA, 0xBB};
  ASSERT_EQ(ParseMessage(&session_, entries, 4, claimsTooMuch, sizeof claimsTooMuch), 1);
  EXPECT_LE(entries[0].offset + entries[0].length, sizeof claimsTooMuch);
  // Only one byte of a length is left.
  const uint8_t halfLength[] = {1, 1, 0, 0, 4, 0};
  EXPECT_EQ(ParseMessage(&session_, entries, 4, halfLength, sizeof halfLength), 0);
}

TEST_F(CodecTest, ParseStopsWhenTheTableIsFull) {
  const uint8_t message[] = {1, 2, 0, 0, 1, 0, 1, 1, 2, 0, 1, 2, 3, 0, 1, 3};
  ParsedParam entries[2] = {};
  EXPECT_EQ(ParseMessage(&session_, entries, 2, message, sizeof message), 2);
  EXPECT_EQ(entries[1].tag, 2u);
}

TEST_F(CodecTest, BuildThenParseRoundTrip) {
  MessageParam params[] = {{1, "\x01", 1}, {2, "1.320", 5}};
  uint8_t buffer[kMaxMessage];
  int32_t length = BuildMessage(&session_, 0xB9, buffer, sizeof buffer, params, 2);
  ParsedParam entries[16];
  ASSERT_EQ(ParseMessage(&session_, entries, 16, buffer, length), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer) + entries[1].offset, entries[1].length),
            "1.320");
}

}  // namespace
}  // namespace qrvn::provider
