// What line close and call release need from the call table: how to find a call's line, how
// to walk an address's call list and how to release one call record. The call table installs
// its functions here; until it does, no pool block is a call and every call list is empty.
#pragma once

#include <cstdint>

#include "provider/calls/call_record.h"
#include "provider/core/instance_parts.h"
#include "tapi/tspi.h"

namespace qrvn::provider {

struct CallReleaseOps {
  // The line of a call record that passed the pool check, or null when the record is not on
  // any line's call list (its list, address or line is not valid).
  LineDevice* (*lineOfCall)(CallRecord* call);
  // The first record of an address's call list, or null when the list is empty.
  CallRecord* (*firstCall)(AddressRecord& address);
  // The record after call in its list (read before call is released), or null.
  CallRecord* (*nextCall)(CallRecord* call);
  // Releases one record at line close: no events, the call counts stay as they are; a record
  // whose status block is not valid is left alone.
  void (*releaseAtClose)(AddressRecord& address, CallRecord* call);
  // The release step of TSPI_lineCloseCall under the instance's lock: 0 or a LINEERR_ code.
  LONG (*releaseCall)(CallRecord* call);
};

// The functions in use (the empty call table's until the call table installs its own).
CallReleaseOps& CallRelease();
// The functions of a provider without call records.
CallReleaseOps EmptyCallRelease();

}  // namespace qrvn::provider
