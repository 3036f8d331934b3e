// The wire framings, pinned to hand-computed frames.
#include "pbxsim/framing.h"
#include "pbxsim/pbx.h"

#include <gtest/gtest.h>

#include <string>

namespace qrvn::pbxsim {
namespace {

Bytes B(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

// The XOR of some characters as two upper-case hex digits, computed independently.
std::string XorHex(const std::string& s) {
  unsigned x = 0;
  for (unsigned char c : s) x ^= c;
  char buf[3];
  std::snprintf(buf, sizeof buf, "%02X", x);
  return buf;
}

TEST(Framing, OneByteTextFrameMatchesTheWorkedExample) {
  // 0x41 with sequence 0: "[0:000241]" and the XOR of the nine characters after "[".
  Bytes frame = EncodeTextFrame('0', {{0x41}});
  EXPECT_EQ(std::string(frame.begin(), frame.end()), "[0:000241]" + XorHex("0:000241]"));
}

TEST(Framing, BinaryFrameDoublesEscapeBytesAndCountsThemInTheLength) {
  Bytes frame = EncodeBinaryFrame('1', {{0x01, 0x0A, 0x02}});
  // start, sequence 1, header end, length 4 (escaped), data with 0A doubled, end, check.
  Bytes expected = {0x0A, 0x01, 0x01, 0x0A, 0x02, 0x00, 0x04, 0x01, 0x0A, 0x0A, 0x02, 0x0A, 0x03};
  uint8_t check = 0;
  for (size_t i = 2; i < expected.size(); ++i) check ^= expected[i];
  expected.push_back(check);
  EXPECT_EQ(frame, expected);
}

TEST(Framing, EscapedLengthOfTenDoublesTheLowLengthByte) {
  Bytes message(10, 0x11);
  Bytes frame = EncodeBinaryFrame('0', {message});
  ASSERT_GE(frame.size(), 8u);
  EXPECT_EQ(frame[5], 0x00);
  EXPECT_EQ(frame[6], 0x0A);
  EXPECT_EQ(frame[7], 0x0A);
  EXPECT_EQ(frame[8], 0x11);
}

TEST(Framing, ControlSequencesOfBothFramings) {
  EXPECT_EQ(EncodeControl(Framing::Text, Control::Ack), B("+"));
  EXPECT_EQ(EncodeControl(Framing::Text, Control::Nak), B("-"));
  EXPECT_EQ(EncodeControl(Framing::Text, Control::Block), B("!"));
  EXPECT_EQ(EncodeControl(Framing::Text, Control::Reset), B("?"));
  EXPECT_EQ(EncodeControl(Framing::Binary, Control::Ack), (Bytes{0x0A, 0x06}));
  EXPECT_EQ(EncodeControl(Framing::Binary, Control::Nak), (Bytes{0x0A, 0x0F}));
  EXPECT_EQ(EncodeControl(Framing::Binary, Control::Block), (Bytes{0x0A, 0x04}));
  EXPECT_EQ(EncodeControl(Framing::Binary, Control::Reset), (Bytes{0x0A, 0x05}));
}

TEST(Scanner, ReadsFramesOfBothFramingsWithSeveralMessages) {
  std::vector<Bytes> messages = {{0x8F, 0x01, 0x05, 0x00, 0x0A}, {0x0A, 0x0A}, {}};
  for (Framing f : {Framing::Text, Framing::Binary}) {
    Scanner s;
    Bytes frame = EncodeFrame(f, '1', messages);
    // Fed one byte at a time: nothing is complete before the last byte.
    for (size_t i = 0; i + 1 < frame.size(); ++i) {
      s.Feed(&frame[i], 1);
      ASSERT_EQ(s.Next().type, Token::Type::None) << "byte " << i;
    }
    s.Feed(&frame.back(), 1);
    Token t = s.Next();
    ASSERT_EQ(t.type, Token::Type::Frame);
    EXPECT_EQ(t.framing, f);
    EXPECT_EQ(t.sequence, '1');
    EXPECT_EQ(t.messages, messages);
    EXPECT_EQ(s.Pending(), 0u);
  }
}

TEST(Scanner, WrongCheckIsABadFrame) {
  Bytes text = EncodeTextFrame('0', {{0x41}});
  text.back() = text.back() == '0' ? '1' : '0';
  Bytes binary = EncodeBinaryFrame('0', {{0x41}});
  binary.back() ^= 0x40;
  for (const Bytes& frame : {text, binary}) {
    Scanner s;
    s.Feed(frame.data(), frame.size());
    EXPECT_EQ(s.Next().type, Token::Type::BadFrame);
    EXPECT_EQ(s.Pending(), 0u);
  }
}

TEST(Scanner, SplitsNoiseControlsAndFrames) {
  Scanner s;
  Bytes input = B("\r\nOK\r\n+");
  Bytes frame = EncodeBinaryFrame('0', {{0x01, 0x02, 0x03, 0x00}});
  input.insert(input.end(), frame.begin(), frame.end());
  input.insert(input.end(), {0x0A, 0x06, '-', 0x0A, 0x05, 'x', 0x0A});
  s.Feed(input.data(), input.size());
  // A line feed is the escape byte: noise may come in several pieces, all discarded.
  Bytes noise;
  Token t = s.Next();
  while (t.type == Token::Type::Noise) {
    noise.insert(noise.end(), t.raw.begin(), t.raw.end());
    t = s.Next();
  }
  EXPECT_EQ(noise, B("\r\nOK\r\n"));
  EXPECT_EQ(t.type, Token::Type::Control);
  EXPECT_EQ(t.control, Control::Ack);
  EXPECT_EQ(s.Next().type, Token::Type::Frame);
  t = s.Next();
  EXPECT_EQ(t.control, Control::Ack);
  EXPECT_EQ(t.framing, Framing::Binary);
  EXPECT_EQ(s.Next().control, Control::Nak);
  EXPECT_EQ(s.Next().control, Control::Reset);
  EXPECT_EQ(s.Next().type, Token::Type::Noise);
  // A final escape byte may start a sequence: it is kept.
  EXPECT_EQ(s.Next().type, Token::Type::None);
  EXPECT_EQ(s.Pending(), 1u);
}

TEST(Scanner, CutOffFrameIsNoiseWhenTheNextStarts) {
  Scanner s;
  Bytes input = B("[0:0004AB");
  Bytes frame = EncodeTextFrame('1', {{0x41}});
  input.insert(input.end(), frame.begin(), frame.end());
  s.Feed(input.data(), input.size());
  EXPECT_EQ(s.Next().type, Token::Type::Noise);
  Token t = s.Next();
  EXPECT_EQ(t.type, Token::Type::Frame);
  EXPECT_EQ(t.messages, (std::vector<Bytes>{{0x41}}));
}

TEST(Scanner, MalformedTextLayoutWithAGoodCheckIsRefused) {
  // Odd digit count inside a frame whose check is right.
  std::string body = "0:0003ABC]";
  std::string frame = "[" + body + XorHex(body);
  Scanner s;
  s.Feed(reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
  EXPECT_EQ(s.Next().type, Token::Type::BadFrame);
}

TEST(Scanner, EndlessGarbageDoesNotGrowTheBuffer) {
  Scanner s;
  Bytes junk(Scanner::kMaxFrame + 10, 'A');
  junk[0] = '[';
  s.Feed(junk.data(), junk.size());
  EXPECT_EQ(s.Next().type, Token::Type::Noise);
  EXPECT_EQ(s.Pending(), 0u);
}

}  // namespace
}  // namespace qrvn::pbxsim

namespace qrvn::pbxsim {
namespace {

// Whatever arrives on the line, the scanner and the PBX neither crash nor stall: every
// buffer is consumed up to at most one unfinished frame.
TEST(Scanner, RandomLineInputIsConsumedSafely) {
  Pbx pbx(DefaultModel());
  uint32_t state = 12345;
  auto next = [&state]() {
    state = state * 1103515245u + 12345u;
    return static_cast<uint8_t>(state >> 16);
  };
  const uint8_t interesting[] = {'[',  ']',  ':',  '0',  '1',  'F',  '+',  '-',  '!', '?',
                                 0x0A, 0x01, 0x02, 0x03, 0x05, 0x06, 0x8F, 0xB9, 0x00};
  Scanner s;
  for (int round = 0; round < 3000; ++round) {
    Bytes chunk(next() % 64);
    for (uint8_t& b : chunk) {
      b = (next() & 1) ? interesting[next() % sizeof interesting] : next();
    }
    if (round % 7 == 0) {
      Bytes frame = EncodeFrame(round % 2 ? Framing::Binary : Framing::Text, '0', {chunk});
      chunk = frame;
    }
    s.Feed(chunk.data(), chunk.size());
    for (Token t = s.Next(); t.type != Token::Type::None; t = s.Next()) {
      for (const Bytes& m : t.messages) pbx.Handle(m);
    }
    ASSERT_LE(s.Pending(), Scanner::kMaxFrame + 64);
  }
}

}  // namespace
}  // namespace qrvn::pbxsim
