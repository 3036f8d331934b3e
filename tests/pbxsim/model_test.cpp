// Model files: the shipped examples, the defaults, and refusals that name file and field.
#include "pbxsim/model.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "pbxsim/pbx.h"

namespace qrvn::pbxsim {
namespace {

TEST(Model, CtiWordsFromVersionTexts) {
  EXPECT_EQ(CtiWord("1.2"), 0x12000u);
  EXPECT_EQ(CtiWord("1.3"), 0x13000u);
  EXPECT_EQ(CtiWord("1.317"), 0x13170u);
  EXPECT_EQ(CtiWord("1.320"), 0x13200u);
}

TEST(Model, ShippedExamplesLoadAndMeanWhatTheySay) {
  std::string dir = QRVN_PBXSIM_MODELS;
  int loaded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    Model m;
    std::string error;
    EXPECT_TRUE(LoadModel(entry.path().string(), m, &error)) << error;
    ++loaded;
  }
  EXPECT_GE(loaded, 7);

  Model m;
  std::string error;
  ASSERT_TRUE(LoadModel(dir + "/vn2448-cti12.json", m, &error)) << error;
  EXPECT_EQ(m.modelCode, 2);
  EXPECT_EQ(CtiWord(m.ctiVersion), 0x12000u);
  EXPECT_EQ(m.extensions.size(), 64u);
  EXPECT_TRUE(m.groups.empty());

  ASSERT_TRUE(LoadModel(dir + "/vn9000-cti1320.json", m, &error)) << error;
  EXPECT_EQ(m.modelCode, 16);
  EXPECT_EQ(m.extensions.size(), 300u);
  EXPECT_EQ(m.extensions.back().number, "3100");

  for (auto [file, country] :
       {std::pair{"vn2448d-group0.json", 13u}, std::pair{"vn2448d-group1.json", 5u},
        std::pair{"vn2448d-group2.json", 1u}}) {
    ASSERT_TRUE(LoadModel(dir + "/" + file, m, &error)) << error;
    EXPECT_EQ(m.modelCode, 3);
    EXPECT_EQ(m.country, country);
    EXPECT_EQ(m.trunks.size(), 24u);
  }

  // The written-out default is the built-in default.
  ASSERT_TRUE(LoadModel(dir + "/default.json", m, &error)) << error;
  Model builtIn = DefaultModel();
  Pbx a(m), b(builtIn);
  for (uint8_t cls : {1, 2, 4, 7, 28}) {
    Message req;
    req.code = 143;
    req.params = {{1, {cls}}, {2, {0xFF, 0xFF}}};
    EXPECT_EQ(a.Handle(Encode(req)).replies, b.Handle(Encode(req)).replies) << "class " << int(cls);
  }
  Message version;
  version.code = 185;
  version.params = {{1, {1}}, {2, {'1', '.', '3', '2', '0'}}};
  EXPECT_EQ(a.Handle(Encode(version)).replies, b.Handle(Encode(version)).replies);
}

TEST(Model, DefaultsPerModel) {
  Model m;
  std::string error;
  ASSERT_TRUE(ParseModel(R"({"model": "VN9000"})", "x.json", m, &error)) << error;
  EXPECT_EQ(m.modelCode, 16);
  EXPECT_EQ(m.ctiVersion, "1.320");
  EXPECT_EQ(m.extensions.size(), 200u);
  EXPECT_FALSE(m.groups.empty());
  ASSERT_TRUE(ParseModel(R"({"model": "VN2448"})", "x.json", m, &error)) << error;
  EXPECT_EQ(m.ctiVersion, "1.2");
  EXPECT_TRUE(m.groups.empty());
  // Lowering the version of a model with default groups drops them.
  ASSERT_TRUE(ParseModel(R"({"model": "VN9000", "cti_version": "1.2"})", "x.json", m, &error));
  EXPECT_TRUE(m.groups.empty());
  Model d = DefaultModel();
  EXPECT_EQ(d.name, "VN1632");
  EXPECT_GE(CtiWord(d.ctiVersion), 0x13000u);
  EXPECT_GT(d.doorPhones, 0);
  EXPECT_GT(d.pagingOut, 0);
  EXPECT_GT(d.pagingIn, 0);
  EXPECT_FALSE(d.trunks.empty());
  EXPECT_FALSE(d.groups.empty());
}

TEST(Model, BadFilesNameFileFieldAndFault) {
  struct Case {
    const char* json;
    const char* error;
  };
  const Case cases[] = {
      {R"({"model": "VN9999"})", "m.json: model: unknown model \"VN9999\""},
      {R"({"modle": "VN9000"})", "m.json: modle: unknown field"},
      {R"({"extensions": [{"device": 1, "number": "101"}, {"device": 2, "number": "12345"}]})",
       "m.json: extensions[1].number: must be 1 to 4 digits"},
      {R"({"extensions": [{"number": "101"}]})", "m.json: extensions[0].device: missing"},
      {R"({"extensions": [{"device": 1, "number": "101"}, {"device": 1, "number": "102"}]})",
       "m.json: extensions[1].device: device 1 appears twice"},
      {R"({"extensions": [{"device": 1, "number": "101", "colour": 2}]})",
       "m.json: extensions[0].colour: unknown field"},
      {R"({"trunks": [{"number": 0}]})", "m.json: trunks[0].number: trunks are counted from 1"},
      {R"({"door_phones": 300})", "m.json: door_phones: must be a whole number from 0 to 255"},
      {R"({"capacity": {"40": 1}})", "m.json: capacity.40: a capacity tag must be a number"},
      {R"({"groups": [{"type": 12, "number": 1}]})",
       "m.json: groups[0].type: must be a group type"},
      {R"({"groups": [{"type": 23, "number": 1, "members": ["999"]}]})",
       "m.json: groups[0].members[0]: no extension has the number 999"},
      {R"({"cti_version": "1.2", "groups": [{"type": 23, "number": 1}]})",
       "m.json: groups: a PBX with CTI version 1.2 has no groups"},
      {R"({"negotiation": "maybe"})", "m.json: negotiation: must be answer, refuse"},
      {R"({"rom_version": 5})", "m.json: rom_version: must be a text"},
      {R"({"page_records": 0})", "m.json: page_records: must be at least 1"},
      {R"({"extensions": )", "m.json: (file): not valid JSON"},
      {R"([1, 2])", "m.json: (top level): must be an object"},
  };
  for (const Case& c : cases) {
    Model m;
    m.name = "untouched";
    std::string error;
    EXPECT_FALSE(ParseModel(c.json, "m.json", m, &error)) << c.json;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << "got: " << error;
    EXPECT_EQ(m.name, "untouched") << "a refused file leaves the model alone";
  }
  Model m;
  std::string error;
  EXPECT_FALSE(LoadModel("/nonexistent/pbx.json", m, &error));
  EXPECT_EQ(error, "/nonexistent/pbx.json: (file): cannot be read");
}

}  // namespace
}  // namespace qrvn::pbxsim
