// A PBX for the session tests: it answers the start-up requests of a provider instance through
// the instance's DataComm entry point, with the record formats of the real PBX, pages of a few
// records, and faults on request (a failed exchange, negative replies, cut replies).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qrvn::testing {

using Bytes = std::vector<uint8_t>;

struct FakeExtension {
  uint16_t device;
  std::string number;
  std::string name;
  uint8_t type = 0;
};
struct FakeTrunk {
  uint16_t number;
  uint8_t type = 0;
  uint16_t value = 0;
};
struct FakeGroup {
  uint8_t type;
  uint16_t number;
  std::string dial;
  std::vector<Bytes> members;  // device parameters
  bool refuseMembers = false;  // negative reply with cause 9
};

class FakePbx {
 public:
  // Version answers in order (the last one repeats); "!" fails that exchange.
  std::vector<std::string> versions = {"1.320"};
  uint8_t modelCode = 1;
  std::string rom = "VN1632 V4.11";
  std::string country = "1";
  std::map<uint8_t, std::pair<uint32_t, uint8_t>> capacity;  // tag -> (value, size)
  std::vector<FakeExtension> extensions;
  std::vector<FakeTrunk> trunks;
  std::vector<std::pair<uint8_t, std::string>> disa, bv, features;
  std::map<uint16_t, std::string> parameters;  // system parameters
  std::vector<FakeGroup> groups;
  uint32_t pageRecords = 5;
  int failExchange = -1;  // the number (from 0) of the exchange that fails
  bool refuseBvNumbers = false;
  bool shortMapReplies = false;  // member map replies of two bytes
  std::vector<Bytes> requests;

  // Fills the capacity tags from the device lists and the given counts.
  void SetCounts(uint8_t doors, uint8_t pagingOut, uint8_t pagingIn) {
    capacity[6] = {static_cast<uint32_t>(extensions.size()), 2};
    capacity[7] = {static_cast<uint32_t>(trunks.size()), 2};
    capacity[9] = {doors, 1};
    capacity[10] = {static_cast<uint32_t>(disa.size()), 1};
    capacity[11] = {pagingOut, 1};
    capacity[24] = {pagingIn, 1};
  }

  // Counts the requests with this code.
  size_t Count(uint8_t code) const {
    size_t n = 0;
    for (const Bytes& r : requests) n += r[0] == code ? 1 : 0;
    return n;
  }

  // Answers one request; a negative value for a failed exchange.
  int32_t Answer(const uint8_t* request, int32_t length, uint8_t* reply, int32_t size) {
    Bytes req(request, request + length);
    int index = static_cast<int>(requests.size());
    requests.push_back(req);
    if (index == failExchange) return -3;
    Bytes out = Reply(req);
    if (out.empty()) return -3;
    int32_t n = static_cast<int32_t>(out.size()) < size ? static_cast<int32_t>(out.size()) : size;
    std::memcpy(reply, out.data(), static_cast<size_t>(n));
    return n;
  }

 private:
  struct Param {
    uint8_t tag;
    Bytes value;
  };
  static Bytes Message(uint8_t code, uint8_t kind, const std::vector<Param>& params,
                       const Bytes& tail = {}) {
    Bytes m = {code, kind, 0, 0};
    for (const Param& p : params) {
      m.push_back(p.tag);
      m.push_back(static_cast<uint8_t>(p.value.size() >> 8));
      m.push_back(static_cast<uint8_t>(p.value.size()));
      m.insert(m.end(), p.value.begin(), p.value.end());
    }
    m.insert(m.end(), tail.begin(), tail.end());
    return m;
  }
  static Bytes U16(uint32_t v) { return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }
  static Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
  // The parameters of a request by tag.
  static std::map<uint8_t, Bytes> Params(const Bytes& m) {
    std::map<uint8_t, Bytes> out;
    size_t p = 4;
    while (p + 3 <= m.size()) {
      uint8_t tag = m[p];
      size_t len = (static_cast<size_t>(m[p + 1]) << 8) | m[p + 2];
      p += 3;
      out[tag] = Bytes(m.begin() + static_cast<long>(p), m.begin() + static_cast<long>(p + len));
      p += len;
    }
    return out;
  }

  static Bytes ExtensionRecord(const FakeExtension& e) {
    Bytes r = U16(e.device);
    r.push_back(1);
    r.push_back(static_cast<uint8_t>(e.number.size()));
    r.insert(r.end(), e.number.begin(), e.number.end());
    r.push_back(static_cast<uint8_t>(e.name.size()));
    r.insert(r.end(), e.name.begin(), e.name.end());
    r.insert(r.end(), {e.type, 1, 0, 0, 0, 0, 0, 0, 0});
    return r;
  }
  static Bytes TrunkRecord(const FakeTrunk& t) {
    Bytes r = U16(t.number);
    r.insert(r.end(), {0, 2, 'C', 'O', t.type});
    Bytes v = U16(t.value);
    r.insert(r.end(), v.begin(), v.end());
    r.insert(r.end(), {0, 0, 0});
    return r;
  }
  static Bytes GroupRecord(const FakeGroup& g) {
    Bytes r = {g.type};
    Bytes n = U16(g.number);
    r.insert(r.end(), n.begin(), n.end());
    r.push_back(static_cast<uint8_t>(g.dial.size()));
    r.insert(r.end(), g.dial.begin(), g.dial.end());
    r.insert(r.end(), {0, 0, 0, 0, 0});
    return r;
  }

  // A paged (or single) device data reply: records with a key above the request's key.
  Bytes Records(uint8_t code, uint8_t deviceClass, const std::map<uint8_t, Bytes>& params,
                const std::vector<std::pair<uint32_t, Bytes>>& records, bool twoByteCount) {
    bool paged = params.count(3) != 0;
    uint32_t key = 0;
    if (paged) {
      const Bytes& k = params.at(3);
      key = (uint32_t{k[0]} << 24) | (uint32_t{k[1]} << 16) | (uint32_t{k[2]} << 8) | k[3];
    }
    Bytes tail;
    uint32_t n = 0;
    auto sorted = records;  // the PBX pages in the order of its keys
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [recordKey, bytes] : paged ? sorted : records) {
      if (paged && (recordKey <= key || n == pageRecords)) continue;
      tail.insert(tail.end(), bytes.begin(), bytes.end());
      ++n;
    }
    Bytes count = twoByteCount ? U16(n) : Bytes{static_cast<uint8_t>(n)};
    return Message(code, 2, {{1, {deviceClass}}, {2, count}}, tail);
  }

  Bytes Reply(const Bytes& req) {
    uint8_t code = req[0];
    auto params = Params(req);
    switch (code) {
      case 185: {
        size_t i = Count(185) - 1;
        const std::string& v = versions[i < versions.size() ? i : versions.size() - 1];
        if (v == "!") return {};
        std::vector<Param> p = {
            {1, {modelCode}}, {2, {1}}, {3, Text(v)}, {4, Text(rom)}, {5, Text(country)}};
        for (const auto& [tag, value] : capacity) {
          p.push_back({tag, value.second == 2 ? U16(value.first)
                                              : Bytes{static_cast<uint8_t>(value.first)}});
        }
        return Message(code, 2, p);
      }
      case 188: {
        uint16_t number = static_cast<uint16_t>((params[3][0] << 8) | params[3][1]);
        Bytes v = U16(number);
        std::string c = parameters.count(number) ? parameters[number] : "";
        v.push_back(0);
        v.push_back(static_cast<uint8_t>(c.size()));
        for (size_t i = 0; i < 4; ++i) v.push_back(i < c.size() ? static_cast<uint8_t>(c[i]) : 0);
        return Message(code, 2, {{1, {1}}, {2, {1}}, {3, v}});
      }
      case 143: {
        uint8_t deviceClass = params[1].empty() ? 0 : params[1][0];
        std::vector<std::pair<uint32_t, Bytes>> records;
        switch (deviceClass) {
          case 1:
            for (const auto& e : extensions) records.push_back({e.device, ExtensionRecord(e)});
            return Records(code, 1, params, records, true);
          case 2:
            for (const auto& t : trunks) records.push_back({t.number, TrunkRecord(t)});
            return Records(code, 2, params, records, true);
          case 4:
          case 8:
          case 28: {
            if (deviceClass == 8 && refuseBvNumbers) return {code, 2, 0, 0, 1, 0};
            const auto& list = deviceClass == 4 ? disa : deviceClass == 8 ? bv : features;
            for (const auto& [index, number] : list) {
              Bytes r = {index, static_cast<uint8_t>(number.size())};
              r.insert(r.end(), number.begin(), number.end());
              r.insert(r.end(), {0, 0, 0});
              records.push_back({index, r});
            }
            return Records(code, deviceClass, params, records, false);
          }
          case 7:
            for (const auto& g : groups) {
              records.push_back({(uint32_t{g.type} << 16) | g.number, GroupRecord(g)});
            }
            return Records(code, 7, params, records, true);
          case 32: {
            if (shortMapReplies) return {code, 2};
            const Bytes& g = params[2];
            Bytes v = {g[3], g[4], g[5], 0, 0, 1, 1, 2, 3, 4, 5, 6, 7, 8};
            return Message(code, 2, {{1, {32}}, {2, v}});
          }
          default:
            return {};
        }
      }
      case 106: {
        const Bytes& g = params[1];
        uint16_t number = static_cast<uint16_t>((g[4] << 8) | g[5]);
        for (const auto& group : groups) {
          if (group.number != number || SubkindOf(group.type) != g[3]) continue;
          if (group.refuseMembers) return Message(code, 3, {{1, {9, 9}}});
          Bytes v = U16(static_cast<uint32_t>(group.members.size()));
          for (const Bytes& m : group.members) {
            v.push_back(static_cast<uint8_t>(m.size()));
            v.insert(v.end(), m.begin(), m.end());
          }
          return Message(code, 2, {{1, g}, {3, v}});
        }
        return Message(code, 2, {{1, g}});
      }
      default:
        return {code, 2, 0, 0};
    }
  }

 public:
  // The queue subkind of a group record type.
  static uint8_t SubkindOf(uint8_t type) {
    if (type == 23) return 2;
    if (type == 38) return 4;
    if (type >= 35 && type <= 39) return 3;
    return 1;
  }
};

}  // namespace qrvn::testing
