// Names of TAPI constants for people: message names, error names and flag words decoded to
// "INSERVICE|OPEN". One table per constant family, built from the constants of tapi/tapi.h so
// that a name can never drift from its value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tapi/tapi.h"

namespace qrvn::host {

// The constant families the host decodes. Flag families hold bits that combine; value
// families hold one value at a time.
enum class TapiFamily {
  LineMessage,
  LineError,
  AddrCapFlags,
  AddressMode,
  AddressSharing,
  AddressState,
  AddrFeature,
  AnswerMode,
  BearerMode,
  BusyMode,
  CallComplCond,
  CallComplMode,
  CallFeature,
  CallFeature2,
  CallInfoState,
  CallOrigin,
  CallPartyId,
  CallReason,
  CallState,
  CallTreatment,
  ConnectedMode,
  DevCapFlags,
  DevState,
  DevStatusFlags,
  DialToneMode,
  DigitMode,
  DisconnectMode,
  LineFeature,
  ForwardMode,
  GatherTerm,
  MediaMode,
  OfferingMode,
  ParkMode,
  RemoveFromConf,
  RoamMode,
  SpecialInfo,
  ToneMode,
  TransferMode,
  StringFormat
};

// A TAPI constant and its full name.
struct TapiName {
  DWORD value;
  std::string_view name;
};

// The full name prefix of a family's constants ("LINEDEVSTATE_"); empty for messages and
// errors, whose names are shown whole.
std::string_view TapiFamilyPrefix(TapiFamily family);
// True when the family's constants are bits of a flag word.
bool TapiIsFlagFamily(TapiFamily family);
// The name of one value without the family prefix ("CONNECTED"; "LINE_CALLSTATE",
// "LINEERR_BADDEVICEID"); an unknown value as hex ("0x000001F4").
std::string TapiValueName(TapiFamily family, DWORD value);
// The names of the bits set in a flag word, in bit order, without the family prefix; the bits
// without a name come last as one hex value. Empty for 0.
std::vector<std::string> TapiFlagList(TapiFamily family, DWORD value);
// A flag word as "IDLE|OFFERING|0x00010000"; "0" when no bit is set.
std::string TapiFlagNames(TapiFamily family, DWORD value);
// Decodes a value by its family's kind: flag words as TapiFlagNames, values as TapiValueName.
std::string TapiDecode(TapiFamily family, DWORD value);
// A 32-bit value as "0x%08X".
std::string TapiHex(DWORD value);

}  // namespace qrvn::host
