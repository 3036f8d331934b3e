// Device parameters of any bytes: decoding never writes past the capacity it is given or reads
// past the parameter, and the number lookups never read past it either.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "provider/core/device_directory.h"
#include "provider/core/process.h"

namespace {

using namespace qrvn::provider;

// A directory with a few entries of every table.
PbxDeviceDirectory& Directory() {
  static uint32_t version = 0x13200;
  static PbxDeviceDirectory* directory = [] {
    ProcessAttach();
    auto* d = new PbxDeviceDirectory(&version);
    DirectorySizes sizes;
    sizes.extensions = sizes.trunks = sizes.doorPhones = sizes.disa = 3;
    sizes.pagingOut = sizes.pagingIn = sizes.bv = 2;
    sizes.features = sizes.specials = sizes.bvNumbers = sizes.disaNumbers = 2;
    d->Allocate(sizes);
    const char* numbers[3] = {"101", "2", "1011"};
    for (uint32_t i = 0; i < 3; ++i) {
      d->PutExtension(i, static_cast<uint16_t>(5 - i), numbers[i], MakeLineAddressKey(10 + i));
      d->PutTrunk(i, static_cast<uint16_t>(12 - i), MakeLineAddressKey(20 + i));
      d->PutDoorPhone(i, i + 1);
      d->PutDisa(i, i + 1);
    }
    for (uint32_t i = 0; i < 2; ++i) {
      d->PutPagingOut(i, i + 1);
      d->PutPagingIn(i, i + 1);
      d->PutBv(i, i + 1);
      d->PutFeature(i, 7, static_cast<uint16_t>(i), "61", 2);
      d->PutSpecial(i, 1, static_cast<uint16_t>(i), "62", 2);
      d->PutBvNumber(i, static_cast<uint16_t>(i + 1), "725", 3);
    }
    d->SortExtensions();
    d->SortTrunks();
    return d;
  }();
  return *directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  PbxDeviceDirectory& directory = Directory();
  const uint32_t capacity = data[0] % 8;
  // Exactly sized copies, so that the sanitizer sees any access past them.
  std::vector<uint8_t> param(data + 1, data + size);
  std::vector<uint32_t> keys(capacity + 1, 0xA5A5A5A5u);
  int32_t n = directory.DecodeDevice(param.data(), static_cast<uint32_t>(param.size()), keys.data(),
                                     capacity);
  if (n > static_cast<int32_t>(capacity) || keys[capacity] != 0xA5A5A5A5u) std::abort();
  char digits[4];
  directory.FindFeatureNumber(param.data(), static_cast<uint32_t>(param.size()), digits);
  directory.FindSpecialDevice(param.data(), static_cast<uint32_t>(param.size()), digits);
  directory.FindIndexDevice(param.data(), static_cast<uint32_t>(param.size()), digits);
  directory.IsFeatureNumber(reinterpret_cast<const char*>(param.data()),
                            static_cast<uint32_t>(param.size() < 4 ? param.size() : 4));
  return 0;
}
