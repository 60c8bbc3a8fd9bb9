// One simulated USB-to-UART bridge with the STM32 wired to it: bus state, latch, UART, queues.
#pragma once

#include "sim/BridgeCall.h"
#include "sim/UartFormat.h"
#include "sim/UartWire.h"
#include "sim/VirtualStm32.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// Not thread-safe: the virtual bridge calls it under its lock, after advancing it to the time of the
// call. Bytes the STM32 sends cross the wire in its frame format and land in the receive queue: while a
// host has the device open in the driver's queue (HostQueueSize), otherwise in the bridge's own buffer
// (DeviceBufferSize), which a later open hands to the host. What does not fit is dropped and counted. A
// receiver set to another frame format than the sender's misreads every byte (UartFormat::misread).
class VirtualDevice
{
public:
    static constexpr int DeviceBufferSize = 576;
    static constexpr int HostQueueSize = 65536;
    // All four latch pins high after power-up: RESET released, BOOT0 low.
    static constexpr quint8 PowerUpLatch = 0x0F;
    static constexpr quint8 LatchPins = 0x0F;
    // The most recent calls kept (between the limit and twice the limit).
    static constexpr int CallRecordLimit = 10000;
    static constexpr int ChipInputRecordLimit = 65536;

    VirtualDevice(const QString &serialNumber, const QString &description);

    const QString &serialNumber() const { return m_SerialNumber; }
    const QString &description() const { return m_Description; }
    void setDescription(const QString &description) { m_Description = description; }
    // The product string of a valid option, as the library hands it out.
    QByteArray productString(quint32 option) const;

    bool isPlugged() const { return m_Plugged; }
    // Counts the plug-ins; a handle opened in an earlier one is dead.
    quint32 plugSession() const { return m_PlugSession; }
    void plug(qint64 nowNs);
    void unplug();
    bool isOpen() const { return m_Open; }
    void open();
    void close();

    void setInstant(bool instant);
    void advance(qint64 nowNs);

    // Host side; the time has been advanced to nowNs.
    quint32 queuedForHost() const { return quint32(m_RxQueue.size() - m_RxHead); }
    quint32 read(quint8 *buffer, quint32 wanted);
    void write(const QByteArray &bytes, qint64 nowNs);
    void flush(bool transmit, bool receive);
    void setBaudRate(quint32 baudRate) { m_HostFormat.baudRate = baudRate; }
    void setLineControl(quint16 lineControl) { m_HostFormat.lineControl = lineControl; }
    void writeLatch(quint8 mask, quint8 value, qint64 nowNs);

    quint8 latch() const { return m_Latch; }
    const UartFormat &hostFormat() const { return m_HostFormat; }
    VirtualStm32 &chip() { return m_Chip; }
    const VirtualStm32 &chip() const { return m_Chip; }

    // Observation for tests and tools.
    void record(const BridgeCall &call);
    const QVector<BridgeCall> &calls() const { return m_Calls; }
    void clearCalls() { m_Calls.clear(); }
    // Every byte that entered the receive queue while enabled, in order.
    void setTranscriptEnabled(bool enabled);
    const QByteArray &transcript() const { return m_Transcript; }
    // The last bytes the STM32's USART took in, as it read them.
    const QByteArray &receivedByChip() const { return m_ReceivedByChip; }
    quint64 droppedBytes() const { return m_DroppedBytes; }

private:
    void clearLines();
    void deliverToChip(quint8 byte, const UartFormat &sentAs, qint64 atNs);
    void acceptFromWire(const QByteArray &bytes, const UartFormat &sentAs);
    UartFormat chipFormat() const;

    QString m_SerialNumber;
    QString m_Description;
    bool m_Plugged = false;
    quint32 m_PlugSession = 0;
    bool m_Open = false;
    quint8 m_Latch = PowerUpLatch;
    UartFormat m_HostFormat;
    VirtualStm32 m_Chip;
    UartWire m_ToChip;
    UartWire m_ToHost;
    QByteArray m_RxQueue;
    int m_RxHead = 0;
    quint64 m_DroppedBytes = 0;

    QVector<BridgeCall> m_Calls;
    bool m_TranscriptEnabled = false;
    QByteArray m_Transcript;
    QByteArray m_ReceivedByChip;
};
