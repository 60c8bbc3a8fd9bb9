// Wraps a bridge back end so that calls on one handle never overlap, whichever threads make them.
#pragma once

#include "usb/bridge/BridgeLibrary.h"

#include <QHash>
#include <QMutex>
#include <memory>

// Every call that takes a handle holds that handle's lock for its whole duration: a close from the GUI
// thread waits until the worker's read on the same handle has returned, and the read that comes after
// the close meets a closed handle (InvalidHandle) instead of a half-released one. Enumeration and calls
// on different handles run side by side; the back end keeps its own state safe for that.
class SerialisedBridge final : public BridgeLibrary
{
public:
    // The back end must outlive this object.
    explicit SerialisedBridge(BridgeLibrary &backend);

    Bridge::Status getNumDevices(quint32 *numDevices) override;
    Bridge::Status getProductString(quint32 deviceNum, char *productString, quint32 options) override;
    Bridge::Status open(quint32 deviceNum, Bridge::Handle *handle) override;
    Bridge::Status close(Bridge::Handle handle) override;
    Bridge::Status read(Bridge::Handle handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned,
                        void *overlapped) override;
    Bridge::Status write(Bridge::Handle handle, const void *buffer, quint32 bytesToWrite,
                         quint32 *bytesWritten, void *overlapped) override;
    Bridge::Status checkRxQueue(Bridge::Handle handle, quint32 *numBytesInQueue,
                                quint32 *queueStatus) override;
    Bridge::Status flushBuffers(Bridge::Handle handle, quint8 flushTransmit, quint8 flushReceive) override;
    Bridge::Status setBaudRate(Bridge::Handle handle, quint32 baudRate) override;
    Bridge::Status setLineControl(Bridge::Handle handle, quint16 lineControl) override;
    Bridge::Status writeLatch(Bridge::Handle handle, quint8 mask, quint8 latch) override;

private:
    // The lock of a handle opened through this layer; handles it never handed out share one lock.
    std::shared_ptr<QMutex> lockFor(Bridge::Handle handle);
    template <typename Call> Bridge::Status onHandle(Bridge::Handle handle, Call call);

    BridgeLibrary &m_Backend;
    QMutex m_TableLock;
    QHash<Bridge::Handle, std::shared_ptr<QMutex>> m_HandleLocks;
    const std::shared_ptr<QMutex> m_UnknownHandleLock;
};
