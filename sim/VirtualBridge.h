// The virtual bridge library: simulated devices behind the bridge interface, for the program without
// hardware, for tests and for tools.
#pragma once

#include "sim/BridgeOperation.h"
#include "sim/DemoFirmware.h"
#include "sim/SimClock.h"
#include "sim/VirtualBoard.h"
#include "usb/bridge/BridgeLibrary.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QVector>
#include <functional>
#include <memory>
#include <vector>

class VirtualDevice;

// Holds any number of boards. Device numbers are positions among the plugged boards, in the order the
// boards were added, so they shift when a board with a lower number is unplugged or comes back. No
// thread of its own: every call first advances all plugged boards to the clock's present reading.
// Safe to call from any thread; one lock guards all state. Beyond the hardware contract of
// BridgeLibrary, scripted faults replace the status of chosen operations.
class VirtualBridge final : public BridgeLibrary
{
public:
    enum class TimeMode
    {
        RealTime, // the wire carries bytes at their baud rate; the chip's flash work takes its time
        Instant   // bytes arrive and work completes at the moment they are sent or asked for
    };
    enum class FaultEffect
    {
        Skipped,  // the operation does nothing and reports the status
        Performed // the operation does its work and then reports the status
    };

    explicit VirtualBridge(TimeMode timeMode = TimeMode::RealTime);
    ~VirtualBridge() override;
    VirtualBridge(const VirtualBridge &) = delete;
    VirtualBridge &operator=(const VirtualBridge &) = delete;

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

    // A new board with the image in its flash (an empty image leaves the flash erased). A plugged board
    // is powered up at once and starts its firmware.
    VirtualBoard addBoard(const QString &serialNumber, const QString &description,
                          const QByteArray &flashImage = demoFirmwareImage(), bool plugged = true);
    QList<VirtualBoard> boards() const;

    void setTimeMode(TimeMode timeMode);
    TimeMode timeMode() const;

    // The clock of all boards. A frozen clock stands still until advanceClock moves it.
    qint64 nowNs() const;
    void freezeClock();
    void advanceClock(qint64 ns);

    // The next calls of the operation, after skipCalls calls that go through, report the status
    // instead of their own: `times` calls, or every call for times < 0. Faults queue up per operation.
    void injectStatus(BridgeOperation operation, Bridge::Status status, int times = 1,
                      FaultEffect effect = FaultEffect::Skipped, int skipCalls = 0);
    void clearInjectedStatuses();
    quint64 callCount(BridgeOperation operation) const;

    // Runs fn on a board's device under the bridge's lock, after advancing the boards to the present:
    // for whatever a test or a tool needs of the device beyond VirtualBoard.
    void withDevice(int boardId, const std::function<void(VirtualDevice &device, qint64 nowNs)> &fn);
    // The same for all boards at once, in the order they were added: changes made here (two boards
    // unplugged, say) are seen by the next call as one.
    void withAllDevices(const std::function<void(const QVector<VirtualDevice *> &devices, qint64 nowNs)> &fn);

private:
    struct HandleEntry
    {
        int boardId;
        quint32 plugSession;
    };
    struct InjectedStatus
    {
        BridgeOperation operation;
        Bridge::Status status;
        int remaining;
        FaultEffect effect;
        int skipCalls;
    };
    struct Fault
    {
        bool applies = false;
        Bridge::Status status = Bridge::Success;
        FaultEffect effect = FaultEffect::Skipped;
    };

    qint64 advanceAll();
    Fault takeFault(BridgeOperation operation);
    VirtualDevice *pluggedDevice(quint32 deviceNum) const;
    // The device of a live handle, or null with the status the call reports.
    VirtualDevice *deviceOf(Bridge::Handle handle, Bridge::Status *status) const;
    // The common course of a call on a handle: count, advance, fault, look up, perform, record.
    template <typename Perform>
    Bridge::Status onHandle(BridgeOperation operation, Bridge::Handle handle, quint32 first, quint32 second,
                            Perform perform);

    mutable QMutex m_Lock;
    SimClock m_Clock;
    TimeMode m_TimeMode;
    std::vector<std::unique_ptr<VirtualDevice>> m_Devices;
    QHash<Bridge::Handle, HandleEntry> m_Handles;
    Bridge::Handle m_NextHandle = 1;
    QVector<InjectedStatus> m_InjectedStatuses;
    quint64 m_CallCounts[BridgeOperationCount] = {};
};
