// The virtual bridge library: device numbering, handles, argument checks, scripted statuses.
#include "sim/VirtualBridge.h"

#include "sim/VirtualDevice.h"

#include <QMutexLocker>
#include <cstring>

VirtualBridge::VirtualBridge(TimeMode timeMode) : m_TimeMode(timeMode) {}

VirtualBridge::~VirtualBridge() = default;

qint64 VirtualBridge::advanceAll()
{
    const qint64 nowNs = m_Clock.nowNs();
    for (const auto &device : m_Devices)
        device->advance(nowNs);
    return nowNs;
}

VirtualBridge::Fault VirtualBridge::takeFault(BridgeOperation operation)
{
    ++m_CallCounts[int(operation)];
    for (int i = 0; i < m_InjectedStatuses.size(); ++i) {
        InjectedStatus &injected = m_InjectedStatuses[i];
        if (injected.operation != operation)
            continue;
        if (injected.skipCalls > 0) {
            --injected.skipCalls;
            return Fault();
        }
        Fault fault{true, injected.status, injected.effect};
        if (injected.remaining > 0 && --injected.remaining == 0)
            m_InjectedStatuses.removeAt(i);
        return fault;
    }
    return Fault();
}

VirtualDevice *VirtualBridge::pluggedDevice(quint32 deviceNum) const
{
    quint32 number = 0;
    for (const auto &device : m_Devices) {
        if (!device->isPlugged())
            continue;
        if (number++ == deviceNum)
            return device.get();
    }
    return nullptr;
}

VirtualDevice *VirtualBridge::deviceOf(Bridge::Handle handle, Bridge::Status *status) const
{
    const auto entry = m_Handles.constFind(handle);
    if (entry == m_Handles.constEnd()) {
        *status = Bridge::InvalidHandle;
        return nullptr;
    }
    VirtualDevice *device = m_Devices[size_t(entry->boardId)].get();
    if (!device->isPlugged() || device->plugSession() != entry->plugSession) {
        *status = Bridge::DeviceIoFailed;
        return nullptr;
    }
    *status = Bridge::Success;
    return device;
}

template <typename Perform>
Bridge::Status VirtualBridge::onHandle(BridgeOperation operation, Bridge::Handle handle, quint32 first,
                                       quint32 second, Perform perform)
{
    QMutexLocker lock(&m_Lock);
    const qint64 nowNs = advanceAll();
    const Fault fault = takeFault(operation);
    Bridge::Status status = Bridge::Success;
    VirtualDevice *device = deviceOf(handle, &status);
    if (fault.applies && fault.effect == FaultEffect::Skipped)
        status = fault.status;
    else if (device)
        status = perform(*device, nowNs);
    if (fault.applies)
        status = fault.status;
    if (device && operation != BridgeOperation::Read && operation != BridgeOperation::CheckRxQueue)
        device->record(BridgeCall{nowNs, operation, first, second, status});
    return status;
}

Bridge::Status VirtualBridge::getNumDevices(quint32 *numDevices)
{
    QMutexLocker lock(&m_Lock);
    advanceAll();
    const Fault fault = takeFault(BridgeOperation::GetNumDevices);
    if (fault.applies && fault.effect == FaultEffect::Skipped)
        return fault.status;
    if (!numDevices)
        return Bridge::InvalidParameter;
    quint32 count = 0;
    for (const auto &device : m_Devices)
        count += device->isPlugged() ? 1 : 0;
    *numDevices = count;
    if (fault.applies)
        return fault.status;
    // The vendor's library reports an empty bus as an error, and the worker relies on that.
    return count == 0 ? Bridge::DeviceNotFound : Bridge::Success;
}

Bridge::Status VirtualBridge::getProductString(quint32 deviceNum, char *productString, quint32 options)
{
    QMutexLocker lock(&m_Lock);
    advanceAll();
    const Fault fault = takeFault(BridgeOperation::GetProductString);
    if (fault.applies && fault.effect == FaultEffect::Skipped)
        return fault.status;
    if (!productString || options > Bridge::ProductPid)
        return Bridge::InvalidParameter;
    const VirtualDevice *device = pluggedDevice(deviceNum);
    if (!device)
        return Bridge::DeviceNotFound;
    const QByteArray text = device->productString(options).left(Bridge::ProductStringSize - 1);
    std::memcpy(productString, text.constData(), size_t(text.size()));
    productString[text.size()] = '\0';
    return fault.applies ? fault.status : Bridge::Success;
}

Bridge::Status VirtualBridge::open(quint32 deviceNum, Bridge::Handle *handle)
{
    QMutexLocker lock(&m_Lock);
    const qint64 nowNs = advanceAll();
    const Fault fault = takeFault(BridgeOperation::Open);
    if (fault.applies && fault.effect == FaultEffect::Skipped)
        return fault.status;
    if (!handle)
        return Bridge::InvalidParameter;
    VirtualDevice *device = pluggedDevice(deviceNum);
    if (!device || device->isOpen())
        return Bridge::DeviceNotFound;
    int boardId = 0;
    while (m_Devices[size_t(boardId)].get() != device)
        ++boardId;
    *handle = m_NextHandle++;
    m_Handles.insert(*handle, HandleEntry{boardId, device->plugSession()});
    device->open();
    const Bridge::Status status = fault.applies ? fault.status : Bridge::Success;
    device->record(BridgeCall{nowNs, BridgeOperation::Open, deviceNum, 0, status});
    return status;
}

Bridge::Status VirtualBridge::close(Bridge::Handle handle)
{
    QMutexLocker lock(&m_Lock);
    const qint64 nowNs = advanceAll();
    const Fault fault = takeFault(BridgeOperation::Close);
    if (fault.applies && fault.effect == FaultEffect::Skipped)
        return fault.status;
    const auto entry = m_Handles.constFind(handle);
    if (entry == m_Handles.constEnd())
        return Bridge::InvalidHandle;
    VirtualDevice *device = m_Devices[size_t(entry->boardId)].get();
    // A handle of an earlier plug-in only goes; the device may be open by a newer handle by now.
    const bool current = device->isPlugged() && device->plugSession() == entry->plugSession;
    m_Handles.erase(entry);
    const Bridge::Status status = fault.applies ? fault.status : Bridge::Success;
    if (current) {
        device->close();
        device->record(BridgeCall{nowNs, BridgeOperation::Close, 0, 0, status});
    }
    return status;
}

Bridge::Status VirtualBridge::read(Bridge::Handle handle, void *buffer, quint32 bytesToRead,
                                   quint32 *bytesReturned, void *overlapped)
{
    return onHandle(BridgeOperation::Read, handle, bytesToRead, 0, [&](VirtualDevice &device, qint64) {
        if (overlapped)
            return Bridge::FunctionNotSupported;
        if (!buffer || !bytesReturned)
            return Bridge::InvalidParameter;
        if (bytesToRead == 0 || bytesToRead > Bridge::MaxReadLength)
            return Bridge::InvalidRequestLength;
        *bytesReturned = device.read(static_cast<quint8 *>(buffer), bytesToRead);
        return Bridge::Success;
    });
}

Bridge::Status VirtualBridge::write(Bridge::Handle handle, const void *buffer, quint32 bytesToWrite,
                                    quint32 *bytesWritten, void *overlapped)
{
    return onHandle(BridgeOperation::Write, handle, bytesToWrite, 0,
                    [&](VirtualDevice &device, qint64 nowNs) {
                        if (overlapped)
                            return Bridge::FunctionNotSupported;
                        if (!buffer || !bytesWritten)
                            return Bridge::InvalidParameter;
                        if (bytesToWrite == 0 || bytesToWrite > Bridge::MaxWriteLength)
                            return Bridge::InvalidRequestLength;
                        device.write(QByteArray(static_cast<const char *>(buffer), int(bytesToWrite)), nowNs);
                        *bytesWritten = bytesToWrite;
                        return Bridge::Success;
                    });
}

Bridge::Status VirtualBridge::checkRxQueue(Bridge::Handle handle, quint32 *numBytesInQueue,
                                           quint32 *queueStatus)
{
    return onHandle(BridgeOperation::CheckRxQueue, handle, 0, 0, [&](VirtualDevice &device, qint64) {
        if (!numBytesInQueue || !queueStatus)
            return Bridge::InvalidParameter;
        *numBytesInQueue = device.queuedForHost();
        // Bit 1: bytes waiting (informational, as the vendor's queue status).
        *queueStatus = device.queuedForHost() > 0 ? 0x02 : 0x00;
        return Bridge::Success;
    });
}

Bridge::Status VirtualBridge::flushBuffers(Bridge::Handle handle, quint8 flushTransmit, quint8 flushReceive)
{
    return onHandle(BridgeOperation::FlushBuffers, handle, flushTransmit, flushReceive,
                    [&](VirtualDevice &device, qint64) {
                        device.flush(flushTransmit != 0, flushReceive != 0);
                        return Bridge::Success;
                    });
}

Bridge::Status VirtualBridge::setBaudRate(Bridge::Handle handle, quint32 baudRate)
{
    return onHandle(BridgeOperation::SetBaudRate, handle, baudRate, 0, [&](VirtualDevice &device, qint64) {
        if (!UartFormat::isValidBaudRate(baudRate))
            return Bridge::InvalidBaudRate;
        device.setBaudRate(baudRate);
        return Bridge::Success;
    });
}

Bridge::Status VirtualBridge::setLineControl(Bridge::Handle handle, quint16 lineControl)
{
    return onHandle(BridgeOperation::SetLineControl, handle, lineControl, 0,
                    [&](VirtualDevice &device, qint64) {
                        if (!UartFormat::isValidLineControl(lineControl))
                            return Bridge::InvalidParameter;
                        device.setLineControl(lineControl);
                        return Bridge::Success;
                    });
}

Bridge::Status VirtualBridge::writeLatch(Bridge::Handle handle, quint8 mask, quint8 latch)
{
    return onHandle(BridgeOperation::WriteLatch, handle, mask, latch,
                    [&](VirtualDevice &device, qint64 nowNs) {
                        if ((mask | latch) & ~VirtualDevice::LatchPins)
                            return Bridge::InvalidParameter;
                        device.writeLatch(mask, latch, nowNs);
                        return Bridge::Success;
                    });
}

VirtualBoard VirtualBridge::addBoard(const QString &serialNumber, const QString &description,
                                     const QByteArray &flashImage, bool plugged)
{
    QMutexLocker lock(&m_Lock);
    const qint64 nowNs = advanceAll();
    auto device = std::make_unique<VirtualDevice>(serialNumber, description);
    device->setInstant(m_TimeMode == TimeMode::Instant);
    device->chip().flash().load(flashImage);
    if (plugged)
        device->plug(nowNs);
    m_Devices.push_back(std::move(device));
    return VirtualBoard(this, int(m_Devices.size()) - 1);
}

QList<VirtualBoard> VirtualBridge::boards() const
{
    QMutexLocker lock(&m_Lock);
    QList<VirtualBoard> boards;
    for (size_t id = 0; id < m_Devices.size(); ++id)
        boards.append(VirtualBoard(const_cast<VirtualBridge *>(this), int(id)));
    return boards;
}

void VirtualBridge::setTimeMode(TimeMode timeMode)
{
    QMutexLocker lock(&m_Lock);
    advanceAll();
    m_TimeMode = timeMode;
    for (const auto &device : m_Devices)
        device->setInstant(timeMode == TimeMode::Instant);
}

VirtualBridge::TimeMode VirtualBridge::timeMode() const
{
    QMutexLocker lock(&m_Lock);
    return m_TimeMode;
}

qint64 VirtualBridge::nowNs() const
{
    QMutexLocker lock(&m_Lock);
    return m_Clock.nowNs();
}

void VirtualBridge::freezeClock()
{
    QMutexLocker lock(&m_Lock);
    m_Clock.freeze();
}

void VirtualBridge::advanceClock(qint64 ns)
{
    QMutexLocker lock(&m_Lock);
    m_Clock.advance(ns);
    advanceAll();
}

void VirtualBridge::injectStatus(BridgeOperation operation, Bridge::Status status, int times,
                                 FaultEffect effect, int skipCalls)
{
    if (times == 0)
        return;
    QMutexLocker lock(&m_Lock);
    m_InjectedStatuses.append(InjectedStatus{operation, status, times, effect, skipCalls});
}

void VirtualBridge::clearInjectedStatuses()
{
    QMutexLocker lock(&m_Lock);
    m_InjectedStatuses.clear();
}

quint64 VirtualBridge::callCount(BridgeOperation operation) const
{
    QMutexLocker lock(&m_Lock);
    return m_CallCounts[int(operation)];
}

void VirtualBridge::withDevice(int boardId, const std::function<void(VirtualDevice &, qint64)> &fn)
{
    QMutexLocker lock(&m_Lock);
    const qint64 nowNs = advanceAll();
    if (boardId >= 0 && size_t(boardId) < m_Devices.size())
        fn(*m_Devices[size_t(boardId)], nowNs);
}

void VirtualBridge::withAllDevices(const std::function<void(const QVector<VirtualDevice *> &, qint64)> &fn)
{
    QMutexLocker lock(&m_Lock);
    const qint64 nowNs = advanceAll();
    QVector<VirtualDevice *> devices;
    for (const auto &device : m_Devices)
        devices.append(device.get());
    fn(devices, nowNs);
}
