// Joining of fragmented replies and events.
#include "linkdriver/reassembly.h"

#include <gtest/gtest.h>

#include <vector>

namespace qrvn::linkdriver {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ReplyCollectorTest, ThreeFragmentsJoinAsFirstPlusTailsFromOffsetNine) {
  Bytes f1{0x05, 2, 7, 1, 0xAA, 0xBB};
  Bytes f2{0x05, 2, 7, 1, 1, 0, 2, 0, 1, 0xC1, 0xC2};
  Bytes f3{0x05, 2, 7, 0, 1, 0, 2, 0, 2, 0xD1};
  uint8_t dest[32] = {};
  ReplyCollector c;
  c.Begin(dest, sizeof dest);
  EXPECT_FALSE(c.Add(f1));
  EXPECT_FALSE(c.Add(f2));
  EXPECT_TRUE(c.Add(f3));
  Bytes expected{0x05, 2, 7, 1, 0xAA, 0xBB, 0xC1, 0xC2, 0xD1};
  ASSERT_EQ(c.Length(), static_cast<int32_t>(expected.size()));
  EXPECT_EQ(Bytes(dest, dest + expected.size()), expected);
}

TEST(ReplyCollectorTest, ReplyLargerThanDestinationIsNegativeAndNeverWrittenPast) {
  uint8_t buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), 0xEE);
  ReplyCollector c;
  c.Begin(buffer, 8);
  Bytes first{0x05, 2, 7, 1, 1, 2, 3, 4};  // fits exactly
  Bytes later{0x05, 2, 7, 0, 1, 0, 2, 0, 1, 9, 9, 9};
  c.Add(first);
  EXPECT_TRUE(c.Add(later));
  EXPECT_LT(c.Length(), 0);
  for (size_t i = 8; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0xEE) << i;
  // Without a destination a reply is only counted.
  c.Begin(nullptr, 0);
  EXPECT_TRUE(c.Add(Bytes{0x05, 2, 7, 0}));
  EXPECT_LT(c.Length(), 0);
  c.Begin(nullptr, 0);
  EXPECT_TRUE(c.Add(Bytes{0x05, 2, 7}));  // a three-byte reply has no fragment flag
}

TEST(ReplyCollectorTest, ShortLaterFragmentsAddNothing) {
  uint8_t dest[32];
  ReplyCollector c;
  c.Begin(dest, sizeof dest);
  c.Add(Bytes{0x05, 2, 7, 1, 0x11});
  c.Add(Bytes{0x05, 2, 7, 1, 1, 0, 2, 0, 1});  // 9 bytes: nothing from offset 9
  EXPECT_TRUE(c.Add(Bytes{0x05, 2, 7, 0, 1, 0, 2, 0, 1, 0x22}));
  EXPECT_EQ(c.Length(), 6);
  EXPECT_EQ(dest[5], 0x22);
}

Bytes FirstEventFragment() {
  // Code 0x30, first parameter of 3 bytes: the record count sits at 3 + 18 = 21.
  Bytes f{0x30, 1, 0, 1, 0x01, 0x00, 0x03, 'a', 'b', 'c'};
  f.resize(21, 0x55);
  f.push_back(0x00);
  f.push_back(0x05);
  f.push_back(0x77);
  return f;
}

TEST(EventAssemblerTest, FragmentsJoinAndRecordCountAddsUp) {
  EventAssembler a;
  Bytes first = FirstEventFragment();
  EXPECT_EQ(a.Add(first), EventAssembler::Result::Collecting);
  EXPECT_EQ(a.Add(Bytes{0x30, 1, 0, 1, 1, 0, 2, 0x00, 0x04, 0xA1, 0xA2}),
            EventAssembler::Result::Collecting);
  EXPECT_EQ(a.Add(Bytes{0x30, 1, 0, 1, 1, 0, 2}), EventAssembler::Result::Collecting);  // short
  ASSERT_EQ(a.Add(Bytes{0x30, 1, 0, 0, 1, 0, 2, 0x01, 0x00, 0xB1}),
            EventAssembler::Result::Complete);
  Bytes event(a.Event().begin(), a.Event().end());
  Bytes expected = first;
  expected[21] = 0x01;
  expected[22] = 0x09;  // 5 + 4 + 256
  expected.insert(expected.end(), {0xA1, 0xA2, 0xB1});
  EXPECT_EQ(event, expected);
  EXPECT_FALSE(a.Collecting());
}

TEST(EventAssemblerTest, CountOutsideTheFirstFragmentIsLeftAlone) {
  EventAssembler a;
  Bytes first{0x30, 1, 0, 1, 1, 0x40, 0x00, 1, 2};  // announces a 16 KiB first parameter
  a.Add(first);
  ASSERT_EQ(a.Add(Bytes{0x30, 1, 0, 0, 1, 0, 2, 0xFF, 0xFF, 0x42}),
            EventAssembler::Result::Complete);
  Bytes expected = first;
  expected.push_back(0x42);
  EXPECT_EQ(Bytes(a.Event().begin(), a.Event().end()), expected);
}

TEST(EventAssemblerTest, SingleEventPassesThroughAndFloodIsBounded) {
  EventAssembler a(1000);
  Bytes single{0x31, 1, 0, 0, 9};
  ASSERT_EQ(a.Add(single), EventAssembler::Result::Complete);
  EXPECT_EQ(Bytes(a.Event().begin(), a.Event().end()), single);

  Bytes more(200, 0x66);
  more[0] = 0x30;
  more[1] = 1;
  more[3] = 1;
  a.Add(FirstEventFragment());
  for (int i = 0; i < 100; ++i) EXPECT_EQ(a.Add(more), EventAssembler::Result::Collecting);
  more[3] = 0;
  EXPECT_EQ(a.Add(more), EventAssembler::Result::TooLong);
  // The next event is whole again.
  ASSERT_EQ(a.Add(single), EventAssembler::Result::Complete);
  EXPECT_EQ(a.Event().size(), single.size());
}

}  // namespace
}  // namespace qrvn::linkdriver
