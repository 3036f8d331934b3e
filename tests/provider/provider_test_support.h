// Helpers shared by the provider tests: reading the log files the provider writes.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"

namespace qrvn::testing {

// The contents of a file, or empty when it is missing.
inline std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Today's path of a day-rotated log ("Qrvntsp", "Qrvntapi") in the system folder.
inline std::string TodaysLogPath(const char* base) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%02d.log", base, platform::LocalNow().day);
  return platform::SystemFolder() + "/" + name;
}

// Today's event log text.
inline std::string EventLogText() {
  return ReadFileText(TodaysLogPath("Qrvntsp"));
}
// Today's provider log text.
inline std::string ProviderLogText() {
  return ReadFileText(TodaysLogPath("Qrvntapi"));
}

}  // namespace qrvn::testing
