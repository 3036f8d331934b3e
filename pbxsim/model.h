// The simulated PBX: model, CTI version and how it negotiates, capacities, device records,
// groups, feature access codes and system status. Loaded from JSON with defaults per model.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qrvn::pbxsim {

struct Extension {
  uint16_t device = 0;  // the PBX's port number
  bool inService = true;
  std::string number;  // 1 to 4 digits; empty means an unused port
  std::string name;
  uint8_t type = 0;  // 4 and 5 are not shown as lines; 6 is a voice-processing port
  uint8_t classOfService = 1;
  bool reminder = false;
  uint8_t reminderHour = 0;  // plain numbers; sent as BCD
  uint8_t reminderMinute = 0;
  uint8_t reminderFlags = 0;
  uint16_t attribute = 0;
};

struct Trunk {
  uint16_t number = 0;  // counted from 1
  uint8_t attribute = 0;
  std::string text;
  uint8_t type = 0;  // 2: second trunk number range
  uint16_t value = 0;
};

// A DISA number, BV number or further feature number: an index and up to 4 digits.
struct IndexedNumber {
  uint8_t index = 0;
  std::string number;
};

struct Group {
  uint8_t type = 0;  // group record type 20..39
  uint16_t number = 0;
  std::string dial;  // dialable group number, at most 4 digits, may be empty
  uint8_t attribute = 0;
  uint16_t value1 = 0;
  uint16_t value2 = 0;
  std::vector<std::string> members;  // extension numbers
  bool refuseMembers = false;        // answer the member request negatively (cause 9)
};

// How the PBX answers a VersionRequest.
enum class Negotiation {
  Answer,    // positive, with its own version text whatever was proposed
  Refuse,    // negative unless its own version text was proposed
  Silent,    // no reply at all
  Negative,  // always negative
};

// How the PBX answers the session open.
enum class SessionAnswer { Accept, Negative, Silent };

struct Model {
  std::string name = "VN1632";
  uint8_t modelCode = 1;
  std::string ctiVersion = "1.320";
  Negotiation negotiation = Negotiation::Answer;
  SessionAnswer session = SessionAnswer::Accept;
  bool acceptBinary = true;   // accept the binary framing proposal
  bool answerClosing = true;  // false: the closing message (2) gets no reply, as hosts that
                              // send it without waiting expect of some models
  std::string romVersion;
  uint32_t country = 1;
  std::map<uint8_t, uint32_t> capacity;  // explicit values of the version reply by tag
  std::vector<Extension> extensions;
  std::vector<Trunk> trunks;
  uint8_t doorPhones = 0;
  uint8_t pagingOut = 0;
  uint8_t pagingIn = 0;
  std::vector<IndexedNumber> disa;
  std::vector<IndexedNumber> bv;
  std::vector<IndexedNumber> featureNumbers;
  std::map<uint16_t, std::string> systemParameters;
  std::vector<Group> groups;
  uint8_t systemStatus = 2;        // 2 normal, 3 messages lost
  uint32_t pageRecords = 16;       // records per page of a paged device data reply
  std::set<uint8_t> refusedCodes;  // commands answered negatively
};

// The CTI version word of a version text ("1.320" is 0x13200, "1.2" is 0x12000).
uint32_t CtiWord(std::string_view text);
// The model code of a model name, 0 when the name is unknown.
uint8_t ModelCodeOf(std::string_view name);
// The default PBX of a model name (VN1632, VN2448, VN2448D, VN1224, VN9000).
Model DefaultModel(std::string_view name = "VN1632");
// Parses a model; false with "file: field: what is wrong" in *error.
bool ParseModel(const std::string& text, const std::string& fileName, Model& model,
                std::string* error);
// Reads and parses a model file.
bool LoadModel(const std::string& path, Model& model, std::string* error);

// One parameter of the version reply's capacity part.
struct Capacity {
  uint8_t tag;
  uint32_t value;
  uint8_t size;  // 1 or 2 bytes
};
// The capacity parameters (tags 6..27) the PBX reports, in tag order.
std::vector<Capacity> Capacities(const Model& model);

// The queue subkind (1 QH, 2 QO, 3 QIH, 4 QIO) of a group record type, 0 for none.
uint8_t QueueSubkindOf(uint8_t groupType);

}  // namespace qrvn::pbxsim
