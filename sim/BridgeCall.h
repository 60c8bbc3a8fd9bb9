// One call on a virtual device's handle as the device recorded it, with the time it was made.
#pragma once

#include "sim/BridgeOperation.h"
#include "usb/bridge/BridgeDefs.h"

#include <QtGlobal>

// Arguments: Open none; Close none; Write the byte count; FlushBuffers transmit, receive;
// SetBaudRate the rate; SetLineControl the word; WriteLatch mask, value. Reads and queue checks are
// not recorded (the worker polls them every millisecond).
struct BridgeCall
{
    qint64 atNs = 0;
    BridgeOperation operation = BridgeOperation::Open;
    quint32 first = 0;
    quint32 second = 0;
    Bridge::Status status = Bridge::Success;
};
