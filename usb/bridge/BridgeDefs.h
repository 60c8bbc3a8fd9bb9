// Status codes, handles and argument values of the bridge library's eleven operations.
#pragma once

#include <QtGlobal>
#include <initializer_list>

namespace Bridge {

// Every operation returns one of these. Callers compare against the named values; a back end may also
// return a value that is not listed (the worker treats unlisted values as its operation says).
using Status = int;
constexpr Status Success = 0x00;
constexpr Status InvalidHandle = 0x01;
constexpr Status ReadError = 0x02;
constexpr Status WriteError = 0x04;
constexpr Status InvalidParameter = 0x06;
constexpr Status InvalidRequestLength = 0x07;
constexpr Status DeviceIoFailed = 0x08;
constexpr Status InvalidBaudRate = 0x09;
constexpr Status FunctionNotSupported = 0x0A;
constexpr Status GlobalDataError = 0x0B;
constexpr Status SystemErrorCode = 0x0C;
constexpr Status ReadTimedOut = 0x0D;
constexpr Status WriteTimedOut = 0x0E;
constexpr Status IoPending = 0x0F;
constexpr Status DeviceNotFound = 0xFF;

// Whether a status is one of those a caller tells apart.
constexpr bool isOneOf(Status status, std::initializer_list<Status> listed)
{
    for (Status entry : listed) {
        if (entry == status)
            return true;
    }
    return false;
}

// An open device; NoHandle is never handed out by open, so a closed connection can keep it.
using Handle = quintptr;
constexpr Handle NoHandle = 0;

// Product string options and the size of the caller's buffer (the text and its NUL fit in it).
constexpr quint32 ProductSerialNumber = 0x00;
constexpr quint32 ProductDescription = 0x01;
constexpr quint32 ProductLinkName = 0x02;
constexpr quint32 ProductVid = 0x03;
constexpr quint32 ProductPid = 0x04;
constexpr int ProductStringSize = 256;

// Largest single read and write.
constexpr quint32 MaxReadLength = 65536;
constexpr quint32 MaxWriteLength = 4096;

// Line control word: bits 0-3 stop bits (0 one, 1 one and a half, 2 two), bits 4-7 parity (0 none,
// 1 odd, 2 even, 3 mark, 4 space), bits 8-15 data bits (5 to 8).
constexpr quint16 LineControl8N1 = 0x0800;
constexpr quint16 LineControl8E1 = 0x0820;

// The board's UART speed, and the latch bits wired to the STM32 (a latch bit 0 drives its pin low
// through the board's inverters, so bit value 0 asserts the line).
constexpr quint32 BoardBaudRate = 115200;
constexpr quint8 LatchReset = 0x01;
constexpr quint8 LatchBoot0 = 0x02;

// Arguments of flushBuffers.
constexpr quint8 Flush = 1;
constexpr quint8 Keep = 0;

} // namespace Bridge
