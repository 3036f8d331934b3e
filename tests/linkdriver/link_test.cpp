// The link protocol end to end over the in-memory port: a scripted PBX on the other end,
// the driver's own table and threads, the registry for configuration, the trace file and
// the monitor area as written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "callbacks.h"
#include "linkdriver/config.h"
#include "linkdriver/driver.h"
#include "linkdriver/memory_port.h"
#include "linkdriver/monitor_layout.h"
#include "linkdriver/trace_log.h"
#include "pbx_peer.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shared_memory.h"
#include "tests/support/temp_root.h"

namespace qrvn::linkdriver {
namespace {

using testing::Bytes;
using testing::CallbackLog;
using testing::PbxPeer;

constexpr uint32_t kProvider = 0x1a;
constexpr uint32_t kSlot = 3;

// Polls a condition in real time, bounded (for state the driver reaches on its own thread).
template <typename F>
bool Eventually(F condition) {
  for (int i = 0; i < 5000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CallbackLog::Get().Reset();
    static std::atomic<int> counter{0};
    areaName_ = "qrvn-linktest-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    peer_ = std::make_unique<PbxPeer>([this](const Bytes& b) { line_->PeerSend(b); });
    line_->SetOnWrite([this](std::span<const uint8_t> b) { peer_->OnBytes(b); });
    // Generous acknowledgement and reply time-outs: tests that want them short say so.
    Configure({{"NACKTIMEOUT", 60000}, {"TIMEOUT", 60000}});
  }

  void TearDown() override {
    driver_.reset();
    platform::SharedArea::Remove(areaName_);
    platform::NamedMutex::Remove(areaName_ + "-mutex");
  }

  void Configure(const std::map<std::string, uint32_t>& values) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::RegistryKey::Create(ProviderKeyPath(kProvider), key),
              platform::RegResult::Ok);
    for (const auto& [name, value] : values) key.SetDword(name, value);
  }

  DriverOptions Options() {
    DriverOptions options;
    options.monitorName = areaName_;
    options.monitorMutexName = areaName_ + "-mutex";
    options.openPort = [this](uint32_t com, std::string*) -> std::unique_ptr<LinkPort> {
      openedCom_ = com;
      if (failOpen_) return nullptr;
      return line_->OpenPort();
    };
    return options;
  }

  int32_t ConnectLink() {
    if (!driver_) driver_ = std::make_unique<Driver>(Options());
    return driver_->Connect(&handle_, kProvider, kSlot, CallbackLog::OnReceive,
                            CallbackLog::OnStatus);
  }

  void Connected() {
    ASSERT_EQ(ConnectLink(), 0);
    line_->TakeWritten();
  }

  // Waits until the driver wrote at least count bytes and takes everything written.
  Bytes Wire(size_t count) {
    EXPECT_TRUE(line_->WaitWritten(count, 60000));
    return line_->TakeWritten();
  }

  int32_t Exchange(const Bytes& request, Bytes* reply, int32_t replySize = 2048) {
    reply->assign(static_cast<size_t>(std::max(replySize, 0)), 0);
    int32_t n = driver_->DataComm(handle_, request.data(), static_cast<int32_t>(request.size()),
                                  reply->data(), replySize);
    if (n >= 0) reply->resize(static_cast<size_t>(n));
    return n;
  }

  // Opens the session: the proposal, the PBX's short answer, the switch to binary.
  void OpenSession() {
    Bytes reply;
    ASSERT_EQ(Exchange({1, 1, 0, 0}, &reply), 4);
    ASSERT_TRUE(Eventually([&] { return peer_->Items().size() >= 2; }));
    line_->WaitWritten(1, 60000);
    line_->TakeWritten();
  }

  platform::SharedArea* Monitor() {
    if (!monitor_) monitor_ = platform::SharedArea::Open(areaName_, 512, false, true);
    return monitor_.get();
  }
  uint16_t Entry16(size_t offset) {
    uint16_t v;
    std::memcpy(&v, Monitor()->Data() + offset, 2);
    return v;
  }
  uint32_t Entry32(size_t offset) {
    uint32_t v;
    std::memcpy(&v, Monitor()->Data() + offset, 4);
    return v;
  }

  testing::TempRoot root_;
  std::shared_ptr<MemoryLine> line_ = MemoryLine::Create();
  std::unique_ptr<PbxPeer> peer_;
  std::unique_ptr<Driver> driver_;
  std::unique_ptr<platform::SharedArea> monitor_;
  std::string areaName_;
  uint32_t handle_ = 99;
  uint32_t openedCom_ = 0;
  bool failOpen_ = false;
};

const Bytes kRequest{0x10, 1, 0, 0, 5, 0, 3, '1', '0', '1'};

Bytes WithSeq(Bytes m, uint8_t seq) {
  m[2] = seq;
  return m;
}

TEST_F(LinkTest, TextExchangeSendsExactFrameAndPairsTheReply) {
  Connected();
  peer_->SetScript({.replyPayload = {7, 0, 1, 0x42}});
  Bytes reply;
  ASSERT_EQ(Exchange(kRequest, &reply), 8);
  EXPECT_EQ(reply, (Bytes{0x10, 2, 1, 0, 7, 0, 1, 0x42}));
  Bytes frame = testing::TextFrame('0', {WithSeq(kRequest, 1)});
  Bytes expected = frame;
  expected.push_back('+');  // the driver's acknowledgement of the reply frame
  EXPECT_EQ(testing::AsText(Wire(expected.size())), testing::AsText(expected));
  // The next request alternates the sequence character and counts the message number.
  ASSERT_EQ(Exchange(kRequest, &reply), 8);
  EXPECT_EQ(testing::AsText(Wire(frame.size())).substr(0, frame.size()),
            testing::AsText(testing::TextFrame('1', {WithSeq(kRequest, 2)})));
  EXPECT_EQ(kRequest[2], 0);
}

TEST_F(LinkTest, StrayAcknowledgementDoesNotShiftTheSendSequence) {
  Connected();
  Bytes reply;
  ASSERT_EQ(Exchange(kRequest, &reply), 4);
  // A duplicate "+" (the PBX answering a frame twice), then an event so that it is known
  // to have been read before the next request.
  peer_->SendRaw({'+'});
  peer_->SendFrame({{0x40, 1, 0, 0}}, false);
  ASSERT_TRUE(CallbackLog::Get().WaitEvents(1));
  ASSERT_EQ(Exchange(kRequest, &reply), 4);
  std::vector<char> sequences;
  for (const auto& item : peer_->Items()) {
    if (item.kind == testing::PeerItem::Frame) sequences.push_back(item.seq);
  }
  EXPECT_EQ(sequences, (std::vector<char>{'0', '1'}));
}

TEST_F(LinkTest, MessageSequenceNumberWrapsAfter127) {
  Connected();
  peer_->SetScript({.reply = false});
  Bytes last;
  for (int i = 0; i < 128; ++i) {
    ASSERT_EQ(driver_->SendData(handle_, kRequest.data(), 10), 10);
  }
  auto items = peer_->Items();
  ASSERT_EQ(items.size(), 128u);
  EXPECT_EQ(items[0].messages.at(0)[2], 1);
  EXPECT_EQ(items[126].messages.at(0)[2], 127);
  EXPECT_EQ(items[127].messages.at(0)[2], 1);
  EXPECT_EQ(items[127].seq, '1');
}

TEST_F(LinkTest, SessionOpenProposesBinaryAndSwitchesWhenAccepted) {
  Connected();
  Bytes reply;
  ASSERT_EQ(Exchange({1, 1, 0, 0}, &reply), 4);
  Bytes proposal = testing::TextFrame('0', {{1, 1, 1, 0, 1, 0, 1, 1}});
  Bytes expected = proposal;
  expected.push_back('+');
  EXPECT_EQ(testing::AsText(Wire(expected.size())), testing::AsText(expected));

  // Binary from now on, with 0x0A doubled in body and length.
  Bytes request{0x20, 1, 0, 0, 1, 0, 4, 0x0A, 0x0A, 0x30, 0x0A};
  ASSERT_EQ(Exchange(request, &reply), 4);
  Bytes wire = Wire(1);
  Bytes binaryFrame = testing::BinaryFrame('0', {WithSeq(request, 2)});
  ASSERT_GE(wire.size(), binaryFrame.size());
  EXPECT_EQ(Bytes(wire.begin(), wire.begin() + static_cast<long>(binaryFrame.size())), binaryFrame);
  auto items = peer_->Items();
  EXPECT_TRUE(items.back().binary);
}

TEST_F(LinkTest, RefusedProposalIsRepeatedWithoutBinaryAfterLineReset) {
  Connected();
  EXPECT_EQ(line_->DtrDrops(), 1);
  peer_->SetScript({.acceptBinary = false});
  Bytes reply;
  ASSERT_EQ(Exchange({1, 1, 0, 0}, &reply), 4);
  EXPECT_EQ(line_->DtrDrops(), 2);
  std::vector<Bytes> proposals;
  for (const auto& item : peer_->Items()) {
    if (item.kind == testing::PeerItem::Frame) proposals.push_back(item.messages.at(0));
  }
  ASSERT_EQ(proposals.size(), 2u);
  EXPECT_EQ(proposals[0], (Bytes{1, 1, 1, 0, 1, 0, 1, 1}));
  EXPECT_EQ(proposals[1], (Bytes{1, 1, 1, 0, 1, 0, 1, 0}));
  // Still text.
  peer_->SetScript({});
  ASSERT_EQ(Exchange(kRequest, &reply), 4);
  EXPECT_FALSE(peer_->Items().back().binary);
}

TEST_F(LinkTest, NegativeAcknowledgementsRepeatTheSameFrameThenBlock) {
  Connected();
  peer_->SetScript({.nacks = 2});
  Bytes reply;
  ASSERT_EQ(Exchange(kRequest, &reply), 4);
  auto items = peer_->Items();
  ASSERT_GE(items.size(), 3u);
  EXPECT_EQ(items[0].seq, items[2].seq);
  EXPECT_EQ(items[0].messages, items[2].messages);

  // Three frames and the driver's acknowledgement of the reply, which may follow the return.
  ASSERT_TRUE(peer_->WaitItems(4));
  peer_->SetScript({.nacks = 4});
  line_->TakeWritten();
  EXPECT_EQ(Exchange(kRequest, &reply), result::kRefused);
  Bytes frame = testing::TextFrame('1', {WithSeq(kRequest, 2)});
  Bytes expected;
  for (int i = 0; i < 4; ++i) expected.insert(expected.end(), frame.begin(), frame.end());
  expected.push_back('!');
  EXPECT_EQ(testing::AsText(Wire(expected.size())), testing::AsText(expected));
  EXPECT_TRUE(driver_->Blocked(handle_));

  // Blocked: refused at once, nothing written.
  size_t frames = peer_->Frames();
  EXPECT_EQ(Exchange(kRequest, &reply), result::kBlockedOrLineDown);
  EXPECT_EQ(driver_->SendData(handle_, kRequest.data(), 10), result::kBlockedOrLineDown);
  EXPECT_EQ(peer_->Frames(), frames);

  // Bytes other than the reset are ignored while blocked; "?" unblocks and resets sequences.
  peer_->SendRaw({'+', '[', 'x'});
  peer_->SendReset();
  ASSERT_TRUE(Eventually([&] { return !driver_->Blocked(handle_); }));
  peer_->SetScript({});
  ASSERT_EQ(Exchange(kRequest, &reply), 4);
  auto items2 = peer_->Items();
  auto lastFrame = std::find_if(items2.rbegin(), items2.rend(), [](const testing::PeerItem& i) {
    return i.kind == testing::PeerItem::Frame;
  });
  ASSERT_NE(lastFrame, items2.rend());
  EXPECT_EQ(lastFrame->seq, '0');
}

TEST_F(LinkTest, MissingAcknowledgementsGiveUpAfterTimeoutRetry) {
  Configure({{"NACKTIMEOUT", 100}, {"TIMEOUTRETRY", 3}});
  Connected();
  peer_->SetScript({.silent = 1000});
  Bytes reply;
  EXPECT_EQ(Exchange(kRequest, &reply), result::kNoAcknowledgement);
  EXPECT_EQ(peer_->Frames(), 3u);
  EXPECT_TRUE(driver_->Blocked(handle_));
  EXPECT_EQ(peer_->Items().back().kind, testing::PeerItem::Block);
}

TEST_F(LinkTest, FirstTimeoutOfSessionOpenResetsTheLine) {
  Configure({{"NACKTIMEOUT", 100}, {"TIMEOUT", 60000}});
  Connected();
  peer_->SetScript({.silent = 2});
  Bytes reply;
  ASSERT_EQ(Exchange({1, 1, 0, 0}, &reply), 4);
  // One reset at start-up, one at the first time-out only.
  EXPECT_EQ(line_->DtrDrops(), 2);
  EXPECT_EQ(peer_->Frames(), 3u);
}

TEST_F(LinkTest, LineBreakDuringSessionOpenMakesTheSenderStartAgain) {
  Connected();
  peer_->SetScript({.silent = 1});
  std::thread pbx([&] {
    Eventually([&] { return peer_->Frames() >= 1; });
    peer_->SendRaw({'O', 'K', '\r', '\n'});
  });
  Bytes reply;
  EXPECT_EQ(Exchange({1, 1, 0, 0}, &reply), 4);
  pbx.join();
  EXPECT_EQ(line_->DtrDrops(), 2);
  EXPECT_EQ(peer_->Frames(), 2u);
}

TEST_F(LinkTest, PbxBlockEndsTheExchangeAndIsReported) {
  Connected();
  peer_->SetScript({.block = true});
  Bytes reply;
  EXPECT_EQ(Exchange(kRequest, &reply), result::kPeerBlocked);
  EXPECT_TRUE(CallbackLog::Get().WaitStatus(-7));
  EXPECT_EQ(CallbackLog::Get().Slots().at(0), kSlot);
  EXPECT_EQ(driver_->SendData(handle_, kRequest.data(), 10), result::kBlockedOrLineDown);
}

TEST_F(LinkTest, ReplyFailures) {
  Configure({{"NACKTIMEOUT", 60000}, {"TIMEOUT", 1000}});
  Connected();
  Bytes reply;
  peer_->SetScript({.replyPayload = Bytes(20, 0x11)});
  // Too large for the caller's buffer: -24, and nothing written past it.
  Bytes guarded(64, 0xEE);
  EXPECT_EQ(driver_->DataComm(handle_, kRequest.data(), 10, guarded.data(), 10),
            result::kReplyTooLong);
  for (size_t i = 10; i < guarded.size(); ++i) ASSERT_EQ(guarded[i], 0xEE) << i;
  EXPECT_EQ(driver_->DataComm(handle_, kRequest.data(), 10, nullptr, 0), result::kReplyTooLong);
  // No reply at all within TIMEOUT.
  peer_->SetScript({.reply = false});
  EXPECT_EQ(Exchange(kRequest, &reply), result::kNoReply);
  // Lengths.
  Bytes big(2049, 1);
  EXPECT_EQ(driver_->DataComm(handle_, big.data(), 2049, reply.data(), 0), result::kBadLength);
  EXPECT_EQ(driver_->SendData(handle_, big.data(), -1), result::kBadLength);
  EXPECT_EQ(driver_->SendData(handle_, big.data(), 2048), 2048);
  // Handles.
  EXPECT_EQ(driver_->SendData(handle_ + 1, kRequest.data(), 10), result::kNotConnected);
  EXPECT_EQ(driver_->DataComm(77, kRequest.data(), 10, reply.data(), 0), result::kNotConnected);
}

TEST_F(LinkTest, FragmentedReplyIsJoined) {
  Connected();
  peer_->SetScript({.replyFragments = 3, .replyPayload = {0xAB}});
  Bytes reply;
  ASSERT_EQ(Exchange(kRequest, &reply), 7);
  EXPECT_EQ(reply, (Bytes{0x10, 2, 1, 1, 0xAB, 0xAB, 0xAB}));
}

TEST_F(LinkTest, EventsAreDeliveredOnceAndBadFramesAnsweredNegatively) {
  Connected();
  Bytes e1{0x40, 1, 0, 0, 1, 0, 1, 9};
  Bytes e2{0x41, 1, 0, 0};
  Bytes replyLike{0x42, 2, 5, 0};  // not for an outstanding request: ignored
  peer_->SendFrame({e1, e2, replyLike}, false);
  ASSERT_TRUE(CallbackLog::Get().WaitEvents(2));
  EXPECT_EQ(testing::AsText(Wire(1)), "+");
  // The same sequence character again is a repetition: acknowledged, not delivered.
  peer_->SendRaw(testing::TextFrame('0', {e1}));
  EXPECT_EQ(testing::AsText(Wire(1)), "+");
  // A wrong check is answered with "-".
  Bytes bad = testing::TextFrame('1', {e1});
  bad.back() = bad.back() == '0' ? '1' : '0';
  peer_->SendRaw(bad);
  EXPECT_EQ(testing::AsText(Wire(1)), "-");
  peer_->SendRaw(testing::TextFrame('1', {e2}));
  EXPECT_EQ(testing::AsText(Wire(1)), "+");
  ASSERT_TRUE(CallbackLog::Get().WaitEvents(3));
  auto events = CallbackLog::Get().Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0], e1);
  EXPECT_EQ(events[1], e2);
  EXPECT_EQ(events[2], e2);
  EXPECT_EQ(CallbackLog::Get().Slots().at(0), kSlot);
}

TEST_F(LinkTest, FragmentedEventIsJoinedWithItsCount) {
  Connected();
  Bytes first{0x30, 1, 0, 1, 1, 0, 1, 0x07};
  first.resize(19, 0);
  first.push_back(0x00);
  first.push_back(0x02);  // the count, at 1 + 18
  Bytes second{0x30, 1, 0, 1, 1, 0, 2, 0x00, 0x03, 0xA1, 0xA2, 0xA3};
  Bytes last{0x30, 1, 0, 0, 1, 0, 2, 0x00, 0x01, 0xB1};
  peer_->SendFrame({first}, false);
  peer_->SendFrame({second, last}, false);
  ASSERT_TRUE(CallbackLog::Get().WaitEvents(1));
  Bytes expected = first;
  expected[20] = 0x06;
  expected.insert(expected.end(), {0xA1, 0xA2, 0xA3, 0xB1});
  EXPECT_EQ(CallbackLog::Get().Events().at(0), expected);
}

TEST_F(LinkTest, RefusedEventsAreReported) {
  Connected();
  CallbackLog::Get().Reset(0);
  peer_->SendFrame({{0x40, 1, 0, 0}}, false);
  EXPECT_TRUE(CallbackLog::Get().WaitStatus(-19));
  peer_->SendFrame({{0x40, 1, 0, 1, 1, 0, 0}, {0x40, 1, 0, 0, 1, 0, 2, 0, 1, 5}}, false);
  EXPECT_TRUE(CallbackLog::Get().WaitStatus(-18));
}

TEST_F(LinkTest, GarbageAndOverlongFramesNeverStopTheLink) {
  Connected();
  Bytes noise(40000, 'x');
  peer_->SendRaw(noise);
  Bytes endless{'['};
  endless.resize(20000, '0');  // a frame start that never ends, longer than the buffer
  peer_->SendRaw(endless);
  std::string lying = "[0:FFFF00]";
  peer_->SendRaw(Bytes(lying.begin(), lying.end()));
  peer_->SendRaw({']', '0', '0'});
  Bytes event{0x40, 1, 0, 0};
  peer_->SendFrame({event}, false);
  ASSERT_TRUE(CallbackLog::Get().WaitEvents(1));
  EXPECT_EQ(CallbackLog::Get().Events().back(), event);
  Bytes reply;
  EXPECT_EQ(Exchange(kRequest, &reply), 4);
}

TEST_F(LinkTest, BinaryGarbageAndFragmentFloodNeverStopTheLink) {
  Connected();
  OpenSession();
  Bytes noise;
  for (int i = 0; i < 30000; ++i)
    noise.push_back(static_cast<uint8_t>((i * 37) % 7 == 0 ? 0x0A : i));
  peer_->SendRaw(noise);
  Bytes endless{0x0A, 0x01, 0x00, 0x0A, 0x02};
  endless.resize(20000, 0x41);  // a frame that never ends, longer than the buffer
  peer_->SendRaw(endless);
  // An event in fragments far beyond any sensible size is dropped, not collected for ever.
  Bytes fragment(2000, 0x33);
  fragment[0] = 0x30;
  fragment[1] = 1;
  fragment[3] = 1;
  for (int i = 0; i < 600; ++i) peer_->SendFrame({fragment}, true);
  fragment[3] = 0;
  peer_->SendFrame({fragment}, true);
  Bytes event{0x40, 1, 0, 0, 0x0A};
  peer_->SendFrame({event}, true);
  ASSERT_TRUE(CallbackLog::Get().WaitEvents(1));
  EXPECT_EQ(CallbackLog::Get().Events().size(), 1u);
  EXPECT_EQ(CallbackLog::Get().Events().back(), event);
  Bytes reply;
  EXPECT_EQ(Exchange(kRequest, &reply), 4);
}

TEST_F(LinkTest, DsrLossIsReportedAndSendsFail) {
  Connected();
  EXPECT_EQ(Entry16(monitor::PortEntry(monitor::kDsrBase, 1)), 1);
  line_->SetDsr(false);
  ASSERT_TRUE(CallbackLog::Get().WaitStatus(-16));
  EXPECT_EQ(Entry16(monitor::PortEntry(monitor::kDsrBase, 1)), 0);
  EXPECT_EQ(driver_->SendData(handle_, kRequest.data(), 10), result::kBlockedOrLineDown);
  line_->SetDsr(true);
  ASSERT_TRUE(Eventually([&] { return Entry16(monitor::PortEntry(monitor::kDsrBase, 1)) == 1; }));
  peer_->SetScript({.reply = false});
  EXPECT_EQ(driver_->SendData(handle_, kRequest.data(), 10), 10);
}

TEST_F(LinkTest, LineErrorsAreReportedWithTheirCodes) {
  struct Case {
    uint32_t errors;
    int32_t code;
  };
  for (Case c : {Case{kLineOther, -700}, Case{kLineFraming, -710}, Case{kLineParity, -740},
                 Case{kLineFraming | kLineParity | kLineOverrun, -750}}) {
    SCOPED_TRACE(c.code);
    CallbackLog::Get().Reset();
    Connected();
    line_->RaiseLineErrors(c.errors);
    EXPECT_TRUE(CallbackLog::Get().WaitStatus(c.code));
    // The link goes on, and a new watch sees the next modem change.
    peer_->SetScript({.reply = false});
    EXPECT_EQ(driver_->SendData(handle_, kRequest.data(), 10), 10);
    line_->SetDsr(false);
    EXPECT_TRUE(CallbackLog::Get().WaitStatus(-16));
    line_->SetDsr(true);
    driver_->DisConnect(handle_);
  }
  CallbackLog::Get().Reset();
  Configure({{"DEBUG", 1}, {"NACKTIMEOUT", 60000}});
  Connected();
  line_->RaiseLineErrors(kLineOverrun);
  ASSERT_TRUE(Eventually([&] {
    return ReadFile(TraceFilePath(platform::LocalNow().day)).find("<<< CE_OVERRUN >>>") !=
           std::string::npos;
  }));
  EXPECT_TRUE(CallbackLog::Get().Statuses().empty());
}

TEST_F(LinkTest, VanishedPortIsReportedAndEverythingFailsCleanly) {
  Connected();
  line_->Disappear();
  ASSERT_TRUE(Eventually([&] {
    auto s = CallbackLog::Get().Statuses();
    return std::find(s.begin(), s.end(), -5) != s.end() ||
           std::find(s.begin(), s.end(), -6) != s.end();
  }));
  ASSERT_TRUE(Eventually(
      [&] { return driver_->SendData(handle_, kRequest.data(), 10) == result::kNotConnected; }));
  Bytes reply(16);
  EXPECT_EQ(driver_->DataComm(handle_, kRequest.data(), 10, reply.data(), 16),
            result::kNotConnected);
  EXPECT_EQ(Entry16(monitor::PortEntry(monitor::kPortOpenBase, 1)), 0);
  EXPECT_EQ(driver_->DisConnect(handle_), 0);
}

TEST_F(LinkTest, StalledWriteFailsTheSend) {
  Connected();
  line_->StallWrites(true);
  EXPECT_EQ(driver_->SendData(handle_, kRequest.data(), 10), result::kBlockedOrLineDown);
  EXPECT_GE(line_->Purges(), 2);
  line_->StallWrites(false);
}

TEST_F(LinkTest, DisconnectDuringAnExchangeReturnsAndFreesTheLink) {
  Connected();
  peer_->SetScript({.reply = false});
  int32_t outcome = 0;
  std::thread caller([&] {
    Bytes reply(64);
    outcome = driver_->DataComm(handle_, kRequest.data(), 10, reply.data(), 64);
  });
  ASSERT_TRUE(Eventually([&] { return peer_->Frames() >= 1; }));
  EXPECT_EQ(driver_->DisConnect(handle_), 0);
  caller.join();
  EXPECT_EQ(outcome, result::kNotConnected);
  EXPECT_EQ(driver_->SendData(handle_, kRequest.data(), 10), result::kNotConnected);
  EXPECT_EQ(driver_->DisConnect(handle_), 0);
  // The index and the provider are free again.
  ASSERT_EQ(ConnectLink(), 0);
}

TEST_F(LinkTest, ConnectResults) {
  driver_ = std::make_unique<Driver>(Options());
  uint32_t h = 0;
  EXPECT_EQ(driver_->Connect(&h, kProvider, 16, CallbackLog::OnReceive, CallbackLog::OnStatus), -2);
  EXPECT_EQ(openedCom_, 0u);
  ASSERT_EQ(ConnectLink(), 0);
  EXPECT_EQ(handle_, 0u);
  EXPECT_EQ(driver_->Connect(&h, kProvider, 4, CallbackLog::OnReceive, CallbackLog::OnStatus), -3);
  EXPECT_EQ(driver_->DisConnect(5), 0);
  EXPECT_EQ(driver_->DisConnect(1000), 0);
}

TEST_F(LinkTest, ConnectFailsWithoutDsrOrPort) {
  line_->SetDsr(false);
  EXPECT_EQ(ConnectLink(), -1);
  EXPECT_EQ(Entry16(monitor::PortEntry(monitor::kPortOpenBase, 1)), 0);
  failOpen_ = true;
  EXPECT_EQ(ConnectLink(), -1);
  // The failed attempts left the index free.
  failOpen_ = false;
  line_->SetDsr(true);
  ASSERT_EQ(ConnectLink(), 0);
  EXPECT_EQ(handle_, 0u);
}

TEST_F(LinkTest, StartUpDrainsWhatWasWaiting) {
  peer_->SendRaw(testing::TextFrame('0', {{0x40, 1, 0, 0}}));
  Connected();
  peer_->SendFrame({{0x41, 1, 0, 0}}, false);
  ASSERT_TRUE(CallbackLog::Get().WaitEvents(1));
  EXPECT_EQ(CallbackLog::Get().Events().at(0)[0], 0x41);
}

TEST_F(LinkTest, MonitorEntriesFollowThePort) {
  Configure({{"COMPORTNO", 3}, {"NACKTIMEOUT", 60000}});
  Connected();
  EXPECT_EQ(openedCom_, 3u);
  EXPECT_EQ(Entry16(76), 1);  // COM3 open at 70 + 2 * 3
  EXPECT_EQ(Entry16(monitor::PortEntry(monitor::kModemLinesBase, 3)), 1);
  EXPECT_EQ(Entry16(monitor::PortEntry(monitor::kDsrBase, 3)), 1);
  EXPECT_EQ(Entry16(monitor::PortEntry(monitor::kPortOpenBase, 1)), 0);
  peer_->SendFrame({{0x40, 1, 0, 0}}, false);
  ASSERT_TRUE(CallbackLog::Get().WaitEvents(1));
  ASSERT_TRUE(
      Eventually([&] { return Entry16(monitor::PortEntry(monitor::kReceiveBase, 3)) == 0; }));
  EXPECT_EQ(Entry16(monitor::PortEntry(monitor::kSendBase, 3)), 0);
  driver_->SetAllocCount(1234);
  driver_->SetQueCount(7);
  EXPECT_EQ(Entry32(232), 1234u);
  EXPECT_EQ(Entry32(236), 7u);
  driver_->DisConnect(handle_);
  EXPECT_EQ(Entry16(76), 0);
}

TEST_F(LinkTest, TraceLogRecordsBothDirections) {
  Configure({{"DEBUG", 1}, {"NACKTIMEOUT", 60000}});
  Connected();
  peer_->SetScript({.reply = false});
  ASSERT_EQ(driver_->SendData(handle_, Bytes{0x41}.data(), 1), 1);
  peer_->SetScript({});
  OpenSession();
  peer_->SetScript({.reply = false});
  ASSERT_EQ(driver_->SendData(handle_, Bytes{0x0A}.data(), 1), 1);
  driver_->DisConnect(handle_);

  std::string log = ReadFile(TraceFilePath(platform::LocalNow().day));
  ASSERT_GE(log.size(), 10u);
  EXPECT_EQ(std::stoul(log.substr(0, 8)), log.size());
  EXPECT_EQ(log.substr(8, 2), "\r\n");
  std::vector<std::string> lines;
  std::stringstream in(log.substr(10));
  for (std::string l; std::getline(in, l);) {
    ASSERT_FALSE(l.empty());
    ASSERT_EQ(l.back(), '\r');
    l.pop_back();
    // "[MM/DD hh:mm:ss:mmm] "
    ASSERT_GE(l.size(), 21u);
    EXPECT_EQ(l[0], '[');
    EXPECT_EQ(l[3], '/');
    EXPECT_EQ(l[9], ':');
    EXPECT_EQ(l[15], ':');
    EXPECT_EQ(l.substr(19, 2), "] ");
    lines.push_back(l.substr(21));
  }
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], "SENDDATA(TXT):[0:000241]50");
  EXPECT_EQ(lines[1], "RECVDATA(TXT):+");
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "SENDDATA(TXT):" +
                          testing::AsText(testing::TextFrame('1', {{1, 1, 1, 0, 1, 0, 1, 1}}))),
            lines.end());
  // After the switch: binary rendering of the frame carrying 0x0A, and its acknowledgement.
  EXPECT_NE(std::find(lines.begin(), lines.end(), "SENDDATA(BIN):^[1^:0002^0A^]02"), lines.end());
  EXPECT_EQ(lines.back(), "RECVDATA(BIN):^+");
}

TEST_F(LinkTest, NoTraceFileWithoutDebug) {
  Connected();
  Bytes reply;
  ASSERT_EQ(Exchange(kRequest, &reply), 4);
  driver_->DisConnect(handle_);
  EXPECT_FALSE(std::ifstream(TraceFilePath(platform::LocalNow().day)).good());
}

TEST(TraceLogTest, NewFileGetsHeaderAndLinesWrapAtTheLimit) {
  testing::TempRoot root;
  TraceShared shared;
  shared.limitBytes = 200;
  std::string path = TraceFilePath(platform::LocalNow().day);
  ASSERT_TRUE(WriteTraceLine(shared, "SENDDATA(TXT):first"));
  std::string log = ReadFile(path);
  std::string firstLine = log.substr(10);
  EXPECT_EQ(log.substr(0, 10), "000000" + std::to_string(log.size()) + "\r\n");
  EXPECT_EQ(firstLine.substr(firstLine.size() - 23), "] SENDDATA(TXT):first\r\n");
  // Lines of 42 bytes: 10 + 4 * 42 = 178 fits, the fifth would pass 200 and wraps.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteTraceLine(shared, "SENDDATA(TXT):first"));
  EXPECT_EQ(ReadFile(path).substr(0, 8), "00000178");
  ASSERT_TRUE(WriteTraceLine(shared, "SENDDATA(TXT):fifth"));
  log = ReadFile(path);
  EXPECT_EQ(log.substr(0, 10), "00000052\r\n");
  EXPECT_EQ(log.substr(10 + 21, 22), "SENDDATA(TXT):fifth\r\n[");
  EXPECT_EQ(log.size(), 178u);  // older lines beyond stay until overwritten
}

TEST(TraceLogTest, LineCrossingOneMillionBytesWrapsToOffsetTen) {
  testing::TempRoot root;
  TraceShared shared;
  shared.limitBytes = 1000000;
  std::string path = TraceFilePath(platform::LocalNow().day);
  {
    std::string filler = "00999990\r\n";
    filler.resize(999990, '.');
    platform::CreateFolders(platform::SystemFolder());
    std::ofstream(path, std::ios::binary) << filler;
  }
  ASSERT_TRUE(WriteTraceLine(shared, "RECVDATA(TXT):x"));
  std::string log = ReadFile(path);
  EXPECT_EQ(log.size(), 999990u);
  EXPECT_EQ(log.substr(0, 10), "00000048\r\n");
  EXPECT_EQ(log.substr(31, 18), "RECVDATA(TXT):x\r\n.");
}

TEST(TraceLogTest, TextStopsAtNulAndDamagedHeaderIsNotTrusted) {
  testing::TempRoot root;
  TraceShared shared;
  shared.limitBytes = 1000000;
  std::string path = TraceFilePath(platform::LocalNow().day);
  platform::CreateFolders(platform::SystemFolder());
  std::ofstream(path, std::ios::binary) << "0000000X\r\nold";
  TraceText(shared, false, Bytes{'a', 'b', 0, 'c'});
  std::string log = ReadFile(path);
  EXPECT_EQ(log.substr(0, 8), "00000049");
  EXPECT_EQ(log.substr(31), "RECVDATA(TXT):ab\r\n");
}

struct ClampCase {
  LinkConfig in;
  LinkConfig out;
};

TEST(ConfigTest, ValuesAreClampedToTheirRanges) {
  LinkConfig in;
  in.comPort = 0;
  in.baud = 14400;
  in.nackTimeoutMs = 70000;
  in.nackRetry = 99;
  in.timeoutRetry = 51;
  in.logFileSize = 0;
  LinkConfig out = ClampConfig(in);
  EXPECT_EQ(out.comPort, 1u);
  EXPECT_EQ(out.baud, 9600u);
  EXPECT_EQ(out.nackTimeoutMs, 60000u);
  EXPECT_EQ(out.nackRetry, 50u);
  EXPECT_EQ(out.timeoutRetry, 50u);
  EXPECT_EQ(out.logFileSize, 1u);
  in.comPort = 17;
  in.baud = 19200;
  in.nackTimeoutMs = 99;
  in.logFileSize = 31;
  out = ClampConfig(in);
  EXPECT_EQ(out.comPort, 1u);
  EXPECT_EQ(out.baud, 19200u);
  EXPECT_EQ(out.nackTimeoutMs, 100u);
  EXPECT_EQ(out.logFileSize, 30u);
}

TEST(ConfigTest, RegistryValuesAndDefaults) {
  testing::TempRoot root;
  LinkConfig defaults = ReadLinkConfig(0x1b);
  EXPECT_EQ(defaults.comPort, 1u);
  EXPECT_EQ(defaults.baud, 9600u);
  EXPECT_EQ(defaults.timeoutMs, 30000u);
  EXPECT_EQ(defaults.nackTimeoutMs, 2000u);
  EXPECT_EQ(defaults.nackRetry, 4u);
  EXPECT_EQ(defaults.timeoutRetry, 16u);
  EXPECT_EQ(defaults.logFileSize, 4u);
  EXPECT_EQ(ProviderKeyPath(0x1b), "SOFTWARE\\Tervolin\\VN2448\\PBX0000001b");
  platform::RegistryKey key;
  ASSERT_EQ(platform::RegistryKey::Create(ProviderKeyPath(0x1b), key), platform::RegResult::Ok);
  key.SetDword("COMPORTNO", 5);
  key.SetDword("COMSPEED", 4800);
  key.SetDword("DEBUG", 1);
  key.SetDword("TIMEOUT", 5);
  key.SetDword("NACKTIMEOUT", 70000);
  key.SetDword("NACKRETRY", 99);
  key.SetString("TIMEOUTRETRY", "7");  // wrong type: default kept
  LinkConfig c = ReadLinkConfig(0x1b);
  EXPECT_EQ(c.comPort, 5u);
  EXPECT_EQ(c.baud, 4800u);
  EXPECT_EQ(c.debug, 1u);
  EXPECT_EQ(c.timeoutMs, 5u);
  EXPECT_EQ(c.nackTimeoutMs, 60000u);
  EXPECT_EQ(c.nackRetry, 50u);
  EXPECT_EQ(c.timeoutRetry, 16u);
}

TEST(VersionTest, WritesTheBuildTextWithItsTerminator) {
  char text[30];
  std::memset(text, 'Z', sizeof text);
  EXPECT_EQ(WriteVersion(text), 1);
  EXPECT_STREQ(text, "Build 0040 2003.01.20");
  EXPECT_EQ(text[22], 'Z');
  EXPECT_EQ(WriteVersion(nullptr), 0);
}

}  // namespace
}  // namespace qrvn::linkdriver
