// The PBX session of an instance against a scripted PBX behind the instance's DataComm: version
// negotiation, model and country, the line device model with its order, names, numbers and
// directory entries, the group download, line control flags, the queue file, event
// registration, close, and release on every failure path.
#include "provider/session/pbx_session.h"

#include "provider/queries/initial_blocks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fake_pbx.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/core/group_download.h"
#include "provider/core/process.h"
#include "provider/session/queue_file.h"
#include "tests/support/temp_root.h"

namespace qrvn::provider {
namespace {

using qrvn::testing::Bytes;
using qrvn::testing::FakePbx;

FakePbx* g_pbx = nullptr;

int32_t FakeDataComm(uint32_t, const uint8_t* request, int32_t length, uint8_t* reply,
                     int32_t size) {
  return g_pbx->Answer(request, length, reply, size);
}
int32_t FakeSendData(uint32_t, const uint8_t* request, int32_t length) {
  g_pbx->requests.emplace_back(request, request + length);
  return 0;
}

const char* const kKey = "SOFTWARE\\Tervolin\\VN2448\\PBX0000001a";

// A VN1632 with CTI 1.320 and a bit of everything.
FakePbx DefaultPbx() {
  FakePbx pbx;
  pbx.extensions = {{1, "101", "Reception"}, {2, "102", "Sales"},     {3, "", "unused"},
                    {4, "104", "hidden", 4}, {5, "21", "Twenty-one"}, {6, "105", "Voice", 6}};
  pbx.trunks = {{1}, {2, 2, 0x0102}, {12}};
  pbx.disa = {{1, "801"}};
  pbx.features = {{1, "70"}};
  pbx.parameters = {{18, "0"}, {19, "8"}, {26, "34"}, {24, "33"}, {23, "55"}};
  pbx.SetCounts(2, 2, 1);
  pbx.capacity[19] = {4, 1};
  pbx.capacity[21] = {10, 2};
  const Bytes ext101 = {1, 0, 0, 0, 1, '1', '0', '1', 0};
  const Bytes ext102 = {1, 0, 0, 0, 2, '1', '0', '2', 0};
  const Bytes ext21 = {1, 0, 0, 0, 0, '2', '1', 0};
  const Bytes unknown = {1, 0, 0, 0, 0, '9', '9', 0};
  pbx.groups = {{26, 5, "610", {ext101}}, {21, 1, "611", {ext102, unknown}}, {26, 2, "", {}},
                {23, 3, "600", {ext21}},  {23, 1, "601", {ext101, ext102}},  {35, 1, "7", {ext21}}};
  return pbx;
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProcessAttach());
    InstancePartFactories saved = PartFactories();
    PartFactories() = PlaceholderParts();
    PartFactories().makeDirectory = MakePbxDeviceDirectory;
    PartFactories().makeSession = MakeCtiPbxSession;
    instance_ = CVN2448Driver::Create(0);
    PartFactories() = saved;
    ASSERT_NE(instance_, nullptr);
    instance_->config = InstanceConfig{};
    instance_->config.accInfoFilePath = platform::SystemFolder();
    instance_->permanentProviderId = 0x1a;
    instance_->lineDeviceIdBase = 100;
    instance_->link.dataComm = FakeDataComm;
    instance_->link.sendData = FakeSendData;
    instance_->link.handle = 7;
    pbx_ = DefaultPbx();
    g_pbx = &pbx_;
    baseline_ = ProcessPool().Count();
    previousBox_ = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
      boxes_.push_back(r.caption + ": " + r.text);
      return platform::MessageBoxResult::Ok;
    });
  }
  void TearDown() override {
    platform::SetMessageBoxHandler(previousBox_);
    CVN2448Driver::Destroy(instance_);
    g_pbx = nullptr;
  }
  int32_t StartUp(uint32_t announcedLines = 0) {
    instance_->SetLineCount(announcedLines);
    return instance_->session->StartUp(0x1a, 0);
  }
  CtiPbxSession& Session() { return *SessionOf(*instance_); }
  PbxDeviceDirectory& Directory() { return *DirectoryOf(*instance_); }
  std::string Dial(uint32_t line) {
    AddressRecord* a = Session().Address(line);
    return a == nullptr ? "?" : std::string(a->dialNumber, strnlen(a->dialNumber, 4));
  }
  // The address text of a line's LINEADDRESSCAPS (ASCII of its UTF-16).
  std::string AddressText(uint32_t line) {
    return ModelAddressText(*Session().Address(line)->addressCaps);
  }
  // The requests with this code, each as its bytes.
  std::vector<Bytes> Requests(uint8_t code) {
    std::vector<Bytes> out;
    for (const Bytes& r : pbx_.requests) {
      if (r[0] == code) out.push_back(r);
    }
    return out;
  }
  void SetRegistry(const char* name, uint32_t value) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::RegistryKey::Create(kKey, key), platform::RegResult::Ok);
    key.SetDword(name, value);
  }

  qrvn::testing::TempRoot root_;
  CVN2448Driver* instance_ = nullptr;
  FakePbx pbx_;
  uint32_t baseline_ = 0;
  std::vector<std::string> boxes_;
  platform::MessageBoxHandler previousBox_;
};

TEST_F(SessionTest, BuildsEveryLineInItsFixedOrder) {
  ASSERT_EQ(StartUp(22), kStartUpReady);
  EXPECT_EQ(instance_->ctiVersion, 0x13200u);
  EXPECT_EQ(Session().ProviderExtVersion(), 0x10003u);
  EXPECT_EQ(instance_->pbxType, 3u);
  EXPECT_STREQ(instance_->romVersion, "VN1632 V4.11");
  struct Expected {
    const char* name;
    uint32_t kind;
    uint16_t device;
    const char* dial;
    const char* address;
  };
  const std::vector<Expected> lines = {
      {"SYSTEM", 0, 1, "", ""},
      {"QO0001", 33, 2, "", ""},
      {"QH0001", 33, 3, "", ""},
      {"QIO0001", 33, 4, "", ""},
      {"QIH0001", 33, 5, "", ""},
      {"TR0001", 33, 16, "", ""},
      {"RM0001", 34, 32, "", ""},
      {"BV0001", 35, 48, "", ""},
      {"BV0002", 35, 49, "", ""},
      {"DOOR0001", 10, 256, "0001", "551"},
      {"DOOR0002", 10, 257, "0002", "552"},
      {"DISA0001", 11, 512, "801", "801"},
      {"INPAGE0001", 12, 768, "0001", "3401"},
      {"OUTPAGE0001", 12, 769, "0001", "3301"},
      {"OUTPAGE0002", 12, 770, "0002", "3302"},
      {"CO0001", 2, 4096, "0001", "1"},
      {"CO0002", 2, 8193, "0002", "2"},
      {"CO0012", 2, 4107, "0012", "12"},
      {"EXT0001", 1, 12288, "101", "101"},
      {"EXT0002", 1, 12289, "102", "102"},
      {"EXT0003", 1, 12290, "21", "21"},
      {"EXT0004", 1, 24576, "105", "105"},
  };
  ASSERT_EQ(Session().LineCount(), lines.size());
  for (uint32_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i].name);
    LineDevice* line = Session().Line(i);
    ASSERT_NE(line, nullptr);
    EXPECT_STREQ(line->name, lines[i].name);
    EXPECT_EQ(line->lineKind, lines[i].kind);
    EXPECT_EQ(line->lineIndex, i);
    EXPECT_EQ(line->permanentLineId, (0x1au << 16) + lines[i].device);
    EXPECT_EQ(Dial(i), lines[i].dial);
    EXPECT_EQ(AddressText(i), lines[i].address);
    EXPECT_EQ(line->instance, instance_);
    ASSERT_NE(line->devCaps, nullptr);
    EXPECT_EQ(line->devCaps->dwTotalSize, 456u);
    EXPECT_EQ(line->devCaps->dwNumAddresses, 1u);
    EXPECT_EQ(line->devCaps->dwLineNameOffset, 372u);
    EXPECT_EQ(line->devStatus->dwTotalSize, 688u);
    EXPECT_EQ(line->devStatus->dwDevSpecificOffset, 88u);
    EXPECT_EQ(Session().Address(i)->addressCaps->dwTotalSize, 680u);
    EXPECT_EQ(Session().Address(i)->addressCaps->dwLineDeviceID, 100u + i);
    EXPECT_EQ(Session().Address(i)->addressStatus->dwTotalSize, 856u);
    EXPECT_EQ(Session().Address(i)->line, line);
  }
  // Location words: door phone k=1 is unit 2, card 1; extension 3 (k=2) unit 1, card 2.
  EXPECT_EQ(Session().Line(10)->location, (2u << 16) | 1u);
  EXPECT_EQ(Session().Line(20)->location, (1u << 16) | 2u);
  EXPECT_EQ(instance_->LineOpenFlagsSnapshot().size(), lines.size());
}

TEST_F(SessionTest, TheDirectoryNamesTheBuiltLines) {
  ASSERT_EQ(StartUp(22), kStartUpReady);
  PbxDeviceDirectory& dir = Directory();
  uint32_t key = 0;
  const Bytes byId = {1, 0, 5, 0, 0};
  EXPECT_EQ(dir.DecodeDevice(byId.data(), 5, &key, 1), 1);
  EXPECT_EQ(key >> 16, 20u);
  const Bytes trunk = {2, 0, 0, 0, 12};
  EXPECT_EQ(dir.DecodeDevice(trunk.data(), 5, &key, 1), 1);
  EXPECT_EQ(key >> 16, 17u);
  const Bytes qih = {33, 0, 0, 3, 0, 1, 0, 0};
  EXPECT_EQ(dir.DecodeDevice(qih.data(), 8, &key, 1), 1);
  EXPECT_EQ(key >> 16, 4u);
  uint8_t out[16];
  ASSERT_EQ(dir.EncodeDevice(MakeLineAddressKey(18), out, sizeof out), 8);
  EXPECT_EQ(Bytes(out, out + 8), (Bytes{1, 0, 0, 0, 1, '1', '0', '1'}));
  ASSERT_EQ(dir.EncodeDevice(MakeLineAddressKey(16), out, sizeof out), 5);
  EXPECT_EQ(Bytes(out, out + 5), (Bytes{2, 0x01, 0x02, 0, 2}));
  ASSERT_EQ(dir.EncodeDevice(MakeLineAddressKey(5), out, sizeof out), 8) << "TR";
  EXPECT_EQ(dir.EncodeDevice(MakeLineAddressKey(1), out, sizeof out), kEncodeBad) << "QO";
  // Feature numbers: the QH group 5 as type 7, the QIH group as type 11, the list as type 9.
  char digits[5] = {};
  const Bytes qh5 = {33, 0, 0, 1, 0, 5, 0, 0};
  dir.FindFeatureNumber(qh5.data(), 8, digits);
  EXPECT_STREQ(digits, "610");
  const Bytes qih1 = {33, 0, 0, 3, 0, 1, 0, 0};
  std::memset(digits, 0, sizeof digits);
  dir.FindFeatureNumber(qih1.data(), 8, digits);
  EXPECT_STREQ(digits, "7");
  const Bytes further = {32, 0, 0, 9, 0, 1};
  std::memset(digits, 0, sizeof digits);
  dir.FindFeatureNumber(further.data(), 6, digits);
  EXPECT_STREQ(digits, "70");
  // The QH record of type 21 is a special number of type 1.
  const Bytes special = {33, 0, 0, 1, 0, 1, 0, 0};
  std::memset(digits, 0, sizeof digits);
  EXPECT_EQ(dir.FindSpecialDevice(special.data(), 8, digits), 1);
  EXPECT_STREQ(digits, "611");
}

TEST_F(SessionTest, GroupTablesAndMemberLists) {
  ASSERT_EQ(StartUp(22), kStartUpReady);
  LineDevice* qh = Session().Line(2);
  ASSERT_EQ(qh->groupCount, 3u);
  EXPECT_EQ(qh->groups[0].type, 21);
  EXPECT_EQ(qh->groups[0].number, 1);
  EXPECT_EQ(qh->groups[1].type, 26);
  EXPECT_EQ(qh->groups[1].number, 2);
  EXPECT_EQ(qh->groups[2].number, 5);
  EXPECT_STREQ(qh->groups[2].dial, "610");
  ASSERT_NE(qh->groups[0].memberMap, nullptr);
  EXPECT_EQ(qh->groups[0].memberMapLength, 8u);
  EXPECT_EQ(Session().Line(3)->groupCount, 0u) << "QIO has no groups";

  // QO: groups 1 and 3 asked in that order; group 1's members first.
  uint32_t count = 0;
  const MemberEntry* qo = MemberList(Session().Address(1)->addressStatus, &count);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(qo[0].groupNumber, 1u);
  EXPECT_EQ(qo[0].deviceId, 100u + 18);
  EXPECT_EQ(qo[1].deviceId, 100u + 19);
  EXPECT_EQ(qo[2].groupNumber, 3u);
  EXPECT_EQ(qo[2].deviceId, 100u + 20);
  EXPECT_EQ(qo[2].groupKind, 1u);
  // QH: the unknown member of group 1 is left out.
  const MemberEntry* qhList = MemberList(Session().Address(2)->addressStatus, &count);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(qhList[0].groupNumber, 1u);
  EXPECT_EQ(qhList[0].groupKind, 2u);
  EXPECT_EQ(qhList[1].groupNumber, 5u);
  MemberList(Session().Address(4)->addressStatus, &count);
  EXPECT_EQ(count, 1u);

  Session().ReleaseDevices();
  EXPECT_EQ(ProcessPool().Count(), baseline_) << "every group block released";
}

TEST_F(SessionTest, RefusedMembersEmptyTheQoListButFailAnotherLine) {
  pbx_.groups[3].refuseMembers = true;  // QO group 3
  ASSERT_EQ(StartUp(22), kStartUpReady);
  uint32_t count = 9;
  EXPECT_EQ(MemberList(Session().Address(1)->addressStatus, &count), nullptr);
  EXPECT_EQ(count, 0u);
  Session().ReleaseDevices();

  pbx_ = DefaultPbx();
  pbx_.groups[0].refuseMembers = true;  // QH group 5
  EXPECT_EQ(StartUp(22), kStartUpFailed);
  EXPECT_EQ(ProcessPool().Count(), baseline_);
}

TEST_F(SessionTest, CutMemberMapRepliesLeaveTheGroupsWithoutMaps) {
  pbx_.shortMapReplies = true;
  std::erase_if(pbx_.groups, [](const qrvn::testing::FakeGroup& g) { return g.type == 23; });
  ASSERT_EQ(StartUp(), kLineCountChanged);
  LineDevice* qh = Session().Line(2);
  ASSERT_EQ(qh->groupCount, 3u);
  for (uint32_t g = 0; g < qh->groupCount; ++g) EXPECT_EQ(qh->groups[g].memberMap, nullptr);
  Session().ReleaseDevices();
  // The same cut reply for a QO group fails start-up.
  pbx_ = DefaultPbx();
  pbx_.shortMapReplies = true;
  EXPECT_EQ(StartUp(), kStartUpFailed);
  EXPECT_EQ(ProcessPool().Count(), baseline_);
}

TEST_F(SessionTest, AGroupNumberOfFiveDigitsFailsStartUp) {
  pbx_.groups[2].dial = "12345";
  EXPECT_EQ(StartUp(22), kStartUpFailed);
  EXPECT_EQ(Session().LineCount(), 0u);
  EXPECT_EQ(ProcessPool().Count(), baseline_);
}

TEST_F(SessionTest, VersionNegotiation) {
  struct Case {
    std::vector<std::string> answers;
    bool ok;
    uint32_t cti;
    std::vector<std::string> proposals;
  };
  const std::vector<Case> cases = {
      {{"1.320"}, true, 0x13200, {"1.320"}},
      {{"1.317"}, true, 0x13170, {"1.320", "1.317"}},
      {{"1.313"}, true, 0x13130, {"1.320", "1.313"}},
      {{"1.3", "1.3"}, true, 0x13000, {"1.320", "1.3"}},
      {{"1.3", "1.31", "9.9"}, true, 0x12000, {"1.320", "1.3", "1.2"}},
      {{"1.2", "1.2"}, true, 0x12000, {"1.320", "1.2"}},
      {{"1.400"}, false, 0, {"1.320"}},
      {{"2.000"}, false, 0, {"1.320"}},
      {{"1.312"}, false, 0, {"1.320", "1.312"}},
      {{"!", "1.3"}, true, 0x13000, {"1.320", "1.3"}},
      {{"!", "!", "1.5"}, true, 0x12000, {"1.320", "1.3", "1.2"}},
      {{"!", "!", "!"}, false, 0, {"1.320", "1.3", "1.2"}},
      {{"1.317", "!"}, false, 0, {"1.320", "1.317"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers[0] + " " + std::to_string(c.answers.size()));
    pbx_.requests.clear();
    pbx_.versions = c.answers;
    instance_->ctiVersion = 0x10100;
    EXPECT_EQ(Session().NegotiateVersion(), c.ok);
    if (c.ok) {
      EXPECT_EQ(instance_->ctiVersion, c.cti);
    }
    std::vector<std::string> proposals;
    for (const Bytes& r : Requests(185)) proposals.emplace_back(r.begin() + 11, r.end());
    EXPECT_EQ(proposals, c.proposals);
  }
}

TEST_F(SessionTest, TheSettlingReplyStaysDecoded) {
  // The 1.317 answer is followed by a second request whose reply is not examined: the model
  // code of the first reply is the one that counts.
  pbx_.versions = {"1.317"};
  ASSERT_EQ(StartUp(22), kStartUpReady);
  EXPECT_EQ(instance_->ctiVersion, 0x13170u);
  EXPECT_EQ(Session().ProviderExtVersion(), 0x10002u);
  EXPECT_EQ(instance_->pbxType, 3u);
}

TEST_F(SessionTest, UseExtVersionRunsAsCti12) {
  instance_->config.useExtVersion = 0x10000;
  pbx_.capacity.erase(19);
  pbx_.capacity.erase(21);
  ASSERT_EQ(StartUp(), kLineCountChanged);
  EXPECT_EQ(instance_->ctiVersion, 0x12000u);
  EXPECT_EQ(Session().ProviderExtVersion(), 0x10002u);
  // No queue, TR, RM or BV lines: SYSTEM, then the door phones.
  EXPECT_STREQ(Session().Line(1)->name, "DOOR0001");
  EXPECT_EQ(pbx_.Count(188), 0u) << "CTI 1.2 access codes come from the registry";
}

TEST_F(SessionTest, AnUnsupportedModelShowsItsBox) {
  pbx_.modelCode = 5;
  EXPECT_EQ(StartUp(), kStartUpFailed);
  EXPECT_EQ(boxes_,
            (std::vector<std::string>{"Tervolin QR-VN TSP: VN1632 V4.11\nis Not Supported"}));
  EXPECT_EQ(pbx_.Count(143), 0u);
}

TEST_F(SessionTest, TheLineCountDecidesBetweenReadyAndChanged) {
  EXPECT_EQ(StartUp(22), kStartUpReady);
  EXPECT_TRUE(Session().LinesCounted());
  EXPECT_EQ(StartUp(30), kLineCountChanged);
  EXPECT_EQ(instance_->numberOfLines, 22u);
}

TEST_F(SessionTest, EveryFailedExchangeLeavesNothingBehind) {
  ASSERT_EQ(StartUp(22), kStartUpReady);
  const int exchanges = static_cast<int>(pbx_.requests.size());
  Session().ReleaseDevices();
  ASSERT_EQ(ProcessPool().Count(), baseline_);
  for (int k = 0; k < exchanges; ++k) {
    SCOPED_TRACE(k);
    pbx_ = DefaultPbx();
    pbx_.failExchange = k;
    int32_t result = StartUp(22);
    if (result == kStartUpFailed) {
      EXPECT_EQ(Session().LineCount(), 0u);
      EXPECT_EQ(ProcessPool().Count(), baseline_);
    } else {
      // Only the version proposals and the member maps of lines other than QO may fail.
      uint8_t code = pbx_.requests[static_cast<size_t>(k)][0];
      EXPECT_TRUE(code == 185 || code == 143) << int(code);
      Session().ReleaseDevices();
      EXPECT_EQ(ProcessPool().Count(), baseline_);
    }
  }
}

TEST_F(SessionTest, CutRepliesAreReadOnlyAsFarAsTheyGo) {
  // A PBX whose replies claim more than they carry: every prefix length of every reply.
  ASSERT_EQ(StartUp(22), kStartUpReady);
  Session().ReleaseDevices();
  for (uint32_t pages : {1u, 2u, 50u}) {
    pbx_ = DefaultPbx();
    pbx_.pageRecords = pages;
    pbx_.extensions.push_back({7, "12345", std::string(300, 'n')});  // long name, long number
    int32_t result = StartUp(0);
    EXPECT_NE(result, kStartUpFailed) << pages;
    Session().ReleaseDevices();
    EXPECT_EQ(ProcessPool().Count(), baseline_);
  }
}

TEST_F(SessionTest, Vn2448ShowsSixtyFourExtensions) {
  pbx_ = FakePbx();
  pbx_.modelCode = 2;
  pbx_.versions = {"1.2"};
  pbx_.rom = "VN2448 V2.10";
  for (uint16_t d = 1; d <= 128; ++d) pbx_.extensions.push_back({d, std::to_string(100 + d), "x"});
  pbx_.trunks = {{1}, {2}};
  pbx_.SetCounts(0, 0, 0);
  pbx_.capacity.erase(11);  // the outgoing paging count stays at its default of 4
  ASSERT_EQ(StartUp(), kLineCountChanged);
  EXPECT_EQ(instance_->ctiVersion, 0x12000u);
  // SYSTEM, four outgoing paging lines (the default count), two trunks, 64 extensions.
  EXPECT_EQ(Session().LineCount(), 1u + 4u + 2u + 64u);
  EXPECT_STREQ(Session().Line(Session().LineCount() - 1)->name, "EXT0064");
  // CTI 1.2 registers each extension and trunk line by itself.
  ASSERT_EQ(Session().RegisterEvents(), 1);
  std::vector<Bytes> registrations = Requests(33);
  ASSERT_EQ(registrations.size(), 66u);
  EXPECT_EQ(registrations[0],
            (Bytes{33, 1, 0, 0, 1, 0, 5, 2, 0, 0, 0, 1, 2, 0,    4,    0x40, 0, 0x40,
                   0,  3, 0, 2, 1, 4, 4, 0, 8, 2, 3, 0, 4, 0xFF, 0xFF, 1,    0}))
      << "trunk 1 with its fourth parameter";
  EXPECT_EQ(registrations[2], (Bytes{33,  1, 0, 0, 1,    0, 8,    1,    0, 0, 0, 0, '1', '0',
                                     '1', 2, 0, 4, 0x41, 2, 0x40, 0x17, 3, 0, 2, 0, 0x0E}));
  // CTI 1.2 closing: CloseRequest, then the closing message.
  pbx_.requests.clear();
  EXPECT_EQ(Session().CloseSession(), 1);
  ASSERT_EQ(pbx_.requests.size(), 2u);
  EXPECT_EQ(pbx_.requests[0][0], 131);
  EXPECT_EQ(pbx_.requests[1][0], 2);
}

TEST_F(SessionTest, Vn2448dLeavesOutItsExcludedDevices) {
  pbx_ = FakePbx();
  pbx_.modelCode = 3;
  pbx_.versions = {"1.3", "1.3"};
  pbx_.country = "13";  // country group 0
  for (uint16_t d = 95; d <= 100; ++d) pbx_.extensions.push_back({d, std::to_string(100 + d), ""});
  for (uint16_t t = 11; t <= 25; ++t) pbx_.trunks.push_back({t});
  pbx_.SetCounts(0, 1, 1);
  ASSERT_EQ(StartUp(), kLineCountChanged);
  EXPECT_EQ(Session().CountryGroup(), 0u);
  EXPECT_EQ(Session().ExcludedExtensions().first, 97u);
  EXPECT_EQ(Session().ExcludedExtensions().count, 96u);
  std::vector<std::string> trunks, extensions;
  for (uint32_t i = 0; i < Session().LineCount(); ++i) {
    if (Session().Line(i)->lineKind == kLineTrunk) trunks.push_back(Dial(i));
    if (Session().Line(i)->lineKind == kLineExtension) extensions.push_back(Dial(i));
  }
  EXPECT_EQ(trunks, (std::vector<std::string>{"0011", "0012", "0025"}));
  EXPECT_EQ(extensions, (std::vector<std::string>{"195", "196"}));
  pbx_.requests.clear();
  ASSERT_EQ(Session().RegisterEvents(), 1);
  std::vector<Bytes> registrations = Requests(33);
  ASSERT_EQ(registrations.size(), 1u + 96u + 1u + 12u + 4u);
  EXPECT_EQ(Bytes(registrations[1].begin() + 7, registrations[1].begin() + 13),
            (Bytes{1, 0, 97, 0, 0, 0}));
  EXPECT_EQ(Bytes(registrations[98].begin() + 7, registrations[98].begin() + 12),
            (Bytes{2, 0, 0, 0, 13}));
}

TEST_F(SessionTest, CountryGroups) {
  struct Case {
    uint8_t modelCode;
    const char* country;
    uint32_t group;
    uint16_t extCount, extFirst;
  };
  const std::vector<Case> cases = {
      {3, "1", 2, 120, 121}, {3, "7", 2, 120, 121}, {3, "5", 1, 80, 81},
      {3, "20", 1, 80, 81},  {3, "13", 0, 96, 97},  {3, "21", 0, 96, 97},
      {3, "x", 0, 96, 97},   {2, "5", 1, 0, 0},     {1, "5", 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.country) + " model " + std::to_string(c.modelCode));
    pbx_ = DefaultPbx();
    pbx_.modelCode = c.modelCode;
    pbx_.country = c.country;
    ASSERT_NE(StartUp(), kStartUpFailed);
    EXPECT_EQ(Session().CountryGroup(), c.group);
    EXPECT_EQ(Session().ExcludedExtensions().count, c.extCount);
    EXPECT_EQ(Session().ExcludedExtensions().first, c.extFirst);
    EXPECT_EQ(Session().ExcludedTrunks().count, c.modelCode == 3 ? 12u : 0u);
  }
}

TEST_F(SessionTest, EventRegistrationOfNewerPbxs) {
  struct Case {
    uint8_t modelCode;
    std::string version;
    const char* country;
    uint8_t options0, options1;
    size_t requests;
  };
  const std::vector<Case> cases = {
      {1, "1.320", "1", 0x06, 0x1E, 6},
      {1, "1.317", "1", 0x02, 0x1E, 6},
      {4, "1.320", "1", 0x06, 0x9E, 7},  // VN1224: and the BV devices
      {3, "1.320", "5", 0x06, 0x5E, 6 + 80 + 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version + " model " + std::to_string(c.modelCode));
    pbx_ = DefaultPbx();
    pbx_.modelCode = c.modelCode;
    pbx_.versions = {c.version};
    pbx_.country = c.country;
    ASSERT_NE(StartUp(), kStartUpFailed);
    pbx_.requests.clear();
    ASSERT_EQ(Session().RegisterEvents(), 1);
    std::vector<Bytes> r = Requests(33);
    ASSERT_EQ(r.size(), c.requests);
    EXPECT_EQ(r[0],
              (Bytes{33, 1, 0, 0,    1,    0,    6,    1, 0xFF, 0xFF, 0,          0,         0,
                     2,  0, 4, 0x7F, 0x1F, 0xFF, 0xF7, 3, 0,    2,    c.options0, c.options1}));
    if (c.modelCode == 4) {
      EXPECT_EQ(Bytes(r.back().begin() + 7, r.back().begin() + 9), (Bytes{0x23, 0xFF}));
    }
  }
  // A failed trunk registration fails the step.
  pbx_ = DefaultPbx();
  ASSERT_NE(StartUp(), kStartUpFailed);
  pbx_.failExchange = static_cast<int>(pbx_.requests.size()) + 1;
  EXPECT_EQ(Session().RegisterEvents(), 0);
}

TEST_F(SessionTest, LineControlFlagsFromTheRegistry) {
  platform::RegistryKey key;
  ASSERT_EQ(platform::RegistryKey::Create(kKey, key), platform::RegResult::Ok);
  key.SetDword("LINECTRLFLAGNO", 2);
  const uint8_t entries[16] = {'1', '0', '2', 0, 1, 0, 0, 0, '1', '0', '1', 0, 0, 0, 0, 0};
  key.SetBinary("LINECTRLFLAG", entries);
  ASSERT_EQ(StartUp(22), kStartUpReady);
  for (uint32_t i = 0; i < Session().LineCount(); ++i) {
    EXPECT_EQ(Session().Line(i)->lineControlFlag, Dial(i) == "102" ? 1 : 0) << Dial(i);
  }
  Session().ReleaseDevices();
  key.SetDword("LINECTRLFLAGVER", 0x10001);
  EXPECT_EQ(StartUp(22), kStartUpFailed);
  EXPECT_EQ(ProcessPool().Count(), baseline_);
}

TEST_F(SessionTest, TheQueueFileKeepsItsSequenceAcrossStarts) {
  ASSERT_EQ(StartUp(22), kStartUpReady);
  std::string path = platform::SystemFolder() + "/qrvnsmdr.que";
  ASSERT_EQ(std::filesystem::file_size(path), 20u + 500u * 4104u);
  EXPECT_EQ(Session().Queue()->NextSequence(), 0u);
  {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(4);
    const char seven[4] = {7, 0, 0, 0};
    f.write(seven, 4);
  }
  ASSERT_EQ(StartUp(22), kStartUpReady);
  EXPECT_EQ(Session().Queue()->NextSequence(), 7u);
  EXPECT_EQ(Session().Queue()->FirstSequence(), 7u);
  // Another slot count rebuilds an empty file.
  instance_->config.accInfoMaxSize = 600;
  ASSERT_EQ(StartUp(22), kStartUpReady);
  EXPECT_EQ(std::filesystem::file_size(path), 20u + 600u * 4104u);
  EXPECT_EQ(Session().Queue()->NextSequence(), 0u);
  // A folder that does not exist fails start-up.
  instance_->config.accInfoFilePath = root_.File("missing/folder");
  EXPECT_EQ(StartUp(22), kStartUpFailed);
  EXPECT_EQ(ProcessPool().Count(), baseline_);
}

}  // namespace
}  // namespace qrvn::provider
