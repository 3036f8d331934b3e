// The PBX's reply layouts, read back the way the host reads them.
#include "pbxsim/pbx.h"

#include <gtest/gtest.h>

#include <string>

namespace qrvn::pbxsim {
namespace {

Bytes Request(uint8_t code, std::vector<Param> params = {}, uint8_t seq = 7) {
  Message m;
  m.code = code;
  m.kind = 1;
  m.sequence = seq;
  m.params = std::move(params);
  return Encode(m);
}

Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

std::string AsText(const Param* p) {
  return p ? std::string(p->value.begin(), p->value.end()) : "<missing>";
}

Message Only(const Answer& a) {
  EXPECT_FALSE(a.silent);
  EXPECT_EQ(a.replies.size(), 1u);
  auto m = Decode(a.replies.at(0));
  EXPECT_TRUE(m.has_value());
  return *m;
}

Bytes Key(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return {a, b, c, d};
}

// Walks extension records as the host stores them: from byte 13 of the reply.
std::vector<uint16_t> ExtensionDevices(const Bytes& reply, std::vector<std::string>* numbers) {
  std::vector<uint16_t> out;
  size_t p = 13;
  while (p < reply.size()) {
    uint16_t device = static_cast<uint16_t>(GetU16(&reply[p]));
    size_t l1 = reply[p + 3];
    if (numbers)
      numbers->emplace_back(reply.begin() + static_cast<long>(p + 4),
                            reply.begin() + static_cast<long>(p + 4 + l1));
    size_t l2 = reply[p + 4 + l1];
    p += 4 + l1 + 1 + l2 + 1 + 1 + 1 + 3 + 2 + 1;
    out.push_back(device);
  }
  EXPECT_EQ(p, reply.size()) << "records must end with the reply";
  return out;
}

TEST(Pbx, SessionOpenAcceptsOrRefusesBinaryFraming) {
  Bytes proposal = {0x01, 0x01, 0x07, 0x00, 0x01, 0x00, 0x01, 0x01};
  Bytes textOnly = {0x01, 0x01, 0x07, 0x00, 0x01, 0x00, 0x01, 0x00};
  Pbx accepting(DefaultModel());
  Answer a = accepting.Handle(proposal);
  EXPECT_TRUE(a.sessionOpen);
  EXPECT_TRUE(a.switchToBinary);
  EXPECT_EQ(a.replies, (std::vector<Bytes>{{0x01, 0x02, 0x07, 0x00}}));
  a = accepting.Handle(textOnly);
  EXPECT_FALSE(a.switchToBinary);
  EXPECT_EQ(a.replies, (std::vector<Bytes>{{0x01, 0x02, 0x07, 0x00}}));

  Model m = DefaultModel();
  m.acceptBinary = false;
  Pbx refusing(m);
  a = refusing.Handle(proposal);
  EXPECT_FALSE(a.switchToBinary);
  // Longer than 7 bytes, negative, bytes 7 and 8 are 9 and 18: the host falls back to text.
  EXPECT_EQ(a.replies,
            (std::vector<Bytes>{{0x01, 0x03, 0x07, 0x00, 0x01, 0x00, 0x02, 0x09, 0x12}}));
  EXPECT_EQ(refusing.Handle(textOnly).replies, (std::vector<Bytes>{{0x01, 0x02, 0x07, 0x00}}));
}

TEST(Pbx, VersionReplyCarriesModelVersionCountryAndCapacities) {
  Pbx pbx(DefaultModel("VN9000"));
  Message r = Only(pbx.Handle(Request(185, {{1, {1}}, {2, Text("1.320")}})));
  EXPECT_EQ(r.code, 185);
  EXPECT_EQ(r.kind, 2);
  EXPECT_EQ(r.sequence, 7);
  ASSERT_NE(r.At(1), nullptr);
  EXPECT_EQ(r.At(1)->value, Bytes{16});  // VN9000
  EXPECT_EQ(AsText(r.At(3)), "1.320");
  EXPECT_EQ(AsText(r.At(5)), "1");
  EXPECT_EQ(AsText(r.Find(4)), "VN9000 V5.20");
  EXPECT_EQ(r.Find(6)->value, (Bytes{0x00, 200}));
  EXPECT_EQ(r.Find(7)->value, (Bytes{0x00, 32}));
  EXPECT_EQ(r.Find(9)->value, Bytes{4});
  EXPECT_EQ(r.Find(10)->value, Bytes{2});
  EXPECT_EQ(r.Find(11)->value, Bytes{4});
  EXPECT_EQ(r.Find(24)->value, Bytes{2});
  ASSERT_NE(r.Find(19), nullptr);
  EXPECT_GE(r.Find(19)->value[0], 1);
  EXPECT_EQ(r.Find(21)->value.size(), 2u);
  EXPECT_EQ(r.Find(27)->value, Bytes{0});  // no BV numbers on this model

  // The detection's line count: 4 + extensions + trunks + door, DISA and paging counts.
  uint32_t lines = 4 + GetU16(r.Find(6)->value.data()) + GetU16(r.Find(7)->value.data()) +
                   r.Find(9)->value[0] + r.Find(10)->value[0] + r.Find(11)->value[0] +
                   r.Find(24)->value[0];
  EXPECT_EQ(lines, 4u + 200 + 32 + 4 + 2 + 4 + 2);

  Pbx old(DefaultModel("VN2448"));
  Message o = Only(old.Handle(Request(185, {{1, {1}}, {2, Text("1.3")}})));
  EXPECT_EQ(AsText(o.At(3)), "1.2");
  for (uint8_t tag = 13; tag <= 27; ++tag) {
    if (tag != 24) {
      EXPECT_EQ(o.Find(tag), nullptr) << "tag " << int(tag);
    }
  }
}

TEST(Pbx, NegotiationModes) {
  struct Case {
    Negotiation mode;
    const char* proposal;
    int kind;  // 0: no reply
    const char* version;
  };
  const Case cases[] = {
      {Negotiation::Answer, "1.320", 2, "1.3"},   {Negotiation::Answer, "1.2", 2, "1.3"},
      {Negotiation::Refuse, "1.320", 3, nullptr}, {Negotiation::Refuse, "1.3", 2, "1.3"},
      {Negotiation::Silent, "1.3", 0, nullptr},   {Negotiation::Negative, "1.3", 3, nullptr},
  };
  for (const Case& c : cases) {
    Model m = DefaultModel("VN2448D");  // CTI 1.3
    m.negotiation = c.mode;
    Pbx pbx(m);
    Answer a = pbx.Handle(Request(185, {{1, {1}}, {2, Text(c.proposal)}}));
    if (c.kind == 0) {
      EXPECT_TRUE(a.silent);
      continue;
    }
    Message r = Only(a);
    EXPECT_EQ(r.kind, c.kind) << c.proposal;
    if (c.version) {
      EXPECT_EQ(AsText(r.At(3)), c.version);
    }
  }
}

TEST(Pbx, SingleDeviceDataReplyHoldsEveryRecordFromByte13) {
  Pbx pbx(DefaultModel());
  Answer a = pbx.Handle(Request(143, {{1, {1}}, {2, {0xFF, 0xFF}}}));
  ASSERT_EQ(a.replies.size(), 1u);
  const Bytes& r = a.replies[0];
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 11),
            (Bytes{0x8F, 0x02, 0x07, 0x00, 0x01, 0x00, 0x01, 0x01, 0x02, 0x00, 0x02}));
  EXPECT_EQ(GetU16(&r[11]), 16u);
  std::vector<std::string> numbers;
  std::vector<uint16_t> devices = ExtensionDevices(r, &numbers);
  ASSERT_EQ(devices.size(), 16u);
  EXPECT_EQ(devices.front(), 1);
  EXPECT_EQ(numbers.front(), "101");
  EXPECT_EQ(numbers.back(), "116");
  // The first record in full: device 1, in service, "101", "Reception", type 0, class 1.
  Bytes first = {0x00, 0x01, 0x01, 0x03, '1',  '0',  '1',  0x09, 'R',  'e',  'c',  'e',  'p',
                 't',  'i',  'o',  'n',  0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(Bytes(r.begin() + 13, r.begin() + 13 + static_cast<long>(first.size())), first);
}

TEST(Pbx, PagedDownloadsFollowTheContinuationKey) {
  Model m = DefaultModel();
  m.pageRecords = 5;
  Pbx pbx(m);
  std::vector<uint16_t> all;
  Bytes key = Key(0, 0, 0, 0);
  for (int page = 0; page < 10; ++page) {
    Bytes r = pbx.Handle(Request(143, {{1, {1}}, {2, {0xFF, 0xFF}}, {3, key}})).replies.at(0);
    uint32_t n = GetU16(&r[11]);
    if (n == 0) {
      EXPECT_EQ(r.size(), 13u);
      break;
    }
    std::vector<uint16_t> devices = ExtensionDevices(r, nullptr);
    EXPECT_EQ(devices.size(), n);
    EXPECT_LE(n, 5u);
    all.insert(all.end(), devices.begin(), devices.end());
    key =
        Key(0, 0, static_cast<uint8_t>(devices.back() >> 8), static_cast<uint8_t>(devices.back()));
  }
  ASSERT_EQ(all.size(), 16u);
  for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i], i + 1);

  // Group records: the key is 00, last type, last group number.
  std::vector<std::pair<uint8_t, uint16_t>> groups;
  key = Key(0, 0, 0, 0);
  for (int page = 0; page < 10; ++page) {
    Bytes r = pbx.Handle(Request(143, {{1, {7}}, {2, {0xFF, 0xFF}}, {3, key}})).replies.at(0);
    uint32_t n = GetU16(&r[11]);
    if (n == 0) break;
    size_t p = 13;
    for (uint32_t k = 0; k < n; ++k) {
      groups.push_back({r[p], static_cast<uint16_t>(GetU16(&r[p + 1]))});
      p += 9 + r[p + 3];
    }
    EXPECT_EQ(p, r.size());
    key = Key(0, groups.back().first, static_cast<uint8_t>(groups.back().second >> 8),
              static_cast<uint8_t>(groups.back().second));
  }
  EXPECT_EQ(groups.size(), m.groups.size());
  EXPECT_TRUE(std::is_sorted(groups.begin(), groups.end()));
}

TEST(Pbx, IndexedNumberClassesStartAtByte12) {
  Pbx pbx(DefaultModel("VN9000"));
  Bytes r =
      pbx.Handle(Request(143, {{1, {4}}, {2, {0xFF, 0xFF}}, {3, Key(0, 0, 0, 0)}})).replies.at(0);
  ASSERT_GE(r.size(), 12u);
  EXPECT_EQ(r[11], 2);  // one-byte count: two DISA numbers
  // index, length, digits, then b = 0 and the next record b + 3 bytes after b.
  EXPECT_EQ(Bytes(r.begin() + 12, r.end()),
            (Bytes{1, 3, '8', '0', '1', 0, 0, 0, 2, 3, '8', '0', '2', 0, 0, 0}));
  Bytes next =
      pbx.Handle(Request(143, {{1, {4}}, {2, {0xFF, 0xFF}}, {3, Key(0, 0, 0, 2)}})).replies.at(0);
  EXPECT_EQ(next.size(), 12u);
  EXPECT_EQ(next[11], 0);
}

TEST(Pbx, GroupMemberMapAndMemberList) {
  Pbx pbx(DefaultModel());
  const Group& qh = pbx.GetModel().groups.at(0);  // sorted: type 21 number 1 first
  ASSERT_EQ(qh.type, 21);
  Bytes groupParam = {33, 0, 0, 1, 0, 1, 0, 0};  // QH, group 1
  Message map = Only(pbx.Handle(Request(143, {{1, {32}}, {2, groupParam}})));
  ASSERT_NE(map.Find(2), nullptr);
  const Bytes& v = map.Find(2)->value;
  ASSERT_GT(v.size(), 6u);
  EXPECT_EQ(v[5], qh.members.size());
  EXPECT_EQ(v.size(), 6 + 8 * qh.members.size());

  Message list = Only(pbx.Handle(Request(106, {{1, groupParam}})));
  EXPECT_EQ(list.kind, 2);
  const Param* members = list.Find(3);
  ASSERT_NE(members, nullptr);
  const Bytes& mv = members->value;
  ASSERT_EQ(GetU16(mv.data()), qh.members.size());
  size_t p = 2;
  for (const std::string& number : qh.members) {
    size_t len = mv.at(p);
    Bytes device(mv.begin() + static_cast<long>(p + 1),
                 mv.begin() + static_cast<long>(p + 1 + len));
    EXPECT_EQ(device, pbx.ExtensionParam(number));
    EXPECT_EQ(std::string(device.begin() + 5, device.end() - 1), number);
    p += 1 + len;
  }
  EXPECT_EQ(p, mv.size());

  Message unknown = Only(pbx.Handle(Request(106, {{1, {33, 0, 0, 1, 0, 99, 0, 0}}})));
  EXPECT_EQ(unknown.kind, 3);
  EXPECT_EQ(unknown.At(1)->value.at(0), 9);
}

TEST(Pbx, SystemParametersGiveTheCodeFourBytesIntoTag3) {
  Pbx pbx(DefaultModel());
  Message r = Only(pbx.Handle(Request(188, {{1, {1}}, {2, {1}}, {3, {0, 23}}})));
  const Param* p = r.Find(3);
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(p->value.size(), 8u);
  EXPECT_EQ(Bytes(p->value.begin() + 4, p->value.end()), (Bytes{'5', '5', 0, 0}));
  Message unknown = Only(pbx.Handle(Request(188, {{1, {1}}, {2, {1}}, {3, {0, 99}}})));
  EXPECT_LE(unknown.Find(3)->value.size(), 2u);
}

TEST(Pbx, CommandsPollSnapshotAndUnknownCodes) {
  Model m = DefaultModel();
  m.refusedCodes = {20};
  Pbx pbx(m);
  struct Case {
    uint8_t code;
    int kind;
  };
  for (Case c : {Case{17, 2}, Case{19, 2}, Case{21, 2}, Case{146, 2}, Case{186, 2}, Case{33, 2},
                 Case{131, 2}, Case{2, 2}, Case{20, 3}, Case{200, 3}, Case{0, 3}}) {
    Message r = Only(pbx.Handle(Request(c.code, {{1, {1, 0, 0, 0, 1, '1', '0', '1', 0}}}, 9)));
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.sequence, 9);
    EXPECT_EQ(r.kind, c.kind) << "code " << int(c.code);
  }
  Message poll = Only(pbx.Handle(Request(129)));
  EXPECT_EQ(poll.At(1)->value, Bytes{2});
  EXPECT_EQ(poll.At(2)->value, Bytes{2});
  pbx.SetSystemStatus(3);
  EXPECT_EQ(Only(pbx.Handle(Request(129))).At(2)->value, Bytes{3});
  pbx.SetPollSilent(true);
  EXPECT_TRUE(pbx.Handle(Request(129)).silent);
  Model quiet = DefaultModel();
  quiet.answerClosing = false;
  EXPECT_TRUE(Pbx(quiet).Handle(Request(2)).silent);

  Bytes ext = pbx.ExtensionParam("101");
  Message idle = Only(pbx.Handle(Request(38, {{1, ext}})));
  EXPECT_EQ(idle.At(1)->value, Bytes{0});
  pbx.SetDeviceState(ext, {4, pbx.TrunkParam(3)});
  Bytes busy = pbx.Handle(Request(38, {{1, ext}})).replies.at(0);
  EXPECT_EQ(busy[7], 4);  // the host reads the mode at byte 7
  EXPECT_EQ(Decode(busy)->Find(2)->value, pbx.TrunkParam(3));
}

TEST(Pbx, MalformedRequestsAreRefusedOrIgnored) {
  Pbx pbx(DefaultModel());
  EXPECT_TRUE(pbx.Handle({0x8F, 0x01}).silent);                             // shorter than a header
  EXPECT_TRUE(pbx.Handle({0x8F, 0x02, 0x01, 0x00}).silent);                 // not a request
  EXPECT_EQ(Only(pbx.Handle(Request(143))).kind, 3);                        // no class
  EXPECT_EQ(Only(pbx.Handle(Request(143, {{1, {99}}}))).kind, 3);           // unknown class
  EXPECT_EQ(Only(pbx.Handle(Request(143, {{1, {1}}, {3, {1}}}))).kind, 3);  // short key
  EXPECT_EQ(Only(pbx.Handle(Request(188, {{3, {1, 2, 3}}}))).kind, 3);
  EXPECT_EQ(Only(pbx.Handle(Request(106, {{1, {33}}}))).kind, 3);
  // A parameter length running past the end: decoded as far as it goes.
  Bytes broken = {0xB9, 0x01, 0x03, 0x00, 0x02, 0xFF, 0xFF, '1'};
  EXPECT_EQ(Only(pbx.Handle(broken)).kind, 2);
}

}  // namespace
}  // namespace qrvn::pbxsim
