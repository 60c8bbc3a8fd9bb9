// The bridge library of this process: the back end that ZELVAN_BRIDGE names, chosen once at first use.
#pragma once

#include "usb/bridge/BridgeLibrary.h"

#include <QString>
#include <memory>

// ZELVAN_BRIDGE=virtual, or unset or empty while no hardware back end exists, selects the virtual bridge
// with the boards ZELVAN_VIRTUAL_BOARDS names. Any other value is refused: an error line names the
// value and the known ones, and the process gets a bridge that lists no device (every call answers
// SI_DEVICE_NOT_FOUND or SI_INVALID_HANDLE), so nothing is ever sent to a board the user did not mean.
// The object lives until the end of the process and serialises calls per handle.
BridgeLibrary &processBridge();

// The back end a value of ZELVAN_BRIDGE selects, or null with a message in *error for an unknown name.
std::unique_ptr<BridgeLibrary> createBridgeBackend(const QString &name, QString *error);
