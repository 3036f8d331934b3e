// Exports for a host that drives a started instance directly, without TAPI's line events.
// Every one takes the provider slot (0..15) and returns 1.
#pragma once

#include "tapi/tspi.h"

extern "C" {

// Registers the callback that receives the events of lines opened by LineDevOpen.
TSPIAPI LONG PBXInitialize(DWORD reserved1, DWORD reserved2, LINEEVENT eventProc);
// Closes and destroys the slot's instance; the slot stays reserved.
TSPIAPI LONG PBXClose(DWORD slot);
// Routes the events of every line of the slot's instance to the registered callback.
TSPIAPI LONG LineDevOpen(DWORD slot);
// Stops posting the events of every line of the slot's instance.
TSPIAPI LONG LineDevClose(DWORD slot);
// Routes the events of one line to the registered callback.
TSPIAPI LONG LineDevOpen2(DWORD slot, DWORD lineIndex);
// Stops posting the events of one line.
TSPIAPI LONG LineDevClose2(DWORD slot, DWORD lineIndex);

}  // extern "C"
