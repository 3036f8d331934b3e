// The event intake never reads outside an event, whatever the bytes: the input goes through
// the receive callback's queue into the analyzer's buffer and through the dispatch table
// (code check, device gate, trace), and once more as an exactly sized queued record.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "provider/core/cvn2448_driver.h"
#include "provider/core/event_dispatch.h"
#include "provider/core/notice_analyzer.h"
#include "provider/core/process.h"

namespace {

using namespace qrvn::provider;

// A handler that reads every parameter of its event, as the real handlers do.
int32_t ReadingHandler(CVN2448Driver& owner, uint8_t* record, int32_t length) {
  ParsedParam params[32];
  int32_t n = ParseMessage(owner.session.get(), params, 32, record + kEventRecordHeader,
                           length - kEventRecordHeader);
  uint32_t sum = 0;
  for (int32_t i = 0; i < n; ++i) {
    for (uint32_t b = 0; b < params[i].length; ++b)
      sum += record[kEventRecordHeader + params[i].offset + b];
  }
  return sum != 0xFFFFFFFF ? 1 : 0;
}

struct Setup {
  Setup() {
    ProcessAttach();
    instance = std::make_unique<CVN2448Driver>(0);
    instance->ctiVersion = 0x13200;
    auto made = std::make_unique<EventAnalyzer>(*instance);
    analyzer = made.get();
    instance->analyzer = std::move(made);
    for (const EventSpec& spec : EventTable()) SetEventHandler(spec.code, &ReadingHandler);
  }
  std::unique_ptr<CVN2448Driver> instance;
  EventAnalyzer* analyzer = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  CVN2448Driver& owner = *setup.instance;
  // As a message from the link driver.
  if (size <= static_cast<size_t>(kMaxMessage)) {
    std::vector<uint8_t> message(data, data + size);
    if (setup.analyzer->OnReceive(message.data(), static_cast<int32_t>(size)) == 1) {
      uint8_t buffer[kDequeueBuffer] = {};
      int32_t length = setup.analyzer->Queue().Dequeue(buffer, sizeof buffer);
      if (length != static_cast<int32_t>(size) + kEventRecordHeader) __builtin_trap();
      DispatchEvent(owner, buffer, length);
    }
  }
  // As a queued record of exactly its own size.
  std::vector<uint8_t> record(data, data + size);
  DispatchEvent(owner, record.data(),
                static_cast<int32_t>(record.size() > 0x7FFFFFFF ? 0x7FFFFFFF : record.size()));
  return 0;
}
