// The name tables, the event decoder and the reading of provider answers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/lib/event_decoder.h"
#include "host/lib/line_queries.h"
#include "host/lib/tapi_answer.h"
#include "host/lib/tapi_names.h"

namespace qrvn::host {
namespace {

struct NameCase {
  TapiFamily family;
  DWORD value;
  const char* expected;
};

TEST(TapiNames, DecodesValuesAndFlagWords) {
  const NameCase cases[] = {
      {TapiFamily::LineMessage, LINE_CALLSTATE, "LINE_CALLSTATE"},
      {TapiFamily::LineMessage, LINE_NEWCALL, "LINE_NEWCALL"},
      {TapiFamily::LineMessage, LINE_CALLDEVSPECIFIC, "LINE_CALLDEVSPECIFIC"},
      {TapiFamily::LineMessage, 77, "0x0000004D"},
      {TapiFamily::LineError, static_cast<DWORD>(LINEERR_BADDEVICEID), "LINEERR_BADDEVICEID"},
      {TapiFamily::LineError, static_cast<DWORD>(LINEERR_STRUCTURETOOSMALL),
       "LINEERR_STRUCTURETOOSMALL"},
      {TapiFamily::CallState, LINECALLSTATE_IDLE, "IDLE"},
      {TapiFamily::CallState, 0x103, "IDLE|OFFERING|CONNECTED"},
      {TapiFamily::CallState, 0x5D7B,
       "IDLE|OFFERING|DIALTONE|DIALING|RINGBACK|BUSY|CONNECTED|ONHOLD|CONFERENCED|"
       "ONHOLDPENDCONF|DISCONNECTED"},
      {TapiFamily::CallState, 0, "0"},
      // Unknown bits are kept, together, in hex after the known names.
      {TapiFamily::CallState, 0x00030001, "IDLE|0x00030000"},
      {TapiFamily::DevState, 0x406C0, "INSERVICE|OUTOFSERVICE|OPEN|CLOSE|REINIT"},
      {TapiFamily::DevState, 0x14606C0,
       "INSERVICE|OUTOFSERVICE|OPEN|CLOSE|DEVSPECIFIC|REINIT|TRANSLATECHANGE|REMOVED"},
      {TapiFamily::AddressState, 0x142, "DEVSPECIFIC|FORWARD|CAPSCHANGE"},
      {TapiFamily::DevStatusFlags, 5, "CONNECTED|INSERVICE"},
      {TapiFamily::DevStatusFlags, 0x80000004, "INSERVICE|0x80000000"},
      {TapiFamily::DevCapFlags, LINEDEVCAPFLAGS_CLOSEDROP, "CLOSEDROP"},
      {TapiFamily::BearerMode, LINEBEARERMODE_VOICE, "VOICE"},
      {TapiFamily::MediaMode, 0xC, "INTERACTIVEVOICE|AUTOMATEDVOICE"},
      {TapiFamily::CallFeature, 0x800200D4, "ANSWER|COMPLETECALL|DIAL|DROP|REDIRECT|SETCALLDATA"},
      {TapiFamily::AddrFeature, 0xE7, "FORWARD|MAKECALL|PICKUP|SETUPCONF|UNCOMPLETECALL|UNPARK"},
      {TapiFamily::LineFeature, 0x4C, "FORWARD|MAKECALL|SETDEVSTATUS"},
      {TapiFamily::AddrCapFlags, 0x820, "DIALED|COMPLETIONID"},
      {TapiFamily::AddrCapFlags, 0x605BE2,
       "PICKUPGROUPID|DIALED|ORIGOFFHOOK|DESTOFFHOOK|FWDCONSULT|SETUPCONFNULL|COMPLETIONID|"
       "TRANSFERHELD|CONFERENCEHELD|CONFDROP|PICKUPCALLWAIT"},
      {TapiFamily::DisconnectMode, 0xC06A0,
       "BUSY|BADADDRESS|CONGESTION|INCOMPATIBLE|DONOTDISTURB|CANCELLED"},
      {TapiFamily::CallInfoState, 0xFFF80,
       "RELATEDCALLID|ORIGIN|REASON|COMPLETIONID|NUMOWNERINCR|NUMOWNERDECR|NUMMONITORS|TRUNK|"
       "CALLERID|CALLEDID|CONNECTEDID|REDIRECTIONID|REDIRECTINGID"},
      {TapiFamily::ForwardMode, 0x1111, "UNCOND|BUSY|NOANSW|BUSYNA"},
      {TapiFamily::RemoveFromConf, 3, "ANY"},
      {TapiFamily::StringFormat, STRINGFORMAT_UNICODE, "UNICODE"},
      {TapiFamily::StringFormat, 9, "0x00000009"},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(TapiDecode(c.family, c.value), c.expected)
        << "family " << static_cast<int>(c.family) << " value " << TapiHex(c.value);
  }
  EXPECT_EQ(TapiFamilyPrefix(TapiFamily::DevState), "LINEDEVSTATE_");
  EXPECT_EQ(TapiFlagList(TapiFamily::DevStatusFlags, 0), std::vector<std::string>{});
}

struct EventCase {
  DWORD message;
  DWORD_PTR p1, p2, p3;
  const char* expected;
};

TEST(EventDecoder, NamesEachMessagesParameters) {
  const EventCase cases[] = {
      {LINE_CALLSTATE, LINECALLSTATE_OFFERING, LINEOFFERINGMODE_ACTIVE,
       LINEMEDIAMODE_INTERACTIVEVOICE,
       "LINE_CALLSTATE line=4 name=EXT0101 state=OFFERING mode=ACTIVE media=INTERACTIVEVOICE"},
      // The mode's family follows the state it qualifies.
      {LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY, 0,
       "LINE_CALLSTATE line=4 name=EXT0101 state=DISCONNECTED mode=BUSY"},
      {LINE_CALLSTATE, LINECALLSTATE_BUSY, LINEBUSYMODE_TRUNK, 0,
       "LINE_CALLSTATE line=4 name=EXT0101 state=BUSY mode=TRUNK"},
      {LINE_CALLSTATE, LINECALLSTATE_IDLE, 0, 0, "LINE_CALLSTATE line=4 name=EXT0101 state=IDLE"},
      {LINE_LINEDEVSTATE, LINEDEVSTATE_INSERVICE, 0, 0,
       "LINE_LINEDEVSTATE line=4 name=EXT0101 states=INSERVICE"},
      {LINE_LINEDEVSTATE, LINEDEVSTATE_RINGING, 1, 3,
       "LINE_LINEDEVSTATE line=4 name=EXT0101 states=RINGING ringMode=1 ringCount=3"},
      {LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT, 0, 0,
       "LINE_LINEDEVSTATE line=4 name=EXT0101 states=REINIT note=\"provider asks for "
       "re-initialisation\""},
      {LINE_ADDRESSSTATE, 0, LINEADDRESSSTATE_FORWARD, 0,
       "LINE_ADDRESSSTATE line=4 name=EXT0101 address=0 states=FORWARD"},
      {LINE_CALLINFO, LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLDATA, 0, 0,
       "LINE_CALLINFO line=4 name=EXT0101 changed=CALLERID|CALLDATA"},
      {LINE_MONITORDIGITS, '7', LINEDIGITMODE_DTMF, 0,
       "LINE_MONITORDIGITS line=4 name=EXT0101 digit=7 mode=DTMF"},
      {LINE_REPLY, 12, static_cast<DWORD>(LINEERR_INVALCALLSTATE), 0,
       "LINE_REPLY line=4 name=EXT0101 request=12 result=LINEERR_INVALCALLSTATE"},
      {LINE_REPLY, 13, 0, 0, "LINE_REPLY line=4 name=EXT0101 request=13 result=OK"},
      {LINE_DEVSPECIFIC, 0x12, 0x34, 0x56,
       "LINE_DEVSPECIFIC line=4 name=EXT0101 param1=0x12 param2=0x34 param3=0x56"},
      {LINE_CLOSE, 0, 0, 0, "LINE_CLOSE line=4 name=EXT0101"},
  };
  for (const EventCase& c : cases) {
    HostEvent event;
    event.deviceId = 4;
    event.message = c.message;
    event.param1 = c.p1;
    event.param2 = c.p2;
    event.param3 = c.p3;
    EXPECT_EQ(EventLine(DecodeEvent(event, "EXT0101")), c.expected);
  }

  HostEvent create;  // no line: LINE_CREATE comes through the provider's create callback
  create.message = LINE_CREATE;
  EXPECT_EQ(EventLine(DecodeEvent(create, "")), "LINE_CREATE param1=0x0 param2=0x0 param3=0x0");

  HostEvent newCall;
  newCall.deviceId = 1;
  newCall.message = LINE_NEWCALL;
  newCall.call = reinterpret_cast<HTAPICALL>(uintptr_t{0xABC0});
  newCall.param1 = 0xCA11;
  EXPECT_EQ(EventLine(DecodeEvent(newCall, "My \"line\"")),
            "LINE_NEWCALL line=1 name=\"My \\\"line\\\"\" call=0xABC0 hdCall=0xCA11");
}

TEST(TapiAnswer, RefusesPartsOutsideTheAnswer) {
  std::vector<uint8_t> buffer(64, 0);
  const DWORD header[3] = {64, 48, 40};  // total, needed, used
  std::memcpy(buffer.data(), header, sizeof header);
  const char16_t text[] = u"Zo\u00EB \u260E \U0001D11E";
  std::memcpy(buffer.data() + 12, text, sizeof text);  // 18 bytes, below dwUsedSize

  TapiAnswer answer(buffer);
  EXPECT_EQ(answer.UsedSize(), 40u);
  EXPECT_TRUE(answer.Part(4, 36).has_value());
  EXPECT_FALSE(answer.Part(8, 36).has_value()) << "past dwUsedSize";
  EXPECT_FALSE(answer.Part(0x20, 0xFFFFFFF0).has_value()) << "offset + size wraps around";
  EXPECT_TRUE(answer.Part(0, 0xFFFFFFF0).has_value()) << "an empty part is never read";
  EXPECT_FALSE(answer.Text(16, 40, STRINGFORMAT_UNICODE).has_value());
  EXPECT_EQ(answer.Text(sizeof text, 12, STRINGFORMAT_UNICODE),
            "Zo\xC3\xAB \xE2\x98\x8E \xF0\x9D\x84\x9E");

  std::vector<uint8_t> tooShort(8, 0xFF);  // not even a header: nothing is used
  EXPECT_EQ(TapiAnswer(tooShort).UsedSize(), 0u);
  EXPECT_EQ(TapiAnswer(tooShort).Fixed<LINEDEVSTATUS>().dwDevStatusFlags, 0u);
}

TEST(TapiAnswer, ConvertsUtf16ToUtf8) {
  EXPECT_EQ(Utf16ToUtf8(u"EXT0101"), "EXT0101");
  EXPECT_EQ(Utf16ToUtf8(u"\u00D6\u03A9\u0416"), "\xC3\x96\xCE\xA9\xD0\x96");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F4DE"), "\xF0\x9F\x93\x9E");
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
  EXPECT_EQ(Utf16ToUtf8(lone),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD")
      << "unpaired surrogates";
}

TEST(LineKind, ComesFromTheLineName) {
  const std::pair<const char*, const char*> cases[] = {
      {"SYSTEM", "system"},          {"QIO0001", "queue"}, {"TR0001", "TR"},
      {"DOOR0002", "door"},          {"OGM0003", "DISA"},  {"DISA0001", "DISA"},
      {"OUTPAGE0001", "paging-out"}, {"CO0012", "trunk"},  {"EXT2345", "extension"},
      {"VPS0001", "voice-port"},     {"Lobby", "-"},       {"", "-"},
  };
  for (const auto& [name, kind] : cases) EXPECT_EQ(LineKindFromName(name), kind) << name;
}

}  // namespace
}  // namespace qrvn::host
