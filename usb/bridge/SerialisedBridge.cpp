// Per-handle serialisation of the bridge library's calls.
#include "usb/bridge/SerialisedBridge.h"

#include <QMutexLocker>

SerialisedBridge::SerialisedBridge(BridgeLibrary &backend)
    : m_Backend(backend), m_UnknownHandleLock(std::make_shared<QMutex>())
{
}

std::shared_ptr<QMutex> SerialisedBridge::lockFor(Bridge::Handle handle)
{
    QMutexLocker table(&m_TableLock);
    return m_HandleLocks.value(handle, m_UnknownHandleLock);
}

template <typename Call> Bridge::Status SerialisedBridge::onHandle(Bridge::Handle handle, Call call)
{
    // The shared pointer keeps the lock alive while a close removes it from the table.
    const std::shared_ptr<QMutex> lock = lockFor(handle);
    QMutexLocker locker(lock.get());
    return call();
}

Bridge::Status SerialisedBridge::getNumDevices(quint32 *numDevices)
{
    return m_Backend.getNumDevices(numDevices);
}

Bridge::Status SerialisedBridge::getProductString(quint32 deviceNum, char *productString, quint32 options)
{
    return m_Backend.getProductString(deviceNum, productString, options);
}

Bridge::Status SerialisedBridge::open(quint32 deviceNum, Bridge::Handle *handle)
{
    const Bridge::Status status = m_Backend.open(deviceNum, handle);
    if (status == Bridge::Success && handle) {
        QMutexLocker table(&m_TableLock);
        m_HandleLocks.insert(*handle, std::make_shared<QMutex>());
    }
    return status;
}

Bridge::Status SerialisedBridge::close(Bridge::Handle handle)
{
    return onHandle(handle, [&] {
        const Bridge::Status status = m_Backend.close(handle);
        if (status == Bridge::Success) {
            QMutexLocker table(&m_TableLock);
            m_HandleLocks.remove(handle);
        }
        return status;
    });
}

Bridge::Status SerialisedBridge::read(Bridge::Handle handle, void *buffer, quint32 bytesToRead,
                                      quint32 *bytesReturned, void *overlapped)
{
    return onHandle(handle,
                    [&] { return m_Backend.read(handle, buffer, bytesToRead, bytesReturned, overlapped); });
}

Bridge::Status SerialisedBridge::write(Bridge::Handle handle, const void *buffer, quint32 bytesToWrite,
                                       quint32 *bytesWritten, void *overlapped)
{
    return onHandle(handle,
                    [&] { return m_Backend.write(handle, buffer, bytesToWrite, bytesWritten, overlapped); });
}

Bridge::Status SerialisedBridge::checkRxQueue(Bridge::Handle handle, quint32 *numBytesInQueue,
                                              quint32 *queueStatus)
{
    return onHandle(handle, [&] { return m_Backend.checkRxQueue(handle, numBytesInQueue, queueStatus); });
}

Bridge::Status SerialisedBridge::flushBuffers(Bridge::Handle handle, quint8 flushTransmit,
                                              quint8 flushReceive)
{
    return onHandle(handle, [&] { return m_Backend.flushBuffers(handle, flushTransmit, flushReceive); });
}

Bridge::Status SerialisedBridge::setBaudRate(Bridge::Handle handle, quint32 baudRate)
{
    return onHandle(handle, [&] { return m_Backend.setBaudRate(handle, baudRate); });
}

Bridge::Status SerialisedBridge::setLineControl(Bridge::Handle handle, quint16 lineControl)
{
    return onHandle(handle, [&] { return m_Backend.setLineControl(handle, lineControl); });
}

Bridge::Status SerialisedBridge::writeLatch(Bridge::Handle handle, quint8 mask, quint8 latch)
{
    return onHandle(handle, [&] { return m_Backend.writeLatch(handle, mask, latch); });
}
