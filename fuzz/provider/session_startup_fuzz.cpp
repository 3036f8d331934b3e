// Session start-up against a PBX that answers with arbitrary bytes: each reply is the next
// length-prefixed piece of the input. Whatever the replies, start-up reads and writes nothing
// outside its buffers, raw areas and blocks, and a failed start-up leaves no block behind.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/message_box.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/core/device_directory.h"
#include "provider/core/process.h"
#include "provider/session/pbx_session.h"

namespace {

using namespace qrvn::provider;

const uint8_t* g_data = nullptr;
size_t g_left = 0;

// The next reply: two bytes of length, then that many bytes (cut to what is left).
int32_t FuzzDataComm(uint32_t, const uint8_t*, int32_t, uint8_t* reply, int32_t size) {
  if (g_left < 2) return -3;
  size_t length = (static_cast<size_t>(g_data[0]) << 8) | g_data[1];
  g_data += 2;
  g_left -= 2;
  if (length > g_left) length = g_left;
  if (length > static_cast<size_t>(size)) length = static_cast<size_t>(size);
  std::memcpy(reply, g_data, length);
  g_data += length;
  g_left -= length;
  return static_cast<int32_t>(length);
}

CVN2448Driver* Instance() {
  static CVN2448Driver* instance = [] {
    setenv("QRVN_ROOT", "/tmp/qrvn-session-fuzz", 0);
    qrvn::platform::CreateFolders(qrvn::platform::SystemFolder());
    qrvn::platform::SetMessageBoxHandler([](const qrvn::platform::MessageBoxRequest&) {
      return qrvn::platform::MessageBoxResult::Ok;
    });
    ProcessAttach();
    PartFactories() = PlaceholderParts();
    PartFactories().makeDirectory = MakePbxDeviceDirectory;
    PartFactories().makeSession = MakeCtiPbxSession;
    CVN2448Driver* made = CVN2448Driver::Create(0);
    made->config.accInfoFilePath = qrvn::platform::SystemFolder();
    made->config.accInfoMaxSize = 1;  // a small queue file keeps each run short
    made->config.initMsgWait = 0;
    made->permanentProviderId = 0x7FFF0000;
    made->link.dataComm = FuzzDataComm;
    return made;
  }();
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CVN2448Driver* instance = Instance();
  const uint32_t before = ProcessPool().Count();
  g_data = data;
  g_left = size;
  instance->ctiVersion = 0x10100;
  instance->SetLineCount(0);
  int32_t result = instance->session->StartUp(0x7FFF, 0);
  if (result == kStartUpReady || result == kLineCountChanged) {
    instance->session->RegisterEvents();
    // Every built line is whole: its blocks and address are in place.
    for (uint32_t i = 0; i < instance->session->LineCount(); ++i) {
      LineDevice* line = instance->session->Line(i);
      if (line == nullptr || line->devCaps == nullptr || line->addressTable == nullptr ||
          line->addressTable[0] == nullptr) {
        std::abort();
      }
    }
  }
  instance->session->ReleaseDevices();
  if (ProcessPool().Count() != before) std::abort();
  return 0;
}
