// A link driver for tests: it exports the link driver interface, answers from a script the
// test writes to $QRVN_ROOT/testlink.script and records every call in
// $QRVN_ROOT/testlink.calls. Built once with every export and once without DataComm.
//
// Script lines (read at every call; later lines win):
//   connect <result>         Connect's result (default 0); the link handle is always 7
//   datacomm <result>        DataComm's result; default: a positive reply to the request
//   senddata <result>        SendData's result (default 0)
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#define TESTLINK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using ReceiveFn = int32_t (*)(uint32_t, const uint8_t*, int32_t);
using StatusFn = int32_t (*)(uint32_t, int32_t, int32_t);

ReceiveFn g_receive = nullptr;
StatusFn g_status = nullptr;
uint32_t g_slot = 0;
uint32_t g_allocCount = 0;
uint32_t g_queCount = 0;

std::string RootFile(const char* name) {
  const char* root = std::getenv("QRVN_ROOT");
  return std::string(root != nullptr ? root : ".") + "/" + name;
}

std::map<std::string, int32_t> Script() {
  std::map<std::string, int32_t> values;
  std::ifstream in(RootFile("testlink.script"));
  std::string word;
  int32_t value = 0;
  while (in >> word >> value) values[word] = value;
  return values;
}

void Record(const std::string& line) {
  std::ofstream out(RootFile("testlink.calls"), std::ios::app);
  out << line << "\n";
}

}  // namespace

TESTLINK_EXPORT int32_t Version(char* text) {
  Record("Version");
  std::strcpy(text, "TestLink 1.0");
  return 0;
}

TESTLINK_EXPORT int32_t Connect(uint32_t* linkHandle, uint32_t permanentProviderId,
                                uint32_t providerSlot, ReceiveFn receive, StatusFn status) {
  std::ostringstream line;
  line << "Connect id=" << permanentProviderId << " slot=" << providerSlot;
  Record(line.str());
  auto script = Script();
  int32_t result = script.count("connect") ? script["connect"] : 0;
  if (result >= 0) {
    *linkHandle = 7;
    g_receive = receive;
    g_status = status;
    g_slot = providerSlot;
  }
  return result;
}

TESTLINK_EXPORT int32_t DisConnect(uint32_t linkHandle) {
  Record("DisConnect handle=" + std::to_string(linkHandle));
  g_receive = nullptr;
  g_status = nullptr;
  return 0;
}

TESTLINK_EXPORT int32_t SendData(uint32_t linkHandle, const uint8_t* message, int32_t length) {
  Record("SendData handle=" + std::to_string(linkHandle) + " code=" + std::to_string(message[0]) +
         " length=" + std::to_string(length));
  auto script = Script();
  return script.count("senddata") ? script["senddata"] : 0;
}

#ifndef TESTLINK_WITHOUT_DATACOMM
TESTLINK_EXPORT int32_t DataComm(uint32_t linkHandle, const uint8_t* request, int32_t length,
                                 uint8_t* reply, int32_t replySize) {
  Record("DataComm handle=" + std::to_string(linkHandle) + " code=" + std::to_string(request[0]) +
         " length=" + std::to_string(length));
  auto script = Script();
  if (script.count("datacomm")) return script["datacomm"];
  if (replySize < 4) return -1;
  reply[0] = request[0];
  reply[1] = 2;
  reply[2] = 0;
  reply[3] = 0;
  return 4;
}
#endif

TESTLINK_EXPORT void SetAllocCount(uint32_t count) {
  g_allocCount = count;
}
TESTLINK_EXPORT void SetQueCount(uint32_t count) {
  g_queCount = count;
}

// Test control: the last count SetAllocCount was given.
TESTLINK_EXPORT uint32_t TestLinkAllocCount() {
  return g_allocCount;
}
// Test control: reports a link failure through the provider's status callback.
TESTLINK_EXPORT int32_t TestLinkStatus(int32_t errorCode) {
  return g_status != nullptr ? g_status(g_slot, errorCode, 0) : -1;
}
// Test control: delivers an event through the provider's receive callback.
TESTLINK_EXPORT int32_t TestLinkReceive(const uint8_t* message, int32_t length) {
  return g_receive != nullptr ? g_receive(g_slot, message, length) : -1;
}
