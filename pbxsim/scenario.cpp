#include "pbxsim/scenario.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/clock.h"

namespace qrvn::pbxsim {

namespace {

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Splits on blanks, keeping "quoted text" as one word (without its quotes).
std::vector<std::string> Words(const std::string& s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i >= s.size()) break;
    if (s[i] == '"') {
      size_t end = s.find('"', i + 1);
      if (end == std::string::npos) end = s.size();
      out.push_back(s.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    size_t start = i;
    while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    out.push_back(s.substr(start, i - start));
  }
  return out;
}

bool Number(const std::string& s, int64_t max, int64_t& out) {
  if (s.empty() || s.size() > 10) return false;
  int64_t v = 0;
  int base = 10;
  std::string digits = s;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits = digits.substr(2);
  }
  for (char c : digits) {
    int d;
    if (std::isdigit(static_cast<unsigned char>(c))) {
      d = c - '0';
    } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
      d = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    } else {
      return false;
    }
    v = v * base + d;
  }
  if (v > max) return false;
  out = v;
  return true;
}

bool HexBytes(const std::vector<std::string>& words, size_t from, Bytes& out) {
  for (size_t i = from; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w.size() % 2 != 0 || w.empty()) return false;
    for (size_t k = 0; k < w.size(); k += 2) {
      int64_t v;
      if (!Number("0x" + w.substr(k, 2), 255, v)) return false;
      out.push_back(static_cast<uint8_t>(v));
    }
  }
  return !out.empty();
}

}  // namespace

bool ParseValue(const std::string& textIn, const Pbx& pbx, Bytes& value, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  std::vector<std::string> w = Words(textIn);
  if (w.empty()) return fail("empty parameter");
  std::string kind = Lower(w[0]);
  int64_t n = 0;
  auto needNumber = [&](int64_t max) {
    if (w.size() != 2 || !Number(w[1], max, n)) {
      return fail("\"" + kind + "\" needs one number up to " + std::to_string(max));
    }
    return true;
  };
  value.clear();
  if (kind == "ext") {
    if (w.size() != 2) return fail("\"ext\" needs an extension number");
    value = pbx.ExtensionParam(w[1]);
    if (value.empty()) return fail("no extension has the number " + w[1]);
  } else if (kind == "trunk") {
    if (!needNumber(65535)) return false;
    value = pbx.TrunkParam(static_cast<uint16_t>(n));
    if (value.empty()) return fail("no trunk has the number " + w[1]);
  } else if (kind == "door" || kind == "disa" || kind == "bv") {
    if (!needNumber(255)) return false;
    uint8_t k = kind == "door" ? 10 : kind == "disa" ? 11 : 35;
    value = {k, static_cast<uint8_t>(n)};
  } else if (kind == "page-out" || kind == "page-in") {
    if (!needNumber(255)) return false;
    value = kind == "page-out" ? Bytes{12, 2, 1, static_cast<uint8_t>(n)}
                               : Bytes{12, 3, 2, static_cast<uint8_t>(n)};
  } else if (kind == "pages") {
    std::string which = w.size() == 2 ? Lower(w[1]) : "";
    uint8_t sel = which == "out" ? 1 : which == "in" ? 2 : which == "all" ? 3 : 0;
    if (sel == 0) return fail("\"pages\" needs all, out or in");
    value = {12, 1, sel};
  } else if (kind == "queue") {
    if (w.size() != 3) return fail("\"queue\" needs QO, QH, QIO or QIH and a group number");
    std::string q = Lower(w[1]);
    uint8_t sub = q == "qh" ? 1 : q == "qo" ? 2 : q == "qih" ? 3 : q == "qio" ? 4 : 0;
    if (sub == 0 || !Number(w[2], 65535, n)) return fail("bad queue \"" + w[1] + " " + w[2] + "\"");
    value = {33, 0, 0, sub};
    PutU16(value, static_cast<uint32_t>(n));
    value.insert(value.end(), {0, 0});
  } else if (kind == "tr") {
    value = {33, 0, 0, 0, 0, 1, 0, 0};
  } else if (kind == "rm") {
    value = {34, 1};
  } else if (kind == "feature") {
    int64_t type = 0;
    if (w.size() != 3 || !Number(w[1], 255, type) || !Number(w[2], 65535, n)) {
      return fail("\"feature\" needs a type and a number");
    }
    value = {32, 0, 0, static_cast<uint8_t>(type)};
    PutU16(value, static_cast<uint32_t>(n));
  } else if (kind == "dialled" || kind == "dialed") {
    if (w.size() != 2) return fail("\"dialled\" needs the digits");
    value = {3};
    value.insert(value.end(), w[1].begin(), w[1].end());
  } else if (kind == "byte") {
    if (!needNumber(255)) return false;
    value = {static_cast<uint8_t>(n)};
  } else if (kind == "word") {
    if (!needNumber(65535)) return false;
    PutU16(value, static_cast<uint32_t>(n));
  } else if (kind == "hex") {
    if (!HexBytes(w, 1, value)) return fail("\"hex\" needs pairs of hexadecimal digits");
  } else if (kind == "text") {
    if (w.size() != 2) return fail("\"text\" needs one (quoted) text");
    value.assign(w[1].begin(), w[1].end());
  } else if (kind == "empty") {
    if (w.size() != 1) return fail("\"empty\" takes nothing");
  } else {
    return fail("unknown parameter kind \"" + w[0] + "\"");
  }
  return true;
}

namespace {

// A JSON scenario is a list of steps, each an object with one verb key:
//   [{"after": "EventRegistration", "count": 6}, {"wait": 300},
//    {"event": "ConnectInform", "params": ["ext 101", "trunk 3"]},
//    {"snapshot": "ext 101", "mode": 4, "other": "trunk 3"}, {"fault": "nak 2"}]
// Each becomes the equivalent text line, so that both forms mean the same; step k is line k.
bool JsonToLines(const std::string& text, const std::string& fileName, std::string& lines,
                 std::string* error) {
  using nlohmann::json;
  auto fail = [&](const std::string& where, const std::string& what) {
    if (error) *error = fileName + ":" + where + ": " + what;
    return false;
  };
  json doc;
  try {
    doc = json::parse(text);
  } catch (const json::parse_error& e) {
    return fail("(file)", std::string("not valid JSON: ") + e.what());
  }
  if (!doc.is_array()) return fail("(file)", "must be a list of steps");
  auto word = [](const json& v) {
    return v.is_string() ? v.get<std::string>() : v.is_number() ? v.dump() : std::string();
  };
  for (size_t i = 0; i < doc.size(); ++i) {
    const json& step = doc[i];
    std::string where = std::to_string(i + 1);
    if (!step.is_object()) return fail(where, "a step must be an object");
    std::string line;
    for (const char* verb :
         {"wait", "at", "after", "event", "snapshot", "status", "fault", "log"}) {
      if (!step.contains(verb)) continue;
      if (!line.empty()) return fail(where, "a step has one verb");
      line = std::string(verb) + " " + word(step[verb]);
      if (std::string(verb) == "after" && step.contains("count")) line += " " + word(step["count"]);
      if (std::string(verb) == "event" && step.contains("params")) {
        const json& params = step["params"];
        if (!params.is_array()) return fail(where, "params must be a list of texts");
        for (size_t k = 0; k < params.size(); ++k) {
          line += (k == 0 ? " " : ", ") + word(params[k]);
        }
      }
      if (std::string(verb) == "snapshot") {
        if (step.contains("mode")) line += " mode " + word(step["mode"]);
        if (step.contains("other")) line += " other " + word(step["other"]);
      }
    }
    if (line.empty()) return fail(where, "no step verb (wait, at, after, event, snapshot, ...)");
    lines += line + "\n";
  }
  return true;
}

}  // namespace

bool Scenario::Parse(const std::string& textIn, const std::string& fileName, const Pbx& pbx,
                     Scenario& scenario, std::string* error) {
  std::string text = textIn;
  size_t firstChar = text.find_first_not_of(" \t\r\n");
  if (firstChar != std::string::npos && text[firstChar] == '[') {
    std::string lines;
    if (!JsonToLines(textIn, fileName, lines, error)) return false;
    text = lines;
  }
  std::vector<Step> steps;
  std::istringstream in(text);
  std::string raw;
  int lineNo = 0;
  while (std::getline(in, raw)) {
    ++lineNo;
    auto fail = [&](const std::string& what) {
      if (error) {
        *error = fileName;
        *error += ':';
        *error += std::to_string(lineNo);
        *error += ": ";
        *error += what;
      }
      return false;
    };
    std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> w = Words(line);
    std::string verb = Lower(w[0]);
    Step s;
    s.line = lineNo;
    int64_t n = 0;
    if (verb == "wait" || verb == "at") {
      if (w.size() != 2 || !Number(w[1], 86400000, n)) return fail(verb + " needs milliseconds");
      s.kind = verb == "wait" ? Step::Kind::Wait : Step::Kind::At;
      s.ms = static_cast<uint32_t>(n);
    } else if (verb == "after") {
      if (w.size() < 2 || w.size() > 3) return fail("after needs a request and an optional count");
      auto code = CodeByName(w[1]);
      if (!code) return fail("unknown request \"" + w[1] + "\"");
      s.kind = Step::Kind::After;
      s.code = *code;
      if (w.size() == 3) {
        if (!Number(w[2], 1000000, n) || n < 1) return fail("bad count \"" + w[2] + "\"");
        s.count = static_cast<uint32_t>(n);
      }
    } else if (verb == "event") {
      if (w.size() < 2) return fail("event needs an event name or code");
      auto code = CodeByName(w[1]);
      if (!code) return fail("unknown event \"" + w[1] + "\"");
      s.kind = Step::Kind::Event;
      s.code = *code;
      Message m;
      m.code = *code;
      m.kind = 1;
      size_t start = line.find(w[1]) + w[1].size();
      std::string rest = Trim(line.substr(start));
      if (!rest.empty()) {
        std::vector<std::string> parts;
        std::string part;
        bool quoted = false;
        for (char c : rest) {
          if (c == '"') quoted = !quoted;
          if (c == ',' && !quoted) {
            parts.push_back(part);
            part.clear();
          } else {
            part += c;
          }
        }
        parts.push_back(part);
        uint8_t nextTag = 1;
        for (std::string p : parts) {
          p = Trim(p);
          uint8_t tag = nextTag;
          if (Lower(p.substr(0, 3)) == "tag") {
            size_t colon = p.find(':');
            if (colon == std::string::npos || !Number(p.substr(3, colon - 3), 255, n) || n < 1) {
              return fail("bad tag in \"" + p + "\"");
            }
            tag = static_cast<uint8_t>(n);
            p = Trim(p.substr(colon + 1));
          }
          Param param;
          param.tag = tag;
          std::string why;
          if (!ParseValue(p, pbx, param.value, &why)) return fail(why);
          m.params.push_back(param);
          nextTag = static_cast<uint8_t>(tag + 1);
        }
      }
      s.message = Encode(m);
      if (s.message.size() > 65535) return fail("event too long");
    } else if (verb == "snapshot") {
      // snapshot <device words...> mode N [other <device words...>]
      size_t modeAt = 0;
      for (size_t i = 1; i < w.size(); ++i) {
        if (Lower(w[i]) == "mode") modeAt = i;
      }
      if (modeAt < 2 || modeAt + 1 >= w.size() || !Number(w[modeAt + 1], 255, n)) {
        return fail("snapshot needs a device, \"mode\" and a number");
      }
      std::string device;
      for (size_t i = 1; i < modeAt; ++i) device += w[i] + " ";
      std::string why;
      if (!ParseValue(device, pbx, s.device, &why)) return fail(why);
      s.kind = Step::Kind::Snapshot;
      s.state.mode = static_cast<uint8_t>(n);
      if (modeAt + 2 < w.size()) {
        if (Lower(w[modeAt + 2]) != "other" || modeAt + 3 >= w.size()) {
          return fail("snapshot: expected \"other\" and a device after the mode");
        }
        std::string other;
        for (size_t i = modeAt + 3; i < w.size(); ++i) other += w[i] + " ";
        if (!ParseValue(other, pbx, s.state.other, &why)) return fail(why);
      }
    } else if (verb == "status") {
      std::string v = w.size() == 2 ? Lower(w[1]) : "";
      if (v != "normal" && v != "messages-lost") return fail("status is normal or messages-lost");
      s.kind = Step::Kind::Status;
      s.status = v == "normal" ? 2 : 3;
    } else if (verb == "fault") {
      if (w.size() < 2) return fail("fault needs a name");
      s.kind = Step::Kind::Fault;
      s.fault = Lower(w[1]);
      const std::string& f = s.fault;
      if (f == "nak" || f == "silence" || f == "block" || f == "bad-check" || f == "open-noise" ||
          f == "fragment") {
        if (w.size() != 3 || !Number(w[2], 65535, n)) return fail("fault " + f + " needs a number");
        s.number = n;
      } else if (f == "silent" || f == "answer") {
        auto code = CodeByName(w.size() == 3 ? w[2] : "");
        if (!code) return fail("fault " + f + " needs a request name or code");
        s.code = *code;
      } else if (f == "poll") {
        std::string v = w.size() == 3 ? Lower(w[2]) : "";
        if (v != "on" && v != "off") return fail("fault poll is on or off");
        s.number = v == "on" ? 1 : 0;
      } else if (f == "garbage") {
        if (w.size() < 3) return fail("fault garbage needs a text");
        std::string g;
        for (size_t i = 2; i < w.size(); ++i) g += (i > 2 ? " " : "") + w[i];
        s.bytes.assign(g.begin(), g.end());
      } else if (f == "crlf") {
        s.bytes = {'\r', '\n'};
      } else if (f != "reset") {
        return fail("unknown fault \"" + w[1] + "\"");
      }
    } else if (verb == "log") {
      s.kind = Step::Kind::Log;
      s.text = Trim(line.substr(3));
    } else {
      return fail("unknown step \"" + w[0] + "\"");
    }
    steps.push_back(std::move(s));
  }
  scenario.steps_ = std::move(steps);
  return true;
}

bool Scenario::Load(const std::string& path, const Pbx& pbx, Scenario& scenario,
                    std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = path + ": cannot be read";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return Parse(text.str(), path, pbx, scenario, error);
}

void Scenario::Run(Link& link, Pbx& pbx, const std::atomic<bool>& stop, const LogSink& log) const {
  platform::Clock& clock = platform::CurrentClock();
  uint64_t start = clock.NowMs();
  auto note = [&](const Step& s, const std::string& text) {
    if (log) link.Note("scenario line " + std::to_string(s.line) + ": " + text);
  };
  // Sleeps in short slices so that a stop is noticed.
  auto sleepUntil = [&](uint64_t when) {
    while (!stop && clock.NowMs() < when) {
      uint64_t left = when - clock.NowMs();
      platform::SleepMs(static_cast<uint32_t>(left < 50 ? left : 50));
    }
  };
  for (const Step& s : steps_) {
    if (stop) return;
    switch (s.kind) {
      case Step::Kind::Wait:
        sleepUntil(clock.NowMs() + s.ms);
        break;
      case Step::Kind::At:
        sleepUntil(start + s.ms);
        break;
      case Step::Kind::After:
        note(s, "waiting for request " + std::to_string(s.code) + " #" + std::to_string(s.count));
        while (!stop && !link.WaitForRequests(s.code, s.count, 100)) {
        }
        break;
      case Step::Kind::Event:
        note(s, "event " + Describe(s.message));
        link.SendEvent(s.message);
        break;
      case Step::Kind::Snapshot:
        note(s, "snapshot mode " + std::to_string(s.state.mode) + " for " + Hex(s.device));
        pbx.SetDeviceState(s.device, s.state);
        break;
      case Step::Kind::Status:
        note(s, s.status == 2 ? "status normal" : "status messages lost");
        pbx.SetSystemStatus(s.status);
        break;
      case Step::Kind::Log:
        note(s, s.text);
        break;
      case Step::Kind::Fault: {
        note(s, "fault " + s.fault);
        const std::string& f = s.fault;
        int count = static_cast<int>(s.number);
        if (f == "nak") link.NakNextFrames(count);
        if (f == "silence") link.IgnoreNextFrames(count);
        if (f == "block") link.BlockNextFrames(count);
        if (f == "bad-check") link.CorruptNextSends(count);
        if (f == "open-noise") link.AnswerOpenWithNoise({'\r', '\n'}, count);
        if (f == "fragment") link.SetFragmentSize(static_cast<size_t>(s.number));
        if (f == "silent") link.SilenceCode(s.code, true);
        if (f == "answer") link.SilenceCode(s.code, false);
        if (f == "poll") pbx.SetPollSilent(s.number == 0);
        if (f == "garbage" || f == "crlf") link.SendRaw(s.bytes);
        if (f == "reset") link.SendControl(Control::Reset);
        break;
      }
    }
  }
}

}  // namespace qrvn::pbxsim
