// Connection and byte transport of the device worker: open, close, queue check, read, write, flush.
#include "usb/KZ_SI_USBXpressDev.h"

#include "app/log/Log.h"
#include "usb/bridge/BridgeStatusName.h"

#include <QMutexLocker>

namespace {

constexpr quint32 ReadChunk = ByteRing::Size;

} // namespace

qint16 KZ_SI_USBXpressDev::openDevice(quint16 ListPosition)
{
    const char *tag = "KZ_SI_USBXpressDev::openDevice";
    DeviceInfo entry;
    {
        QMutexLocker list(&m_DeviceListLock);
        if (ListPosition >= m_DeviceList.size()) {
            LogError(tag, "Device to Open not exist");
            return -1;
        }
        entry = m_DeviceList.at(ListPosition);
    }

    QMutexLocker connection(&m_ConnectionLock);
    if (m_DeviceOpen) {
        LogError(tag, "Device already open");
        return -1;
    }
    Bridge::Handle handle = Bridge::NoHandle;
    Bridge::Status status = m_Library.open(entry.DeviceIndex, &handle);
    if (Bridge::isOneOf(status,
                        {Bridge::InvalidParameter, Bridge::GlobalDataError, Bridge::DeviceNotFound})) {
        LogError(tag, "%s", bridgeStatusName(status));
        return -1;
    }
    status = m_Library.setBaudRate(handle, Bridge::BoardBaudRate);
    if (Bridge::isOneOf(status, {Bridge::InvalidHandle, Bridge::InvalidParameter, Bridge::DeviceIoFailed,
                                 Bridge::InvalidBaudRate})) {
        LogError(tag, "%s", bridgeStatusName(status));
        // A half-opened board is released, so that the next attempt can open it again.
        m_Library.close(handle);
        return -1;
    }
    status = m_Library.setLineControl(handle, Bridge::LineControl8N1);
    if (Bridge::isOneOf(status, {Bridge::InvalidHandle, Bridge::InvalidParameter, Bridge::DeviceIoFailed})) {
        LogError(tag, "%s", bridgeStatusName(status));
        m_Library.close(handle);
        return -1;
    }
    m_hDevice = handle;
    m_OpenDeviceIndex = qint16(entry.DeviceIndex);
    m_OpenSerialNumber = entry.SerialNumber;
    m_DeviceOpen = true;
    return 1;
}

qint16 KZ_SI_USBXpressDev::closeDev(bool EmitClosedSignal)
{
    bool closed = false;
    qint16 result;
    {
        QMutexLocker connection(&m_ConnectionLock);
        result = closeLocked(&closed);
    }
    // Emitted outside the lock: a directly connected receiver may call back into the worker.
    if (closed && EmitClosedSignal)
        emit SIGNAL_connectionClosed();
    return result;
}

qint16 KZ_SI_USBXpressDev::closeLocked(bool *closed)
{
    const char *tag = "KZ_SI_USBXpressDev::closeDev";
    if (!m_DeviceOpen) {
        LogError(tag, "Device not open");
        return -1;
    }
    const Bridge::Status status = m_Library.close(m_hDevice);
    if (status == Bridge::Success) {
        m_DeviceOpen = false;
        m_hDevice = Bridge::NoHandle;
        m_OpenSerialNumber.clear();
        *closed = true;
        return 1;
    }
    if (Bridge::isOneOf(status, {Bridge::InvalidHandle, Bridge::GlobalDataError, Bridge::SystemErrorCode,
                                 Bridge::DeviceNotFound})) {
        LogError(tag, "%s", bridgeStatusName(status));
        return -1;
    }
    // Any other status counts as closed for the caller, while the board stays marked open.
    *closed = true;
    return 1;
}

bool KZ_SI_USBXpressDev::isOpen()
{
    return m_DeviceOpen;
}

qint16 KZ_SI_USBXpressDev::BytesAvailable()
{
    const char *tag = "KZ_SI_USBXpressDev::BytesAvailable";
    quint32 inQueue = 0;
    quint32 queueStatus = 0;
    const Bridge::Status status = m_Library.checkRxQueue(m_hDevice, &inQueue, &queueStatus);
    if (Bridge::isOneOf(status, {Bridge::InvalidHandle, Bridge::InvalidParameter, Bridge::DeviceIoFailed})) {
        LogError(tag, "%s", bridgeStatusName(status));
        return -1;
    }
    if (status != Bridge::Success)
        LogError(tag, "SI Unkown Error %d", status);
    // One pass reads at most a ring's worth; a longer queue waits for the next pass. Passing the raw
    // count on would turn queues of 32 KiB and more into negative or short numbers.
    return qint16(qMin(inQueue, ReadChunk));
}

int KZ_SI_USBXpressDev::ReadData(quint16 Count)
{
    if (!m_DeviceOpen || Count == 0)
        return 0;
    // Only what the ring can hold without overwriting unread bytes; the rest stays queued in the bridge.
    const quint32 wanted = qMin<quint32>(qMin<quint32>(Count, ReadChunk), m_RxRing.freeSpace());
    if (wanted == 0)
        return 0;
    quint8 buffer[ReadChunk];
    quint32 received = 0;
    const Bridge::Status status = m_Library.read(m_hDevice, buffer, wanted, &received, nullptr);
    if (Bridge::isOneOf(status, {Bridge::InvalidHandle, Bridge::ReadError, Bridge::InvalidParameter,
                                 Bridge::InvalidRequestLength, Bridge::DeviceIoFailed,
                                 Bridge::SystemErrorCode, Bridge::ReadTimedOut, Bridge::IoPending})) {
        LogError("KZ_SI_USBXpressDev::ReadData", "%s", bridgeStatusName(status));
        return -1;
    }
    received = qMin(received, wanted);
    for (quint32 i = 0; i < received; ++i)
        m_RxRing.push(buffer[i]);
    return int(received);
}

quint16 KZ_SI_USBXpressDev::sendData(const char *Data, quint16 Length)
{
    if (!m_DeviceOpen)
        return 0xFFFF;
    quint32 written = 0;
    const Bridge::Status status = m_Library.write(m_hDevice, Data, Length, &written, nullptr);
    if (Bridge::isOneOf(status, {Bridge::InvalidHandle, Bridge::WriteError, Bridge::InvalidParameter,
                                 Bridge::InvalidRequestLength, Bridge::DeviceIoFailed,
                                 Bridge::FunctionNotSupported, Bridge::SystemErrorCode, Bridge::WriteTimedOut,
                                 Bridge::IoPending, Bridge::DeviceNotFound})) {
        LogError("KZ_SI_USBXpressDev::sendData", "%s", bridgeStatusName(status));
        return 0xFFFF;
    }
    return 1;
}

int KZ_SI_USBXpressDev::flushBuffers()
{
    const Bridge::Status status = m_Library.flushBuffers(m_hDevice, Bridge::Flush, Bridge::Flush);
    if (Bridge::isOneOf(status, {Bridge::InvalidHandle, Bridge::SystemErrorCode})) {
        LogError("KZ_SI_USBXpressDev::flushBuffers", "%s", bridgeStatusName(status));
        return -1;
    }
    return 1;
}
