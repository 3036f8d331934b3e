#include "pbxsim/message.h"

#include <array>
#include <cctype>
#include <cstdio>

namespace qrvn::pbxsim {

namespace {

struct CodeNameEntry {
  uint8_t code;
  std::string_view name;
};

constexpr std::array kRequests = {
    CodeNameEntry{1, "SessionOpen"},
    CodeNameEntry{2, "SessionClose"},
    CodeNameEntry{4, "OutputStart"},
    CodeNameEntry{5, "OutputStop"},
    CodeNameEntry{7, "ClockSet"},
    CodeNameEntry{8, "ClockRead"},
    CodeNameEntry{11, "ProgramModeStart"},
    CodeNameEntry{12, "ProgramModeEnd"},
    CodeNameEntry{17, "MakeCall"},
    CodeNameEntry{19, "Answer"},
    CodeNameEntry{20, "Drop"},
    CodeNameEntry{21, "Hold"},
    CodeNameEntry{22, "Retrieve"},
    CodeNameEntry{23, "Transfer"},
    CodeNameEntry{24, "BlindTransfer"},
    CodeNameEntry{25, "SwapHold"},
    CodeNameEntry{26, "Conference"},
    CodeNameEntry{27, "RemoveParty"},
    CodeNameEntry{33, "EventRegistration"},
    CodeNameEntry{38, "DeviceSnapshot"},
    CodeNameEntry{97, "FeatureSet"},
    CodeNameEntry{98, "FeatureClear"},
    CodeNameEntry{104, "FeatureQuery"},
    CodeNameEntry{105, "GroupLogInOut"},
    CodeNameEntry{106, "GroupMemberRequest"},
    CodeNameEntry{129, "SystemStatusPoll"},
    CodeNameEntry{131, "CloseRequest"},
    CodeNameEntry{133, "SettingWrite"},
    CodeNameEntry{134, "SettingRead"},
    CodeNameEntry{143, "DeviceDataRequest"},
    CodeNameEntry{145, "FeatureCommand"},
    CodeNameEntry{146, "Redirect"},
    CodeNameEntry{148, "Pickup"},
    CodeNameEntry{185, "VersionRequest"},
    CodeNameEntry{186, "CallTreatment"},
    CodeNameEntry{188, "SystemParameterRequest"},
};

constexpr std::array kEvents = {
    CodeNameEntry{6, "SMDRInfoInform"},
    CodeNameEntry{13, "TimeoutOfProgramMode"},
    CodeNameEntry{14, "Suspended"},
    CodeNameEntry{15, "Resumed"},
    CodeNameEntry{49, "ServiceBeginInform"},
    CodeNameEntry{50, "DialingInform"},
    CodeNameEntry{51, "RingBackInform"},
    CodeNameEntry{52, "AcceptInform"},
    CodeNameEntry{53, "OfferringInform"},
    CodeNameEntry{54, "ConnectInform"},
    CodeNameEntry{55, "ClearInform"},
    CodeNameEntry{56, "ServiceFailedInform"},
    CodeNameEntry{57, "ServiceEndedInform"},
    CodeNameEntry{58, "HeldInform"},
    CodeNameEntry{59, "RetrievedInform"},
    CodeNameEntry{60, "TransferredInform"},
    CodeNameEntry{61, "ConferencedInform"},
    CodeNameEntry{62, "ConfPartyDroppedInform"},
    CodeNameEntry{63, "Diverted"},
    CodeNameEntry{64, "FeatureStatReportInform"},
    CodeNameEntry{65, "Reached"},
    CodeNameEntry{66, "Queued"},
    CodeNameEntry{67, "InService"},
    CodeNameEntry{68, "OutOfService"},
    CodeNameEntry{69, "AgentLoggedOn"},
    CodeNameEntry{70, "AgentLoggedOff"},
    CodeNameEntry{71, "FeatureEventInform"},
    CodeNameEntry{72, "CallerID"},
    CodeNameEntry{73, "CallAccountingInfo"},
    CodeNameEntry{75, "GroupArrived"},
    CodeNameEntry{120, "OGMPlayEndedInform"},
    CodeNameEntry{129, "SysStatEvent"},
    CodeNameEntry{136, "ChangeDeviceInfo"},
    CodeNameEntry{177, "ResultOfTimedReminder"},
    CodeNameEntry{187, "ReportDTMF"},
    CodeNameEntry{189, "Recall"},
    CodeNameEntry{190, "FiveConferenced"},
    CodeNameEntry{191, "FiveConfDropped"},
};

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string DescribeDevice(const Bytes& v) {
  auto digits = [](const Bytes& b, size_t from, size_t to) {
    std::string s;
    for (size_t i = from; i < to; ++i) {
      if (b[i] < '0' || b[i] > '9') {
        if (b[i] != '*' && b[i] != '#') return std::string();
      }
      s += static_cast<char>(b[i]);
    }
    return s;
  };
  if (v.size() >= 7 && v[0] == 1 && v.back() == 0) {
    std::string n = digits(v, 5, v.size() - 1);
    if (!n.empty()) return "ext " + n;
  }
  if (v.size() == 5 && v[0] == 2) return "trunk " + std::to_string(GetU16(&v[3]));
  if (v.size() >= 2 && v[0] == 3) {
    std::string n = digits(v, 1, v.size());
    if (!n.empty()) return "dialled " + n;
  }
  if (v.size() == 8 && v[0] == 33 && v[3] <= 4) {
    static const char* kQueues[] = {"tr", "queue QH", "queue QO", "queue QIH", "queue QIO"};
    if (v[3] == 0) return "tr";
    return std::string(kQueues[v[3]]) + " " + std::to_string(GetU16(&v[4]));
  }
  return {};
}

const Param* Message::Find(uint8_t tag) const {
  for (const Param& p : params) {
    if (p.tag == tag) return &p;
  }
  return nullptr;
}

const Param* Message::At(size_t position) const {
  if (position == 0 || position > params.size()) return nullptr;
  return &params[position - 1];
}

void PutU16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
  out.push_back(static_cast<uint8_t>(value & 0xFF));
}

uint32_t GetU16(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 8) | p[1];
}

Bytes Encode(const Message& message) {
  Bytes out = {message.code, message.kind, message.sequence, message.fragment};
  for (const Param& p : message.params) {
    out.push_back(p.tag);
    PutU16(out, static_cast<uint32_t>(p.value.size()));
    out.insert(out.end(), p.value.begin(), p.value.end());
  }
  out.insert(out.end(), message.trailer.begin(), message.trailer.end());
  return out;
}

std::optional<Message> Decode(const Bytes& bytes) {
  if (bytes.size() < 4) return std::nullopt;
  Message m;
  m.code = bytes[0];
  m.kind = bytes[1];
  m.sequence = bytes[2];
  m.fragment = bytes[3];
  size_t p = 4;
  while (p < bytes.size()) {
    uint8_t tag = bytes[p];
    if (tag == 0 || p + 3 > bytes.size()) break;
    size_t length = GetU16(&bytes[p + 1]);
    if (p + 3 + length > bytes.size()) break;
    Param param;
    param.tag = tag;
    param.value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(p + 3),
                       bytes.begin() + static_cast<std::ptrdiff_t>(p + 3 + length));
    m.params.push_back(std::move(param));
    p += 3 + length;
  }
  m.trailer.assign(bytes.begin() + static_cast<std::ptrdiff_t>(p), bytes.end());
  return m;
}

std::string_view CodeName(uint8_t code, bool event) {
  if (event) {
    for (const auto& e : kEvents) {
      if (e.code == code) return e.name;
    }
    return {};
  }
  for (const auto& e : kRequests) {
    if (e.code == code) return e.name;
  }
  return {};
}

std::optional<uint8_t> CodeByName(std::string_view name) {
  for (const auto& e : kEvents) {
    if (SameText(e.name, name)) return e.code;
  }
  for (const auto& e : kRequests) {
    if (SameText(e.name, name)) return e.code;
  }
  if (name.empty()) return std::nullopt;
  int base = 10;
  std::string_view digits = name;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  if (digits.empty()) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
      d = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
    if (value > 255) return std::nullopt;
  }
  return static_cast<uint8_t>(value);
}

std::string Hex(const uint8_t* data, size_t size) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", data[i]);
    if (i) out += ' ';
    out += buf;
  }
  return out;
}

std::string Describe(const Bytes& bytes) {
  auto m = Decode(bytes);
  if (!m) return "short message (" + Hex(bytes) + ")";
  bool event = m->kind == 1 && m->sequence == 0;  // the host numbers its requests from 1
  const char* kind = m->kind == 1   ? (event ? "event" : "request")
                     : m->kind == 2 ? "positive"
                     : m->kind == 3 ? "negative"
                                    : "kind?";
  std::string_view name = CodeName(m->code, event);
  if (name.empty()) name = CodeName(m->code, !event);
  char head[96];
  std::snprintf(head, sizeof head, "%u %s %s seq=%u%s", m->code,
                name.empty() ? "?" : std::string(name).c_str(), kind, m->sequence,
                m->fragment ? " more-fragments" : "");
  std::string out = head;
  for (const Param& p : m->params) {
    out += " [" + std::to_string(p.tag) + ":";
    constexpr size_t kShown = 24;
    size_t shown = p.value.size() < kShown ? p.value.size() : kShown;
    if (shown) out += " " + Hex(p.value.data(), shown);
    if (shown < p.value.size()) out += " ...(" + std::to_string(p.value.size()) + " bytes)";
    bool printable = !p.value.empty();
    for (uint8_t c : p.value) printable = printable && c >= 0x20 && c < 0x7F;
    if (printable) out += " \"" + std::string(p.value.begin(), p.value.end()) + "\"";
    std::string device = DescribeDevice(p.value);
    if (!device.empty()) out += " (" + device + ")";
    out += "]";
  }
  if (!m->trailer.empty()) out += " +" + std::to_string(m->trailer.size()) + " record bytes";
  return out;
}

}  // namespace qrvn::pbxsim
