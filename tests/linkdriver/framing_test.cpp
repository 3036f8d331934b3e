// Frame building, scanning and decoding of both framings, against hand-made wire bytes and
// the tests' own independent PBX decoder.
#include "linkdriver/framing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pbx_peer.h"

namespace qrvn::linkdriver {
namespace {

using testing::Bytes;

Bytes B(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

std::vector<testing::PeerItem> PeerDecode(const Bytes& wire) {
  testing::PbxPeer peer([](const Bytes&) {});
  testing::PbxPeer::Script quiet;
  quiet.silent = 1000;
  peer.SetScript(quiet);
  peer.OnBytes(wire);
  return peer.Items();
}

TEST(FramingTest, TextFrameOfOneByteHasHexLengthAndXorCheck) {
  Bytes frame = BuildTextFrame('0', Bytes{0x41});
  // XOR of "0:000241]" is 0x50.
  EXPECT_EQ(testing::AsText(frame), "[0:000241]50");
  EXPECT_EQ(BuildTextFrame('1', Bytes{}), testing::TextFrame('1', {Bytes{}}));
}

TEST(FramingTest, BinaryFrameDoublesEscapeInBodyAndCountsItInLength) {
  Bytes frame = BuildBinaryFrame('1', Bytes{0x41, 0x0A, 0x42});
  Bytes expected{0x0A, 0x01, 0x01, 0x0A, 0x02, 0x00, 0x04,
                 0x41, 0x0A, 0x0A, 0x42, 0x0A, 0x03, 0x07};
  EXPECT_EQ(frame, expected);
}

TEST(FramingTest, BinaryLengthByteEqualToEscapeIsDoubled) {
  Bytes message{1, 2, 3, 4, 5, 6, 7, 8, 0x0A};  // 9 bytes, 10 once escaped
  Bytes frame = BuildBinaryFrame('0', message);
  Bytes head(frame.begin(), frame.begin() + 8);
  EXPECT_EQ(head, (Bytes{0x0A, 0x01, 0x00, 0x0A, 0x02, 0x00, 0x0A, 0x0A}));
  auto items = PeerDecode(frame);
  ASSERT_EQ(items.size(), 1u);
  ASSERT_EQ(items[0].kind, testing::PeerItem::Frame);
  EXPECT_EQ(items[0].messages.at(0), message);
}

TEST(FramingTest, ControlBytesOfBothFramings) {
  EXPECT_EQ(ControlBytes(Framing::Text, Control::Ack), B("+"));
  EXPECT_EQ(ControlBytes(Framing::Text, Control::Nack), B("-"));
  EXPECT_EQ(ControlBytes(Framing::Text, Control::Block), B("!"));
  EXPECT_EQ(ControlBytes(Framing::Binary, Control::Ack), (Bytes{0x0A, 0x06}));
  EXPECT_EQ(ControlBytes(Framing::Binary, Control::Nack), (Bytes{0x0A, 0x0F}));
  EXPECT_EQ(ControlBytes(Framing::Binary, Control::Block), (Bytes{0x0A, 0x04}));
}

struct ScanCase {
  const char* name;
  Framing framing;
  bool blocked;
  Bytes input;
  TokenKind kind;
  size_t start;
  size_t end;
};

TEST(FramingTest, ScannerFindsFirstTokenAndWhatToDiscard) {
  Bytes good = testing::TextFrame('1', {{0x01, 0x02}});
  Bytes bad = good;
  bad[bad.size() - 1] = bad.back() == '0' ? '1' : '0';
  Bytes goodBin = testing::BinaryFrame('0', {{0x0A, 0x05}});
  Bytes badBin = goodBin;
  badBin.back() ^= 0xFF;
  Bytes cutBin{0x0A, 0x01, 0x00, 0x0A, 0x02, 0x00, 0x01, 0x0A, 0x06};
  Bytes junkThenGood = B("xy");
  junkThenGood.insert(junkThenGood.end(), good.begin(), good.end());
  std::vector<ScanCase> cases = {
      {"text ack after junk", Framing::Text, false, B("ab+cd"), TokenKind::Ack, 2, 3},
      {"text slash is ack", Framing::Text, false, B("/"), TokenKind::Ack, 0, 1},
      {"text nack", Framing::Text, false, B("-"), TokenKind::Nack, 0, 1},
      {"text block", Framing::Text, false, B("z!"), TokenKind::Block, 1, 2},
      {"text reset", Framing::Text, false, B("?"), TokenKind::Reset, 0, 1},
      {"text no control", Framing::Text, false, B("hello"), TokenKind::Nothing, 5, 5},
      {"text frame waits for check", Framing::Text, false, B("[0:0002]4"), TokenKind::Incomplete, 0,
       0},
      {"text frame after junk", Framing::Text, false, junkThenGood, TokenKind::Frame, 2,
       junkThenGood.size()},
      {"text bad check", Framing::Text, false, bad, TokenKind::BadFrame, 0, bad.size()},
      {"text header without colon", Framing::Text, false, B("[0]00"), TokenKind::BadFrame, 0, 5},
      {"text blocked ignores ack", Framing::Text, true, B("+-[x"), TokenKind::Nothing, 4, 4},
      {"text blocked reset", Framing::Text, true, B("ab?"), TokenKind::Reset, 2, 3},
      {"binary ack", Framing::Binary, false, {0x33, 0x0A, 0x06}, TokenKind::Ack, 1, 3},
      {"binary ack alternative", Framing::Binary, false, {0x0A, 0x10}, TokenKind::Ack, 0, 2},
      {"binary nack", Framing::Binary, false, {0x0A, 0x0F}, TokenKind::Nack, 0, 2},
      {"binary block", Framing::Binary, false, {0x0A, 0x04}, TokenKind::Block, 0, 2},
      {"binary reset", Framing::Binary, false, {0x0A, 0x05}, TokenKind::Reset, 0, 2},
      {"binary keeps final escape",
       Framing::Binary,
       false,
       {0x41, 0x42, 0x0A},
       TokenKind::Nothing,
       2,
       2},
      {"binary lone 05 is not a reset", Framing::Binary, false, {0x05}, TokenKind::Nothing, 1, 1},
      {"binary blocked lone 05 resets",
       Framing::Binary,
       true,
       {0x41, 0x05},
       TokenKind::Reset,
       1,
       2},
      {"binary blocked escaped reset", Framing::Binary, true, {0x0A, 0x05}, TokenKind::Reset, 0, 2},
      {"binary frame", Framing::Binary, false, goodBin, TokenKind::Frame, 0, goodBin.size()},
      {"binary bad check", Framing::Binary, false, badBin, TokenKind::BadFrame, 0, badBin.size()},
      {"binary frame cut by an ack", Framing::Binary, false, cutBin, TokenKind::BadFrame, 0, 7},
      {"binary frame not complete", Framing::Binary, false,
       Bytes(goodBin.begin(), goodBin.end() - 1), TokenKind::Incomplete, 0, 0},
  };
  for (const ScanCase& c : cases) {
    SCOPED_TRACE(c.name);
    Token t = Scan(c.framing, c.input, c.blocked);
    EXPECT_EQ(t.kind, c.kind);
    EXPECT_EQ(t.start, c.start);
    EXPECT_EQ(t.end, c.end);
  }
}

TEST(FramingTest, UnframedTextReportsLineBreaks) {
  EXPECT_TRUE(ScanText(B("OK\r\n"), false).lineBreak);
  EXPECT_TRUE(ScanText(B("x\n\ry"), false).lineBreak);
  EXPECT_FALSE(ScanText(B("x\ny"), false).lineBreak);
}

TEST(FramingTest, FrameWithSeveralMessagesDecodesEachInBothFramings) {
  std::vector<Bytes> messages = {{0x10, 0x01, 0x05, 0x00}, {0x0A}, {}, Bytes(300, 0x0A)};
  for (Framing framing : {Framing::Text, Framing::Binary}) {
    Bytes wire = framing == Framing::Text ? testing::TextFrame('0', messages)
                                          : testing::BinaryFrame('0', messages);
    Token t = Scan(framing, wire, false);
    ASSERT_EQ(t.kind, TokenKind::Frame);
    EXPECT_EQ(t.seq, '0');
    std::span<const uint8_t> body(wire.data() + t.bodyBegin, t.bodyEnd - t.bodyBegin);
    size_t pos = 0;
    Message m;
    std::vector<Bytes> decoded;
    while (NextMessage(framing, body, &pos, &m))
      decoded.emplace_back(m.View().begin(), m.View().end());
    EXPECT_EQ(decoded, messages);
  }
}

TEST(FramingTest, DecodingStopsAtOverlongOrMalformedMessages) {
  // A text length of 0x1002 hex digits announces 2049 bytes.
  Bytes body = B("1002");
  body.resize(4 + 0x1002, '0');
  size_t pos = 0;
  Message m;
  EXPECT_FALSE(NextMessage(Framing::Text, body, &pos, &m));
  Bytes odd = B("0003ABC");
  pos = 0;
  EXPECT_FALSE(NextMessage(Framing::Text, odd, &pos, &m));
  Bytes notHex = B("0002ZZ");
  pos = 0;
  EXPECT_FALSE(NextMessage(Framing::Text, notHex, &pos, &m));
  Bytes shortBody = B("0004AB");
  pos = 0;
  EXPECT_FALSE(NextMessage(Framing::Text, shortBody, &pos, &m));
  // Binary: 2049 unescaped bytes, and an escape split by the length.
  Bytes longBin{0x08, 0x01};
  longBin.resize(2 + 0x801, 0x41);
  pos = 0;
  EXPECT_FALSE(NextMessage(Framing::Binary, longBin, &pos, &m));
  Bytes split{0x00, 0x01, 0x0A, 0x0A};
  pos = 0;
  EXPECT_FALSE(NextMessage(Framing::Binary, split, &pos, &m));
  Bytes exact{0x08, 0x00};
  exact.resize(2 + 0x800, 0x41);
  pos = 0;
  EXPECT_TRUE(NextMessage(Framing::Binary, exact, &pos, &m));
  EXPECT_EQ(m.length, 2048u);
}

TEST(FramingTest, BinaryBytesRenderWithEscapeSymbols) {
  Bytes frame = BuildBinaryFrame('1', Bytes{0x41, 0x0A, 0x42});
  EXPECT_EQ(RenderBinary(frame), "^[1^:000441^0A42^]07");
  EXPECT_EQ(RenderBinary(Bytes{0x0A, 0x06, 0x0A, 0x0F, 0x0A, 0x10, 0x0A, 0x04, 0x0A, 0x05, 0xFF}),
            "^+^-^/^!^?FF");
  EXPECT_EQ(RenderBinary(Bytes{0x0A}), "0A");
}

}  // namespace
}  // namespace qrvn::linkdriver
