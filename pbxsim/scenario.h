// Scenario files: a text file with one step per line that sends events with their
// parameters at given times or after given requests, sets device snapshots and injects
// faults, so that tests and demos can replay call sequences.
//
//   # comment
//   after EventRegistration 6        wait for the 6th request of that code
//   wait 500                         pause (process-clock milliseconds)
//   at 2000                          wait until 2000 ms after the scenario started
//   event ServiceBeginInform ext 101
//   event DialingInform ext 101, dialled 0123456
//   event ConnectInform ext 101, trunk 3, tag5: byte 1
//   snapshot ext 101 mode 4 other trunk 3
//   status messages-lost             what the status poll reports
//   fault nak 2 | silence 1 | block 1 | bad-check 1 | crlf | garbage "x y" | reset
//   fault open-noise 1 | poll off | poll on | silent 143 | answer 143 | fragment 64
//   log any text
//
// Parameter values: ext N, trunk N, door N, disa N, page-out N, page-in N, pages
// all|out|in, queue QO|QH|QIO|QIH N, tr, rm, bv N, feature TYPE N, dialled DIGITS,
// byte N, word N, hex HH HH ..., text "..." (or a bare word), empty. A value may start
// with "tagN:"; otherwise parameters take the tags 1, 2, 3, ... in order.
// The same steps may be written as a JSON list of objects, one verb key each:
//   [{"after": "EventRegistration", "count": 6},
//    {"event": "ConnectInform", "params": ["ext 101", "trunk 3"]},
//    {"snapshot": "ext 101", "mode": 4, "other": "trunk 3"}, {"fault": "nak 2"}]
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "pbxsim/link.h"
#include "pbxsim/message.h"
#include "pbxsim/pbx.h"

namespace qrvn::pbxsim {

struct Step {
  enum class Kind { Wait, At, After, Event, Snapshot, Status, Fault, Log };
  Kind kind = Kind::Log;
  int line = 0;
  uint32_t ms = 0;     // Wait, At
  uint8_t code = 0;    // After, Event
  uint32_t count = 1;  // After
  Bytes message;       // Event: the whole event
  Bytes device;        // Snapshot
  DeviceState state;   // Snapshot
  uint8_t status = 2;  // Status
  std::string fault;   // Fault: its name
  int64_t number = 0;  // Fault: its count or size
  Bytes bytes;         // Fault: noise bytes
  std::string text;    // Log
};

// Builds one device parameter or value from its written form ("ext 101"); false with a
// reason in *error.
bool ParseValue(const std::string& text, const Pbx& pbx, Bytes& value, std::string* error);

class Scenario {
 public:
  // Parses a scenario; false with "file:line: what is wrong" in *error.
  static bool Parse(const std::string& text, const std::string& fileName, const Pbx& pbx,
                    Scenario& scenario, std::string* error);
  // Reads and parses a scenario file.
  static bool Load(const std::string& path, const Pbx& pbx, Scenario& scenario, std::string* error);

  // Runs the steps in order until the end or until stop becomes true.
  void Run(Link& link, Pbx& pbx, const std::atomic<bool>& stop, const LogSink& log) const;

  const std::vector<Step>& Steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

}  // namespace qrvn::pbxsim
