// The PBX end of the link, driven by a raw peer on the pseudo-terminal's slave side that
// writes and expects exact frames (built here by hand, not by the code under test).
#include "pbxsim/link.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

#include "pbxsim/simulator.h"
#include "platform/clock.h"
#include "platform/serial.h"
#include "tests/support/temp_root.h"

namespace qrvn::pbxsim {
namespace {

Bytes B(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

std::string HexDigits(const Bytes& b) {
  std::string out;
  char buf[3];
  for (uint8_t c : b) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    out += buf;
  }
  return out;
}

// A text frame: "[", sequence, ":", 4-digit count of hex characters, the hex, "]", check.
Bytes TextFrame(char seq, const Bytes& message) {
  char len[5];
  std::snprintf(len, sizeof len, "%04X", static_cast<unsigned>(message.size() * 2));
  std::string body = std::string(1, seq) + ":" + len + HexDigits(message) + "]";
  unsigned x = 0;
  for (unsigned char c : body) x ^= c;
  char check[3];
  std::snprintf(check, sizeof check, "%02X", x);
  return B("[" + body + check);
}

// A binary frame: 0A 01, sequence byte, 0A 02, escaped length, escaped data, 0A 03, check.
Bytes BinaryFrame(int seq, const Bytes& message) {
  Bytes data;
  for (uint8_t c : message) {
    data.push_back(c);
    if (c == 0x0A) data.push_back(0x0A);
  }
  Bytes out = {0x0A, 0x01, static_cast<uint8_t>(seq), 0x0A, 0x02};
  for (uint8_t c : {static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size())}) {
    out.push_back(c);
    if (c == 0x0A) out.push_back(0x0A);
  }
  out.insert(out.end(), data.begin(), data.end());
  out.push_back(0x0A);
  out.push_back(0x03);
  uint8_t check = 0;
  for (size_t i = 2; i < out.size(); ++i) check ^= out[i];
  out.push_back(check);
  return out;
}

Bytes Req(uint8_t code, uint8_t seq, std::vector<Param> params = {}) {
  Message m;
  m.code = code;
  m.sequence = seq;
  m.params = std::move(params);
  return Encode(m);
}

// The host side, reading and writing raw bytes on the slave.
class Peer {
 public:
  explicit Peer(const std::string& path) {
    std::string error;
    line_ = PtyLine::OpenTerminal(path, &error);
    EXPECT_NE(line_, nullptr) << error;
  }
  void Send(const Bytes& b) { ASSERT_EQ(line_->Write(b.data(), b.size()), int32_t(b.size())); }
  void Send(const std::string& s) { Send(B(s)); }
  // Exactly n bytes (gives up after a generous real-time limit).
  Bytes Read(size_t n) {
    Bytes out;
    for (int spins = 0; out.size() < n && spins < 200; ++spins) {
      Fill();
      size_t take = std::min(n - out.size(), buffer_.size());
      out.insert(out.end(), buffer_.begin(), buffer_.begin() + static_cast<long>(take));
      buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(take));
      if (out.size() < n) line_->WaitReadable(50);
    }
    return out;
  }
  // One whole frame of the given framing.
  Bytes ReadFrame(bool binary) {
    Bytes out;
    for (int spins = 0; spins < 200; ++spins) {
      Fill();
      while (!buffer_.empty()) {
        out.push_back(buffer_.front());
        buffer_.erase(buffer_.begin());
        if (Complete(out, binary)) return out;
      }
      line_->WaitReadable(50);
    }
    ADD_FAILURE() << "no complete frame, got " << Hex(out);
    return out;
  }

 private:
  static bool Complete(const Bytes& f, bool binary) {
    if (!binary) {
      size_t close = 0;
      for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] == ']') close = i;
      }
      return close != 0 && f.size() == close + 3;
    }
    // Walk escapes: the frame ends two... one byte after an unpaired 0A 03.
    for (size_t i = 2; i + 1 < f.size(); ++i) {
      if (f[i] != 0x0A) continue;
      if (f[i + 1] == 0x0A) {
        ++i;
        continue;
      }
      if (f[i + 1] == 0x03) return f.size() == i + 3;
    }
    return false;
  }
  void Fill() {
    uint8_t buf[512];
    for (;;) {
      int32_t n = line_->Read(buf, sizeof buf);
      if (n <= 0) return;
      buffer_.insert(buffer_.end(), buf, buf + n);
    }
  }
  std::unique_ptr<PtyLine> line_;
  Bytes buffer_;
};

// Joins reply fragments the way the host does: the first whole, the rest from offset 9.
Bytes Join(const std::vector<Bytes>& fragments) {
  Bytes out = fragments.at(0);
  for (size_t i = 1; i < fragments.size(); ++i) {
    out.insert(out.end(), fragments[i].begin() + 9, fragments[i].end());
  }
  return out;
}

// The single message of a binary frame.
Bytes BinaryMessage(const Bytes& frame) {
  Bytes raw;
  size_t i = 5;
  auto next = [&]() {
    uint8_t c = frame[i++];
    if (c == 0x0A) ++i;
    return c;
  };
  size_t len = (static_cast<size_t>(next()) << 8) | next();
  size_t start = i;
  while (i < start + len) raw.push_back(next());
  return raw;
}

class LinkTest : public ::testing::Test {
 protected:
  void Start(Model model = DefaultModel(), LinkOptions options = {}) {
    std::string error;
    auto pty = PtyLine::Create(&error);
    ASSERT_NE(pty, nullptr) << error;
    std::string path = pty->SlavePath();
    expected_ = std::make_unique<Pbx>(model);
    sim_ = std::make_unique<Simulator>(std::move(pty), std::move(model), options,
                                       [this](const std::string& line) {
                                         std::lock_guard lock(logMutex_);
                                         log_ += line + "\n";
                                       });
    ASSERT_TRUE(sim_->Start());
    peer_ = std::make_unique<Peer>(path);
  }
  void TearDown() override {
    if (sim_) sim_->Stop();
    if (HasFailure()) {
      std::lock_guard lock(logMutex_);
      std::fprintf(stderr, "simulator log:\n%s", log_.c_str());
    }
  }
  // The session open in text framing, proposing binary (1) or not (0).
  void OpenSession(uint8_t binary) {
    peer_->Send(TextFrame('0', {0x01, 0x01, 0x01, 0x00, 0x01, 0x00, 0x01, binary}));
    EXPECT_EQ(peer_->Read(1), B("+"));
    EXPECT_EQ(peer_->ReadFrame(false), TextFrame('0', {0x01, 0x02, 0x01, 0x00}));
    peer_->Send("+");
    ASSERT_TRUE(sim_->GetLink().WaitIdle(5000));
  }
  Bytes Answer(const Bytes& request) { return expected_->Handle(request).replies.at(0); }

  std::unique_ptr<Simulator> sim_;
  std::unique_ptr<Pbx> expected_;
  std::unique_ptr<Peer> peer_;
  std::mutex logMutex_;
  std::string log_;
};

TEST_F(LinkTest, SessionOpenSwitchesToBinaryAndSequencesAlternate) {
  Start();
  OpenSession(1);
  EXPECT_EQ(sim_->GetLink().SendFraming(), Framing::Binary);
  // Both ends start the binary session at sequence 0.
  Bytes version = Req(185, 2, {{1, {1}}, {2, B("1.320")}});
  peer_->Send(BinaryFrame(0, version));
  EXPECT_EQ(peer_->Read(2), (Bytes{0x0A, 0x06}));
  EXPECT_EQ(peer_->ReadFrame(true), BinaryFrame(0, Answer(version)));
  peer_->Send(Bytes{0x0A, 0x06});
  Bytes trunks = Req(143, 3, {{1, {2}}, {2, {0xFF, 0xFF}}});
  peer_->Send(BinaryFrame(1, trunks));
  EXPECT_EQ(peer_->Read(2), (Bytes{0x0A, 0x06}));
  Bytes reply = peer_->ReadFrame(true);
  EXPECT_EQ(reply, BinaryFrame(1, Answer(trunks)));
  EXPECT_EQ(BinaryMessage(reply)[2], 3) << "the reply carries the request's sequence number";
  peer_->Send(Bytes{0x0A, 0x10});  // the alternative acknowledgement
  Bytes poll = Req(129, 4);
  peer_->Send(BinaryFrame(0, poll));
  EXPECT_EQ(peer_->Read(2), (Bytes{0x0A, 0x06}));
  EXPECT_EQ(peer_->ReadFrame(true), BinaryFrame(0, Answer(poll)));
}

TEST_F(LinkTest, SessionOpenOnABinaryLinkIsAnsweredInBinary) {
  Start();
  OpenSession(1);
  Bytes open = Req(1, 5);
  peer_->Send(BinaryFrame(0, open));
  EXPECT_EQ(peer_->Read(2), (Bytes{0x0A, 0x06}));
  EXPECT_EQ(peer_->ReadFrame(true), BinaryFrame(0, {0x01, 0x02, 0x05, 0x00}));
  peer_->Send(Bytes{0x0A, 0x06});
  // The open leaves both sequences at 0.
  Bytes poll = Req(129, 6);
  peer_->Send(BinaryFrame(0, poll));
  EXPECT_EQ(peer_->Read(2), (Bytes{0x0A, 0x06}));
  EXPECT_EQ(peer_->ReadFrame(true), BinaryFrame(0, Answer(poll)));
}

TEST_F(LinkTest, RefusedBinaryProposalKeepsTextFraming) {
  Model m = DefaultModel();
  m.acceptBinary = false;
  Start(m);
  peer_->Send(TextFrame('0', {0x01, 0x01, 0x01, 0x00, 0x01, 0x00, 0x01, 0x01}));
  EXPECT_EQ(peer_->Read(1), B("+"));
  EXPECT_EQ(peer_->ReadFrame(false),
            TextFrame('0', {0x01, 0x03, 0x01, 0x00, 0x01, 0x00, 0x02, 0x09, 0x12}));
  peer_->Send("+");
  OpenSession(0);  // the host proposes again without binary framing
  EXPECT_EQ(sim_->GetLink().SendFraming(), Framing::Text);
  Bytes version = Req(185, 2, {{1, {1}}, {2, B("1.3")}});
  peer_->Send(TextFrame('0', version));
  EXPECT_EQ(peer_->Read(1), B("+"));
  EXPECT_EQ(peer_->ReadFrame(false), TextFrame('0', Answer(version)));
}

TEST_F(LinkTest, BadCheckIsRefusedAndTheResentFrameDelivered) {
  Start();
  OpenSession(0);
  Bytes poll = Req(129, 2);
  Bytes bad = TextFrame('0', poll);
  bad.back() = bad.back() == '0' ? '1' : '0';
  peer_->Send(bad);
  EXPECT_EQ(peer_->Read(1), B("-"));
  peer_->Send(TextFrame('0', poll));
  EXPECT_EQ(peer_->Read(1), B("+"));
  EXPECT_EQ(peer_->ReadFrame(false), TextFrame('0', Answer(poll)));
  EXPECT_EQ(sim_->GetLink().RequestCount(129), 1u);
}

TEST_F(LinkTest, RepeatedFrameIsAcknowledgedButNotDelivered) {
  Start();
  OpenSession(0);
  Bytes poll = Req(129, 2);
  peer_->Send(TextFrame('0', poll));
  EXPECT_EQ(peer_->Read(1), B("+"));
  EXPECT_EQ(peer_->ReadFrame(false), TextFrame('0', Answer(poll)));
  peer_->Send("+");
  peer_->Send(TextFrame('0', poll));  // the same sequence again: a repetition
  EXPECT_EQ(peer_->Read(1), B("+"));
  Bytes close = Req(131, 3);
  peer_->Send(TextFrame('1', close));
  EXPECT_EQ(peer_->Read(1), B("+"));
  // The next frame is the answer to the new request, sent with the other sequence.
  EXPECT_EQ(peer_->ReadFrame(false), TextFrame('1', Answer(close)));
  EXPECT_EQ(sim_->GetLink().RequestCount(129), 1u);
  EXPECT_EQ(sim_->GetLink().GetCounters().repeats, 1u);
}

TEST_F(LinkTest, RefusedOrUnacknowledgedReplyIsSentAgainWithTheSameSequence) {
  LinkOptions o;
  o.ackTimeoutMs = 30;
  Start(DefaultModel(), o);
  OpenSession(0);
  Bytes poll = Req(129, 2);
  peer_->Send(TextFrame('0', poll));
  EXPECT_EQ(peer_->Read(1), B("+"));
  Bytes first = peer_->ReadFrame(false);
  peer_->Send("-");
  EXPECT_EQ(peer_->ReadFrame(false), first);
  // No acknowledgement at all: sent again after the time-out.
  EXPECT_EQ(peer_->ReadFrame(false), first);
  peer_->Send("+");
  Bytes close = Req(131, 3);
  peer_->Send(TextFrame('1', close));
  EXPECT_EQ(peer_->Read(1), B("+"));
  EXPECT_EQ(peer_->ReadFrame(false), TextFrame('1', Answer(close)));
}

TEST_F(LinkTest, HostBlockIsAnsweredWithAReset) {
  Start();
  OpenSession(1);
  peer_->Send(Bytes{0x0A, 0x04});
  EXPECT_EQ(peer_->Read(2), (Bytes{0x0A, 0x05}));
  // After the reset both ends are at sequence 0 again.
  Bytes poll = Req(129, 9);
  peer_->Send(BinaryFrame(0, poll));
  EXPECT_EQ(peer_->Read(2), (Bytes{0x0A, 0x06}));
  EXPECT_EQ(peer_->ReadFrame(true), BinaryFrame(0, Answer(poll)));
}

TEST_F(LinkTest, FragmentedReplyJoinsToTheWholeReply) {
  LinkOptions o;
  o.fragmentSize = 64;
  Start(DefaultModel(), o);
  OpenSession(1);
  Bytes request = Req(143, 2, {{1, {1}}, {2, {0xFF, 0xFF}}});
  peer_->Send(BinaryFrame(0, request));
  EXPECT_EQ(peer_->Read(2), (Bytes{0x0A, 0x06}));
  std::vector<Bytes> fragments;
  int seq = 0;
  for (int i = 0; i < 100; ++i) {
    Bytes frame = peer_->ReadFrame(true);
    ASSERT_EQ(frame[2], seq) << "fragment " << i;
    seq ^= 1;
    Bytes m = BinaryMessage(frame);
    EXPECT_LE(m.size(), 64u);
    EXPECT_EQ(m[0], 143);
    EXPECT_EQ(m[2], 2);
    fragments.push_back(m);
    peer_->Send(Bytes{0x0A, 0x06});
    if (m[3] == 0) break;
  }
  ASSERT_GT(fragments.size(), 2u);
  Bytes joined = Join(fragments);
  Bytes whole = Answer(request);
  joined[3] = 0;  // the joined copy keeps the first fragment's flag
  EXPECT_EQ(joined, whole);
}

TEST_F(LinkTest, ScenarioEventsAreSentAsRequestsWithSequenceZero) {
  Start();
  OpenSession(1);
  Scenario s;
  std::string error;
  ASSERT_TRUE(Scenario::Parse("event ServiceBeginInform ext 101\nevent SysStatEvent byte 3\n", "s",
                              sim_->GetPbx(), s, &error))
      << error;
  ASSERT_TRUE(sim_->StartScenario(std::move(s)));
  EXPECT_EQ(peer_->ReadFrame(true),
            BinaryFrame(0, {49, 1, 0, 0, 1, 0, 9, 1, 0, 0, 0, 1, '1', '0', '1', 0}));
  peer_->Send(Bytes{0x0A, 0x06});
  EXPECT_EQ(peer_->ReadFrame(true), BinaryFrame(1, {129, 1, 0, 0, 1, 0, 1, 3}));
  peer_->Send(Bytes{0x0A, 0x06});
}

TEST_F(LinkTest, FaultsOnDemand) {
  Start();
  Link& link = sim_->GetLink();
  // A modem-like answer to the first session open.
  link.AnswerOpenWithNoise({'\r', '\n'}, 1);
  peer_->Send(TextFrame('0', {0x01, 0x01, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00}));
  EXPECT_EQ(peer_->Read(2), B("\r\n"));
  EXPECT_EQ(link.RequestCount(1), 0u);
  OpenSession(0);

  Bytes poll = Req(129, 2);
  link.NakNextFrames(1);
  peer_->Send(TextFrame('0', poll));
  EXPECT_EQ(peer_->Read(1), B("-"));
  link.IgnoreNextFrames(1);
  peer_->Send(TextFrame('0', poll));  // swallowed: no acknowledgement
  link.BlockNextFrames(1);
  peer_->Send(TextFrame('0', poll));
  EXPECT_EQ(peer_->Read(1), B("!"));
  link.CorruptNextSends(1);
  peer_->Send(TextFrame('0', poll));
  EXPECT_EQ(peer_->Read(1), B("+"));
  Bytes corrupt = peer_->ReadFrame(false);
  EXPECT_NE(corrupt, TextFrame('0', Answer(poll)));
  peer_->Send("-");
  EXPECT_EQ(peer_->ReadFrame(false), TextFrame('0', Answer(poll)));
  peer_->Send("+");
  EXPECT_EQ(link.RequestCount(129), 1u) << "only the acknowledged frame was delivered";

  // A PBX that no longer answers the poll still acknowledges it.
  sim_->GetPbx().SetPollSilent(true);
  peer_->Send(TextFrame('1', Req(129, 3)));
  EXPECT_EQ(peer_->Read(1), B("+"));
  // Line noise from the host is dropped; the link goes on.
  peer_->Send("\r\nATZ\r\n");
  Bytes close = Req(131, 4);
  peer_->Send(TextFrame('0', close));
  EXPECT_EQ(peer_->Read(1), B("+"));
  EXPECT_EQ(peer_->ReadFrame(false), TextFrame('1', Answer(close)));
  EXPECT_GE(link.GetCounters().noiseIn, 1u);
}

TEST(PbxSimPort, RegisterWritesTheComPortOfThePlatform) {
  testing::TempRoot root;
  std::string error;
  ASSERT_TRUE(RegisterComPort("com4", "/dev/pts/77", &error)) << error;
  EXPECT_EQ(platform::SerialDevicePath(4), "/dev/pts/77");
  EXPECT_FALSE(RegisterComPort("COM", "/dev/x", &error));
  EXPECT_FALSE(RegisterComPort("LPT1", "/dev/x", &error));
  EXPECT_FALSE(RegisterComPort("COM0", "/dev/x", &error));
}

TEST(PbxSimCommand, HelpAndRefusedModel) {
  testing::TempRoot root;
  std::string out = root.File("out.txt");
  std::string bin = QRVN_PBXSIM_BIN;
  ASSERT_EQ(std::system((bin + " --help > " + out + " 2>&1").c_str()), 0);
  std::ifstream help(out);
  std::stringstream text;
  text << help.rdbuf();
  EXPECT_NE(text.str().find("--register COMn"), std::string::npos);

  std::string model = root.File("bad.json");
  std::ofstream(model) << R"({"extensions": [{"device": 1, "number": "12345"}]})";
  int rc = std::system((bin + " --check --model " + model + " > " + out + " 2>&1").c_str());
  EXPECT_NE(rc, 0);
  std::ifstream refused(out);
  std::stringstream why;
  why << refused.rdbuf();
  EXPECT_NE(why.str().find(model + ": extensions[0].number: must be 1 to 4 digits"),
            std::string::npos)
      << why.str();
}

}  // namespace
}  // namespace qrvn::pbxsim
