// Names of the bridge library's status codes, as the diagnostic log writes them.
#pragma once

#include "usb/bridge/BridgeDefs.h"

// "SI_INVALID_HANDLE" ... "SI_DEVICE_NOT_FOUND"; "SI_SUCCESS" for 0 and "SI_UNKNOWN_STATUS" for a value
// the library does not define. The text is static.
const char *bridgeStatusName(Bridge::Status status);
