// Scenario files: device parameters written by name, and refusals with line numbers.
#include "pbxsim/scenario.h"

#include <gtest/gtest.h>

namespace qrvn::pbxsim {
namespace {

TEST(Scenario, DeviceParametersByName) {
  Pbx cti13(DefaultModel());
  Pbx cti12(DefaultModel("VN2448"));
  struct Case {
    const Pbx* pbx;
    const char* text;
    Bytes bytes;
  };
  const Case cases[] = {
      {&cti13, "ext 101", {0x01, 0x00, 0x00, 0x00, 0x01, '1', '0', '1', 0x00}},
      {&cti12, "ext 101", {0x01, 0x00, 0x00, 0x00, 0x00, '1', '0', '1', 0x00}},
      {&cti12, "trunk 8", {0x02, 0x00, 0x00, 0x00, 0x08}},
      {&cti13, "trunk 3", {0x02, 0x00, 0x00, 0x00, 0x03}},
      {&cti13, "door 1", {0x0A, 0x01}},
      {&cti13, "disa 1", {0x0B, 0x01}},
      {&cti13, "page-out 2", {0x0C, 0x02, 0x01, 0x02}},
      {&cti13, "page-in 1", {0x0C, 0x03, 0x02, 0x01}},
      {&cti13, "pages all", {0x0C, 0x01, 0x03}},
      {&cti13, "queue QO 5", {0x21, 0x00, 0x00, 0x02, 0x00, 0x05, 0x00, 0x00}},
      {&cti13, "tr", {0x21, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}},
      {&cti13, "rm", {0x22, 0x01}},
      {&cti13, "bv 2", {0x23, 0x02}},
      {&cti13, "feature 7 1", {0x20, 0x00, 0x00, 0x07, 0x00, 0x01}},
      {&cti13, "dialled 0123", {0x03, '0', '1', '2', '3'}},
      {&cti13, "byte 9", {0x09}},
      {&cti13, "word 300", {0x01, 0x2C}},
      {&cti13, "hex 0A 0b ff", {0x0A, 0x0B, 0xFF}},
      {&cti13, "text \"a b\"", {'a', ' ', 'b'}},
      {&cti13, "empty", {}},
  };
  for (const Case& c : cases) {
    Bytes value;
    std::string error;
    EXPECT_TRUE(ParseValue(c.text, *c.pbx, value, &error)) << c.text << ": " << error;
    EXPECT_EQ(value, c.bytes) << c.text;
  }
  Bytes value;
  std::string error;
  EXPECT_FALSE(ParseValue("ext 999", cti13, value, &error));
  EXPECT_EQ(error, "no extension has the number 999");
  EXPECT_FALSE(ParseValue("trunk 99", cti13, value, &error));
  EXPECT_FALSE(ParseValue("queue QX 1", cti13, value, &error));
  EXPECT_FALSE(ParseValue("hex 0", cti13, value, &error));
  EXPECT_FALSE(ParseValue("colour red", cti13, value, &error));
}

TEST(Scenario, StepsAndEvents) {
  Pbx pbx(DefaultModel());
  Scenario s;
  std::string error;
  ASSERT_TRUE(
      Scenario::Parse("# a call from 101 out on trunk 3\n"
                      "after EventRegistration 6\n"
                      "wait 100\n"
                      "event ServiceBeginInform ext 101\n"
                      "event ConnectInform ext 101, trunk 3, tag7: text \"a,b\"\n"
                      "snapshot ext 101 mode 4 other trunk 3\n"
                      "fault nak 2\n"
                      "status messages-lost\n"
                      "log done\n",
                      "s.txt", pbx, s, &error))
      << error;
  ASSERT_EQ(s.Steps().size(), 8u);
  EXPECT_EQ(s.Steps()[0].kind, Step::Kind::After);
  EXPECT_EQ(s.Steps()[0].code, 33);
  EXPECT_EQ(s.Steps()[0].count, 6u);
  EXPECT_EQ(s.Steps()[2].message, (Bytes{49, 1, 0, 0, 1, 0, 9, 1, 0, 0, 0, 1, '1', '0', '1', 0}));
  auto connect = Decode(s.Steps()[3].message);
  ASSERT_TRUE(connect);
  EXPECT_EQ(connect->code, 54);
  ASSERT_EQ(connect->params.size(), 3u);
  EXPECT_EQ(connect->params[1].tag, 2);
  EXPECT_EQ(connect->params[1].value, pbx.TrunkParam(3));
  EXPECT_EQ(connect->params[2].tag, 7);
  EXPECT_EQ(connect->params[2].value, (Bytes{'a', ',', 'b'}));
  EXPECT_EQ(s.Steps()[4].state.mode, 4);
  EXPECT_EQ(s.Steps()[4].state.other, pbx.TrunkParam(3));
}

TEST(Scenario, JsonStepsMeanTheSameAsTextLines) {
  Pbx pbx(DefaultModel());
  Scenario text, json;
  std::string error;
  ASSERT_TRUE(
      Scenario::Parse("after EventRegistration 6\nwait 300\n"
                      "event ConnectInform ext 101, trunk 3\n"
                      "snapshot ext 101 mode 4 other trunk 3\nfault nak 2\n",
                      "s.txt", pbx, text, &error))
      << error;
  ASSERT_TRUE(Scenario::Parse(R"([{"after": "EventRegistration", "count": 6}, {"wait": 300},
      {"event": "ConnectInform", "params": ["ext 101", "trunk 3"]},
      {"snapshot": "ext 101", "mode": 4, "other": "trunk 3"}, {"fault": "nak 2"}])",
                              "s.json", pbx, json, &error))
      << error;
  ASSERT_EQ(json.Steps().size(), text.Steps().size());
  for (size_t i = 0; i < text.Steps().size(); ++i) {
    const Step& a = text.Steps()[i];
    const Step& b = json.Steps()[i];
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.ms, b.ms);
    EXPECT_EQ(a.count, b.count);
    EXPECT_EQ(a.message, b.message);
    EXPECT_EQ(a.state.other, b.state.other);
    EXPECT_EQ(a.number, b.number);
  }
  Scenario bad;
  EXPECT_FALSE(Scenario::Parse(R"([{"wait": 1}, {"jump": 2}])", "s.json", pbx, bad, &error));
  EXPECT_EQ(error, "s.json:2: no step verb (wait, at, after, event, snapshot, ...)");
  EXPECT_FALSE(Scenario::Parse(R"([{"event": "ServiceBeginInform", "params": ["ext 9"]}])",
                               "s.json", pbx, bad, &error));
  EXPECT_EQ(error, "s.json:1: no extension has the number 9");
}

TEST(Scenario, BadLinesNameFileAndLine) {
  Pbx pbx(DefaultModel());
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"wait\n", "s.txt:1: wait needs milliseconds"},
      {"\n# c\nevent NoSuchEvent\n", "s.txt:3: unknown event \"NoSuchEvent\""},
      {"event ServiceBeginInform ext 999\n", "s.txt:1: no extension has the number 999"},
      {"after Nothing\n", "s.txt:1: unknown request \"Nothing\""},
      {"fault melt\n", "s.txt:1: unknown fault \"melt\""},
      {"snapshot ext 101\n", "s.txt:1: snapshot needs a device, \"mode\" and a number"},
      {"dance\n", "s.txt:1: unknown step \"dance\""},
  };
  for (const Case& c : cases) {
    Scenario s;
    std::string error;
    EXPECT_FALSE(Scenario::Parse(c.text, "s.txt", pbx, s, &error)) << c.text;
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace qrvn::pbxsim
