// Named shared areas and named mutexes that other processes can open by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qrvn::platform {

// A named shared memory area ("TervolinWLTPBXMONITOR" is the object "/TervolinWLTPBXMONITOR").
class SharedArea {
 public:
  // Opens the area, creating it (zero-filled, mode 0666) when create is set and it is missing;
  // nullptr when it cannot be had. *created tells whether this call created it.
  static std::unique_ptr<SharedArea> Open(const std::string& name, size_t size, bool create,
                                          bool readOnly, bool* created = nullptr);
  ~SharedArea();
  SharedArea(const SharedArea&) = delete;
  SharedArea& operator=(const SharedArea&) = delete;

  // The mapped bytes (read-only areas must not be written).
  uint8_t* Data() { return data_; }
  size_t Size() const { return size_; }
  // Removes the name so that the next Open(create) makes a fresh area.
  static bool Remove(const std::string& name);

 private:
  SharedArea(uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t* data_;
  size_t size_;
};

// A named mutex between processes ("WLTBPXMNBeenStartedMutex" is the named semaphore
// "/WLTBPXMNBeenStartedMutex").
class NamedMutex {
 public:
  // Opens or creates the mutex (unowned); nullptr when it cannot be had. *existed tells
  // whether it was there already.
  static std::unique_ptr<NamedMutex> Open(const std::string& name, bool* existed = nullptr);
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Takes the mutex, waiting up to timeoutMs; false on time-out.
  bool Lock(uint32_t timeoutMs);
  // Gives it back.
  void Unlock();
  // Removes the name.
  static bool Remove(const std::string& name);

 private:
  struct Impl;
  explicit NamedMutex(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace qrvn::platform
