// The line and address queries through their exported functions, against a model whose
// blocks hold the initial values of every kind of line: the answers field by field, partial
// answers, texts and device-specific parts, version negotiation and address lookup.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "line_model_fixture.h"
#include "provider/core/provider_log.h"
#include "provider/queries/initial_blocks.h"
#include "provider/queries/pbx_charmap.h"
#include "provider_test_support.h"
#include "tapi/tspi.h"
#include "tests/support/temp_root.h"

namespace qrvn::provider {
namespace {

using testing::ExtensionRecord;
using testing::LineSpec;
using testing::TrunkRecord;

constexpr uint32_t kBase = 10;
constexpr uint8_t kFill = 0xCD;
constexpr uint32_t kGuard = 64;

enum Line : uint32_t {
  kSys,
  kQo,
  kTr,
  kRm,
  kBv,
  kDoor,
  kDisa,
  kInPage,
  kCo,
  kCo2,
  kExt,
  kVps,
  kExt101,
  kCount
};

const uint8_t kReminder[4] = {1, 0x07, 0x30, 0x10};  // 7:30 pm, once

std::vector<LineSpec> StandardLines() {
  return {
      {kLineSystem, 1, "SYSTEM", "", "", {}},
      {kLineQueue, 2, "QO0001", "", "", {}},
      {kLineQueue, 16, "TR0001", "", "", {}},
      {kLineRm, 32, "RM0001", "", "", {}},
      {kLineBv, 48, "BV0001", "", "", {}},
      {kLineDoorPhone, 256, "DOOR0001", "0001", "71", {}},
      {kLineDisa, 512, "DISA0001", "0001", "", {}},
      {kLinePaging, 768, "INPAGE0001", "0001", "", {}},
      {kLineTrunk, 4096, "CO0001", "0001", "1", TrunkRecord(1, "", 0, 0x0102)},
      {kLineTrunk, 8193, "CO0002", "0002", "2", TrunkRecord(2, "CITY1", 2)},
      {kLineExtension, 12288, "EXT0001", "21", "21",
       ExtensionRecord(0x1000, 1, "21", "ANNA", 0, 3, kReminder, 0x55)},
      {kLineExtension, 24576, "EXT0002", "301", "301", ExtensionRecord(0x1001, 0, "301", "", 6)},
      {kLineExtension, 12289, "EXT0003", "101", "101", ExtensionRecord(0x1002, 1, "101", "", 0)},
  };
}

InitialBlockValues Values(uint32_t cti = 0x13000, uint32_t pbxType = 1) {
  InitialBlockValues v;
  v.pbxType = pbxType;
  v.ctiVersion = cti;
  v.romVersion = "V2.10";
  v.doorPhones = 1;
  v.disa = 1;
  v.paging = 1;
  v.trunks = 2;
  v.extensions = 3;
  return v;
}

// A caller's structure of total bytes, followed by guard bytes that must stay untouched.
class Caller {
 public:
  explicit Caller(uint32_t total) : total_(total), bytes_(total + kGuard, kFill) {
    std::memcpy(bytes_.data(), &total, 4);
  }
  template <typename T>
  T* As() {
    return reinterpret_cast<T*>(bytes_.data());
  }
  uint32_t Word(uint32_t offset) const {
    uint32_t v = 0;
    std::memcpy(&v, bytes_.data() + offset, 4);
    return v;
  }
  std::u16string Wide(uint32_t offset, uint32_t size) const {
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), bytes_.data() + offset, size);
    if (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
  }
  std::string Ansi(uint32_t offset) const {
    return reinterpret_cast<const char*>(bytes_.data() + offset);
  }
  const uint8_t* Bytes(uint32_t offset) const { return bytes_.data() + offset; }
  // True when nothing past dwTotalSize was written.
  bool GuardIntact() const {
    for (uint32_t i = total_; i < bytes_.size(); ++i)
      if (bytes_[i] != kFill) return false;
    return true;
  }

 private:
  uint32_t total_;
  std::vector<uint8_t> bytes_;
};

class LineQueriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProcessAttach());
    SetProviderLogSettings({1, 4000000});
  }
  void TearDown() override {
    provider_.reset();
    ProcessDetach();
    SetProviderLogSettings({0, 0});
  }
  void Make(const InitialBlockValues& values = Values(), uint32_t country = 0,
            std::vector<LineSpec> lines = StandardLines()) {
    provider_.reset();
    provider_ = std::make_unique<testing::TestProvider>(lines, values, kBase, country);
  }
  LineDevice& L(uint32_t i) { return provider_->Line(i); }
  HDRVLINE H(uint32_t i) { return provider_->Handle(i); }
  LONG DevCaps(uint32_t i, Caller& c) {
    return TSPI_lineGetDevCaps(kBase + i, 0x20001, 0, c.As<LINEDEVCAPS>());
  }
  LONG AddressCaps(uint32_t i, Caller& c) {
    return TSPI_lineGetAddressCaps(kBase + i, 0, 0x20001, 0, c.As<LINEADDRESSCAPS>());
  }
  LONG AddressStatus(uint32_t i, Caller& c) {
    return TSPI_lineGetAddressStatus(H(i), 0, c.As<LINEADDRESSSTATUS>());
  }
  LINEADDRESSSTATUS& ModelStatus(uint32_t i) { return *L(i).addressTable[0]->addressStatus; }
  uint8_t* ModelArea(uint32_t i) {
    return reinterpret_cast<uint8_t*>(&ModelStatus(i)) + kAddressStatusAreaOffset;
  }

  testing::TempRoot root_;
  std::unique_ptr<testing::TestProvider> provider_;
};

// The values of every kind of line, as the four queries answer them.
struct KindRow {
  uint32_t line;
  DWORD addressModes, mediaModes, maxRate, lineStates, maxActive, answerMode, monitorDigits,
      gatherMax, lineFeatures, settable;
  DWORD statusFlags, statusFeatures;
  DWORD addressStates, callStates, dialTone, busy, callFeatures, addressMaxActive, addressFeatures;
};

TEST_F(LineQueriesTest, EveryKindAnswersItsInitialValues) {
  Make();
  constexpr DWORD kAll = 0xFFFFFFFF;
  const KindRow rows[] = {
      {kSys, 0, 4, 19200, 0x14606C0, 0, 1, 0, 0, 0, 7, 4, 1, 0, 0, 1, 1, 0, 0, 0},
      {kQo, 2, 4, 19200, 0x4606C0, kAll, 1, 0, 0, 1, 5, 4, 0, 0x102, 0x103, 1, 0, 0x80000000, 0, 0},
      {kTr, 2, 4, 19200, 0x4606C0, kAll, 1, 0,          0,    1,
       5,   4, 0, 0x102, 0x139,    1,    0, 0x80000000, kAll, 0},
      {kRm, 2, 4, 19200, 0x406C0, 1, 1, 0, 0, 0, 5, 4, 0, 0x102, 0x103, 1, 0, 0x80000000, 1, 0},
      {kBv, 2, 4, 19200, 0x406C0, 1, 1, 0, 0, 0, 5, 4, 0, 0x102, 0x103, 1, 0, 0x80000000, 1, 0},
      {kDoor, 2, 4, 19200, 0x4406C0, 1, 1, 0, 0, 0, 7, 4, 0, 0, 0x4161, 1, 1, 0x80000000, kAll, 0},
      {kDisa, 2, 8, 19200, 0x4400C0, 1, 1, 0,          0,    0,
       7,     4, 0, 0x40,  0x4163,   1, 1, 0x80000000, kAll, 0},
      {kInPage, 2, 4, 19200, 0x4406C0, 1, 1, 0,          0,    0,
       7,       4, 0, 0,     0x4140,   1, 1, 0x80000000, kAll, 0},
      {kCo, 1, 4, 19200, 0x4606C0, 1, 1, 0, 0, 0, 5, 5, 1, 4, 0x4943, 0, 2, 0x80000000, kAll, 0},
      {kCo2, 1, 4, 56000, 0x4606C0, 1, 1, 0, 0, 0, 5, 5, 1, 4, 0x4943, 0, 2, 0x80000000, kAll, 0},
      {kExt, 2, 4,   19200, 0x4616F0, 1, 4, 3,          180000, 0x4C,
       7,    4, 0xD, 0x142, 0x5D7B,   1, 1, 0x8F0789FE, kAll,   0xE7},
      {kVps, 2, 8, 19200, 0x4406C0, 1, 4, 0, 0, 0x48, 7, 0, 8, 0, 0x4172, 1, 1, 0x800200D4, 1, 0},
  };
  for (const KindRow& r : rows) {
    SCOPED_TRACE(L(r.line).name);
    Caller caps(2048);
    ASSERT_EQ(DevCaps(r.line, caps), 0);
    const LINEDEVCAPS& d = *caps.As<LINEDEVCAPS>();
    EXPECT_EQ(d.dwStringFormat, STRINGFORMAT_UNICODE);
    EXPECT_EQ(d.dwNumAddresses, 1u);
    EXPECT_EQ(d.dwBearerModes, LINEBEARERMODE_VOICE);
    EXPECT_EQ(d.dwRingModes, 1u);
    EXPECT_EQ(d.dwPermanentLineID, (0x1Au << 16) | L(r.line).deviceNumber);
    EXPECT_EQ(d.dwAddressModes, r.addressModes);
    EXPECT_EQ(d.dwMediaModes, r.mediaModes);
    EXPECT_EQ(d.dwMaxRate, r.maxRate);
    EXPECT_EQ(d.dwLineStates, r.lineStates);
    EXPECT_EQ(d.dwMaxNumActiveCalls, r.maxActive);
    EXPECT_EQ(d.dwAnswerMode, r.answerMode);
    EXPECT_EQ(d.dwMonitorDigitModes, r.monitorDigits);
    EXPECT_EQ(d.dwGatherDigitsMinTimeout, 0u);
    EXPECT_EQ(d.dwGatherDigitsMaxTimeout, r.gatherMax);
    EXPECT_EQ(d.dwLineFeatures, r.lineFeatures);
    EXPECT_EQ(d.dwSettableDevStatus, r.settable);
    EXPECT_EQ(caps.Wide(d.dwDeviceClassesOffset, d.dwDeviceClassesSize), u"tapi/line");
    EXPECT_EQ(d.dwDeviceClassesSize, 20u);
    EXPECT_EQ(d.dwNeededSize, d.dwUsedSize);
    EXPECT_TRUE(caps.GuardIntact());

    Caller status(1024);
    ASSERT_EQ(TSPI_lineGetLineDevStatus(H(r.line), status.As<LINEDEVSTATUS>()), 0);
    EXPECT_EQ(status.As<LINEDEVSTATUS>()->dwDevStatusFlags, r.statusFlags);
    EXPECT_EQ(status.As<LINEDEVSTATUS>()->dwLineFeatures, r.statusFeatures);

    Caller address(2048);
    ASSERT_EQ(AddressCaps(r.line, address), 0);
    const LINEADDRESSCAPS& a = *address.As<LINEADDRESSCAPS>();
    EXPECT_EQ(a.dwAddressSharing, LINEADDRESSSHARING_PRIVATE);
    EXPECT_EQ(a.dwAddressStates, r.addressStates);
    EXPECT_EQ(a.dwCallStates, r.callStates);
    EXPECT_EQ(a.dwDialToneModes, r.dialTone);
    EXPECT_EQ(a.dwBusyModes, r.busy);
    EXPECT_EQ(a.dwCallFeatures, r.callFeatures);
    EXPECT_EQ(a.dwMaxNumActiveCalls, r.addressMaxActive);
    EXPECT_EQ(a.dwLineDeviceID, r.line);
    EXPECT_EQ(address.Wide(a.dwDeviceClassesOffset, a.dwDeviceClassesSize), u"tapi/line");

    Caller addressStatus(2048);
    ASSERT_EQ(AddressStatus(r.line, addressStatus), 0);
    EXPECT_EQ(addressStatus.As<LINEADDRESSSTATUS>()->dwNumInUse, 1u);
    EXPECT_EQ(addressStatus.As<LINEADDRESSSTATUS>()->dwAddressFeatures, r.addressFeatures);
    EXPECT_EQ(L(r.line).requestCount, 0u);
  }
}

TEST_F(LineQueriesTest, AddressCapsFollowTheCommonAndPerKindRules) {
  Make();
  Caller sys(2048), ext(2048), co(2048);
  ASSERT_EQ(AddressCaps(kSys, sys), 0);
  ASSERT_EQ(AddressCaps(kExt, ext), 0);
  ASSERT_EQ(AddressCaps(kCo, co), 0);
  const LINEADDRESSCAPS& s = *sys.As<LINEADDRESSCAPS>();
  EXPECT_EQ(s.dwCallInfoStates, 0u);
  EXPECT_EQ(s.dwCallerIDFlags, 0x40u);
  EXPECT_EQ(s.dwDisconnectModes, 0u);
  EXPECT_EQ(s.dwMaxNumTransConf, 0u);
  EXPECT_EQ(s.dwAddressSize, 0u);  // no address text, no device-specific part on kind 9
  EXPECT_EQ(s.dwDevSpecificSize, 0u);
  EXPECT_EQ(s.dwNeededSize, 228u + 20u);
  const LINEADDRESSCAPS& e = *ext.As<LINEADDRESSCAPS>();
  EXPECT_EQ(e.dwCallInfoStates, 0xFFF80u);
  EXPECT_EQ(e.dwCallerIDFlags, 0xCu);
  EXPECT_EQ(e.dwConnectedIDFlags, 0x40u);
  EXPECT_EQ(e.dwDisconnectModes, LINEDISCONNECTMODE_NORMAL);
  EXPECT_EQ(e.dwAddrCapFlags, 0x605BE2u);
  EXPECT_EQ(e.dwForwardModes, 0x1111u);
  EXPECT_EQ(e.dwMaxForwardEntries, 1u);
  EXPECT_EQ(e.dwCallCompletionModes, 6u);
  EXPECT_EQ(e.dwMaxNumOnHoldCalls, 0xFFFFFFFFu);
  EXPECT_EQ(e.dwMaxNumTransConf, 1u);
  EXPECT_EQ(ext.Wide(e.dwAddressOffset, e.dwAddressSize), u"21");
  EXPECT_EQ(e.dwAddressOffset, 228u);
  EXPECT_EQ(e.dwDevSpecificSize, 8u);
  EXPECT_EQ(ext.Word(e.dwDevSpecificOffset), 12288u);  // the line's PBX device number
  EXPECT_EQ(ext.Word(e.dwDevSpecificOffset + 4), 0u);  // ordinary extension type
  const LINEADDRESSCAPS& c = *co.As<LINEADDRESSCAPS>();
  EXPECT_EQ(co.Wide(c.dwAddressOffset, c.dwAddressSize), u"1");
  EXPECT_EQ(co.Word(c.dwDevSpecificOffset), 1u);  // trunk number and type
  EXPECT_EQ(co.Word(c.dwDevSpecificOffset + 4), 0u);
  EXPECT_EQ(c.dwCallTreatmentListSize, 0u);

  // A CTI 1.2 PBX in country group 1.
  InitialBlockValues v = Values(0x12000);
  v.countryGroup = 1;
  Make(v);
  Caller old(2048);
  ASSERT_EQ(AddressCaps(kExt, old), 0);
  const LINEADDRESSCAPS& o = *old.As<LINEADDRESSCAPS>();
  EXPECT_EQ(o.dwCallStates, 9u);
  EXPECT_EQ(o.dwBusyModes, 0u);
  EXPECT_EQ(o.dwCallFeatures, 0u);
  EXPECT_EQ(o.dwTransferModes, 0u);
  EXPECT_EQ(o.dwDisconnectModes, 0xC06A0u);
  EXPECT_EQ(o.dwForwardModes, 0x17777u);
  EXPECT_EQ(o.dwMaxSpecificEntries, 2u);
  EXPECT_EQ(o.dwNumCallTreatments, 14u);
  Caller oldStatus(2048);
  ASSERT_EQ(AddressStatus(kExt, oldStatus), 0);
  EXPECT_EQ(oldStatus.As<LINEADDRESSSTATUS>()->dwAddressFeatures, 1u);
}

TEST_F(LineQueriesTest, ExtensionsCarryTheCallTreatmentListWithMovedNameOffsets) {
  Make();
  Caller ext(2048);
  ASSERT_EQ(AddressCaps(kExt, ext), 0);
  const LINEADDRESSCAPS& e = *ext.As<LINEADDRESSCAPS>();
  EXPECT_EQ(e.dwNumCallTreatments, 14u);
  EXPECT_EQ(e.dwCallTreatmentListSize, 296u);
  // Address text "21" (6 bytes, padded to 8) at 228, device-specific 8 bytes at 236, list at 244.
  EXPECT_EQ(e.dwCallTreatmentListOffset, 244u);
  const DWORD ids[14] = {1,     3,     0x200, 0x201, 0x202, 0x203, 0x211,
                         0x212, 0x213, 0x214, 0x231, 0x232, 0x233, 0x234};
  const char* names[14] = {"SILENCE",  "BUSY",  "CONFIRM1", "CONFIRM2", "CONFIRM3",
                           "CONFIRM4", "OGM01", "OGM02",    "OGM03",    "OGM04",
                           "BGM01",    "BGM02", "BGM03",    "BGM04"};
  uint32_t expectedName = 244 + 168;
  for (uint32_t i = 0; i < 14; ++i) {
    const uint32_t entry = e.dwCallTreatmentListOffset + 12 * i;
    EXPECT_EQ(ext.Word(entry), ids[i]);
    EXPECT_EQ(ext.Word(entry + 4), std::strlen(names[i]) + 1);
    EXPECT_EQ(ext.Word(entry + 8), expectedName);
    EXPECT_EQ(ext.Ansi(ext.Word(entry + 8)), names[i]);
    expectedName += (std::strlen(names[i]) + 4) & ~size_t{3};
  }
  EXPECT_EQ(e.dwDeviceClassesOffset, 244u + 296u);
  EXPECT_EQ(e.dwUsedSize, 244u + 296u + 20u);

  Caller vps(2048);
  ASSERT_EQ(AddressCaps(kVps, vps), 0);
  const LINEADDRESSCAPS& v = *vps.As<LINEADDRESSCAPS>();
  EXPECT_EQ(v.dwNumCallTreatments, 14u);
  EXPECT_EQ(v.dwCallTreatmentListSize, 0u);
  EXPECT_EQ(v.dwCallTreatmentListOffset, 0u);
  EXPECT_EQ(vps.Word(v.dwDevSpecificOffset + 4), 6u);  // voice-processing port
}

TEST_F(LineQueriesTest, DevCapsTextsNamesAndDeviceSpecificParts) {
  Make(Values(), 0x2C);
  Caller sys(2048);
  ASSERT_EQ(DevCaps(kSys, sys), 0);
  const LINEDEVCAPS& s = *sys.As<LINEDEVCAPS>();
  EXPECT_EQ(s.dwProviderInfoOffset, 252u);
  EXPECT_EQ(sys.Wide(s.dwProviderInfoOffset, s.dwProviderInfoSize), u"Tervolin QR-VN");
  EXPECT_EQ(sys.Wide(s.dwSwitchInfoOffset, s.dwSwitchInfoSize), u"V2.10");
  EXPECT_EQ(sys.Wide(s.dwLineNameOffset, s.dwLineNameSize), u"SYSTEM");
  ASSERT_EQ(s.dwDevSpecificSize, 24u);
  EXPECT_EQ(sys.Word(s.dwDevSpecificOffset), 1u | (0x2Cu << 16));  // VN2448 in country 0x2C
  const uint32_t counts[5] = {1, 1, 1, 2, 3};
  for (uint32_t w = 0; w < 5; ++w)
    EXPECT_EQ(sys.Word(s.dwDevSpecificOffset + 4 + 4 * w), counts[w]);
  EXPECT_EQ(s.dwUsedSize, s.dwDevSpecificOffset + 24);

  // An extension with dial number 21 is shown as EXT0021, not by its running number.
  Caller ext(2048);
  ASSERT_EQ(DevCaps(kExt, ext), 0);
  EXPECT_EQ(
      ext.Wide(ext.As<LINEDEVCAPS>()->dwLineNameOffset, ext.As<LINEDEVCAPS>()->dwLineNameSize),
      u"EXT0021");
  EXPECT_EQ(ext.As<LINEDEVCAPS>()->dwDevSpecificSize, 0u);
  Caller vps(2048);
  ASSERT_EQ(DevCaps(kVps, vps), 0);
  EXPECT_EQ(
      vps.Wide(vps.As<LINEDEVCAPS>()->dwLineNameOffset, vps.As<LINEDEVCAPS>()->dwLineNameSize),
      u"VPS0301");

  Caller disa(2048);
  ASSERT_EQ(DevCaps(kDisa, disa), 0);
  EXPECT_EQ(
      disa.Wide(disa.As<LINEDEVCAPS>()->dwLineNameOffset, disa.As<LINEDEVCAPS>()->dwLineNameSize),
      u"DISA0001");
  ASSERT_EQ(disa.As<LINEDEVCAPS>()->dwDevSpecificSize, 16u);
  for (uint32_t w = 0; w < 4; ++w)
    EXPECT_EQ(disa.Word(disa.As<LINEDEVCAPS>()->dwDevSpecificOffset + 4 * w), 0u);

  Make(Values(0x13000, 4));  // VN9000
  Caller ogm(2048);
  ASSERT_EQ(DevCaps(kDisa, ogm), 0);
  EXPECT_EQ(
      ogm.Wide(ogm.As<LINEDEVCAPS>()->dwLineNameOffset, ogm.As<LINEDEVCAPS>()->dwLineNameSize),
      u"OGM0001");
  EXPECT_EQ(ogm.As<LINEDEVCAPS>()->dwDevSpecificSize, 4u);

  // A ROM version of 30 characters does not fit: the line name follows the provider info.
  InitialBlockValues longRom = Values();
  longRom.romVersion = std::string(30, 'R');
  Make(longRom);
  Caller rom(2048);
  ASSERT_EQ(DevCaps(kRm, rom), 0);
  const LINEDEVCAPS& r = *rom.As<LINEDEVCAPS>();
  EXPECT_EQ(r.dwSwitchInfoSize, 0u);
  EXPECT_EQ(r.dwSwitchInfoOffset, 0u);
  EXPECT_EQ(r.dwLineNameOffset, 252u + 32u);  // 15 units of provider info = 30 bytes, padded
  EXPECT_EQ(rom.Wide(r.dwLineNameOffset, r.dwLineNameSize), u"RM0001");
}

TEST_F(LineQueriesTest, SmallStructuresGetPartialAnswers) {
  Make();
  // 12 bytes: only the needed size, nothing past the head.
  {
    Caller c(12);
    ASSERT_EQ(DevCaps(kSys, c), 0);
    EXPECT_GT(c.As<LINEDEVCAPS>()->dwNeededSize, 252u);
    EXPECT_EQ(c.As<LINEDEVCAPS>()->dwUsedSize, 12u);
    EXPECT_TRUE(c.GuardIntact());
    Caller a(12);
    ASSERT_EQ(AddressCaps(kExt, a), 0);
    EXPECT_EQ(a.As<LINEADDRESSCAPS>()->dwNeededSize, 228u + 8u + 8u + 296u + 20u);
    EXPECT_EQ(a.As<LINEADDRESSCAPS>()->dwUsedSize, 12u);
    EXPECT_TRUE(a.GuardIntact());
    Caller st(12);
    ASSERT_EQ(TSPI_lineGetLineDevStatus(H(kSys), st.As<LINEDEVSTATUS>()), 0);
    EXPECT_EQ(st.As<LINEDEVSTATUS>()->dwNeededSize, 96u);
    EXPECT_EQ(st.As<LINEDEVSTATUS>()->dwUsedSize, 12u);
    EXPECT_TRUE(st.GuardIntact());
    Caller as(12);
    ASSERT_EQ(AddressStatus(kCo, as), 0);
    EXPECT_EQ(as.As<LINEADDRESSSTATUS>()->dwNeededSize, 72u);
    EXPECT_EQ(as.As<LINEADDRESSSTATUS>()->dwUsedSize, 12u);
    EXPECT_TRUE(as.GuardIntact());
  }
  // The fixed size: every fixed field, variable parts all zero.
  {
    Caller c(252);
    ASSERT_EQ(DevCaps(kExt, c), 0);
    const LINEDEVCAPS& d = *c.As<LINEDEVCAPS>();
    EXPECT_EQ(d.dwTotalSize, 252u);
    EXPECT_EQ(d.dwUsedSize, 252u);
    EXPECT_GT(d.dwNeededSize, 252u);
    EXPECT_EQ(d.dwLineStates, 0x4616F0u);
    EXPECT_EQ(d.dwPermanentLineID, (0x1Au << 16) | 12288u);
    for (DWORD field :
         {d.dwProviderInfoSize, d.dwProviderInfoOffset, d.dwSwitchInfoSize, d.dwSwitchInfoOffset,
          d.dwLineNameSize, d.dwLineNameOffset, d.dwDevSpecificSize, d.dwDevSpecificOffset,
          d.dwDeviceClassesSize, d.dwDeviceClassesOffset}) {
      EXPECT_EQ(field, 0u);
    }
    EXPECT_TRUE(c.GuardIntact());
    Caller a(228);
    ASSERT_EQ(AddressCaps(kExt, a), 0);
    const LINEADDRESSCAPS& ac = *a.As<LINEADDRESSCAPS>();
    EXPECT_EQ(ac.dwUsedSize, 228u);
    EXPECT_EQ(ac.dwCallStates, 0x5D7Bu);
    EXPECT_EQ(ac.dwNumCallTreatments, 14u);
    for (DWORD field :
         {ac.dwAddressSize, ac.dwAddressOffset, ac.dwDevSpecificSize, ac.dwDevSpecificOffset,
          ac.dwCallTreatmentListSize, ac.dwCallTreatmentListOffset, ac.dwDeviceClassesSize,
          ac.dwDeviceClassesOffset}) {
      EXPECT_EQ(field, 0u);
    }
    EXPECT_TRUE(a.GuardIntact());
    Caller st(88);
    st.As<LINEDEVSTATUS>()->dwNumOpens = 7;
    ASSERT_EQ(TSPI_lineGetLineDevStatus(H(kSys), st.As<LINEDEVSTATUS>()), 0);
    EXPECT_EQ(st.As<LINEDEVSTATUS>()->dwUsedSize, 88u);
    EXPECT_EQ(st.As<LINEDEVSTATUS>()->dwNeededSize, 96u);
    EXPECT_EQ(st.As<LINEDEVSTATUS>()->dwDevSpecificSize, 0u);
    EXPECT_EQ(st.As<LINEDEVSTATUS>()->dwDevStatusFlags, LINEDEVSTATUSFLAGS_INSERVICE);
    EXPECT_TRUE(st.GuardIntact());
    Caller as(64);
    ASSERT_EQ(AddressStatus(kExt, as), 0);
    const LINEADDRESSSTATUS& s = *as.As<LINEADDRESSSTATUS>();
    EXPECT_EQ(s.dwUsedSize, 64u);
    EXPECT_EQ(s.dwAddressFeatures, 0xE7u);
    EXPECT_EQ(s.dwForwardSize, 0u);
    EXPECT_EQ(s.dwDevSpecificOffset, 0u);
    EXPECT_TRUE(as.GuardIntact());
  }
  // Structures that cannot take their head.
  Caller tiny(8);
  EXPECT_EQ(DevCaps(kSys, tiny), LINEERR_STRUCTURETOOSMALL);
  EXPECT_TRUE(tiny.GuardIntact());
  EXPECT_EQ(TSPI_lineGetDevCaps(kBase, 0x20001, 0, nullptr), LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(TSPI_lineGetAddressCaps(kBase, 0, 0x20001, 0, nullptr), LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(TSPI_lineGetLineDevStatus(H(0), nullptr), LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(TSPI_lineGetAddressStatus(H(0), 0, nullptr), LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(L(0).requestCount, 0u);
}

TEST_F(LineQueriesTest, LineDevStatusShowsLineControlAndTheSystemWords) {
  Make();
  Caller sys(96);
  sys.As<LINEDEVSTATUS>()->dwNumOpens = 3;
  sys.As<LINEDEVSTATUS>()->dwOpenMediaModes = 4;
  ASSERT_EQ(TSPI_lineGetLineDevStatus(H(kSys), sys.As<LINEDEVSTATUS>()), 0);
  const LINEDEVSTATUS& s = *sys.As<LINEDEVSTATUS>();
  EXPECT_EQ(s.dwTotalSize, 96u);
  EXPECT_EQ(s.dwUsedSize, 96u);
  EXPECT_EQ(s.dwNumOpens, 3u);  // the caller's own values stay
  EXPECT_EQ(s.dwOpenMediaModes, 4u);
  EXPECT_EQ(s.dwDevSpecificOffset, 88u);
  EXPECT_EQ(s.dwDevSpecificSize, 8u);
  EXPECT_EQ(sys.Word(88), 0u);  // notification flag off on CTI 1.3
  EXPECT_EQ(sys.Word(92), 2u);  // system status normal
  EXPECT_TRUE(sys.GuardIntact());

  struct Case {
    uint16_t flag;
    DWORD expected;
  };
  for (Case c : {Case{0, 4u}, Case{1, 0u}, Case{3, 4u}}) {
    SCOPED_TRACE(c.flag);
    L(kExt).lineControlFlag = c.flag;
    Caller ext(88);
    ASSERT_EQ(TSPI_lineGetLineDevStatus(H(kExt), ext.As<LINEDEVSTATUS>()), 0);
    EXPECT_EQ(ext.As<LINEDEVSTATUS>()->dwDevStatusFlags, c.expected);
    EXPECT_EQ(ext.As<LINEDEVSTATUS>()->dwUsedSize, 88u);
    EXPECT_EQ(ext.As<LINEDEVSTATUS>()->dwDevSpecificSize, 0u);
  }

  Make(Values(0x12000));
  Caller old(96);
  ASSERT_EQ(TSPI_lineGetLineDevStatus(H(kSys), old.As<LINEDEVSTATUS>()), 0);
  EXPECT_EQ(old.Word(88), 1u);
  EXPECT_EQ(old.Word(92), 0u);
}

TEST_F(LineQueriesTest, TrunkStatusCarriesItsConvertedText) {
  Make();
  Caller none(256);
  ASSERT_EQ(AddressStatus(kCo, none), 0);
  const LINEADDRESSSTATUS& n = *none.As<LINEADDRESSSTATUS>();
  EXPECT_EQ(n.dwDevSpecificOffset, 64u);
  EXPECT_EQ(n.dwDevSpecificSize, 8u);
  EXPECT_EQ(none.Word(64), 0u);
  EXPECT_EQ(none.Word(68), 0u);
  EXPECT_EQ(n.dwForwardSize, 0u);
  EXPECT_EQ(n.dwUsedSize, 72u);

  Caller text(256);
  ASSERT_EQ(AddressStatus(kCo2, text), 0);
  const LINEADDRESSSTATUS& t = *text.As<LINEADDRESSSTATUS>();
  EXPECT_EQ(t.dwDevSpecificSize, 16u);
  EXPECT_EQ(text.Word(64), 6u);
  EXPECT_EQ(text.Word(68), 72u);
  EXPECT_EQ(text.Ansi(72), "CITY1");
  EXPECT_EQ(t.dwNeededSize, 80u);

  // PBX bytes: 0x80 is O with diaeresis (0xD6 in CP1252), 0x8B (Gamma) has no ANSI form,
  // control bytes show as blanks; the model itself is not changed.
  uint8_t* area = ModelArea(kCo2);
  const uint8_t pbx[] = {'A', 0x80, 0x8B, 0x07, 'Z', 0};
  std::memcpy(area + kTrunkTextByte, pbx, sizeof pbx);
  Caller mapped(256);
  ASSERT_EQ(AddressStatus(kCo2, mapped), 0);
  EXPECT_EQ(mapped.Ansi(72), std::string("A\xD6  Z"));
  EXPECT_EQ(area[kTrunkTextByte + 1], 0x80);
}

TEST_F(LineQueriesTest, ExtensionStatusLaysOutItsDeviceSpecificParts) {
  Make();
  // Without name, records, groups or waiting messages: a 72-byte header and 140 zero bytes.
  Caller plain(1024);
  ASSERT_EQ(AddressStatus(kExt101, plain), 0);
  const LINEADDRESSSTATUS& p = *plain.As<LINEADDRESSSTATUS>();
  EXPECT_EQ(p.dwForwardSize, 0u);
  EXPECT_EQ(p.dwDevSpecificOffset, 64u);
  EXPECT_EQ(p.dwDevSpecificSize, 72u + 140u);
  for (uint32_t w : {7u, 8u, 11u, 12u, 13u, 14u}) EXPECT_EQ(plain.Word(64 + 4 * w), 0u) << w;
  EXPECT_EQ(plain.Word(64 + 4 * 15), 140u);
  EXPECT_EQ(plain.Word(64 + 4 * 16), 64u + 72u);
  EXPECT_EQ(p.dwUsedSize, 64u + 72u + 140u);

  // The ANNA extension: class of service 3, reminder 7:30 pm, name; add a forward entry, an
  // accounting record with two texts, a group list and two waiting messages.
  LINEADDRESSSTATUS& model = ModelStatus(kExt);
  uint8_t* area = ModelArea(kExt);
  model.dwForwardNumEntries = 1;
  model.dwForwardSize = 20;
  SetBlockWord(&model, 64, 0xF0F0);
  SetBlockWord(area, kAccountingByte, 490);
  // Its texts lie from byte 284 of the area on; their offsets count from the block's start.
  SetBlockWord(area, kAccountingByte + kAccountingPairsByte, 4);  // "201"
  SetBlockWord(area, kAccountingByte + kAccountingPairsByte + 4, 220 + 284);
  std::memcpy(area + 284, "201", 4);
  SetBlockWord(area, kAccountingByte + kAccountingPairsByte + 8 * 11, 6);  // "HELLO"
  SetBlockWord(area, kAccountingByte + kAccountingPairsByte + 8 * 11 + 4, 220 + 288);
  std::memcpy(area + 288, "HELLO", 6);
  auto* groups = static_cast<uint32_t*>(AllocMemory(kPoolZeroInit, 24));
  groups[0] = 7;
  groups[5] = 9;
  SetBlockWord(area, 4 * kExtGroupCount, 2);
  SetBlockWord(area, 4 * kExtGroupSize, 24);
  SetBlockWord(area, 4 * kExtGroupList, BlockSerial(groups));
  auto* waiting = static_cast<char*>(AllocMemory(kPoolZeroInit, 8));
  std::memcpy(waiting, "2101", 4);
  std::memcpy(waiting + 4, "33\0\0", 4);
  SetBlockWord(area, 4 * kExtMessageWaitingCount, 2);
  SetBlockWord(area, 4 * kExtMessageWaitingList, BlockSerial(waiting));

  Caller full(1024);
  ASSERT_EQ(AddressStatus(kExt, full), 0);
  const LINEADDRESSSTATUS& f = *full.As<LINEADDRESSSTATUS>();
  EXPECT_EQ(f.dwForwardNumEntries, 1u);
  EXPECT_EQ(f.dwForwardOffset, 64u);
  EXPECT_EQ(f.dwForwardSize, 20u);
  EXPECT_EQ(full.Word(64), 0xF0F0u);
  const uint32_t h = 84;
  EXPECT_EQ(f.dwDevSpecificOffset, h);
  EXPECT_EQ(full.Word(h), 3u);                        // class of service
  EXPECT_EQ(full.Word(h + 4), 19u * 2048 + 30 * 32);  // 7:30 pm
  EXPECT_EQ(full.Word(h + 12), 0u);                   // once
  EXPECT_EQ(full.Word(h + 4 * 7), 5u);                // "ANNA" and its terminator
  EXPECT_EQ(full.Word(h + 4 * 8), h + 72);
  EXPECT_EQ(full.Ansi(h + 72), "ANNA");
  const uint32_t record = h + 72 + 8;
  EXPECT_EQ(full.Word(h + 4 * 16), record);
  EXPECT_EQ(full.Word(h + 4 * 15), 140u + 4u + 8u);
  EXPECT_EQ(full.Word(record), 490u);
  EXPECT_EQ(full.Word(record + kAccountingPairsByte + 4), record + 140);
  EXPECT_EQ(full.Ansi(record + 140), "201");
  EXPECT_EQ(full.Word(record + kAccountingPairsByte + 8 * 11 + 4), record + 144);
  EXPECT_EQ(full.Ansi(record + 144), "HELLO");
  EXPECT_EQ(full.Word(record + kAccountingPairsByte + 8 * 2 + 4), 0u);  // absent texts
  const uint32_t group = record + 152;
  EXPECT_EQ(full.Word(h + 4 * 10), 2u);
  EXPECT_EQ(full.Word(h + 4 * 11), 24u);
  EXPECT_EQ(full.Word(h + 4 * 12), group);
  EXPECT_EQ(full.Word(group), 7u);
  EXPECT_EQ(full.Word(group + 20), 9u);
  const uint32_t mw = group + 24;
  EXPECT_EQ(full.Word(h + 4 * 14), mw);
  EXPECT_EQ(full.Word(h + 4 * 13), 8u + 16u + 8u + 4u);
  EXPECT_EQ(full.Word(mw), 36u);
  EXPECT_EQ(full.Word(mw + 4), 2u);
  EXPECT_EQ(full.Word(mw + 8), 5u);
  EXPECT_EQ(full.Ansi(full.Word(mw + 12)), "2101");
  EXPECT_EQ(full.Word(mw + 16), 3u);
  EXPECT_EQ(full.Ansi(full.Word(mw + 20)), "33");
  EXPECT_EQ(f.dwUsedSize, mw + 36);
  EXPECT_EQ(f.dwNeededSize, 136u + 8u + 20u + 152u + 36u + 24u);
  EXPECT_EQ(f.dwDevSpecificSize, f.dwUsedSize - h);

  // A list whose block is gone is left out, never followed.
  FreeMemory(waiting);
  Caller stale(1024);
  ASSERT_EQ(AddressStatus(kExt, stale), 0);
  EXPECT_EQ(stale.Word(h + 4 * 13), 0u);
  EXPECT_EQ(stale.Word(h + 4 * 14), 0u);
  FreeMemory(groups);
}

TEST_F(LineQueriesTest, QueueSystemAndOtherLinesStatus) {
  Make();
  Caller queue(256);
  ASSERT_EQ(AddressStatus(kQo, queue), 0);
  EXPECT_EQ(queue.As<LINEADDRESSSTATUS>()->dwDevSpecificSize, 12u);
  for (uint32_t b = 64; b < 76; b += 4) EXPECT_EQ(queue.Word(b), 0u);
  auto* members = static_cast<uint32_t*>(AllocMemory(kPoolZeroInit, 24));
  members[2] = kBase + kExt;
  SetBlockWord(ModelArea(kQo), 0, 2);
  SetBlockWord(ModelArea(kQo), 4, 24);
  SetBlockWord(ModelArea(kQo), 12, BlockSerial(members));
  Caller listed(256);
  ASSERT_EQ(AddressStatus(kQo, listed), 0);
  EXPECT_EQ(listed.Word(64), 2u);
  EXPECT_EQ(listed.Word(68), 24u);
  EXPECT_EQ(listed.Word(72), 76u);
  EXPECT_EQ(listed.Word(76 + 8), kBase + kExt);
  EXPECT_EQ(listed.As<LINEADDRESSSTATUS>()->dwUsedSize, 100u);
  FreeMemory(members);

  Caller sys(512);
  ASSERT_EQ(AddressStatus(kSys, sys), 0);
  EXPECT_EQ(sys.Word(64), 140u);
  EXPECT_EQ(sys.Word(68), 72u);
  EXPECT_EQ(sys.As<LINEADDRESSSTATUS>()->dwUsedSize, 212u);

  Caller door(256);
  ASSERT_EQ(AddressStatus(kDoor, door), 0);
  EXPECT_EQ(door.As<LINEADDRESSSTATUS>()->dwUsedSize, 64u);
  EXPECT_EQ(door.As<LINEADDRESSSTATUS>()->dwDevSpecificSize, 0u);

  Caller bad(256);
  EXPECT_EQ(TSPI_lineGetAddressStatus(H(kDoor), 1, bad.As<LINEADDRESSSTATUS>()),
            LINEERR_INVALADDRESSID);
  EXPECT_EQ(TSPI_lineGetAddressCaps(kBase + kDoor, 1, 0x20001, 0, bad.As<LINEADDRESSCAPS>()),
            LINEERR_INVALADDRESSID);
  EXPECT_TRUE(bad.GuardIntact());
  EXPECT_EQ(L(kDoor).requestCount, 0u);
}

TEST_F(LineQueriesTest, BadDevicesHandlesAndVersionsAreRefused) {
  Make();
  Caller c(2048);
  EXPECT_EQ(TSPI_lineGetDevCaps(kBase - 1, 0x20001, 0, c.As<LINEDEVCAPS>()),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TSPI_lineGetDevCaps(kBase + kCount, 0x20001, 0, c.As<LINEDEVCAPS>()),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TSPI_lineGetDevCaps(kBase, 0x20002, 0, c.As<LINEDEVCAPS>()),
            LINEERR_INCOMPATIBLEAPIVERSION);
  EXPECT_EQ(TSPI_lineGetDevCaps(kBase, 0x20001, 0x10003, c.As<LINEDEVCAPS>()),
            LINEERR_INCOMPATIBLEEXTVERSION);
  EXPECT_EQ(TSPI_lineGetDevCaps(kBase, 0x20001, 0x10002, c.As<LINEDEVCAPS>()), 0);
  EXPECT_EQ(TSPI_lineGetAddressCaps(kBase + kCount, 0, 0x20001, 0, c.As<LINEADDRESSCAPS>()),
            LINEERR_INVALADDRESSID);
  EXPECT_EQ(TSPI_lineGetAddressCaps(kBase, 0, 0x30000, 0, c.As<LINEADDRESSCAPS>()),
            LINEERR_INCOMPATIBLEAPIVERSION);
  EXPECT_EQ(L(0).requestCount, 0u);

  // Handles that are not a line record of the live model: inside a record, before the table,
  // any number, and every record once the model is released.
  auto* inside = reinterpret_cast<HDRVLINE>(reinterpret_cast<uint8_t*>(&L(kExt)) + 4);
  auto* nowhere = reinterpret_cast<HDRVLINE>(uintptr_t{0x1234});
  for (HDRVLINE bad : {inside, nowhere, static_cast<HDRVLINE>(nullptr)}) {
    EXPECT_EQ(TSPI_lineGetLineDevStatus(bad, c.As<LINEDEVSTATUS>()), LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(TSPI_lineGetAddressStatus(bad, 0, c.As<LINEADDRESSSTATUS>()),
              LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(TSPI_lineSelectExtVersion(bad, 0), LINEERR_INVALLINEHANDLE);
    DWORD n = 0;
    EXPECT_EQ(TSPI_lineGetNumAddressIDs(bad, &n), LINEERR_INVALLINEHANDLE);
  }
  HDRVLINE stale = H(kExt);
  provider_->Session().Release();
  EXPECT_EQ(TSPI_lineGetLineDevStatus(stale, c.As<LINEDEVSTATUS>()), LINEERR_INVALLINEHANDLE);
  EXPECT_EQ(TSPI_lineGetAddressStatus(stale, 0, c.As<LINEADDRESSSTATUS>()),
            LINEERR_INVALLINEHANDLE);
  DWORD id = 0;
  EXPECT_EQ(TSPI_lineGetAddressID(stale, &id, 1, u"21", 6), LINEERR_INVALLINEHANDLE);
}

TEST_F(LineQueriesTest, GetAddressIdMatchesDialNumbers) {
  Make();
  struct Case {
    uint32_t line;
    const char16_t* text;
    DWORD size;
    LONG expected;
  };
  const Case cases[] = {
      {kExt101, u"101", 8, 0},
      {kExt101, u"1012", 10, LINEERR_INVALADDRESS},  // key "1012" is no dial number
      {kExt, u"21", 6, 0},
      {kExt, u"2", 4, LINEERR_INVALADDRESS},
      {kExt, u"21", 34, LINEERR_INVALADDRESS},  // 33 bytes or more
      {kExt, u"", 2, LINEERR_INVALADDRESS},
      {kCo, u"0001", 10, LINEERR_INVALLINEHANDLE},  // trunks are not dialable addresses
      {kExt, u"\u4E00", 4, LINEERR_INVALADDRESS},   // no ANSI form
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    DWORD id = 77;
    EXPECT_EQ(TSPI_lineGetAddressID(H(c.line), &id, 1, c.text, c.size), c.expected);
    EXPECT_EQ(id, c.expected == 0 ? 0u : 77u);
  }
  DWORD id = 0;
  EXPECT_EQ(TSPI_lineGetAddressID(H(kExt), &id, 1, nullptr, 4), LINEERR_INVALPOINTER);
  EXPECT_EQ(TSPI_lineGetAddressID(H(kExt), nullptr, 1, u"21", 6), LINEERR_INVALPOINTER);
  DWORD count = 0;
  EXPECT_EQ(TSPI_lineGetNumAddressIDs(H(kExt), &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(L(kExt).requestCount, 0u);
}

TEST_F(LineQueriesTest, VersionNegotiation) {
  Make();
  DWORD v = 0;
  EXPECT_EQ(TSPI_lineNegotiateTSPIVersion(INITIALIZE_NEGOTIATION, 0x10000, 0x30000, &v), 0);
  EXPECT_EQ(v, 0x20001u);
  EXPECT_EQ(TSPI_lineNegotiateTSPIVersion(kBase + 1, 0x20001, 0x20001, &v), 0);
  EXPECT_EQ(TSPI_lineNegotiateTSPIVersion(kBase + kCount, 0x20001, 0x20001, &v),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TSPI_lineNegotiateTSPIVersion(kBase, 0x20002, 0x30000, &v),
            LINEERR_INCOMPATIBLEAPIVERSION);
  EXPECT_EQ(TSPI_lineNegotiateTSPIVersion(kBase, 0x10000, 0x20000, &v),
            LINEERR_INCOMPATIBLEAPIVERSION);

  struct Ext {
    uint32_t cti;
    DWORD tspi, low, high;
    LONG result;
    DWORD agreed;
  };
  const Ext cases[] = {
      {0x13000, 0x20001, 0x10000, 0x10001, 0, 0x10001},
      {0x13000, 0x20001, 0x10000, 0x10005, 0, 0x10002},
      {0x13000, 0x20001, 0x10003, 0x10005, LINEERR_INCOMPATIBLEEXTVERSION, 0},
      {0x13000, 0x20001, 0x10002, 0x10001, LINEERR_INCOMPATIBLEEXTVERSION, 0},
      {0x13000, 0x20000, 0x10000, 0x10001, LINEERR_INCOMPATIBLEAPIVERSION, 0},
      {0x13200, 0x20001, 0x10000, 0x10005, 0, 0x10003},
      {0x12000, 0x20001, 0x10000, 0x10001, 0, 0x10002},
      {0x12000, 0x20001, 0x10000, 0x10000, 0, 0x10002},
  };
  for (const Ext& c : cases) {
    SCOPED_TRACE(c.low);
    Make(Values(c.cti));
    DWORD agreed = 0;
    EXPECT_EQ(TSPI_lineNegotiateExtVersion(kBase, c.tspi, c.low, c.high, &agreed), c.result);
    EXPECT_EQ(agreed, c.agreed);
  }
  EXPECT_EQ(TSPI_lineNegotiateExtVersion(kBase + kCount, 0x20001, 0x10000, 0x10001, &v),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TSPI_lineSelectExtVersion(H(kExt), 0), 0);
  EXPECT_EQ(TSPI_lineSelectExtVersion(H(kExt), 0x10002), 0);
  EXPECT_EQ(TSPI_lineSelectExtVersion(H(kExt), 0x10003), LINEERR_INCOMPATIBLEEXTVERSION);

  const std::pair<uint32_t, DWORD> ids[] = {{0x12000, 0x10000},
                                            {0x13000, 0x10002},
                                            {0x13150, 0x10002},
                                            {0x13190, 0x10002},
                                            {0x13200, 0x10003}};
  for (auto [cti, expected] : ids) {
    Make(Values(cti));
    LINEEXTENSIONID id{9, 9, 9, 9};
    EXPECT_EQ(TSPI_lineGetExtensionID(kBase, 0x20001, &id), 0);
    EXPECT_EQ(id.dwExtensionID0, expected);
    EXPECT_EQ(id.dwExtensionID3, expected);
  }
  LINEEXTENSIONID none{9, 9, 9, 9};
  EXPECT_EQ(TSPI_lineGetExtensionID(kBase + kCount, 0x20001, &none), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(none.dwExtensionID0, 0u);
  EXPECT_EQ(TSPI_lineGetDevConfig(kBase, nullptr, nullptr), LINEERR_OPERATIONFAILED);
}

TEST_F(LineQueriesTest, EntryAndResultLinesInTheProviderLog) {
  Make();
  Caller c(2048);
  TSPI_lineGetDevCaps(kBase + 1, 0x20001, 0, c.As<LINEDEVCAPS>());
  TSPI_lineGetDevCaps(0x55, 0x20001, 0, c.As<LINEDEVCAPS>());
  TSPI_lineGetAddressCaps(kBase, 0, 0x20001, 0, nullptr);
  DWORD v = 0;
  TSPI_lineNegotiateExtVersion(kBase, 0x20001, 0x10000, 0x10001, &v);
  TSPI_lineSelectExtVersion(nullptr, 0x10002);
  const std::string log = testing::ProviderLogText();
  for (const char* line :
       {"TSPI_lineGetDevCaps( dwDeviceID=xb )", "TSPI_lineGetDevCaps = 0",
        "TSPI_lineGetDevCaps( dwDeviceID=x55 )", "TSPI_lineGetDevCaps = LINEERR_OPERATIONFAILED",
        "TSPI_lineGetAddressCaps( dwDeviceID=xa )",
        "TSPI_lineGetAddressCaps = LINEERR_STRUCTURETOOSMALL",
        "TSPI_lineNegotiateExtVersion( dwDeviceID=xa dwTSPIVersion=x20001 dwLowVersion=x10000 "
        "dwHighVersion=x10001  )",
        "TSPI_lineSelectExtVersion( hdLine=x0 dwExtVersion=x10002 )"}) {
    EXPECT_NE(log.find(std::string(line) + "\r\n"), std::string::npos) << line;
  }
  EXPECT_EQ(log.find("TSPI_lineNegotiateExtVersion = "), std::string::npos);
}

TEST(PbxCharacterMapTest, ConvertsBothWays) {
  testing::TempRoot root;
  char text[] = {'a', '\x01', '\x80', '\xD0', '\xF5', '\xA1', '\x7F', 0};
  PbxToAnsi(text, 7);
  EXPECT_EQ(std::string(text), std::string("a \xD6\xC5\xFC \x7F"));
  char back[] = {'\xD6', '\xC5', '\xFC', '\xE9', '\x1F', 'b', 0};  // e-acute has no PBX byte
  AnsiToPbx(back, 6);
  EXPECT_EQ(std::string(back), std::string("\x80\xD0\xF5  b"));
  EXPECT_EQ(PbxByteToUnicode(0x8B), u'\u0393');
  EXPECT_EQ(PbxByteToUnicode(0xE8), 0);
}

}  // namespace
}  // namespace qrvn::provider
