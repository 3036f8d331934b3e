#include "pbxsim/model.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace qrvn::pbxsim {

namespace {

using nlohmann::json;

void AddExtensions(Model& m, int count, uint16_t firstDevice, int firstNumber,
                   const std::string& namePrefix) {
  for (int k = 0; k < count; ++k) {
    Extension e;
    e.device = static_cast<uint16_t>(firstDevice + k);
    e.number = std::to_string(firstNumber + k);
    e.name = namePrefix + e.number;
    m.extensions.push_back(e);
  }
}

void AddTrunks(Model& m, int count, uint16_t first, const std::string& textPrefix, uint8_t type) {
  for (int k = 0; k < count; ++k) {
    Trunk t;
    t.number = static_cast<uint16_t>(first + k);
    t.text = textPrefix + std::to_string(t.number);
    t.type = type;
    m.trunks.push_back(t);
  }
}

void DefaultGroups(Model& m) {
  auto first = [&](size_t i) { return i < m.extensions.size() ? m.extensions[i].number : ""; };
  m.groups = {
      {23, 1, "600", 0, 0, 0, {first(0), first(1)}, false},
      {21, 1, "610", 0, 0, 0, {first(2), first(3)}, false},
      {26, 2, "611", 0, 0, 0, {first(4)}, false},
      {35, 1, "620", 0, 0, 0, {first(0)}, false},
      {38, 1, "", 0, 0, 0, {first(1)}, false},
  };
  for (Group& g : m.groups) {
    std::erase(g.members, std::string());
  }
}

bool IsDialDigits(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) || c == '*' || c == '#';
  });
}

// Collects the first error with its field path.
class Checker {
 public:
  explicit Checker(std::string file) : file_(std::move(file)) {}
  bool Fail(const std::string& field, const std::string& what) {
    if (error_.empty()) error_ = file_ + ": " + field + ": " + what;
    return false;
  }
  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

  bool Uint(const json& v, const std::string& field, uint32_t max, uint32_t& out) {
    if (!v.is_number_integer() || v.get<int64_t>() < 0 || v.get<int64_t>() > max) {
      return Fail(field, "must be a whole number from 0 to " + std::to_string(max));
    }
    out = static_cast<uint32_t>(v.get<int64_t>());
    return true;
  }
  template <typename T>
  bool UintAs(const json& v, const std::string& field, uint32_t max, T& out) {
    uint32_t x = 0;
    if (!Uint(v, field, max, x)) return false;
    out = static_cast<T>(x);
    return true;
  }
  bool Text(const json& v, const std::string& field, size_t maxLength, std::string& out) {
    if (!v.is_string()) return Fail(field, "must be a text");
    std::string s = v.get<std::string>();
    if (s.size() > maxLength) {
      return Fail(field, "longer than " + std::to_string(maxLength) + " characters");
    }
    out = s;
    return true;
  }
  bool Digits(const json& v, const std::string& field, bool allowEmpty, std::string& out) {
    if (v.is_number_integer() && v.get<int64_t>() >= 0) {
      out = std::to_string(v.get<int64_t>());
    } else if (v.is_string()) {
      out = v.get<std::string>();
    } else {
      return Fail(field, "must be a dial number text");
    }
    if ((out.empty() && !allowEmpty) || out.size() > 4 || !IsDialDigits(out)) {
      return Fail(field, "must be 1 to 4 digits (0-9, *, #), got \"" + out + "\"");
    }
    return true;
  }
  bool Bool(const json& v, const std::string& field, bool& out) {
    if (!v.is_boolean()) return Fail(field, "must be true or false");
    out = v.get<bool>();
    return true;
  }
  // Refuses keys outside the allowed set, so that a misspelt field is not silently ignored.
  bool Keys(const json& obj, const std::string& field, std::initializer_list<std::string_view> ok) {
    if (!obj.is_object()) return Fail(field.empty() ? "(top level)" : field, "must be an object");
    for (auto it = obj.begin(); it != obj.end(); ++it) {
      if (std::find(ok.begin(), ok.end(), it.key()) == ok.end()) {
        return Fail(field.empty() ? it.key() : field + "." + it.key(), "unknown field");
      }
    }
    return true;
  }

 private:
  std::string file_;
  std::string error_;
};

std::vector<IndexedNumber> ParseNumbers(Checker& c, const json& v, const std::string& field) {
  std::vector<IndexedNumber> out;
  if (!v.is_array()) {
    c.Fail(field, "must be a list of dial numbers");
    return out;
  }
  for (size_t i = 0; i < v.size() && c.Ok(); ++i) {
    IndexedNumber n;
    n.index = static_cast<uint8_t>(i + 1);
    if (i >= 255) c.Fail(field, "more than 255 entries");
    c.Digits(v[i], field + "[" + std::to_string(i) + "]", false, n.number);
    out.push_back(n);
  }
  return out;
}

bool ParseExtension(Checker& c, const json& v, const std::string& f, Extension& e) {
  if (!c.Keys(v, f,
              {"device", "number", "name", "in_service", "type", "class_of_service", "reminder",
               "attribute"})) {
    return false;
  }
  if (!v.contains("device")) return c.Fail(f + ".device", "missing");
  if (!c.UintAs(v["device"], f + ".device", 65535, e.device)) return false;
  if (e.device == 0) return c.Fail(f + ".device", "must be from 1 to 65535");
  if (v.contains("number") && !c.Digits(v["number"], f + ".number", true, e.number)) return false;
  if (v.contains("name") && !c.Text(v["name"], f + ".name", 32, e.name)) return false;
  if (v.contains("in_service") && !c.Bool(v["in_service"], f + ".in_service", e.inService)) {
    return false;
  }
  if (v.contains("type") && !c.UintAs(v["type"], f + ".type", 255, e.type)) return false;
  if (v.contains("class_of_service") &&
      !c.UintAs(v["class_of_service"], f + ".class_of_service", 255, e.classOfService)) {
    return false;
  }
  if (v.contains("attribute") && !c.UintAs(v["attribute"], f + ".attribute", 65535, e.attribute)) {
    return false;
  }
  if (v.contains("reminder") && !v["reminder"].is_null()) {
    const json& r = v["reminder"];
    std::string rf = f + ".reminder";
    if (!c.Keys(r, rf, {"hour", "minute", "flags"})) return false;
    e.reminder = true;
    if (r.contains("hour") && !c.UintAs(r["hour"], rf + ".hour", 23, e.reminderHour)) return false;
    if (r.contains("minute") && !c.UintAs(r["minute"], rf + ".minute", 59, e.reminderMinute)) {
      return false;
    }
    if (r.contains("flags") && !c.UintAs(r["flags"], rf + ".flags", 255, e.reminderFlags)) {
      return false;
    }
  }
  return true;
}

bool ParseTrunk(Checker& c, const json& v, const std::string& f, Trunk& t) {
  if (!c.Keys(v, f, {"number", "text", "type", "value", "attribute"})) return false;
  if (!v.contains("number")) return c.Fail(f + ".number", "missing");
  if (!c.UintAs(v["number"], f + ".number", 65535, t.number)) return false;
  if (t.number == 0) return c.Fail(f + ".number", "trunks are counted from 1");
  if (v.contains("text") && !c.Text(v["text"], f + ".text", 32, t.text)) return false;
  if (v.contains("type") && !c.UintAs(v["type"], f + ".type", 255, t.type)) return false;
  if (v.contains("value") && !c.UintAs(v["value"], f + ".value", 65535, t.value)) return false;
  if (v.contains("attribute") && !c.UintAs(v["attribute"], f + ".attribute", 255, t.attribute)) {
    return false;
  }
  return true;
}

bool ParseGroup(Checker& c, const json& v, const std::string& f, Group& g) {
  if (!c.Keys(v, f,
              {"type", "number", "dial", "attribute", "values", "members", "refuse_members"})) {
    return false;
  }
  if (!v.contains("type")) return c.Fail(f + ".type", "missing");
  if (!c.UintAs(v["type"], f + ".type", 255, g.type)) return false;
  if (g.type < 20 || g.type > 39) return c.Fail(f + ".type", "must be a group type from 20 to 39");
  if (!v.contains("number")) return c.Fail(f + ".number", "missing");
  if (!c.UintAs(v["number"], f + ".number", 65535, g.number)) return false;
  if (v.contains("dial") && !c.Digits(v["dial"], f + ".dial", true, g.dial)) return false;
  if (v.contains("attribute") && !c.UintAs(v["attribute"], f + ".attribute", 255, g.attribute)) {
    return false;
  }
  if (v.contains("values")) {
    const json& vals = v["values"];
    if (!vals.is_array() || vals.size() != 2) {
      return c.Fail(f + ".values", "must be a list of two numbers");
    }
    if (!c.UintAs(vals[0], f + ".values[0]", 65535, g.value1)) return false;
    if (!c.UintAs(vals[1], f + ".values[1]", 65535, g.value2)) return false;
  }
  if (v.contains("members")) {
    const json& mem = v["members"];
    if (!mem.is_array()) return c.Fail(f + ".members", "must be a list of extension numbers");
    g.members.clear();
    for (size_t i = 0; i < mem.size(); ++i) {
      std::string n;
      if (!c.Digits(mem[i], f + ".members[" + std::to_string(i) + "]", false, n)) return false;
      g.members.push_back(n);
    }
  }
  if (v.contains("refuse_members") &&
      !c.Bool(v["refuse_members"], f + ".refuse_members", g.refuseMembers)) {
    return false;
  }
  return true;
}

bool ParseBlock(Checker& c, const json& v, const std::string& f, Model& m, bool extensions) {
  if (extensions) {
    if (!c.Keys(v, f, {"count", "first_device", "first_number", "name_prefix"})) return false;
    uint32_t count = 0, firstDevice = 1, firstNumber = 101;
    std::string prefix = "Ext ";
    if (!v.contains("count")) return c.Fail(f + ".count", "missing");
    if (!c.Uint(v["count"], f + ".count", 4000, count)) return false;
    if (v.contains("first_device") &&
        !c.Uint(v["first_device"], f + ".first_device", 65535, firstDevice)) {
      return false;
    }
    if (v.contains("first_number") &&
        !c.Uint(v["first_number"], f + ".first_number", 9999, firstNumber)) {
      return false;
    }
    if (v.contains("name_prefix") && !c.Text(v["name_prefix"], f + ".name_prefix", 24, prefix)) {
      return false;
    }
    if (firstDevice + count - 1 > 65535 || firstDevice == 0) {
      return c.Fail(f, "device numbers must stay within 1 to 65535");
    }
    if (firstNumber + count - 1 > 9999) return c.Fail(f, "extension numbers pass 9999");
    AddExtensions(m, static_cast<int>(count), static_cast<uint16_t>(firstDevice),
                  static_cast<int>(firstNumber), prefix);
    return true;
  }
  if (!c.Keys(v, f, {"count", "first", "text_prefix", "type"})) return false;
  uint32_t count = 0, first = 1, type = 0;
  std::string prefix = "CO";
  if (!v.contains("count")) return c.Fail(f + ".count", "missing");
  if (!c.Uint(v["count"], f + ".count", 4000, count)) return false;
  if (v.contains("first") && !c.Uint(v["first"], f + ".first", 65535, first)) return false;
  if (v.contains("text_prefix") && !c.Text(v["text_prefix"], f + ".text_prefix", 24, prefix)) {
    return false;
  }
  if (v.contains("type") && !c.Uint(v["type"], f + ".type", 255, type)) return false;
  if (first == 0 || first + count - 1 > 65535) {
    return c.Fail(f, "trunk numbers must stay within 1 to 65535");
  }
  AddTrunks(m, static_cast<int>(count), static_cast<uint16_t>(first), prefix,
            static_cast<uint8_t>(type));
  return true;
}

// Cross-field rules: unique devices and numbers, known members.
bool CheckConsistency(Checker& c, const Model& m) {
  std::set<uint16_t> devices;
  std::set<std::string> numbers;
  for (size_t i = 0; i < m.extensions.size(); ++i) {
    const Extension& e = m.extensions[i];
    std::string f = "extensions[" + std::to_string(i) + "]";
    if (!devices.insert(e.device).second) {
      return c.Fail(f + ".device", "device " + std::to_string(e.device) + " appears twice");
    }
    if (!e.number.empty() && !numbers.insert(e.number).second) {
      return c.Fail(f + ".number", "number " + e.number + " appears twice");
    }
  }
  std::set<uint16_t> trunks;
  for (size_t i = 0; i < m.trunks.size(); ++i) {
    if (!trunks.insert(m.trunks[i].number).second) {
      return c.Fail("trunks[" + std::to_string(i) + "].number",
                    "trunk " + std::to_string(m.trunks[i].number) + " appears twice");
    }
  }
  if (m.extensions.size() > 65535) return c.Fail("extensions", "more than 65535 extensions");
  std::set<std::pair<uint8_t, uint16_t>> groups;
  for (size_t i = 0; i < m.groups.size(); ++i) {
    const Group& g = m.groups[i];
    std::string f = "groups[" + std::to_string(i) + "]";
    if (!groups.insert({g.type, g.number}).second) {
      return c.Fail(f, "group type " + std::to_string(g.type) + " number " +
                           std::to_string(g.number) + " appears twice");
    }
    for (size_t k = 0; k < g.members.size(); ++k) {
      if (!numbers.count(g.members[k])) {
        return c.Fail(f + ".members[" + std::to_string(k) + "]",
                      "no extension has the number " + g.members[k]);
      }
    }
  }
  if (!m.groups.empty() && CtiWord(m.ctiVersion) < 0x13000) {
    return c.Fail("groups", "a PBX with CTI version " + m.ctiVersion + " has no groups");
  }
  return true;
}

}  // namespace

uint32_t CtiWord(std::string_view text) {
  uint32_t word = 0;
  int digits = 0;
  for (char ch : text) {
    if (!std::isdigit(static_cast<unsigned char>(ch))) continue;
    if (digits == 5) break;
    word = word * 16 + static_cast<uint32_t>(ch - '0');
    ++digits;
  }
  for (; digits < 5; ++digits) word *= 16;
  return word;
}

uint8_t ModelCodeOf(std::string_view name) {
  if (name == "VN1632") return 1;
  if (name == "VN2448") return 2;
  if (name == "VN2448D") return 3;
  if (name == "VN1224") return 4;
  if (name == "VN9000") return 16;
  return 0;
}

uint8_t QueueSubkindOf(uint8_t t) {
  if (t == 23) return 2;                                                         // QO
  if (t == 20 || t == 21 || t == 22 || t == 25 || t == 26 || t == 29) return 1;  // QH
  if (t == 38) return 4;                                                         // QIO
  if (t == 35 || t == 36 || t == 37 || t == 39) return 3;                        // QIH
  return 0;
}

Model DefaultModel(std::string_view name) {
  Model m;
  m.name = std::string(name);
  m.modelCode = ModelCodeOf(name);
  m.systemParameters = {{18, "0"}, {19, "8"}, {23, "55"}, {24, "33"}, {26, "34"}};
  m.disa = {{1, "801"}};
  m.featureNumbers = {{1, "70"}, {2, "71"}};
  if (name == "VN2448") {
    // The host shows exactly 64 extension lines of this model, so it has 64 ports in use.
    m.ctiVersion = "1.2";
    m.romVersion = "VN2448 V2.10";
    AddExtensions(m, 64, 1, 101, "Ext ");
    AddTrunks(m, 8, 1, "CO", 0);
    m.doorPhones = 2;
    m.pagingOut = 4;
    m.pagingIn = 1;
    m.featureNumbers.clear();
  } else if (name == "VN2448D") {
    m.ctiVersion = "1.3";
    m.romVersion = "VN2448D V3.02";
    m.country = 1;
    AddExtensions(m, 24, 1, 101, "Ext ");
    AddTrunks(m, 24, 1, "CO", 0);
    m.doorPhones = 2;
    m.pagingOut = 4;
    m.pagingIn = 1;
    DefaultGroups(m);
  } else if (name == "VN1224") {
    m.ctiVersion = "1.320";
    m.romVersion = "VN1224 V1.50";
    AddExtensions(m, 12, 1, 201, "Ext ");
    AddTrunks(m, 4, 1, "CO", 0);
    m.doorPhones = 1;
    m.pagingOut = 2;
    m.pagingIn = 1;
    m.bv = {{1, "725"}, {2, "726"}};
    DefaultGroups(m);
  } else if (name == "VN9000") {
    m.ctiVersion = "1.320";
    m.romVersion = "VN9000 V5.20";
    AddExtensions(m, 200, 1, 2001, "Ext ");
    AddTrunks(m, 32, 1, "CO", 0);
    m.doorPhones = 4;
    m.pagingOut = 4;
    m.pagingIn = 2;
    m.disa = {{1, "801"}, {2, "802"}};
    DefaultGroups(m);
  } else {
    // The documented default: a VN1632 with CTI 1.320.
    m.name = "VN1632";
    m.modelCode = 1;
    m.ctiVersion = "1.320";
    m.romVersion = "VN1632 V4.11";
    AddExtensions(m, 16, 1, 101, "Ext ");
    m.extensions[0].name = "Reception";
    AddTrunks(m, 8, 1, "CO", 0);
    m.doorPhones = 2;
    m.pagingOut = 2;
    m.pagingIn = 1;
    DefaultGroups(m);
  }
  std::sort(m.groups.begin(), m.groups.end(), [](const Group& a, const Group& b) {
    return a.type != b.type ? a.type < b.type : a.number < b.number;
  });
  return m;
}

std::vector<Capacity> Capacities(const Model& m) {
  std::map<uint8_t, Capacity> caps;
  auto put = [&](uint8_t tag, uint32_t value, uint8_t size) { caps[tag] = {tag, value, size}; };
  put(6, static_cast<uint32_t>(m.extensions.size()), 2);
  put(7, static_cast<uint32_t>(m.trunks.size()), 2);
  put(9, m.doorPhones, 1);
  put(10, static_cast<uint32_t>(m.disa.size()), 1);
  put(11, m.pagingOut, 1);
  put(24, m.pagingIn, 1);
  uint32_t cti = CtiWord(m.ctiVersion);
  if (cti >= 0x13000) {
    size_t members = 0;
    for (const Group& g : m.groups) members += g.members.size();
    // Word 19 sizes the host's special-number table (twice the value) and, with word 21,
    // its feature-number table; both must hold every group and further feature number.
    uint32_t groups = static_cast<uint32_t>(m.groups.size());
    for (uint8_t tag = 13; tag <= 18; ++tag) put(tag, 0, 1);
    put(19, std::min<uint32_t>(255, std::max<uint32_t>(1, groups)), 1);
    put(21, static_cast<uint32_t>(groups + m.featureNumbers.size() + members), 2);
    put(22, 0, 1);
  }
  if (cti >= 0x13170) put(27, static_cast<uint32_t>(m.bv.size()), 1);
  for (const auto& [tag, value] : m.capacity) {
    uint8_t size = (tag == 6 || tag == 7 || tag == 21) ? 2 : 1;
    put(tag, value, size);
  }
  std::vector<Capacity> out;
  out.reserve(caps.size());
  for (const auto& [tag, c] : caps) out.push_back(c);
  return out;
}

bool ParseModel(const std::string& text, const std::string& fileName, Model& model,
                std::string* error) {
  Checker c(fileName);
  json doc;
  try {
    doc = json::parse(text);
  } catch (const json::parse_error& e) {
    if (error) *error = fileName + ": (file): not valid JSON: " + e.what();
    return false;
  }
  auto done = [&]() {
    if (!c.Ok() && error) *error = c.Error();
    return c.Ok();
  };
  if (!c.Keys(doc, "",
              {"model",
               "model_code",
               "cti_version",
               "negotiation",
               "session",
               "binary_framing",
               "rom_version",
               "country",
               "capacity",
               "extensions",
               "extension_blocks",
               "trunks",
               "trunk_blocks",
               "door_phones",
               "paging_out",
               "paging_in",
               "disa",
               "bv",
               "feature_numbers",
               "system_parameters",
               "groups",
               "system_status",
               "page_records",
               "refused_codes",
               "comment"})) {
    return done();
  }
  Model m = DefaultModel("VN1632");
  if (doc.contains("model")) {
    std::string name;
    if (!c.Text(doc["model"], "model", 16, name)) return done();
    if (ModelCodeOf(name) == 0) {
      c.Fail("model", "unknown model \"" + name + "\" (VN1632, VN2448, VN2448D, VN1224, VN9000)");
      return done();
    }
    m = DefaultModel(name);
  }
  if (doc.contains("model_code")) c.UintAs(doc["model_code"], "model_code", 255, m.modelCode);
  if (c.Ok() && doc.contains("cti_version")) {
    if (c.Text(doc["cti_version"], "cti_version", 8, m.ctiVersion) && m.ctiVersion.empty()) {
      c.Fail("cti_version", "must not be empty");
    }
  }
  if (c.Ok() && doc.contains("negotiation")) {
    std::string s;
    if (c.Text(doc["negotiation"], "negotiation", 16, s)) {
      if (s == "answer") {
        m.negotiation = Negotiation::Answer;
      } else if (s == "refuse") {
        m.negotiation = Negotiation::Refuse;
      } else if (s == "silent") {
        m.negotiation = Negotiation::Silent;
      } else if (s == "negative") {
        m.negotiation = Negotiation::Negative;
      } else {
        c.Fail("negotiation", "must be answer, refuse, silent or negative");
      }
    }
  }
  if (c.Ok() && doc.contains("session")) {
    std::string s;
    if (c.Text(doc["session"], "session", 16, s)) {
      if (s == "accept") {
        m.session = SessionAnswer::Accept;
      } else if (s == "negative") {
        m.session = SessionAnswer::Negative;
      } else if (s == "silent") {
        m.session = SessionAnswer::Silent;
      } else {
        c.Fail("session", "must be accept, negative or silent");
      }
    }
  }
  if (c.Ok() && doc.contains("answer_closing")) {
    c.Bool(doc["answer_closing"], "answer_closing", m.answerClosing);
  }
  if (c.Ok() && doc.contains("binary_framing")) {
    c.Bool(doc["binary_framing"], "binary_framing", m.acceptBinary);
  }
  if (c.Ok() && doc.contains("rom_version"))
    c.Text(doc["rom_version"], "rom_version", 59, m.romVersion);
  if (c.Ok() && doc.contains("country")) c.Uint(doc["country"], "country", 999, m.country);
  if (c.Ok() && doc.contains("capacity")) {
    const json& cap = doc["capacity"];
    if (!cap.is_object()) {
      c.Fail("capacity", "must be an object of tag numbers (\"6\" to \"27\")");
    }
    for (auto it = cap.begin(); c.Ok() && it != cap.end(); ++it) {
      std::string f = "capacity." + it.key();
      int tag = 0;
      std::istringstream in(it.key());
      if (!(in >> tag) || !in.eof() || tag < 6 || tag > 27) {
        c.Fail(f, "a capacity tag must be a number from 6 to 27");
        break;
      }
      uint32_t max = (tag == 6 || tag == 7 || tag == 21) ? 65535 : 255;
      uint32_t value = 0;
      if (c.Uint(it.value(), f, max, value)) m.capacity[static_cast<uint8_t>(tag)] = value;
    }
  }
  if (c.Ok() && (doc.contains("extensions") || doc.contains("extension_blocks"))) {
    m.extensions.clear();
    if (doc.contains("extensions")) {
      const json& list = doc["extensions"];
      if (!list.is_array()) c.Fail("extensions", "must be a list of extension records");
      for (size_t i = 0; c.Ok() && i < list.size(); ++i) {
        Extension e;
        if (ParseExtension(c, list[i], "extensions[" + std::to_string(i) + "]", e)) {
          m.extensions.push_back(e);
        }
      }
    }
    if (c.Ok() && doc.contains("extension_blocks")) {
      const json& list = doc["extension_blocks"];
      if (!list.is_array()) c.Fail("extension_blocks", "must be a list of blocks");
      for (size_t i = 0; c.Ok() && i < list.size(); ++i) {
        ParseBlock(c, list[i], "extension_blocks[" + std::to_string(i) + "]", m, true);
      }
    }
  }
  if (c.Ok() && (doc.contains("trunks") || doc.contains("trunk_blocks"))) {
    m.trunks.clear();
    if (doc.contains("trunks")) {
      const json& list = doc["trunks"];
      if (!list.is_array()) c.Fail("trunks", "must be a list of trunk records");
      for (size_t i = 0; c.Ok() && i < list.size(); ++i) {
        Trunk t;
        if (ParseTrunk(c, list[i], "trunks[" + std::to_string(i) + "]", t)) m.trunks.push_back(t);
      }
    }
    if (c.Ok() && doc.contains("trunk_blocks")) {
      const json& list = doc["trunk_blocks"];
      if (!list.is_array()) c.Fail("trunk_blocks", "must be a list of blocks");
      for (size_t i = 0; c.Ok() && i < list.size(); ++i) {
        ParseBlock(c, list[i], "trunk_blocks[" + std::to_string(i) + "]", m, false);
      }
    }
  }
  if (c.Ok() && doc.contains("door_phones"))
    c.UintAs(doc["door_phones"], "door_phones", 255, m.doorPhones);
  if (c.Ok() && doc.contains("paging_out"))
    c.UintAs(doc["paging_out"], "paging_out", 255, m.pagingOut);
  if (c.Ok() && doc.contains("paging_in")) c.UintAs(doc["paging_in"], "paging_in", 255, m.pagingIn);
  if (c.Ok() && doc.contains("disa")) m.disa = ParseNumbers(c, doc["disa"], "disa");
  if (c.Ok() && doc.contains("bv")) m.bv = ParseNumbers(c, doc["bv"], "bv");
  if (c.Ok() && doc.contains("feature_numbers")) {
    m.featureNumbers = ParseNumbers(c, doc["feature_numbers"], "feature_numbers");
  }
  if (c.Ok() && doc.contains("system_parameters")) {
    const json& sp = doc["system_parameters"];
    if (!sp.is_object()) c.Fail("system_parameters", "must be an object of parameter numbers");
    m.systemParameters.clear();
    for (auto it = sp.begin(); c.Ok() && it != sp.end(); ++it) {
      std::string f = "system_parameters." + it.key();
      int number = 0;
      std::istringstream in(it.key());
      if (!(in >> number) || !in.eof() || number < 0 || number > 65535) {
        c.Fail(f, "a parameter number must be from 0 to 65535");
        break;
      }
      std::string code;
      if (c.Digits(it.value(), f, true, code)) {
        m.systemParameters[static_cast<uint16_t>(number)] = code;
      }
    }
  }
  if (c.Ok() && doc.contains("groups")) {
    const json& list = doc["groups"];
    if (!list.is_array()) c.Fail("groups", "must be a list of groups");
    m.groups.clear();
    for (size_t i = 0; c.Ok() && i < list.size(); ++i) {
      Group g;
      if (ParseGroup(c, list[i], "groups[" + std::to_string(i) + "]", g)) m.groups.push_back(g);
    }
  } else if (c.Ok() && CtiWord(m.ctiVersion) < 0x13000) {
    m.groups.clear();  // an older CTI version has no groups to default to
  }
  if (c.Ok() && doc.contains("system_status")) {
    std::string s;
    if (c.Text(doc["system_status"], "system_status", 16, s)) {
      if (s == "normal") {
        m.systemStatus = 2;
      } else if (s == "messages-lost") {
        m.systemStatus = 3;
      } else {
        c.Fail("system_status", "must be normal or messages-lost");
      }
    }
  }
  if (c.Ok() && doc.contains("page_records")) {
    if (c.Uint(doc["page_records"], "page_records", 255, m.pageRecords) && m.pageRecords == 0) {
      c.Fail("page_records", "must be at least 1");
    }
  }
  if (c.Ok() && doc.contains("refused_codes")) {
    const json& list = doc["refused_codes"];
    if (!list.is_array()) c.Fail("refused_codes", "must be a list of message codes");
    for (size_t i = 0; c.Ok() && i < list.size(); ++i) {
      uint8_t code = 0;
      if (c.UintAs(list[i], "refused_codes[" + std::to_string(i) + "]", 255, code)) {
        m.refusedCodes.insert(code);
      }
    }
  }
  if (c.Ok()) CheckConsistency(c, m);
  if (!c.Ok()) return done();
  std::sort(m.extensions.begin(), m.extensions.end(),
            [](const Extension& a, const Extension& b) { return a.device < b.device; });
  std::sort(m.trunks.begin(), m.trunks.end(),
            [](const Trunk& a, const Trunk& b) { return a.number < b.number; });
  std::sort(m.groups.begin(), m.groups.end(), [](const Group& a, const Group& b) {
    return a.type != b.type ? a.type < b.type : a.number < b.number;
  });
  model = std::move(m);
  return true;
}

bool LoadModel(const std::string& path, Model& model, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = path + ": (file): cannot be read";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseModel(text.str(), path, model, error);
}

}  // namespace qrvn::pbxsim
