// A board of a virtual bridge as tests and tools hold it: plug it, look at its latch, feed its flash.
#pragma once

#include "sim/BridgeCall.h"
#include "sim/FirmwareProgram.h"
#include "sim/UartFormat.h"
#include "sim/VirtualStm32.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>

class VirtualBridge;

// A light handle (bridge and board number), cheap to copy; the bridge must outlive it. Every call locks
// the bridge and first advances the boards to the present, so it may be used from any thread.
class VirtualBoard
{
public:
    VirtualBoard(VirtualBridge *bridge, int id) : m_Bridge(bridge), m_Id(id) {}

    int id() const { return m_Id; }
    QString serialNumber() const;
    QString description() const;
    void setDescription(const QString &description);

    void plug();
    void unplug();
    bool isPlugged() const;
    bool isOpenByHost() const;

    quint8 latch() const;
    UartFormat hostFormat() const;
    VirtualStm32::RunState chipState() const;
    QVector<BridgeCall> calls() const;
    void clearCalls();

    // Flash content; the chip runs a new image from its next start.
    QByteArray flash() const;
    void loadFlash(const QByteArray &image);
    void eraseFlash();

    // Firmware output: interval of the debug lines (at least 1 ms), flood at full speed, and how lines
    // are put on the wire (serial text, or TLV frames of the board's encoder).
    void setDebugIntervalMs(int intervalMs);
    void setFlood(bool flood);
    void setLineEncoder(const FirmwareProgram::LineEncoder &encoder);
    void setTlvOutput(bool tlv);
    // Faults of the system bootloader; their occurrences count from this call on, across restarts.
    void setBootloaderFaults(const Stm32BootloaderFaults &faults);

    void setTranscriptEnabled(bool enabled);
    QByteArray transcript() const;
    QByteArray receivedByChip() const;
    quint64 droppedBytes() const;

private:
    void changeFirmwareSettings(const std::function<void(FirmwareProgram::Settings &)> &change);

    VirtualBridge *m_Bridge;
    int m_Id;
};
