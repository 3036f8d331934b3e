// The line query entry points never write past a caller's dwTotalSize and never follow a
// handle that is not a live line record, whatever the structure sizes, handles, address IDs
// and versions, and whatever values the status and capability blocks of the model hold.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "provider/core/process.h"
#include "tapi/tspi.h"
#include "tests/provider/line_model_fixture.h"

namespace {

using namespace qrvn::provider;
using qrvn::testing::ExtensionRecord;
using qrvn::testing::LineSpec;
using qrvn::testing::TrunkRecord;

constexpr uint32_t kBase = 5;

struct Setup {
  Setup() {
    ProcessAttach();
    InitialBlockValues values;
    values.romVersion = "V1";
    std::vector<LineSpec> lines = {
        {kLineSystem, 1, "SYSTEM", "", "", {}},
        {kLineQueue, 2, "QO0001", "", "", {}},
        {kLineDisa, 512, "DISA0001", "0001", "", {}},
        {kLineTrunk, 4096, "CO0001", "0001", "1", TrunkRecord(1, "TEXT", 0)},
        {kLineExtension, 12288, "EXT0001", "21", "21", ExtensionRecord(0x1000, 1, "21", "NAME", 0)},
        {kLineExtension, 24576, "EXT0002", "22", "22", ExtensionRecord(0x1001, 1, "22", "", 6)},
    };
    provider = std::make_unique<qrvn::testing::TestProvider>(lines, values, kBase);
  }
  std::unique_ptr<qrvn::testing::TestProvider> provider;
};

// Reads the input front to back; zeros once it runs out.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t Word16() { return Byte() | (Byte() << 8); }
  uint32_t Word32() { return Word16() | (Word16() << 16); }
  size_t Left() const { return size_ - at_; }
  const uint8_t* Rest() const { return data_ + at_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  qrvn::testing::TestProvider& p = *setup.provider;
  Input in(data, size);
  const uint32_t op = in.Byte() % 8;
  const uint32_t line = in.Byte() % 8;  // 6 and 7 are no line
  const uint32_t total = in.Word16() % 1400;
  const uint32_t address = in.Byte() % 3;
  const uint32_t handleKind = in.Byte() % 4;
  const uint32_t deviceId = kBase + line;
  const uint32_t tspi = in.Byte() & 1 ? 0x20001 : in.Word32();
  const uint32_t ext = in.Byte() & 1 ? 0 : in.Word32();

  // Some blocks of the chosen line take bytes of the input, restored afterwards.
  LineDevice& target = p.Line(line % 6);
  auto* status = reinterpret_cast<uint8_t*>(target.addressTable[0]->addressStatus);
  auto* caps = reinterpret_cast<uint8_t*>(target.addressTable[0]->addressCaps);
  std::vector<uint8_t> savedStatus(status, status + kAddressStatusSize);
  std::vector<uint8_t> savedCaps(caps, caps + kAddressCapsSize);
  const uint32_t where = in.Word16() % kAddressStatusSize;
  const uint32_t count = in.Byte() % 32;
  for (uint32_t i = 0; i < count && where + i < kAddressStatusSize; ++i)
    status[where + i] = static_cast<uint8_t>(in.Byte());
  const uint32_t capsWhere = 12 + in.Word16() % (kAddressCapsSize - 12);
  const uint32_t capsCount = in.Byte() % 8;
  for (uint32_t i = 0; i < capsCount && capsWhere + i < kAddressCapsSize; ++i)
    caps[capsWhere + i] = static_cast<uint8_t>(in.Byte());

  HDRVLINE handle = nullptr;
  if (handleKind == 0) handle = p.Handle(line % 6);
  if (handleKind == 1)
    handle = reinterpret_cast<HDRVLINE>(reinterpret_cast<uint8_t*>(&target) + 1 + in.Byte() % 100);
  if (handleKind == 2) handle = reinterpret_cast<HDRVLINE>(static_cast<uintptr_t>(in.Word32()));

  // The caller's structure is exactly as large as it says (at least its first word).
  std::vector<uint8_t> structure(total < 4 ? 4 : total);
  std::memcpy(structure.data(), &total, 4);
  void* s = structure.data();
  switch (op) {
    case 0:
      TSPI_lineGetDevCaps(deviceId, tspi, ext, static_cast<LINEDEVCAPS*>(s));
      break;
    case 1:
      TSPI_lineGetLineDevStatus(handle, static_cast<LINEDEVSTATUS*>(s));
      break;
    case 2:
      TSPI_lineGetAddressCaps(deviceId, address, tspi, ext, static_cast<LINEADDRESSCAPS*>(s));
      break;
    case 3:
      TSPI_lineGetAddressStatus(handle, address, static_cast<LINEADDRESSSTATUS*>(s));
      break;
    case 4: {
      std::vector<char16_t> text(in.Left() / 2 + 1, u'\0');
      std::memcpy(text.data(), in.Rest(), (in.Left() / 2) * 2);
      DWORD id = 0;
      TSPI_lineGetAddressID(handle, &id, 1, text.data(), static_cast<DWORD>(text.size() * 2));
      break;
    }
    case 5: {
      DWORD agreed = 0;
      TSPI_lineNegotiateExtVersion(deviceId, tspi, ext, in.Word32(), &agreed);
      TSPI_lineNegotiateTSPIVersion(deviceId, tspi, ext, &agreed);
      break;
    }
    case 6:
      TSPI_lineSelectExtVersion(handle, ext);
      break;
    default: {
      DWORD n = 0;
      TSPI_lineGetNumAddressIDs(handle, &n);
      break;
    }
  }
  std::memcpy(status, savedStatus.data(), savedStatus.size());
  std::memcpy(caps, savedCaps.data(), savedCaps.size());
  if (target.requestCount != 0) __builtin_trap();
  return 0;
}
