#include "pbxsim/pbx.h"

#include <algorithm>

#include "platform/clock.h"

namespace qrvn::pbxsim {

namespace {

uint8_t Bcd(int value) {
  return static_cast<uint8_t>(((value / 10) % 10) * 16 + value % 10);
}

Bytes TextBytes(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes ExtensionRecord(const Extension& e) {
  Bytes r;
  PutU16(r, e.device);
  r.push_back(e.inService ? 1 : 0);
  r.push_back(static_cast<uint8_t>(e.number.size()));
  r.insert(r.end(), e.number.begin(), e.number.end());
  r.push_back(static_cast<uint8_t>(e.name.size()));
  r.insert(r.end(), e.name.begin(), e.name.end());
  r.push_back(e.type);
  r.push_back(e.classOfService);
  r.push_back(e.reminder ? 1 : 0);
  r.push_back(e.reminder ? Bcd(e.reminderHour) : 0);
  r.push_back(e.reminder ? Bcd(e.reminderMinute) : 0);
  r.push_back(e.reminder ? e.reminderFlags : 0);
  PutU16(r, e.attribute);
  r.push_back(0);
  return r;
}

Bytes TrunkRecord(const Trunk& t) {
  Bytes r;
  PutU16(r, t.number);
  r.push_back(t.attribute);
  r.push_back(static_cast<uint8_t>(t.text.size()));
  r.insert(r.end(), t.text.begin(), t.text.end());
  r.push_back(t.type);
  PutU16(r, t.value);
  r.insert(r.end(), {0, 0, 0});
  return r;
}

// DISA, BV and further feature numbers: index, length, digits, then a byte b and b + 2
// bytes more (b is 0 here).
Bytes IndexedRecord(const IndexedNumber& n) {
  Bytes r = {n.index, static_cast<uint8_t>(n.number.size())};
  r.insert(r.end(), n.number.begin(), n.number.end());
  r.insert(r.end(), {0, 0, 0});
  return r;
}

Bytes GroupRecord(const Group& g) {
  Bytes r = {g.type};
  PutU16(r, g.number);
  r.push_back(static_cast<uint8_t>(g.dial.size()));
  r.insert(r.end(), g.dial.begin(), g.dial.end());
  r.push_back(g.attribute);
  PutU16(r, g.value1);
  PutU16(r, g.value2);
  return r;
}

struct Record {
  uint32_t key;
  Bytes bytes;
};

constexpr uint8_t kCallControl[] = {4,  5,  7,  8,  11, 12,  17,  19,  20,  21,  22,  23,  24,
                                    25, 26, 27, 97, 98, 104, 105, 133, 134, 145, 146, 148, 186};

}  // namespace

Bytes NegativeReply(const Bytes& request, uint8_t cause) {
  Message r;
  r.code = request.empty() ? 0 : request[0];
  r.kind = 3;
  r.sequence = request.size() > 2 ? request[2] : 0;
  r.params.push_back({1, {0x09, cause}});
  return Encode(r);
}

Pbx::Pbx(Model model)
    : model_(std::move(model)),
      cti_(CtiWord(model_.ctiVersion)),
      systemStatus_(model_.systemStatus) {}

void Pbx::SetSystemStatus(uint8_t status) {
  std::lock_guard lock(mutex_);
  systemStatus_ = status;
}

void Pbx::SetPollSilent(bool silent) {
  std::lock_guard lock(mutex_);
  pollSilent_ = silent;
}

void Pbx::SetDeviceState(const Bytes& device, DeviceState state) {
  std::lock_guard lock(mutex_);
  states_[device] = std::move(state);
}

Bytes Pbx::ExtensionParam(const std::string& number) const {
  for (const Extension& e : model_.extensions) {
    if (e.number != number || number.empty()) continue;
    Bytes p = {1, 0, 0};
    PutU16(p, cti_ >= 0x13000 ? e.device : 0);
    p.insert(p.end(), number.begin(), number.end());
    p.push_back(0);
    return p;
  }
  return {};
}

Bytes Pbx::TrunkParam(uint16_t number) const {
  for (const Trunk& t : model_.trunks) {
    if (t.number != number) continue;
    Bytes p = {2};
    PutU16(p, cti_ >= 0x13000 ? t.value : 0);
    PutU16(p, number);
    return p;
  }
  return {};
}

Answer Pbx::Positive(const Message& m, std::vector<Param> params) {
  Message r;
  r.code = m.code;
  r.kind = 2;
  r.sequence = m.sequence;
  r.params = std::move(params);
  Answer a;
  a.replies.push_back(Encode(r));
  return a;
}

Answer Pbx::Negative(const Message& m, uint8_t cause) {
  Answer a;
  a.replies.push_back(NegativeReply(Encode(Message{m.code, 1, m.sequence, 0, {}, {}}), cause));
  return a;
}

Answer Pbx::Handle(const Bytes& request) {
  Answer silent;
  silent.silent = true;
  auto decoded = Decode(request);
  if (!decoded || decoded->kind != 1) return silent;  // only requests are answered
  const Message& m = *decoded;
  if (model_.refusedCodes.count(m.code)) return Negative(m, kCauseRefused);
  switch (m.code) {
    case 1:
      return SessionOpen(m);
    case 2:  // closing
      if (!model_.answerClosing) return silent;
      return Positive(m);
    case 33:   // event registration
    case 131:  // close request
      return Positive(m);
    case 38:
      return Snapshot(m);
    case 106:
      return GroupMembers(m);
    case 129:
      return Poll(m);
    case 143:
      return DeviceData(m);
    case 185:
      return Version(m);
    case 188:
      return SystemParameter(m);
    case 8: {  // the clock block: seconds, weekday, 12-hour clock, minute, month, day, year
      platform::LocalTime t = platform::LocalNow();
      int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
      Bytes clock = {Bcd(t.second),
                     static_cast<uint8_t>(t.dayOfWeek),
                     static_cast<uint8_t>(Bcd(hour12) + (t.hour >= 12 ? 0x40 : 0)),
                     Bcd(t.minute),
                     Bcd(t.month),
                     Bcd(t.day),
                     Bcd(t.year / 100),
                     Bcd(t.year % 100)};
      return Positive(m, {{1, clock}});
    }
    case 104: {  // feature query: the item is not set
      std::vector<Param> params;
      params.push_back({1, m.Find(1) ? m.Find(1)->value : Bytes{}});
      params.push_back({2, m.Find(2) ? m.Find(2)->value : Bytes{}});
      params.push_back({3, {0}});
      params.push_back({4, {0}});
      return Positive(m, std::move(params));
    }
    case 134:  // settings read: sixteen setting bytes, all 0
      return Positive(m, {{1, Bytes(16, 0)}});
    default:
      break;
  }
  if (std::find(std::begin(kCallControl), std::end(kCallControl), m.code) !=
      std::end(kCallControl)) {
    return Positive(m);
  }
  return Negative(m, kCauseUnknownRequest);
}

Answer Pbx::SessionOpen(const Message& m) {
  Answer a;
  a.sessionOpen = true;
  if (model_.session == SessionAnswer::Silent) {
    a.silent = true;
    return a;
  }
  if (model_.session == SessionAnswer::Negative) {
    Answer n = Negative(m, kCauseRefused);
    n.sessionOpen = true;
    return n;
  }
  const Param* proposal = m.Find(1);
  bool binaryProposed = proposal && !proposal->value.empty() && proposal->value[0] == 1;
  if (binaryProposed && !model_.acceptBinary) {
    Answer n = Negative(m, kCauseTextOnly);
    n.sessionOpen = true;
    return n;
  }
  Answer p = Positive(m);
  p.sessionOpen = true;
  p.switchToBinary = binaryProposed;
  return p;
}

Answer Pbx::Version(const Message& m) {
  Answer silent;
  silent.silent = true;
  const Param* proposed = m.Find(2);
  std::string text = proposed ? std::string(proposed->value.begin(), proposed->value.end()) : "";
  switch (model_.negotiation) {
    case Negotiation::Silent:
      return silent;
    case Negotiation::Negative:
      return Negative(m, kCauseRefused);
    case Negotiation::Refuse:
      if (text != model_.ctiVersion) return Negative(m, kCauseRefused);
      break;
    case Negotiation::Answer:
      break;
  }
  std::vector<Param> params;
  params.push_back({1, {model_.modelCode}});
  params.push_back({2, {1}});
  params.push_back({3, TextBytes(model_.ctiVersion)});
  params.push_back({4, TextBytes(model_.romVersion)});
  params.push_back({5, TextBytes(std::to_string(model_.country))});
  for (const Capacity& c : Capacities(model_)) {
    Bytes v;
    if (c.size == 2) {
      PutU16(v, c.value);
    } else {
      v.push_back(static_cast<uint8_t>(c.value));
    }
    params.push_back({c.tag, v});
  }
  return Positive(m, std::move(params));
}

Answer Pbx::DeviceData(const Message& m) {
  const Param* cls = m.Find(1);
  if (!cls || cls->value.size() != 1) return Negative(m, kCauseBadParameter);
  uint8_t deviceClass = cls->value[0];
  std::vector<Record> records;
  size_t countSize = 2;
  switch (deviceClass) {
    case 1:
      for (const Extension& e : model_.extensions)
        records.push_back({e.device, ExtensionRecord(e)});
      break;
    case 2:
      for (const Trunk& t : model_.trunks) records.push_back({t.number, TrunkRecord(t)});
      break;
    case 4:
    case 8:
    case 28: {
      countSize = 1;
      const auto& list = deviceClass == 4   ? model_.disa
                         : deviceClass == 8 ? model_.bv
                                            : model_.featureNumbers;
      for (const IndexedNumber& n : list) records.push_back({n.index, IndexedRecord(n)});
      break;
    }
    case 7:
      if (cti_ < 0x13000) return Negative(m, kCauseNoData);
      for (const Group& g : model_.groups) {
        records.push_back({(static_cast<uint32_t>(g.type) << 16) | g.number, GroupRecord(g)});
      }
      break;
    case 32: {
      const Param* gp = m.Find(2);
      const Group* g = gp ? FindGroup(gp->value) : nullptr;
      if (!g) return Negative(m, kCauseNoData);
      // The member map: the group named again, the member count, 8 bytes per member.
      Bytes map = {QueueSubkindOf(g->type)};
      PutU16(map, g->number);
      map.push_back(g->type);
      map.push_back(0);
      map.push_back(static_cast<uint8_t>(std::min<size_t>(255, g->members.size())));
      size_t shown = 0;
      for (const std::string& number : g->members) {
        if (++shown > 255) break;
        Bytes p = ExtensionParam(number);
        Bytes entry = {1, 0, 0, p.size() > 4 ? p[3] : uint8_t{0}, p.size() > 4 ? p[4] : uint8_t{0},
                       0, 0, 0};
        map.insert(map.end(), entry.begin(), entry.end());
      }
      return Positive(m, {{1, {32}}, {2, map}});
    }
    default:
      return Negative(m, kCauseBadParameter);
  }
  size_t first = 0;
  size_t last = records.size();
  const Param* key = m.Find(3);
  if (key) {
    if (key->value.size() != 4) return Negative(m, kCauseBadParameter);
    uint32_t after = (static_cast<uint32_t>(key->value[0]) << 24) |
                     (static_cast<uint32_t>(key->value[1]) << 16) | GetU16(&key->value[2]);
    if (deviceClass == 4 || deviceClass == 8 || deviceClass == 28) after &= 0xFFFF;
    // A key of zero starts the class; any other key continues after the record it names.
    if (after != 0) {
      while (first < records.size() && records[first].key <= after) ++first;
    }
    last = std::min(records.size(), first + model_.pageRecords);
  }
  size_t count = last - first;
  if (countSize == 1) {
    count = std::min<size_t>(count, 255);
    last = first + count;
  }
  Message r;
  r.code = m.code;
  r.kind = 2;
  r.sequence = m.sequence;
  r.params.push_back({1, {deviceClass}});
  Bytes countBytes;
  if (countSize == 2) {
    PutU16(countBytes, static_cast<uint32_t>(count));
  } else {
    countBytes.push_back(static_cast<uint8_t>(count));
  }
  r.params.push_back({2, countBytes});
  for (size_t i = first; i < last; ++i) {
    r.trailer.insert(r.trailer.end(), records[i].bytes.begin(), records[i].bytes.end());
  }
  Answer a;
  a.replies.push_back(Encode(r));
  return a;
}

Answer Pbx::SystemParameter(const Message& m) {
  const Param* number = m.Find(3);
  if (!number || number->value.size() != 2) return Negative(m, kCauseBadParameter);
  uint16_t n = static_cast<uint16_t>(GetU16(number->value.data()));
  Bytes value = number->value;
  auto it = model_.systemParameters.find(n);
  if (it != model_.systemParameters.end() && !it->second.empty()) {
    // Parameter number, a reserved byte, the code's length, then the code in four bytes.
    value.push_back(0);
    value.push_back(static_cast<uint8_t>(it->second.size()));
    Bytes code(4, 0);
    std::copy(it->second.begin(), it->second.end(), code.begin());
    value.insert(value.end(), code.begin(), code.end());
  }
  return Positive(m, {{1, {1}}, {2, {1}}, {3, value}});
}

const Group* Pbx::FindGroup(const Bytes& p) const {
  if (p.size() != 8 || p[0] != 33) return nullptr;
  uint16_t number = static_cast<uint16_t>(GetU16(&p[4]));
  for (const Group& g : model_.groups) {
    if (QueueSubkindOf(g.type) == p[3] && g.number == number) return &g;
  }
  return nullptr;
}

Answer Pbx::GroupMembers(const Message& m) {
  const Param* gp = m.Find(1);
  if (!gp || gp->value.size() != 8) return Negative(m, kCauseBadParameter);
  const Group* g = FindGroup(gp->value);
  if (!g) return Negative(m, kCauseNoData);
  if (g->refuseMembers) return Negative(m, kCauseNoData);
  Bytes list;
  PutU16(list, static_cast<uint32_t>(g->members.size()));
  for (const std::string& number : g->members) {
    Bytes p = ExtensionParam(number);
    list.push_back(static_cast<uint8_t>(p.size()));
    list.insert(list.end(), p.begin(), p.end());
  }
  return Positive(m, {{1, gp->value}, {3, list}});
}

Answer Pbx::Snapshot(const Message& m) {
  const Param* device = m.Find(1);
  if (!device || device->value.empty()) return Negative(m, kCauseBadParameter);
  DeviceState state;
  {
    std::lock_guard lock(mutex_);
    auto it = states_.find(device->value);
    if (it != states_.end()) state = it->second;
  }
  std::vector<Param> params = {{1, {state.mode}}};
  if (!state.other.empty()) params.push_back({2, state.other});
  return Positive(m, std::move(params));
}

Answer Pbx::Poll(const Message& m) {
  uint8_t status;
  {
    std::lock_guard lock(mutex_);
    if (pollSilent_) {
      Answer a;
      a.silent = true;
      return a;
    }
    status = systemStatus_;
  }
  return Positive(m, {{1, {status}}, {2, {status}}});
}

}  // namespace qrvn::pbxsim
