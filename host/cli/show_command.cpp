// `qrvn show LINE`: one line's capabilities and status, field by field, with flag words
// decoded to their names and the provider's device-specific areas decoded where their layout
// is known for the line's kind.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string_view>

#include "host/cli/cli.h"
#include "host/cli/host_session.h"
#include "host/lib/line_queries.h"
#include "host/lib/tapi_answer.h"
#include "host/lib/tapi_names.h"

namespace qrvn::cli {
namespace {

using host::TapiAnswer;
using host::TapiFamily;
using Json = nlohmann::ordered_json;

constexpr std::string_view kUsage =
    "Usage: qrvn show LINE [--json]\n"
    "\n"
    "Starts the installed providers and shows one line's capabilities (LINEDEVCAPS,\n"
    "LINEADDRESSCAPS) and status (LINEDEVSTATUS, LINEADDRESSSTATUS, read with the line open),\n"
    "field by field. LINE is a device ID or a line name (qrvn lines lists them).\n";

// Addresses beyond this many are not shown (the provider's lines have one).
constexpr DWORD kMaxShownAddresses = 16;

// One shown field: its text for people and its JSON value for programs.
struct Item {
  std::string name;
  std::string text;
  Json json;
};

// A titled group of fields: one TAPI structure.
struct Section {
  std::string title;
  std::string key;
  std::vector<Item> items;

  void Num(std::string name, DWORD value) {
    items.push_back({std::move(name), std::to_string(value), value});
  }
  void Hex(std::string name, DWORD value) {
    items.push_back({std::move(name), host::TapiHex(value), value});
  }
  void Flags(std::string name, TapiFamily family, DWORD value) {
    Json names = Json::array();
    for (const std::string& n : host::TapiFlagList(family, value)) names.push_back(n);
    items.push_back(
        {std::move(name),
         value == 0 ? "0" : host::TapiHex(value) + "  " + host::TapiFlagNames(family, value),
         Json{{"value", value}, {"names", names}}});
  }
  void Value(std::string name, TapiFamily family, DWORD value) {
    const std::string n = host::TapiValueName(family, value);
    items.push_back({std::move(name), value == 0 ? "0" : host::TapiHex(value) + "  " + n,
                     Json{{"value", value}, {"name", n}}});
  }
  void Text(std::string name, const std::optional<std::string>& text) {
    if (text) {
      items.push_back({std::move(name), "\"" + *text + "\"", *text});
    } else {
      items.push_back({std::move(name), "(size and offset lie outside the answer)", nullptr});
    }
  }
  void Words(std::string name, const std::optional<std::vector<DWORD>>& words) {
    if (!words) {
      items.push_back({std::move(name), "(size and offset lie outside the answer)", nullptr});
      return;
    }
    std::string text = words->empty() ? "none" : "";
    Json list = Json::array();
    for (DWORD w : *words) {
      if (!text.empty()) text += ' ';
      text += host::TapiHex(w);
      list.push_back(w);
    }
    items.push_back({std::move(name), text, list});
  }
  void Note(std::string name, const std::string& text) {
    items.push_back({std::move(name), text, text});
  }
};

std::string ErrorName(LONG r) {
  return host::TapiValueName(TapiFamily::LineError, static_cast<DWORD>(r));
}

std::string DialParams(const LINEDIALPARAMS& p) {
  return "pause " + std::to_string(p.dwDialPause) + " ms, speed " + std::to_string(p.dwDialSpeed) +
         " ms, digit " + std::to_string(p.dwDigitDuration) + " ms, dial tone wait " +
         std::to_string(p.dwWaitForDialtone) + " ms";
}

Json DialParamsJson(const LINEDIALPARAMS& p) {
  return Json{{"dwDialPause", p.dwDialPause},
              {"dwDialSpeed", p.dwDialSpeed},
              {"dwDigitDuration", p.dwDigitDuration},
              {"dwWaitForDialtone", p.dwWaitForDialtone}};
}

void DeviceClasses(Section& s, const TapiAnswer& answer, DWORD size, DWORD offset, DWORD format) {
  std::optional<std::vector<std::string>> classes = answer.TextList(size, offset, format);
  if (!classes) {
    s.Text("DeviceClasses", std::nullopt);
    return;
  }
  std::string text;
  Json list = Json::array();
  for (const std::string& c : *classes) {
    text += (text.empty() ? "" : ", ") + c;
    list.push_back(c);
  }
  s.items.push_back({"DeviceClasses", text.empty() ? "none" : text, list});
}

Section DevCaps(const TapiAnswer& a, const std::string& kind) {
  const auto c = a.Fixed<LINEDEVCAPS>();
  Section s{"Line device capabilities (LINEDEVCAPS)", "devCaps", {}};
  s.Num("dwTotalSize", c.dwTotalSize);
  s.Num("dwNeededSize", c.dwNeededSize);
  s.Num("dwUsedSize", c.dwUsedSize);
  s.Text("ProviderInfo", a.Text(c.dwProviderInfoSize, c.dwProviderInfoOffset, c.dwStringFormat));
  s.Text("SwitchInfo", a.Text(c.dwSwitchInfoSize, c.dwSwitchInfoOffset, c.dwStringFormat));
  s.Hex("dwPermanentLineID", c.dwPermanentLineID);
  s.Text("LineName", a.Text(c.dwLineNameSize, c.dwLineNameOffset, c.dwStringFormat));
  s.Value("dwStringFormat", TapiFamily::StringFormat, c.dwStringFormat);
  s.Flags("dwAddressModes", TapiFamily::AddressMode, c.dwAddressModes);
  s.Num("dwNumAddresses", c.dwNumAddresses);
  s.Flags("dwBearerModes", TapiFamily::BearerMode, c.dwBearerModes);
  s.Num("dwMaxRate", c.dwMaxRate);
  s.Flags("dwMediaModes", TapiFamily::MediaMode, c.dwMediaModes);
  s.Flags("dwGenerateToneModes", TapiFamily::ToneMode, c.dwGenerateToneModes);
  s.Num("dwGenerateToneMaxNumFreq", c.dwGenerateToneMaxNumFreq);
  s.Flags("dwGenerateDigitModes", TapiFamily::DigitMode, c.dwGenerateDigitModes);
  s.Num("dwMonitorToneMaxNumFreq", c.dwMonitorToneMaxNumFreq);
  s.Num("dwMonitorToneMaxNumEntries", c.dwMonitorToneMaxNumEntries);
  s.Flags("dwMonitorDigitModes", TapiFamily::DigitMode, c.dwMonitorDigitModes);
  s.Num("dwGatherDigitsMinTimeout", c.dwGatherDigitsMinTimeout);
  s.Num("dwGatherDigitsMaxTimeout", c.dwGatherDigitsMaxTimeout);
  s.Num("dwMedCtlDigitMaxListSize", c.dwMedCtlDigitMaxListSize);
  s.Num("dwMedCtlMediaMaxListSize", c.dwMedCtlMediaMaxListSize);
  s.Num("dwMedCtlToneMaxListSize", c.dwMedCtlToneMaxListSize);
  s.Num("dwMedCtlCallStateMaxListSize", c.dwMedCtlCallStateMaxListSize);
  s.Flags("dwDevCapFlags", TapiFamily::DevCapFlags, c.dwDevCapFlags);
  s.Num("dwMaxNumActiveCalls", c.dwMaxNumActiveCalls);
  s.Flags("dwAnswerMode", TapiFamily::AnswerMode, c.dwAnswerMode);
  s.Num("dwRingModes", c.dwRingModes);
  s.Flags("dwLineStates", TapiFamily::DevState, c.dwLineStates);
  s.Num("dwUUIAcceptSize", c.dwUUIAcceptSize);
  s.Num("dwUUIAnswerSize", c.dwUUIAnswerSize);
  s.Num("dwUUIMakeCallSize", c.dwUUIMakeCallSize);
  s.Num("dwUUIDropSize", c.dwUUIDropSize);
  s.Num("dwUUISendUserUserInfoSize", c.dwUUISendUserUserInfoSize);
  s.Num("dwUUICallInfoSize", c.dwUUICallInfoSize);
  s.items.push_back(
      {"MinDialParams", DialParams(c.MinDialParams), DialParamsJson(c.MinDialParams)});
  s.items.push_back(
      {"MaxDialParams", DialParams(c.MaxDialParams), DialParamsJson(c.MaxDialParams)});
  s.items.push_back(
      {"DefaultDialParams", DialParams(c.DefaultDialParams), DialParamsJson(c.DefaultDialParams)});
  s.Num("dwNumTerminals", c.dwNumTerminals);
  s.Num("dwTerminalCapsSize", c.dwTerminalCapsSize);
  s.Num("dwTerminalTextEntrySize", c.dwTerminalTextEntrySize);
  s.Num("dwTerminalTextSize", c.dwTerminalTextSize);
  s.Flags("dwLineFeatures", TapiFamily::LineFeature, c.dwLineFeatures);
  s.Flags("dwSettableDevStatus", TapiFamily::DevStatusFlags, c.dwSettableDevStatus);
  DeviceClasses(s, a, c.dwDeviceClassesSize, c.dwDeviceClassesOffset, c.dwStringFormat);
  const auto words = a.Words(c.dwDevSpecificSize, c.dwDevSpecificOffset);
  s.Words("DevSpecific", words);
  if (words && kind == "system" && words->size() >= 6) {
    // The SYSTEM line: PBX model and country, then the counts of the PBX's devices.
    const std::vector<DWORD>& w = *words;
    s.Num("  PBX type", w[0] & 0xFFFF);
    s.Num("  PBX country", w[0] >> 16);
    s.Num("  door phones", w[1]);
    s.Num("  DISA", w[2]);
    s.Num("  paging", w[3]);
    s.Num("  trunks", w[4]);
    s.Num("  extensions", w[5]);
  }
  return s;
}

Section DevStatus(const TapiAnswer& a, const std::string& kind) {
  const auto d = a.Fixed<LINEDEVSTATUS>();
  Section s{"Line device status (LINEDEVSTATUS)", "devStatus", {}};
  s.Num("dwTotalSize", d.dwTotalSize);
  s.Num("dwNeededSize", d.dwNeededSize);
  s.Num("dwUsedSize", d.dwUsedSize);
  s.Num("dwNumOpens", d.dwNumOpens);
  s.Flags("dwOpenMediaModes", TapiFamily::MediaMode, d.dwOpenMediaModes);
  s.Num("dwNumActiveCalls", d.dwNumActiveCalls);
  s.Num("dwNumOnHoldCalls", d.dwNumOnHoldCalls);
  s.Num("dwNumOnHoldPendCalls", d.dwNumOnHoldPendCalls);
  s.Flags("dwLineFeatures", TapiFamily::LineFeature, d.dwLineFeatures);
  s.Num("dwNumCallCompletions", d.dwNumCallCompletions);
  s.Num("dwRingMode", d.dwRingMode);
  s.Num("dwSignalLevel", d.dwSignalLevel);
  s.Num("dwBatteryLevel", d.dwBatteryLevel);
  s.Flags("dwRoamMode", TapiFamily::RoamMode, d.dwRoamMode);
  s.Flags("dwDevStatusFlags", TapiFamily::DevStatusFlags, d.dwDevStatusFlags);
  s.Flags("dwAvailableMediaModes", TapiFamily::MediaMode, d.dwAvailableMediaModes);
  const auto words = a.Words(d.dwDevSpecificSize, d.dwDevSpecificOffset);
  s.Words("DevSpecific", words);
  if (words && kind == "system" && words->size() >= 2) {
    s.Note("  system status notify", ((*words)[0] & 1) != 0 ? "on" : "off");
    s.Num("  system status", (*words)[1]);
  }
  return s;
}

// Call treatment names are written in the ANSI code page by this system's provider even on a
// Unicode line; a name whose second byte is not zero is read that way.
std::optional<std::string> TreatmentName(const TapiAnswer& a, DWORD size, DWORD offset,
                                         DWORD format) {
  std::optional<std::span<const uint8_t>> bytes = a.Part(size, offset);
  if (bytes && format == STRINGFORMAT_UNICODE && bytes->size() >= 2 && (*bytes)[1] != 0) {
    format = STRINGFORMAT_ASCII;
  }
  return a.Text(size, offset, format);
}

Section AddressCaps(const TapiAnswer& a, DWORD addressId, DWORD format, const std::string& kind) {
  const auto c = a.Fixed<LINEADDRESSCAPS>();
  Section s{"Address " + std::to_string(addressId) + " capabilities (LINEADDRESSCAPS)",
            "addressCaps",
            {}};
  s.Num("dwTotalSize", c.dwTotalSize);
  s.Num("dwNeededSize", c.dwNeededSize);
  s.Num("dwUsedSize", c.dwUsedSize);
  s.Num("dwLineDeviceID", c.dwLineDeviceID);
  s.Text("Address", a.Text(c.dwAddressSize, c.dwAddressOffset, format));
  const auto words = a.Words(c.dwDevSpecificSize, c.dwDevSpecificOffset);
  s.Words("DevSpecific", words);
  if (words && words->size() >= 2) {
    if (kind == "trunk") {
      s.Num("  trunk number", (*words)[0]);
      s.Num("  trunk type", (*words)[1]);
    } else if (kind == "extension" || kind == "voice-port") {
      s.Num("  PBX device number", (*words)[0] & 0xFFFF);
      s.Num("  extension type", (*words)[1]);
    }
  }
  s.Value("dwAddressSharing", TapiFamily::AddressSharing, c.dwAddressSharing);
  s.Flags("dwAddressStates", TapiFamily::AddressState, c.dwAddressStates);
  s.Flags("dwCallInfoStates", TapiFamily::CallInfoState, c.dwCallInfoStates);
  s.Flags("dwCallerIDFlags", TapiFamily::CallPartyId, c.dwCallerIDFlags);
  s.Flags("dwCalledIDFlags", TapiFamily::CallPartyId, c.dwCalledIDFlags);
  s.Flags("dwConnectedIDFlags", TapiFamily::CallPartyId, c.dwConnectedIDFlags);
  s.Flags("dwRedirectionIDFlags", TapiFamily::CallPartyId, c.dwRedirectionIDFlags);
  s.Flags("dwRedirectingIDFlags", TapiFamily::CallPartyId, c.dwRedirectingIDFlags);
  s.Flags("dwCallStates", TapiFamily::CallState, c.dwCallStates);
  s.Flags("dwDialToneModes", TapiFamily::DialToneMode, c.dwDialToneModes);
  s.Flags("dwBusyModes", TapiFamily::BusyMode, c.dwBusyModes);
  s.Flags("dwSpecialInfo", TapiFamily::SpecialInfo, c.dwSpecialInfo);
  s.Flags("dwDisconnectModes", TapiFamily::DisconnectMode, c.dwDisconnectModes);
  s.Num("dwMaxNumActiveCalls", c.dwMaxNumActiveCalls);
  s.Num("dwMaxNumOnHoldCalls", c.dwMaxNumOnHoldCalls);
  s.Num("dwMaxNumOnHoldPendingCalls", c.dwMaxNumOnHoldPendingCalls);
  s.Num("dwMaxNumConference", c.dwMaxNumConference);
  s.Num("dwMaxNumTransConf", c.dwMaxNumTransConf);
  s.Flags("dwAddrCapFlags", TapiFamily::AddrCapFlags, c.dwAddrCapFlags);
  s.Flags("dwCallFeatures", TapiFamily::CallFeature, c.dwCallFeatures);
  s.Value("dwRemoveFromConfCaps", TapiFamily::RemoveFromConf, c.dwRemoveFromConfCaps);
  s.Flags("dwRemoveFromConfState", TapiFamily::CallState, c.dwRemoveFromConfState);
  s.Flags("dwTransferModes", TapiFamily::TransferMode, c.dwTransferModes);
  s.Flags("dwParkModes", TapiFamily::ParkMode, c.dwParkModes);
  s.Flags("dwForwardModes", TapiFamily::ForwardMode, c.dwForwardModes);
  s.Num("dwMaxForwardEntries", c.dwMaxForwardEntries);
  s.Num("dwMaxSpecificEntries", c.dwMaxSpecificEntries);
  s.Num("dwMinFwdNumRings", c.dwMinFwdNumRings);
  s.Num("dwMaxFwdNumRings", c.dwMaxFwdNumRings);
  s.Num("dwMaxCallCompletions", c.dwMaxCallCompletions);
  s.Flags("dwCallCompletionConds", TapiFamily::CallComplCond, c.dwCallCompletionConds);
  s.Flags("dwCallCompletionModes", TapiFamily::CallComplMode, c.dwCallCompletionModes);
  s.Num("dwNumCompletionMessages", c.dwNumCompletionMessages);
  s.Flags("dwAddressFeatures", TapiFamily::AddrFeature, c.dwAddressFeatures);
  s.Flags("dwPredictiveAutoTransferStates", TapiFamily::CallState,
          c.dwPredictiveAutoTransferStates);
  s.Num("dwNumCallTreatments", c.dwNumCallTreatments);
  // The call treatment list: entries of (ID, name size, name offset from the structure start).
  const auto list = a.Words(c.dwCallTreatmentListSize, c.dwCallTreatmentListOffset);
  if (!list) {
    s.Text("CallTreatments", std::nullopt);
  } else if (!list->empty()) {
    const size_t count = std::min<size_t>(c.dwNumCallTreatments, list->size() / 3);
    std::string text;
    Json entries = Json::array();
    for (size_t i = 0; i < count; ++i) {
      const DWORD id = (*list)[3 * i];
      const std::string name =
          TreatmentName(a, (*list)[3 * i + 1], (*list)[3 * i + 2], format).value_or("?");
      const std::string known = host::TapiValueName(TapiFamily::CallTreatment, id);
      text += (text.empty() ? "" : ", ") + host::TapiHex(id) + " " + name;
      entries.push_back({{"id", id}, {"name", name}, {"known", known}});
    }
    s.items.push_back({"CallTreatments", text, entries});
  }
  DeviceClasses(s, a, c.dwDeviceClassesSize, c.dwDeviceClassesOffset, format);
  s.Num("dwMaxCallDataSize", c.dwMaxCallDataSize);
  s.Flags("dwCallFeatures2", TapiFamily::CallFeature2, c.dwCallFeatures2);
  s.Num("dwMaxNoAnswerTimeout", c.dwMaxNoAnswerTimeout);
  s.Flags("dwConnectedModes", TapiFamily::ConnectedMode, c.dwConnectedModes);
  s.Flags("dwOfferingModes", TapiFamily::OfferingMode, c.dwOfferingModes);
  s.Flags("dwAvailableMediaModes", TapiFamily::MediaMode, c.dwAvailableMediaModes);
  return s;
}

Section AddressStatus(const TapiAnswer& a, DWORD addressId, const std::string& kind) {
  const auto d = a.Fixed<LINEADDRESSSTATUS>();
  Section s{
      "Address " + std::to_string(addressId) + " status (LINEADDRESSSTATUS)", "addressStatus", {}};
  s.Num("dwTotalSize", d.dwTotalSize);
  s.Num("dwNeededSize", d.dwNeededSize);
  s.Num("dwUsedSize", d.dwUsedSize);
  s.Num("dwNumInUse", d.dwNumInUse);
  s.Num("dwNumActiveCalls", d.dwNumActiveCalls);
  s.Num("dwNumOnHoldCalls", d.dwNumOnHoldCalls);
  s.Num("dwNumOnHoldPendCalls", d.dwNumOnHoldPendCalls);
  s.Flags("dwAddressFeatures", TapiFamily::AddrFeature, d.dwAddressFeatures);
  s.Num("dwNumRingsNoAnswer", d.dwNumRingsNoAnswer);
  s.Num("dwForwardNumEntries", d.dwForwardNumEntries);
  s.Num("dwForwardSize", d.dwForwardSize);
  const auto words = a.Words(d.dwDevSpecificSize, d.dwDevSpecificOffset);
  s.Words("DevSpecific", words);
  if (!words) return s;
  const std::vector<DWORD>& w = *words;
  // Offsets inside the area count from the start of the structure; its texts are ANSI.
  if (kind == "trunk" && w.size() >= 2) {
    s.Text("  trunk text",
           w[0] == 0 ? std::optional<std::string>("") : a.Text(w[0], w[1], STRINGFORMAT_ASCII));
  } else if ((kind == "extension" || kind == "voice-port") && w.size() >= 18) {
    s.Num("  class of service", w[0]);
    if (w[1] != 0) {
      char time[8];
      std::snprintf(time, sizeof time, "%02u:%02u", (w[1] >> 11) & 31, (w[1] >> 5) & 63);
      s.Note("  timed reminder", std::string(time) + (w[3] & 1 ? " daily" : " once"));
    } else {
      s.Note("  timed reminder", "none");
    }
    s.Text("  name",
           w[7] == 0 ? std::optional<std::string>("") : a.Text(w[7], w[8], STRINGFORMAT_ASCII));
    s.Hex("  extension attribute", w[9]);
    s.Num("  group entries", w[10]);
    s.Num("  message-waiting list size", w[13]);
    s.Num("  accounting record size", w[15]);
    s.Num("  feature item 14", w[17]);
  } else if (kind == "queue" && w.size() >= 2) {
    s.Num("  members", w[0]);
    s.Num("  member list size", w[1]);
  }
  return s;
}

void PrintText(const std::vector<Section>& sections, std::ostream& out) {
  for (size_t i = 0; i < sections.size(); ++i) {
    if (i > 0) out << "\n";
    const Section& s = sections[i];
    out << s.title << "\n";
    size_t width = 0;
    for (const Item& item : s.items) width = std::max(width, item.name.size());
    for (const Item& item : s.items) {
      out << "  " << item.name << std::string(width - item.name.size() + 2, ' ') << item.text
          << "\n";
    }
  }
}

}  // namespace

int RunShowCommand(std::span<const std::string> args, CommandIo& io) {
  const HostArgs parsed = ParseHostArgs(args);
  if (parsed.help) {
    io.out << kUsage;
    return 0;
  }
  if (!parsed.badOption.empty() || parsed.positional.size() != 1) {
    io.err << "qrvn show: give one line\n" << kUsage;
    return 1;
  }

  host::TelephonyHost host;
  StartProviders(host, io.err);
  const std::vector<std::string> names = LineNames(host);
  const std::optional<uint32_t> found = ResolveLine(parsed.positional[0], names);
  if (!found) {
    io.err << "qrvn show: no line \"" << parsed.positional[0] << "\" (qrvn lines lists them)\n";
    return 1;
  }
  const uint32_t id = *found;
  const std::string kind = host::LineKindFromName(names[id]);

  std::vector<Section> sections;
  std::vector<std::string> errors;  // queries that failed, in order
  Json addresses = Json::array();
  std::vector<uint8_t> buffer;
  DWORD numAddresses = 0;
  DWORD format = STRINGFORMAT_UNICODE;
  if (LONG r = host::QueryDevCaps(host, id, buffer); r != 0) {
    errors.push_back("TSPI_lineGetDevCaps failed: " + ErrorName(r));
  } else {
    TapiAnswer answer(buffer);
    sections.push_back(DevCaps(answer, kind));
    numAddresses = std::min(answer.Fixed<LINEDEVCAPS>().dwNumAddresses, kMaxShownAddresses);
    format = answer.Fixed<LINEDEVCAPS>().dwStringFormat;
  }
  std::vector<Section> addressCaps(numAddresses);
  std::vector<std::optional<Section>> addressStatus(numAddresses);
  for (DWORD a = 0; a < numAddresses; ++a) {
    if (LONG r = host::QueryAddressCaps(host, id, a, buffer); r != 0) {
      errors.push_back("TSPI_lineGetAddressCaps(" + std::to_string(a) +
                       ") failed: " + ErrorName(r));
    } else {
      addressCaps[a] = AddressCaps(TapiAnswer(buffer), a, format, kind);
    }
  }
  const LONG opened = host::WithOpenLine(host, id, [&] {
    if (LONG r = host::QueryLineDevStatus(host, id, buffer); r != 0) {
      errors.push_back("TSPI_lineGetLineDevStatus failed: " + ErrorName(r));
    } else {
      sections.push_back(DevStatus(TapiAnswer(buffer), kind));
    }
    for (DWORD a = 0; a < numAddresses; ++a) {
      if (LONG r = host::QueryAddressStatus(host, id, a, buffer); r != 0) {
        errors.push_back("TSPI_lineGetAddressStatus(" + std::to_string(a) +
                         ") failed: " + ErrorName(r));
      } else {
        addressStatus[a] = AddressStatus(TapiAnswer(buffer), a, kind);
      }
    }
  });
  if (opened != 0) errors.push_back("TSPI_lineOpen failed: " + ErrorName(opened));
  host.Shutdown();

  for (DWORD a = 0; a < numAddresses; ++a) {
    if (!addressCaps[a].items.empty()) sections.push_back(addressCaps[a]);
    if (addressStatus[a]) sections.push_back(*addressStatus[a]);
  }
  for (const std::string& e : errors) io.err << "qrvn show: " << e << "\n";

  if (parsed.json) {
    Json doc = {{"deviceId", id}, {"name", names[id]}, {"kind", kind}};
    auto object = [](const Section& s) {
      Json o = Json::object();
      for (const Item& item : s.items) {
        // Indented items decode the device-specific area above them.
        if (item.name.starts_with("  ")) {
          o["DevSpecificDecoded"][item.name.substr(2)] = item.json;
        } else {
          o[item.name] = item.json;
        }
      }
      return o;
    };
    for (const Section& s : sections) {
      if (s.key == "devCaps" || s.key == "devStatus") doc[s.key] = object(s);
    }
    for (DWORD a = 0; a < numAddresses; ++a) {
      Json address = {{"addressId", a}};
      if (!addressCaps[a].items.empty()) address["caps"] = object(addressCaps[a]);
      if (addressStatus[a]) address["status"] = object(*addressStatus[a]);
      addresses.push_back(std::move(address));
    }
    doc["addresses"] = addresses;
    Json failed = Json::array();
    for (const std::string& e : errors) failed.push_back(e);
    doc["errors"] = failed;
    io.out << doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  } else {
    io.out << "Line " << id << " " << names[id] << " (" << kind << ")\n\n";
    PrintText(sections, io.out);
  }
  return errors.empty() ? 0 : 1;
}

}  // namespace qrvn::cli
