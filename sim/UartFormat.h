// The frame format of one UART side: baud rate and line control word, and the time its bytes take.
#pragma once

#include "usb/bridge/BridgeDefs.h"

#include <QtGlobal>

struct UartFormat
{
    quint32 baudRate = Bridge::BoardBaudRate;
    quint16 lineControl = Bridge::LineControl8N1;

    // Whether the word names a frame: 5 to 8 data bits, parity 0 to 4, stop bits code 0 to 2.
    static bool isValidLineControl(quint16 word);
    static bool isValidBaudRate(quint32 baudRate);

    // Start bit, data bits, parity bit and stop bits, counted in half bits (one and a half stop bits).
    int halfBitsPerFrame() const;
    // Time on the wire of the given number of back-to-back bytes, exact to the nanosecond below.
    qint64 wireTimeNs(qint64 bytes) const;

    // What a receiver set to another frame format reads instead of a byte: it samples the wrong bit
    // cells, so the value comes out shifted and inverted. The byte count stays the same.
    static quint8 misread(quint8 byte);

    bool operator==(const UartFormat &other) const
    {
        return baudRate == other.baudRate && lineControl == other.lineControl;
    }
    bool operator!=(const UartFormat &other) const { return !(*this == other); }
};
