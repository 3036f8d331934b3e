// Line events decoded for people and programs: the message's name and its parameters named
// and decoded by what the message means ("state" = "OFFERING", "mode" = "ACTIVE").
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/lib/telephony_host.h"

namespace qrvn::host {

// An event as text: the message name and (name, value) fields in a fixed order.
struct DecodedEvent {
  std::string message;
  std::vector<std::pair<std::string, std::string>> fields;
};

// Decodes a delivered event; lineName is the name of its line (empty when it has none). The
// fields start with "line" (device ID), "name" and "call" (the host's call handle) where given.
DecodedEvent DecodeEvent(const HostEvent& event, std::string_view lineName);

// The event as one line of text: "LINE_CALLSTATE line=1 name=EXT0101 call=0x... state=IDLE".
std::string EventLine(const DecodedEvent& event);

}  // namespace qrvn::host
