// Test and tool access to one board of a virtual bridge.
#include "sim/VirtualBoard.h"

#include "sim/TlvFrameEncoder.h"
#include "sim/VirtualBridge.h"
#include "sim/VirtualDevice.h"

namespace {

// Reads one value of the device under the bridge's lock.
template <typename Value, typename Get> Value query(VirtualBridge *bridge, int id, Get get)
{
    Value value{};
    bridge->withDevice(id, [&](VirtualDevice &device, qint64) { value = get(device); });
    return value;
}

} // namespace

QString VirtualBoard::serialNumber() const
{
    return query<QString>(m_Bridge, m_Id, [](VirtualDevice &device) { return device.serialNumber(); });
}

QString VirtualBoard::description() const
{
    return query<QString>(m_Bridge, m_Id, [](VirtualDevice &device) { return device.description(); });
}

void VirtualBoard::setDescription(const QString &description)
{
    m_Bridge->withDevice(m_Id, [&](VirtualDevice &device, qint64) { device.setDescription(description); });
}

void VirtualBoard::plug()
{
    m_Bridge->withDevice(m_Id, [](VirtualDevice &device, qint64 nowNs) { device.plug(nowNs); });
}

void VirtualBoard::unplug()
{
    m_Bridge->withDevice(m_Id, [](VirtualDevice &device, qint64) { device.unplug(); });
}

bool VirtualBoard::isPlugged() const
{
    return query<bool>(m_Bridge, m_Id, [](VirtualDevice &device) { return device.isPlugged(); });
}

bool VirtualBoard::isOpenByHost() const
{
    return query<bool>(m_Bridge, m_Id, [](VirtualDevice &device) { return device.isOpen(); });
}

quint8 VirtualBoard::latch() const
{
    return query<quint8>(m_Bridge, m_Id, [](VirtualDevice &device) { return device.latch(); });
}

UartFormat VirtualBoard::hostFormat() const
{
    return query<UartFormat>(m_Bridge, m_Id, [](VirtualDevice &device) { return device.hostFormat(); });
}

VirtualStm32::RunState VirtualBoard::chipState() const
{
    return query<VirtualStm32::RunState>(m_Bridge, m_Id,
                                         [](VirtualDevice &device) { return device.chip().state(); });
}

QVector<BridgeCall> VirtualBoard::calls() const
{
    return query<QVector<BridgeCall>>(m_Bridge, m_Id, [](VirtualDevice &device) { return device.calls(); });
}

void VirtualBoard::clearCalls()
{
    m_Bridge->withDevice(m_Id, [](VirtualDevice &device, qint64) { device.clearCalls(); });
}

QByteArray VirtualBoard::flash() const
{
    return query<QByteArray>(m_Bridge, m_Id,
                             [](VirtualDevice &device) { return device.chip().flash().content(); });
}

void VirtualBoard::loadFlash(const QByteArray &image)
{
    m_Bridge->withDevice(m_Id, [&](VirtualDevice &device, qint64) { device.chip().flash().load(image); });
}

void VirtualBoard::eraseFlash()
{
    m_Bridge->withDevice(m_Id, [](VirtualDevice &device, qint64) { device.chip().flash().eraseAll(); });
}

void VirtualBoard::changeFirmwareSettings(const std::function<void(FirmwareProgram::Settings &)> &change)
{
    m_Bridge->withDevice(m_Id, [&](VirtualDevice &device, qint64 nowNs) {
        FirmwareProgram::Settings settings = device.chip().firmwareSettings();
        change(settings);
        device.chip().setFirmwareSettings(settings, nowNs);
    });
}

void VirtualBoard::setDebugIntervalMs(int intervalMs)
{
    changeFirmwareSettings(
        [&](FirmwareProgram::Settings &settings) { settings.debugIntervalMs = qMax(1, intervalMs); });
}

void VirtualBoard::setFlood(bool flood)
{
    changeFirmwareSettings([&](FirmwareProgram::Settings &settings) { settings.flood = flood; });
}

void VirtualBoard::setLineEncoder(const FirmwareProgram::LineEncoder &encoder)
{
    changeFirmwareSettings([&](FirmwareProgram::Settings &settings) { settings.encoder = encoder; });
}

void VirtualBoard::setBootloaderFaults(const Stm32BootloaderFaults &faults)
{
    m_Bridge->withDevice(m_Id,
                         [&](VirtualDevice &device, qint64) { device.chip().setBootloaderFaults(faults); });
}

void VirtualBoard::setTlvOutput(bool tlv)
{
    if (tlv)
        setLineEncoder([](const QByteArray &line) { return TlvFrameEncoder::encodeTextLine(line); });
    else
        setLineEncoder(FirmwareProgram::LineEncoder());
}

void VirtualBoard::setTranscriptEnabled(bool enabled)
{
    m_Bridge->withDevice(m_Id, [&](VirtualDevice &device, qint64) { device.setTranscriptEnabled(enabled); });
}

QByteArray VirtualBoard::transcript() const
{
    return query<QByteArray>(m_Bridge, m_Id, [](VirtualDevice &device) { return device.transcript(); });
}

QByteArray VirtualBoard::receivedByChip() const
{
    return query<QByteArray>(m_Bridge, m_Id, [](VirtualDevice &device) { return device.receivedByChip(); });
}

quint64 VirtualBoard::droppedBytes() const
{
    return query<quint64>(m_Bridge, m_Id, [](VirtualDevice &device) { return device.droppedBytes(); });
}
