// The device directory: encoding and decoding of device parameters in both CTI version forms,
// the number-table lookups, sorting and the bounds of every table.
#include "provider/core/device_directory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "provider/core/process.h"

namespace qrvn::provider {
namespace {

using Bytes = std::vector<uint8_t>;

// A small device model: line index -> description.
class FakeLines final : public DirectoryLines {
 public:
  uint32_t Add(uint32_t kind, const char* name, const char* dial, uint16_t deviceId = 0,
               uint16_t trunkValue = 0) {
    DirectoryLine line;
    line.kind = kind;
    std::strncpy(line.name, name, sizeof line.name);
    std::strncpy(line.dialNumber, dial, sizeof line.dialNumber);
    line.deviceId = deviceId;
    line.trunkValue = trunkValue;
    lines_.push_back(line);
    return static_cast<uint32_t>(lines_.size() - 1);
  }
  uint32_t LineCount() const override { return static_cast<uint32_t>(lines_.size()); }
  bool DescribeLine(uint32_t index, DirectoryLine& out) const override {
    if (index >= lines_.size()) return false;
    out = lines_[index];
    return true;
  }

 private:
  std::vector<DirectoryLine> lines_;
};

class DeviceDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProcessAttach());  // the tables live in the process pool
    DirectorySizes sizes;
    sizes.extensions = 3;
    sizes.trunks = 3;
    sizes.doorPhones = 2;
    sizes.disa = 1;
    sizes.pagingOut = 2;
    sizes.pagingIn = 1;
    sizes.bv = 2;
    sizes.features = 4;
    sizes.specials = 2;
    sizes.bvNumbers = 2;
    sizes.disaNumbers = 1;
    ASSERT_TRUE(dir_.Allocate(sizes));
    dir_.SetLines(&lines_);
    system_ = lines_.Add(0, "SYSTEM", "");
    uint32_t queue = 0;
    for (const char* name : {"QO", "QH", "QIO", "QIH"}) {
      dir_.PutQueue(queue++, Key(lines_.Add(33, name, "")));
    }
    tr_ = lines_.Add(33, "TR", "");
    dir_.PutTr(Key(tr_));
    rm_ = lines_.Add(34, "RM", "");
    dir_.PutRm(Key(rm_));
    for (uint32_t k = 0; k < 2; ++k) dir_.PutBv(k, Key(lines_.Add(35, "BV", "")));
    door_ = lines_.Add(10, "DOOR", "0002");
    dir_.PutDoorPhone(1, Key(door_));
    disa_ = lines_.Add(11, "DISA", "0001");
    dir_.PutDisa(0, Key(disa_));
    for (uint32_t k = 0; k < 2; ++k) {
      pageOut_[k] = lines_.Add(12, "OUTPAGE", "");
      dir_.PutPagingOut(k, Key(pageOut_[k]));
    }
    pageIn_ = lines_.Add(12, "INPAGE", "");
    dir_.PutPagingIn(0, Key(pageIn_));
    // Trunks and extensions in download order, sorted afterwards.
    trunk12_ = lines_.Add(2, "CO", "0012", 0, 0x0304);
    dir_.PutTrunk(0, 12, Key(trunk12_));
    trunk3_ = lines_.Add(2, "CO", "0003");
    dir_.PutTrunk(1, 3, Key(trunk3_));
    ext101_ = lines_.Add(1, "EXT", "101", 0x0123);
    dir_.PutExtension(0, 0x0123, "101", Key(ext101_));
    ext1011_ = lines_.Add(1, "EXT", "1011", 0x0005);
    dir_.PutExtension(1, 0x0005, "1011", Key(ext1011_));
    ext2_ = lines_.Add(1, "EXT", "2", 0x0040);
    dir_.PutExtension(2, 0x0040, "2", Key(ext2_));
    dir_.SortExtensions();
    dir_.SortTrunks();
  }
  static uint32_t Key(uint32_t line) { return MakeLineAddressKey(line); }
  Bytes Encode(uint32_t line, uint32_t capacity = 16) {
    Bytes out(capacity + 4, 0xEE);
    int32_t n = dir_.EncodeDevice(Key(line), out.data(), capacity);
    EXPECT_EQ(out[capacity], 0xEE) << "written past the capacity";
    if (n < 0) return {static_cast<uint8_t>(-n), 0xFF};
    out.resize(static_cast<size_t>(n));
    return out;
  }
  std::vector<int64_t> Decode(const Bytes& param, uint32_t capacity = 8) {
    std::vector<uint32_t> keys(capacity + 1, 0xDEADBEEF);
    int32_t n =
        dir_.DecodeDevice(param.data(), static_cast<uint32_t>(param.size()), keys.data(), capacity);
    EXPECT_EQ(keys[capacity], 0xDEADBEEF) << "written past the capacity";
    if (n < 0) return {n};
    std::vector<int64_t> out;
    for (int32_t i = 0; i < n; ++i) out.push_back(keys[static_cast<size_t>(i)]);
    return out;
  }

  uint32_t cti_ = 0x13000;
  PbxDeviceDirectory dir_{&cti_};
  FakeLines lines_;
  uint32_t system_, tr_, rm_, door_, disa_, pageOut_[2], pageIn_, trunk12_, trunk3_;
  uint32_t ext101_, ext1011_, ext2_;
};

TEST_F(DeviceDirectoryTest, EncodesEveryKindInBothVersionForms) {
  EXPECT_EQ(Encode(ext101_), (Bytes{1, 0, 0, 0x01, 0x23, '1', '0', '1'}));
  EXPECT_EQ(Encode(trunk12_), (Bytes{2, 0x03, 0x04, 0, 12}));
  cti_ = 0x12000;
  EXPECT_EQ(Encode(ext101_), (Bytes{1, 0, 0, 0, 0, '1', '0', '1'}));
  EXPECT_EQ(Encode(trunk12_), (Bytes{2, 0, 0, 0, 0x0C}));
  EXPECT_EQ(Encode(door_), (Bytes{10, 2}));
  EXPECT_EQ(Encode(disa_), (Bytes{11, 1}));
  EXPECT_EQ(Encode(pageOut_[1]), (Bytes{0x0C, 0x02, 0x01, 0x02}));
  EXPECT_EQ(Encode(pageIn_), (Bytes{0x0C, 0x03, 0x02, 0x01}));
  EXPECT_EQ(Encode(tr_), (Bytes{33, 0, 0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(Encode(rm_), (Bytes{34, 1}));
}

TEST_F(DeviceDirectoryTest, ExtensionEncodingEndsWithANul) {
  uint8_t out[10];
  std::memset(out, 0xEE, sizeof out);
  ASSERT_EQ(dir_.EncodeDevice(Key(ext101_), out, sizeof out), 8);
  EXPECT_EQ(out[8], 0);
}

TEST_F(DeviceDirectoryTest, EncodingRefusals) {
  // Queue lines other than TR, the SYSTEM line, a line beyond the table: bad.
  EXPECT_EQ(Encode(1), (Bytes{1, 0xFF}));
  EXPECT_EQ(Encode(system_), (Bytes{1, 0xFF}));
  EXPECT_EQ(dir_.EncodeDevice(Key(lines_.LineCount()), nullptr, 0), kEncodeBad);
  // Each kind's capacity, one byte short.
  EXPECT_EQ(Encode(ext101_, 9), (Bytes{2, 0xFF}));
  EXPECT_EQ(Encode(trunk12_, 4), (Bytes{2, 0xFF}));
  EXPECT_EQ(Encode(door_, 1), (Bytes{2, 0xFF}));
  EXPECT_EQ(Encode(pageIn_, 3), (Bytes{2, 0xFF}));
  EXPECT_EQ(Encode(tr_, 7), (Bytes{2, 0xFF}));
  EXPECT_EQ(Encode(rm_, 1), (Bytes{2, 0xFF}));
  PbxDeviceDirectory noVersion(nullptr);
  noVersion.SetLines(&lines_);
  uint8_t out[16];
  EXPECT_EQ(noVersion.EncodeDevice(Key(ext101_), out, sizeof out), kEncodeNoVersion);
}

TEST_F(DeviceDirectoryTest, DecodesEveryKind) {
  struct Case {
    const char* what;
    Bytes param;
    std::vector<int64_t> keys;
  };
  const std::vector<Case> cases = {
      {"extension by device ID", {1, 0x01, 0x23, 0, 0, 0}, {Key(ext101_)}},
      {"extension by ID not known", {1, 0x01, 0x24, 0, 0, 0}, {kDecodeNotFound}},
      {"extension by number", {1, 0, 0, 0, 0, '1', '0', '1', 0}, {Key(ext101_)}},
      {"extension by a longer number", {1, 0, 0, 0, 0, '1', '0', '1', '1', 0}, {Key(ext1011_)}},
      {"extension number not known", {1, 0, 0, 0, 0, '1', '0', 0}, {kDecodeNotFound}},
      {"extension number without NUL", {1, 0, 0, 0, 0, '2'}, {Key(ext2_)}},
      {"trunk", {2, 0, 0, 0, 12}, {Key(trunk12_)}},
      {"trunk not known", {2, 0, 0, 0, 4}, {kDecodeNotFound}},
      {"door phone 2", {10, 2}, {Key(door_)}},
      {"door phone 0", {10, 0}, {kDecodeNotFound}},
      {"door phone 3", {10, 3}, {kDecodeNotFound}},
      {"DISA 1", {11, 1}, {Key(disa_)}},
      {"all paging", {12, 1, 3}, {Key(pageOut_[0]), Key(pageOut_[1]), Key(pageIn_)}},
      {"outgoing paging", {12, 1, 1}, {Key(pageOut_[0]), Key(pageOut_[1])}},
      {"incoming paging", {12, 1, 2}, {Key(pageIn_)}},
      {"paging selector 4", {12, 1, 4}, {}},
      {"second outgoing group", {12, 2, 1, 2}, {Key(pageOut_[1])}},
      {"incoming group 0", {12, 3, 2, 0}, {}},
      {"incoming group 2", {12, 3, 2, 2}, {}},
      {"paging byte 1 = 5", {12, 5, 0, 0}, {}},
      {"TR", {33, 0, 0, 0, 0, 1, 0, 0}, {Key(tr_)}},
      {"QH", {33, 0, 0, 1, 0, 5, 0, 0}, {Key(2)}},
      {"QO", {0x21, 0, 0, 2, 0, 5, 0, 0}, {Key(1)}},
      {"QIH", {33, 0, 0, 3, 0, 5, 0, 0}, {Key(4)}},
      {"QIO", {33, 0, 0, 4, 0, 5, 0, 0}, {Key(3)}},
      {"subkind 5", {0x21, 0, 0, 5, 0, 5, 0, 0}, {kDecodeNotFound}},
      {"RM", {34, 1}, {Key(rm_)}},
      {"BV 2", {35, 2}, {Key(8)}},
      {"BV 0", {35, 0}, {kDecodeNotFound}},
      {"BV 3", {35, 3}, {kDecodeNotFound}},
      {"dialled number", {3, '1', '2'}, {kDecodeUnknownKind}},
      {"feature", {32, 0, 0, 9, 0, 1}, {kDecodeUnknownKind}},
      {"cut-short trunk", {2, 0, 0}, {kDecodeNotFound}},
      {"cut-short queue", {33, 0, 0}, {kDecodeNotFound}},
      {"empty", {}, {kDecodeUnknownKind}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.param), c.keys) << c.what;
}

TEST_F(DeviceDirectoryTest, DecodingNeverWritesPastTheCapacity) {
  EXPECT_EQ(Decode({12, 1, 3}, 2), (std::vector<int64_t>{kDecodeNoRoom}));
  EXPECT_EQ(Decode({12, 1, 1}, 2).size(), 2u);
  for (const Bytes& one :
       {Bytes{1, 0, 0, 0, 0, '1', '0', '1', 0}, Bytes{1, 0x01, 0x23}, Bytes{10, 2},
        Bytes{12, 2, 1, 1}, Bytes{33, 0, 0, 0}, Bytes{34, 1}, Bytes{35, 1}}) {
    EXPECT_EQ(Decode(one, 0), (std::vector<int64_t>{kDecodeNoRoom})) << int(one[0]);
  }
}

TEST_F(DeviceDirectoryTest, SortedTablesAnswerLookupsById) {
  EXPECT_EQ(dir_.FindExtensionById(0x0005), Key(ext1011_));
  EXPECT_EQ(dir_.FindExtensionById(0x0040), Key(ext2_));
  EXPECT_EQ(dir_.FindExtensionById(0x0123), Key(ext101_));
  EXPECT_EQ(dir_.FindExtensionById(0x0041), 0u);
  ASSERT_NE(dir_.Trunk(0), nullptr);
  EXPECT_EQ(dir_.Trunk(0)->trunkNumber, 3);
  EXPECT_EQ(Decode({2, 0, 0, 0, 3}), (std::vector<int64_t>{Key(trunk3_)}));
}

TEST_F(DeviceDirectoryTest, PutsRefuseIndexesOutsideTheirTables) {
  EXPECT_EQ(dir_.PutExtension(3, 1, "9", 1), 0);
  EXPECT_EQ(dir_.PutTrunk(3, 1, 1), 0);
  EXPECT_EQ(dir_.PutDoorPhone(2, 1), 0);
  EXPECT_EQ(dir_.PutDisa(1, 1), 0);
  EXPECT_EQ(dir_.PutPagingOut(2, 1), 0);
  EXPECT_EQ(dir_.PutPagingIn(1, 1), 0);
  EXPECT_EQ(dir_.PutQueue(4, 1), 0);
  EXPECT_EQ(dir_.PutBv(2, 1), 0);
  EXPECT_EQ(dir_.PutFeature(4, 1, 1, "1", 1), 0);
  EXPECT_EQ(dir_.PutSpecial(2, 1, 1, "1", 1), 0);
  EXPECT_EQ(dir_.PutBvNumber(2, 1, "1", 1), 0);
  EXPECT_EQ(dir_.PutDisaNumber(1, 1, "1", 1), 0);
  EXPECT_EQ(dir_.PutDoorPhone(0, 7), 1);
}

TEST_F(DeviceDirectoryTest, NumberLookups) {
  dir_.PutFeature(0, 9, 70, "70", 2);
  dir_.PutFeature(1, 7, 5, "610", 3);
  dir_.PutFeature(2, 11, 5, "620", 3);
  dir_.PutSpecial(0, 1, 5, "611", 3);
  dir_.PutBvNumber(0, 2, "725", 3);
  auto feature = [&](const Bytes& p) {
    char d[5] = "keep";
    dir_.FindFeatureNumber(p.data(), static_cast<uint32_t>(p.size()), d);
    return std::string(d, 4);
  };
  EXPECT_EQ(feature({32, 0, 0, 9, 0, 70}), std::string("70\0\0", 4));
  EXPECT_EQ(feature({32, 0, 0, 9, 0, 70, 0, 0}), std::string("70\0\0", 4));
  EXPECT_EQ(feature({33, 0, 0, 1, 0, 5, 0, 0}), std::string("610\0", 4));
  EXPECT_EQ(feature({33, 0, 0, 3, 0, 5, 0, 0}), std::string("620\0", 4));
  EXPECT_EQ(feature({33, 0, 0, 2, 0, 5, 0, 0}), "keep") << "QO groups have no feature number";
  EXPECT_EQ(feature({32, 0, 0, 9, 0, 71}), "keep");
  EXPECT_EQ(feature({32, 0, 0, 9, 0, 70, 0}), "keep") << "7 bytes: not looked up";

  char d[4] = {};
  const Bytes special = {33, 0, 0, 1, 0, 5, 0, 0};
  EXPECT_EQ(dir_.FindSpecialDevice(special.data(), 8, d), 1);
  EXPECT_EQ(std::string(d, 3), "611");
  const Bytes other = {33, 0, 0, 3, 0, 5, 0, 0};
  EXPECT_EQ(dir_.FindSpecialDevice(other.data(), 8, d), 0);
  const Bytes wrongKind = {32, 0, 0, 1, 0, 5, 0, 0};
  EXPECT_EQ(dir_.FindSpecialDevice(wrongKind.data(), 8, d), 0);
  EXPECT_EQ(dir_.FindSpecialDevice(special.data(), 6, d), 1) << "not 8 bytes: no lookup";

  char bv[5] = "keep";
  const Bytes bv2 = {35, 2};
  dir_.FindIndexDevice(bv2.data(), 2, bv);
  EXPECT_EQ(std::string(bv, 3), "725");
  char none[5] = "keep";
  const Bytes bv1 = {35, 1};
  dir_.FindIndexDevice(bv1.data(), 2, none);
  EXPECT_STREQ(none, "keep");

  EXPECT_EQ(dir_.IsFeatureNumber("6", 1), 1);
  EXPECT_EQ(dir_.IsFeatureNumber("61", 2), 1);
  EXPECT_EQ(dir_.IsFeatureNumber("63", 2), 0);
  EXPECT_EQ(dir_.IsFeatureNumber("7000", 4), 0);
}

TEST_F(DeviceDirectoryTest, AnEmptyDirectoryFindsNothing) {
  PbxDeviceDirectory empty(&cti_);
  for (const Bytes& p : {Bytes{1, 0x01, 0x23}, Bytes{1, 0, 0, 0, 0, '1', 0}, Bytes{2, 0, 0, 0, 1},
                         Bytes{10, 1}, Bytes{35, 1}}) {
    uint32_t key = 0;
    EXPECT_EQ(empty.DecodeDevice(p.data(), static_cast<uint32_t>(p.size()), &key, 1),
              kDecodeNotFound);
  }
  EXPECT_EQ(empty.FindExtensionById(1), 0u);
  uint8_t out[16];
  EXPECT_EQ(empty.EncodeDevice(0, out, sizeof out), kEncodeBad);
}

}  // namespace
}  // namespace qrvn::provider
