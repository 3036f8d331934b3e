// The call record: one call on one address of a line device. This is the start of the record,
// with the fields that event posting and the asynchronous completions read; the call table
// extends it with the call's state, its TAPI blocks and its links.
#pragma once

#include <atomic>
#include <cstdint>

#include "tapi/tspi.h"

namespace qrvn::provider {

struct CallRecord {
  HTAPICALL htCall = nullptr;  // TAPI's handle of the call, given back in its line events
  // 1 while a request on this call waits for its completion; the reply job clears it.
  std::atomic<uint32_t> bCommandPending{0};
};

}  // namespace qrvn::provider
