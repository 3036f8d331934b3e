// A small line-device model for tests of the line entry points: a running instance in a
// provider slot whose session holds lines allocated the way the device model allocates them
// (one pool block for the table, for the device blocks, the address tables and the address
// blocks), filled with the initial block values.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "provider/core/cvn2448_driver.h"
#include "provider/core/memory_pool.h"
#include "provider/core/process.h"
#include "provider/queries/initial_blocks.h"
#include "provider/session/device_model.h"

namespace qrvn::testing {

// One line of the test model.
struct LineSpec {
  uint32_t kind;  // provider::LineKind
  uint16_t deviceNumber;
  std::string name;
  std::string dialNumber;
  std::string addressText;
  std::vector<uint8_t> raw;  // the PBX's extension or trunk record, or empty
};

// An extension record as the PBX sends it.
inline std::vector<uint8_t> ExtensionRecord(uint16_t device, uint8_t inService,
                                            const std::string& number, const std::string& name,
                                            uint8_t type, uint8_t classOfService = 0,
                                            const uint8_t reminder[4] = nullptr,
                                            uint16_t attribute = 0) {
  std::vector<uint8_t> r{static_cast<uint8_t>(device >> 8), static_cast<uint8_t>(device), inService,
                         static_cast<uint8_t>(number.size())};
  r.insert(r.end(), number.begin(), number.end());
  r.push_back(static_cast<uint8_t>(name.size()));
  r.insert(r.end(), name.begin(), name.end());
  r.push_back(type);
  r.push_back(classOfService);
  for (int i = 0; i < 4; ++i) r.push_back(reminder != nullptr ? reminder[i] : 0);
  r.push_back(static_cast<uint8_t>(attribute >> 8));
  r.push_back(static_cast<uint8_t>(attribute));
  r.push_back(0);
  return r;
}

// A trunk record as the PBX sends it.
inline std::vector<uint8_t> TrunkRecord(uint16_t number, const std::string& text, uint8_t type,
                                        uint16_t value = 0) {
  std::vector<uint8_t> r{static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number), 0,
                         static_cast<uint8_t>(text.size())};
  r.insert(r.end(), text.begin(), text.end());
  r.push_back(type);
  r.push_back(static_cast<uint8_t>(value >> 8));
  r.push_back(static_cast<uint8_t>(value));
  r.insert(r.end(), 3, 0);
  return r;
}

// A session holding a test model.
class ModelSession final : public provider::PbxSession {
 public:
  ModelSession(provider::CVN2448Driver& owner, const std::vector<LineSpec>& specs,
               const provider::InitialBlockValues& values)
      : PbxSession(&owner.ctiVersion), specs_(specs) {
    using namespace provider;
    count_ = static_cast<uint32_t>(specs_.size());
    const uint32_t recordBytes = (sizeof(AddressRecord) + 7) & ~uint32_t{7};
    const uint32_t stride = recordBytes + kAddressCapsSize + kAddressStatusSize + kCallListSize;
    table_ = static_cast<LineDevice*>(AllocMemory(kPoolZeroInit, sizeof(LineDevice) * count_));
    devices_ =
        static_cast<uint8_t*>(AllocMemory(kPoolZeroInit, (kDevCapsSize + kDevStatusSize) * count_));
    tables_ = static_cast<uint8_t*>(AllocMemory(kPoolZeroInit, 4 * sizeof(void*) * count_));
    addresses_ = static_cast<uint8_t*>(AllocMemory(kPoolZeroInit, stride * count_));
    for (uint32_t i = 0; i < count_; ++i) {
      const LineSpec& spec = specs_[i];
      LineDevice& line = *new (&table_[i]) LineDevice();
      line.lineIndex = i;
      line.lineKind = spec.kind;
      line.deviceNumber = spec.deviceNumber;
      line.permanentLineId = (0x1Au << 16) | spec.deviceNumber;
      line.table = table_;
      line.providerSlot = owner.slot;
      line.instance = &owner;
      std::snprintf(line.name, sizeof line.name, "%s", spec.name.c_str());
      line.rawRecord = spec.raw.empty() ? nullptr : spec.raw.data();
      line.devCaps = reinterpret_cast<LINEDEVCAPS*>(devices_ + i * (kDevCapsSize + kDevStatusSize));
      line.devStatus = reinterpret_cast<LINEDEVSTATUS*>(
          devices_ + i * (kDevCapsSize + kDevStatusSize) + kDevCapsSize);
      uint8_t* block = addresses_ + i * stride;
      auto* address = new (block) AddressRecord{};
      address->addressCaps = reinterpret_cast<LINEADDRESSCAPS*>(block + recordBytes);
      address->addressStatus =
          reinterpret_cast<LINEADDRESSSTATUS*>(block + recordBytes + kAddressCapsSize);
      address->callList = block + recordBytes + kAddressCapsSize + kAddressStatusSize;
      std::memcpy(address->dialNumber, spec.dialNumber.data(),
                  std::min<size_t>(spec.dialNumber.size(), 4));
      address->line = &line;
      line.addressTable = reinterpret_cast<AddressRecord**>(tables_ + i * 4 * sizeof(void*));
      line.addressTable[0] = address;
      SetModelAddressText(*address->addressCaps, spec.addressText);
      address->addressCaps->dwLineDeviceID = i;
      FillInitialLineBlocks(line, values);
    }
  }
  ~ModelSession() override { Release(); }

  // Frees the model's blocks, as a session close does; handles into it become stale.
  void Release() {
    for (void* block : {static_cast<void*>(table_), static_cast<void*>(devices_),
                        static_cast<void*>(tables_), static_cast<void*>(addresses_)}) {
      if (block != nullptr) provider::FreeMemory(block);
    }
    released_ = true;
  }

  int32_t StartUp(uint32_t, uint32_t) override { return provider::kStartUpReady; }
  int32_t RegisterEvents() override { return 1; }
  int32_t CloseSession() override { return 1; }
  void ReleaseDevices() override {}
  bool LinesCounted() const override { return true; }
  uint32_t LineCount() const override { return count_; }
  // Like the real session, the table pointer stays as it was after release.
  provider::LineDevice* Line(uint32_t index) override {
    return index < count_ ? table_ + index : nullptr;
  }
  uint32_t PbxSystemStatus() const override { return 2; }
  bool Released() const { return released_; }

 private:
  std::vector<LineSpec> specs_;  // owns the raw records the lines point to
  uint32_t count_ = 0;
  provider::LineDevice* table_ = nullptr;
  uint8_t* devices_ = nullptr;
  uint8_t* tables_ = nullptr;
  uint8_t* addresses_ = nullptr;
  bool released_ = false;
};

// An instance with a test model, entered in a provider slot with line device IDs from base.
class TestProvider {
 public:
  static constexpr uint32_t kSlot = 3;
  TestProvider(const std::vector<LineSpec>& specs, const provider::InitialBlockValues& values,
               uint32_t base, uint32_t pbxCountry = 0) {
    using namespace provider;
    instance_ = std::make_unique<CVN2448Driver>(kSlot);
    instance_->pbxType = values.pbxType;
    instance_->ctiVersion = values.ctiVersion;
    instance_->pbxCountry = pbxCountry;
    std::snprintf(instance_->romVersion, sizeof instance_->romVersion, "%s",
                  values.romVersion.c_str());
    instance_->providerSemaphore = std::make_unique<platform::BinarySemaphore>(true);
    instance_->lineDeviceIdBase = base;
    auto session = std::make_unique<ModelSession>(*instance_, specs, values);
    session_ = session.get();
    instance_->session = std::move(session);
    instance_->SetLineCount(static_cast<uint32_t>(specs.size()));
    ProviderSlot& slot = Process().providerTable[kSlot];
    slot.permanentProviderId = 0x1A;
    slot.inUse = 1;
    slot.lineBase = base;
    slot.lineCount = static_cast<uint32_t>(specs.size());
    slot.instance = instance_.get();
  }
  ~TestProvider() {
    using namespace provider;
    ProviderSlot& slot = Process().providerTable[kSlot];
    slot.instance = nullptr;
    slot.inUse = 0;
    slot.lineCount = 0;
    slot.lineBase = 0;
    slot.permanentProviderId = kUnusedProviderId;
    instance_.reset();
  }
  provider::CVN2448Driver& Instance() { return *instance_; }
  ModelSession& Session() { return *session_; }
  provider::LineDevice& Line(uint32_t index) { return *session_->Line(index); }
  HDRVLINE Handle(uint32_t index) { return reinterpret_cast<HDRVLINE>(session_->Line(index)); }

 private:
  std::unique_ptr<provider::CVN2448Driver> instance_;
  ModelSession* session_ = nullptr;
};

}  // namespace qrvn::testing
