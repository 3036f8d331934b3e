#include "host/lib/event_decoder.h"

#include <cstdio>

#include "host/lib/tapi_names.h"

namespace qrvn::host {
namespace {

std::string Pointer(uintptr_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

DWORD Low(DWORD_PTR value) {
  return static_cast<DWORD>(value);
}

// The family of a LINE_CALLSTATE mode: it depends on the state it qualifies.
bool ModeFamily(DWORD state, TapiFamily& family) {
  switch (state) {
    case LINECALLSTATE_OFFERING:
      family = TapiFamily::OfferingMode;
      return true;
    case LINECALLSTATE_DIALTONE:
      family = TapiFamily::DialToneMode;
      return true;
    case LINECALLSTATE_BUSY:
      family = TapiFamily::BusyMode;
      return true;
    case LINECALLSTATE_CONNECTED:
      family = TapiFamily::ConnectedMode;
      return true;
    case LINECALLSTATE_DISCONNECTED:
      family = TapiFamily::DisconnectMode;
      return true;
    case LINECALLSTATE_SPECIALINFO:
      family = TapiFamily::SpecialInfo;
      return true;
    default:
      return false;
  }
}

}  // namespace

DecodedEvent DecodeEvent(const HostEvent& event, std::string_view lineName) {
  DecodedEvent out;
  out.message = TapiValueName(TapiFamily::LineMessage, event.message);
  auto add = [&](std::string name, std::string value) {
    out.fields.emplace_back(std::move(name), std::move(value));
  };
  if (event.deviceId != HostEvent::kNoDevice) {
    add("line", std::to_string(event.deviceId));
    if (!lineName.empty()) add("name", std::string(lineName));
  }
  if (event.call != nullptr) add("call", Pointer(reinterpret_cast<uintptr_t>(event.call)));
  const DWORD_PTR p1 = event.param1;
  const DWORD_PTR p2 = event.param2;
  const DWORD_PTR p3 = event.param3;
  auto raw = [&] {
    add("param1", Pointer(p1));
    add("param2", Pointer(p2));
    add("param3", Pointer(p3));
  };

  switch (event.message) {
    case LINE_ADDRESSSTATE:
      add("address", std::to_string(p1));
      add("states", TapiFlagNames(TapiFamily::AddressState, Low(p2)));
      break;
    case LINE_CALLINFO:
      add("changed", TapiFlagNames(TapiFamily::CallInfoState, Low(p1)));
      break;
    case LINE_CALLSTATE: {
      add("state", TapiFlagNames(TapiFamily::CallState, Low(p1)));
      TapiFamily family{};
      if (ModeFamily(Low(p1), family)) {
        if (p2 != 0) add("mode", TapiFlagNames(family, Low(p2)));
      } else if (p2 != 0) {
        add("mode", TapiHex(Low(p2)));
      }
      if (p3 != 0) add("media", TapiFlagNames(TapiFamily::MediaMode, Low(p3)));
      break;
    }
    case LINE_CLOSE:
      break;
    case LINE_GATHERDIGITS:
      add("termination", TapiFlagNames(TapiFamily::GatherTerm, Low(p1)));
      add("endToEndId", std::to_string(p2));
      break;
    case LINE_GENERATE:
      add("termination", TapiHex(Low(p1)));
      add("endToEndId", std::to_string(p2));
      break;
    case LINE_LINEDEVSTATE:
      add("states", TapiFlagNames(TapiFamily::DevState, Low(p1)));
      if ((Low(p1) & LINEDEVSTATE_RINGING) != 0) {
        add("ringMode", std::to_string(p2));
        add("ringCount", std::to_string(p3));
      } else if ((Low(p1) & LINEDEVSTATE_REINIT) != 0) {
        // The provider asks to be shut down and started again; the host stays up.
        add("note", "provider asks for re-initialisation");
      }
      break;
    case LINE_MONITORDIGITS: {
      const char digit = static_cast<char>(p1 & 0xFF);
      add("digit", digit >= 0x20 && digit < 0x7F ? std::string(1, digit) : TapiHex(Low(p1)));
      add("mode", TapiFlagNames(TapiFamily::DigitMode, Low(p2)));
      break;
    }
    case LINE_MONITORMEDIA:
      add("media", TapiFlagNames(TapiFamily::MediaMode, Low(p1)));
      break;
    case LINE_NEWCALL:
      add("hdCall", Pointer(p1));
      break;
    case LINE_REPLY:
      add("request", std::to_string(p1));
      add("result", Low(p2) == 0 ? "OK" : TapiValueName(TapiFamily::LineError, Low(p2)));
      break;
    case LINE_REMOVE:
      add("device", std::to_string(p1));
      break;
    default:  // device-specific and other messages: the parameters as they came
      raw();
      break;
  }
  return out;
}

std::string EventLine(const DecodedEvent& event) {
  std::string line = event.message;
  for (const auto& [name, value] : event.fields) {
    line += ' ';
    line += name;
    line += '=';
    // Names may hold blanks; quote them so that the line still splits into fields.
    if (value.find_first_of(" \"\\") != std::string::npos || value.empty()) {
      line += '"';
      for (char c : value) {
        if (c == '"' || c == '\\') line += '\\';
        line += c;
      }
      line += '"';
    } else {
      line += value;
    }
  }
  return line;
}

}  // namespace qrvn::host
