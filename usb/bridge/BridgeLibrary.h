// The bridge library: the eleven operations the loader needs from a USB-to-UART bridge's driver.
#pragma once

#include "usb/bridge/BridgeDefs.h"

// Hardware contract, for every back end:
// - Devices are numbered 0 ... count-1 among the bridges plugged in now; numbers shift when a device with
//   a lower number goes away, so a number is only valid until the next getNumDevices.
// - getProductString writes a NUL-terminated ASCII (UTF-8) text of at most ProductStringSize-1 bytes into
//   a buffer of ProductStringSize bytes. Options: ProductSerialNumber, ProductDescription,
//   ProductLinkName, ProductVid, ProductPid; anything else is InvalidParameter. A number that names no
//   device is DeviceNotFound.
// - open hands out a handle for all later calls (never NoHandle); a device is opened by one handle at a
//   time: opening it again gives DeviceNotFound. close releases the handle; it succeeds also when the
//   device has been unplugged meanwhile. A handle that was never opened or is closed gives InvalidHandle.
// - Every other call on the handle of an unplugged device fails with DeviceIoFailed (bus error). The
//   handle stays dead after a replug; the device must be opened again.
// - read never waits: it hands out at most bytesToRead bytes of those queued (possibly 0) and reports
//   the count in bytesReturned. write queues the bytes for the UART and reports bytesWritten. Overlapped
//   I/O is not supported: overlapped must be null, otherwise FunctionNotSupported. A length of 0 or above
//   MaxReadLength / MaxWriteLength is InvalidRequestLength.
// - checkRxQueue reports the bytes waiting to be read; the queue status is informational only.
// - setBaudRate (InvalidBaudRate outside 300 ... 921600), setLineControl (InvalidParameter for a word
//   that names no frame format) and writeLatch (only the bits set in mask change; InvalidParameter for
//   bits above the four latch pins) act at once on the UART and the latch pins.
// - Null out-pointers or buffers are InvalidParameter.
//
// Threads: the device worker's thread polls (checkRxQueue, read), writes and flushes; the GUI thread
// opens, closes and writes the latch; enumeration runs in the worker thread. The layer the program uses
// (processBridge(), or a back end wrapped in SerialisedBridge) serialises all calls on one handle, so a
// close or a latch write never overlaps a read on the same handle. A back end must additionally be
// safe to call for different handles and for enumeration from several threads at once.
class BridgeLibrary
{
public:
    virtual ~BridgeLibrary() = default;

    virtual Bridge::Status getNumDevices(quint32 *numDevices) = 0;
    virtual Bridge::Status getProductString(quint32 deviceNum, char *productString, quint32 options) = 0;
    virtual Bridge::Status open(quint32 deviceNum, Bridge::Handle *handle) = 0;
    virtual Bridge::Status close(Bridge::Handle handle) = 0;
    virtual Bridge::Status read(Bridge::Handle handle, void *buffer, quint32 bytesToRead,
                                quint32 *bytesReturned, void *overlapped) = 0;
    virtual Bridge::Status write(Bridge::Handle handle, const void *buffer, quint32 bytesToWrite,
                                 quint32 *bytesWritten, void *overlapped) = 0;
    virtual Bridge::Status checkRxQueue(Bridge::Handle handle, quint32 *numBytesInQueue,
                                        quint32 *queueStatus) = 0;
    virtual Bridge::Status flushBuffers(Bridge::Handle handle, quint8 flushTransmit, quint8 flushReceive) = 0;
    virtual Bridge::Status setBaudRate(Bridge::Handle handle, quint32 baudRate) = 0;
    virtual Bridge::Status setLineControl(Bridge::Handle handle, quint16 lineControl) = 0;
    virtual Bridge::Status writeLatch(Bridge::Handle handle, quint8 mask, quint8 latch) = 0;
};
