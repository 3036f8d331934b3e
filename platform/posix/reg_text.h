// The registry's text form (the registry editor's export format): the one parser and writer
// used by the registry file itself and by import and export.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace qrvn::platform::reg {

// One named value of a key, in the order it was first written.
struct Entry {
  std::string name;
  RegValue value;
};

// A key: its own name (original case), values in file order, subkeys sorted by folded name.
struct Node {
  std::string name;
  std::vector<Entry> values;
  std::vector<Node> subkeys;
};

// One "name"=data line of a section; no value means "name"=- (delete it).
struct ValueEdit {
  std::string name;
  std::optional<RegValue> value;
};

// One [key] or [-key] section.
struct Section {
  std::vector<std::string> path;  // below HKEY_LOCAL_MACHINE
  bool remove = false;
  int line = 0;
  std::vector<ValueEdit> values;
};

// Parse failure: the 1-based line and what is wrong there.
struct ParseError {
  int line = 0;
  std::string what;
};

// Folds a UTF-8 name for case-insensitive comparison (ASCII, Latin-1, Greek, Cyrillic).
std::string FoldCase(std::string_view name);
// True when two names are equal ignoring case.
bool SameName(std::string_view a, std::string_view b);

// Splits a key path ("HKLM\\A\\B", "HKEY_LOCAL_MACHINE\\A", or "A\\B" unless hiveRequired)
// into its components below HKEY_LOCAL_MACHINE; false for another hive, a missing hive when
// required, an empty component or a control character.
bool SplitKeyPath(std::string_view path, bool hiveRequired, std::vector<std::string>& components);
// True when the first component of path names a hive other than HKEY_LOCAL_MACHINE.
bool IsOtherHive(std::string_view path);

// Parses .reg text into sections. An empty text is accepted only when allowEmpty is set.
bool ParseText(std::string_view text, bool allowEmpty, std::vector<Section>& sections,
               ParseError& error);

// Applies parsed sections to a tree: creates keys, sets and deletes values, deletes keys.
void Apply(const std::vector<Section>& sections, Node& root);

// Finds a key by its components; nullptr when missing.
Node* Find(Node& root, const std::vector<std::string>& path);
const Node* Find(const Node& root, const std::vector<std::string>& path);
// Finds or creates a key and its missing parents.
Node& FindOrCreate(Node& root, const std::vector<std::string>& path);
// Removes a key with its subtree; false when it was missing.
bool Remove(Node& root, const std::vector<std::string>& path);
// Finds a value of a key by name; nullptr when missing.
const Entry* FindValue(const Node& key, std::string_view name);
// Sets a value, keeping the position and the spelling of an existing name.
void SetValue(Node& key, std::string_view name, const RegValue& value);
// Removes a value; false when it was missing.
bool RemoveValue(Node& key, std::string_view name);

// The whole registry as file text.
std::string WriteText(const Node& root);
// One key and its subtree as file text; false when the key is missing.
bool WriteSubtree(const Node& root, const std::vector<std::string>& path, std::string& text);

}  // namespace qrvn::platform::reg
