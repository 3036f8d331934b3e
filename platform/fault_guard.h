// Runs a piece of code so that a processor fault inside it (a bad memory access, a bad
// instruction, a division by zero) ends that piece instead of the process, and reports the
// processor state at the fault. The objects of the abandoned frames are not destroyed: use it
// only around code whose state the caller can give up (an event handler whose event is
// dropped).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace qrvn::platform {

struct FaultContext {
  int signal = 0;  // the fault's signal number; 0 when there was no fault
  // The general registers at the fault, in the order ax bx cx dx si di ip sp bp (zero where
  // the processor has no such register).
  uint64_t registers[9] = {};
  uint8_t code[30] = {};  // the code bytes at the fault address
  size_t codeBytes = 0;   // how many of them could be read
};

// Runs body on the calling thread; true when it ran to its end, false after a fault, with
// *fault filled. A C++ exception from body passes through unchanged.
bool RunGuarded(const std::function<void()>& body, FaultContext* fault);

}  // namespace qrvn::platform
