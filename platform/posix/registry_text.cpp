// The registry editor's export format: parsing into sections and writing a key tree back.
#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/posix/reg_text.h"

namespace qrvn::platform::reg {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";
constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";
// regedit breaks a hex line once it reaches this many characters (then adds ",\").
constexpr size_t kHexLineLimit = 77;

// Decodes one UTF-8 sequence at pos; an invalid byte decodes as itself (length 1).
char32_t DecodeUtf8(std::string_view s, size_t& pos) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char lead = byte(pos);
  size_t length = lead < 0x80         ? 1
                  : (lead >> 5) == 6  ? 2
                  : (lead >> 4) == 14 ? 3
                  : (lead >> 3) == 30 ? 4
                                      : 0;
  if (length <= 1 || pos + length > s.size()) {
    ++pos;
    return lead;
  }
  char32_t c = lead & (0x7f >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xc0) != 0x80) {
      ++pos;
      return lead;
    }
    c = (c << 6) | (byte(pos + i) & 0x3f);
  }
  pos += length;
  return c;
}

void EncodeUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xc0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xe0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  }
}

char32_t LowerCase(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 0x20;
  if (c >= 0xc0 && c <= 0xde && c != 0xd7) return c + 0x20;     // Latin-1
  if (c >= 0x391 && c <= 0x3a9 && c != 0x3a2) return c + 0x20;  // Greek
  if (c >= 0x410 && c <= 0x42f) return c + 0x20;                // Cyrillic А-Я
  if (c >= 0x400 && c <= 0x40f) return c + 0x50;                // Cyrillic Ѐ-Џ
  return c;
}

size_t CodePoints(std::string_view s) {
  size_t count = 0;
  for (size_t pos = 0; pos < s.size(); ++count) DecodeUtf8(s, pos);
  return count;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (LowerCase(static_cast<unsigned char>(s[i])) !=
        LowerCase(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsLocalMachine(std::string_view name) {
  return EqualsNoCase(name, kRootName) || EqualsNoCase(name, "HKLM");
}

struct Line {
  std::string_view text;
  int number;
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  int number = 1;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back({line, number++});
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(std::string_view s, size_t& pos, std::string& out, std::string& what) {
  out.clear();
  for (++pos; pos < s.size(); ++pos) {
    char c = s[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++pos == s.size()) break;
    switch (s[pos]) {
      case '\\':
        out += '\\';
        break;
      case '"':
        out += '"';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        what = std::string("unknown escape \"\\") + s[pos] + "\" (write a backslash as \\\\)";
        return false;
    }
  }
  what = "missing closing quote";
  return false;
}

class Parser {
 public:
  Parser(std::vector<Line> lines, std::vector<Section>& sections, ParseError& error)
      : lines_(std::move(lines)), sections_(sections), error_(error) {}

  bool Run(bool allowEmpty) {
    size_t i = 0;
    while (i < lines_.size() && Trim(lines_[i].text).empty()) ++i;
    if (i == lines_.size()) {
      if (allowEmpty) return true;
      return Fail(1, "empty file, expected \"Windows Registry Editor Version 5.00\"");
    }
    std::string_view first = Trim(lines_[i].text);
    if (!EqualsNoCase(first, kHeader) && !EqualsNoCase(first, kOldHeader)) {
      return Fail(lines_[i].number, "expected \"Windows Registry Editor Version 5.00\"");
    }
    for (++i; i < lines_.size(); ++i) {
      std::string_view t = Trim(lines_[i].text);
      if (t.empty() || t.front() == ';') continue;
      int number = lines_[i].number;
      if (t.front() == '[') {
        if (!KeyLine(t, number)) return false;
      } else if (t.front() == '"' || t.front() == '@') {
        if (!ValueLine(t, i)) return false;
      } else {
        return Fail(number, "not a key, a value or a comment");
      }
    }
    return true;
  }

 private:
  bool Fail(int line, std::string what) {
    error_.line = line;
    error_.what = std::move(what);
    return false;
  }

  bool KeyLine(std::string_view t, int number) {
    if (t.back() != ']') return Fail(number, "key line does not end with ']'");
    std::string_view inner = t.substr(1, t.size() - 2);
    Section section;
    section.line = number;
    if (!inner.empty() && inner.front() == '-') {
      section.remove = true;
      inner.remove_prefix(1);
    }
    if (!SplitKeyPath(inner, true, section.path)) {
      if (IsOtherHive(inner)) return Fail(number, "only HKEY_LOCAL_MACHINE is supported");
      return Fail(number, "invalid key name \"" + std::string(inner) + "\"");
    }
    if (section.remove && section.path.empty()) {
      return Fail(number, "HKEY_LOCAL_MACHINE itself cannot be deleted");
    }
    sections_.push_back(std::move(section));
    return true;
  }

  // A value line; i advances over continuation lines of hex data.
  bool ValueLine(std::string_view t, size_t& i) {
    int number = lines_[i].number;
    if (sections_.empty()) return Fail(number, "value outside a key");
    Section& section = sections_.back();
    ValueEdit edit;
    size_t pos = 0;
    std::string what;
    if (t.front() == '@') {
      pos = 1;
    } else if (!ReadQuoted(t, pos, edit.name, what)) {
      return Fail(number, "value name: " + what);
    }
    std::string_view rest = Trim(t.substr(pos));
    if (rest.empty() || rest.front() != '=')
      return Fail(number, "expected '=' after the value name");
    rest = Trim(rest.substr(1));
    if (section.remove) return Fail(number, "value under a key being deleted");
    if (section.path.empty()) return Fail(number, "HKEY_LOCAL_MACHINE itself holds no values");

    if (rest == "-") {
      section.values.push_back(std::move(edit));
      return true;
    }
    RegValue value;
    if (!rest.empty() && rest.front() == '"') {
      pos = 0;
      value.type = RegType::String;
      if (!ReadQuoted(rest, pos, value.text, what)) return Fail(number, what);
      if (pos != rest.size()) return Fail(number, "text after the closing quote");
    } else if (StartsWithNoCase(rest, "dword:")) {
      std::string_view digits = rest.substr(6);
      if (digits.empty() || digits.size() > 8) {
        return Fail(number, "dword needs 1 to 8 hex digits");
      }
      value.type = RegType::Dword;
      for (char c : digits) {
        if (HexDigit(c) < 0) return Fail(number, "dword needs 1 to 8 hex digits");
        value.dword = value.dword << 4 | static_cast<uint32_t>(HexDigit(c));
      }
    } else if (StartsWithNoCase(rest, "hex:")) {
      value.type = RegType::Binary;
      if (!HexData(rest.substr(4), i, value.bytes)) return false;
    } else if (StartsWithNoCase(rest, "hex(")) {
      size_t close = rest.find(')');
      return Fail(number, "value type " + std::string(rest.substr(0, close + 1)) +
                              " is not supported (only strings, dword: and hex:)");
    } else {
      return Fail(number, "unrecognised value data");
    }
    edit.value = std::move(value);
    section.values.push_back(std::move(edit));
    return true;
  }

  // Bytes "aa,bb,\" continued on following lines; i ends on the last line used.
  bool HexData(std::string_view segment, size_t& i, std::vector<uint8_t>& bytes) {
    while (true) {
      segment = Trim(segment);
      bool more = !segment.empty() && segment.back() == '\\';
      if (more) segment.remove_suffix(1);
      int number = lines_[i].number;
      while (true) {
        size_t comma = segment.find(',');
        std::string_view item = Trim(segment.substr(0, comma));
        bool last = comma == std::string_view::npos;
        if (item.empty()) {
          if (!last) return Fail(number, "missing hex byte between commas");
          break;
        }
        if (item.size() > 2 || HexDigit(item[0]) < 0 ||
            (item.size() == 2 && HexDigit(item[1]) < 0)) {
          return Fail(number, "bad hex byte \"" + std::string(item) + "\"");
        }
        int v = HexDigit(item[0]);
        if (item.size() == 2) v = v * 16 + HexDigit(item[1]);
        bytes.push_back(static_cast<uint8_t>(v));
        if (last) break;
        segment.remove_prefix(comma + 1);
      }
      if (!more) return true;
      if (++i == lines_.size()) return Fail(number, "hex data continues past the end of the file");
      segment = lines_[i].text;
    }
  }

  std::vector<Line> lines_;
  std::vector<Section>& sections_;
  ParseError& error_;
};

void AppendQuoted(std::string_view s, std::string& out) {
  out += '"';
  for (char c : s) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  out += '"';
}

void AppendValue(const Entry& entry, std::string& out) {
  size_t start = out.size();
  if (entry.name.empty()) {
    out += '@';
  } else {
    AppendQuoted(entry.name, out);
  }
  out += '=';
  const RegValue& v = entry.value;
  switch (v.type) {
    case RegType::String:
      AppendQuoted(v.text, out);
      break;
    case RegType::Dword: {
      std::array<char, 16> buffer{};
      std::snprintf(buffer.data(), buffer.size(), "dword:%08x", static_cast<unsigned>(v.dword));
      out += buffer.data();
      break;
    }
    case RegType::Binary: {
      out += "hex:";
      size_t lineLength = CodePoints(std::string_view(out).substr(start));
      static constexpr char kDigits[] = "0123456789abcdef";
      for (size_t i = 0; i < v.bytes.size(); ++i) {
        out += kDigits[v.bytes[i] >> 4];
        out += kDigits[v.bytes[i] & 15];
        if (i + 1 == v.bytes.size()) break;
        out += ',';
        lineLength += 3;
        if (lineLength >= kHexLineLimit) {
          out += "\\\n  ";
          lineLength = 2;
        }
      }
      break;
    }
  }
  out += '\n';
}

// A key gets a section when it holds values or is a leaf; parents of other keys are implied.
void AppendTree(const Node& node, const std::string& path, bool isRoot, std::string& out) {
  if (!isRoot && (!node.values.empty() || node.subkeys.empty())) {
    out += '[';
    out += path;
    out += "]\n";
    for (const Entry& entry : node.values) AppendValue(entry, out);
    out += '\n';
  }
  for (const Node& sub : node.subkeys) AppendTree(sub, path + "\\" + sub.name, false, out);
}

std::vector<Node>::iterator FindChild(std::vector<Node>& subkeys, std::string_view name) {
  return std::find_if(subkeys.begin(), subkeys.end(),
                      [&](const Node& n) { return SameName(n.name, name); });
}

}  // namespace

std::string FoldCase(std::string_view name) {
  std::string folded;
  folded.reserve(name.size());
  for (size_t pos = 0; pos < name.size();) {
    size_t start = pos;
    char32_t c = DecodeUtf8(name, pos);
    if (pos - start == 1 && c >= 0x80) {
      folded += name[start];  // a stray byte stays as it is
    } else {
      EncodeUtf8(LowerCase(c), folded);
    }
  }
  return folded;
}

bool SameName(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i] == b[j] && static_cast<unsigned char>(a[i]) < 0x80) {
      ++i;
      ++j;
      continue;
    }
    size_t startA = i;
    size_t startB = j;
    char32_t ca = DecodeUtf8(a, i);
    char32_t cb = DecodeUtf8(b, j);
    // A stray byte only matches the same stray byte.
    bool strayA = i - startA == 1 && ca >= 0x80;
    bool strayB = j - startB == 1 && cb >= 0x80;
    if (strayA != strayB || (strayA ? ca != cb : LowerCase(ca) != LowerCase(cb))) return false;
  }
  return i == a.size() && j == b.size();
}

bool IsOtherHive(std::string_view path) {
  std::string_view first = path.substr(0, path.find('\\'));
  static constexpr std::string_view kHives[] = {
      "HKEY_CURRENT_USER",   "HKCU", "HKEY_CLASSES_ROOT", "HKCR", "HKEY_USERS",           "HKU",
      "HKEY_CURRENT_CONFIG", "HKCC", "HKEY_DYN_DATA",     "HKDD", "HKEY_PERFORMANCE_DATA"};
  return std::any_of(std::begin(kHives), std::end(kHives),
                     [&](std::string_view hive) { return EqualsNoCase(first, hive); });
}

bool SplitKeyPath(std::string_view path, bool hiveRequired, std::vector<std::string>& components) {
  components.clear();
  if (IsOtherHive(path)) return false;
  std::string_view first = path.substr(0, path.find('\\'));
  if (IsLocalMachine(first)) {
    path.remove_prefix(first.size());
    if (!path.empty()) path.remove_prefix(1);
  } else if (hiveRequired) {
    return false;
  }
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  if (path.empty()) return true;
  while (true) {
    size_t end = path.find('\\');
    std::string_view part = path.substr(0, end);
    if (part.empty()) return false;
    if (std::any_of(part.begin(), part.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
      return false;
    }
    components.emplace_back(part);
    if (end == std::string_view::npos) return true;
    path.remove_prefix(end + 1);
  }
}

bool ParseText(std::string_view text, bool allowEmpty, std::vector<Section>& sections,
               ParseError& error) {
  sections.clear();
  if (text.starts_with("\xef\xbb\xbf")) text.remove_prefix(3);
  if (text.starts_with("\xff\xfe") || text.starts_with("\xfe\xff")) {
    error = {1, "the file is UTF-16; save it as UTF-8"};
    return false;
  }
  return Parser(SplitLines(text), sections, error).Run(allowEmpty);
}

void Apply(const std::vector<Section>& sections, Node& root) {
  for (const Section& section : sections) {
    if (section.remove) {
      Remove(root, section.path);
      continue;
    }
    Node& key = FindOrCreate(root, section.path);
    for (const ValueEdit& edit : section.values) {
      if (edit.value) {
        SetValue(key, edit.name, *edit.value);
      } else {
        RemoveValue(key, edit.name);
      }
    }
  }
}

Node* Find(Node& root, const std::vector<std::string>& path) {
  Node* node = &root;
  for (const std::string& name : path) {
    auto it = FindChild(node->subkeys, name);
    if (it == node->subkeys.end()) return nullptr;
    node = &*it;
  }
  return node;
}

const Node* Find(const Node& root, const std::vector<std::string>& path) {
  return Find(const_cast<Node&>(root), path);
}

Node& FindOrCreate(Node& root, const std::vector<std::string>& path) {
  Node* node = &root;
  for (const std::string& name : path) {
    auto it = FindChild(node->subkeys, name);
    if (it == node->subkeys.end()) {
      std::string folded = FoldCase(name);
      it = std::find_if(node->subkeys.begin(), node->subkeys.end(),
                        [&](const Node& n) { return FoldCase(n.name) > folded; });
      it = node->subkeys.insert(it, Node{name, {}, {}});
    }
    node = &*it;
  }
  return *node;
}

bool Remove(Node& root, const std::vector<std::string>& path) {
  if (path.empty()) return false;
  std::vector<std::string> parentPath(path.begin(), path.end() - 1);
  Node* parent = Find(root, parentPath);
  if (parent == nullptr) return false;
  auto it = FindChild(parent->subkeys, path.back());
  if (it == parent->subkeys.end()) return false;
  parent->subkeys.erase(it);
  return true;
}

const Entry* FindValue(const Node& key, std::string_view name) {
  for (const Entry& entry : key.values) {
    if (SameName(entry.name, name)) return &entry;
  }
  return nullptr;
}

void SetValue(Node& key, std::string_view name, const RegValue& value) {
  for (Entry& entry : key.values) {
    if (SameName(entry.name, name)) {
      entry.value = value;
      return;
    }
  }
  key.values.push_back({std::string(name), value});
}

bool RemoveValue(Node& key, std::string_view name) {
  auto it = std::find_if(key.values.begin(), key.values.end(),
                         [&](const Entry& e) { return SameName(e.name, name); });
  if (it == key.values.end()) return false;
  key.values.erase(it);
  return true;
}

std::string WriteText(const Node& root) {
  std::string out(kHeader);
  out += "\n\n";
  AppendTree(root, std::string(kRootName), true, out);
  return out;
}

bool WriteSubtree(const Node& root, const std::vector<std::string>& path, std::string& text) {
  const Node* node = &root;
  std::string fullPath(kRootName);
  for (const std::string& name : path) {
    auto it = std::find_if(node->subkeys.begin(), node->subkeys.end(),
                           [&](const Node& n) { return SameName(n.name, name); });
    if (it == node->subkeys.end()) return false;
    node = &*it;
    fullPath += '\\';
    fullPath += node->name;
  }
  text = std::string(kHeader) + "\n\n";
  AppendTree(*node, fullPath, path.empty(), text);
  return true;
}

}  // namespace qrvn::platform::reg
