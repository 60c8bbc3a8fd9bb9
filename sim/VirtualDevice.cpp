// The simulated bridge device: latch, UART queues and the wire to its STM32.
#include "sim/VirtualDevice.h"

#include <cstring>

namespace {

constexpr char VendorId[] = "10C4";
constexpr char ProductIdText[] = "EA61";

} // namespace

VirtualDevice::VirtualDevice(const QString &serialNumber, const QString &description)
    : m_SerialNumber(serialNumber), m_Description(description)
{
}

QByteArray VirtualDevice::productString(quint32 option) const
{
    switch (option) {
    case Bridge::ProductSerialNumber:
        return m_SerialNumber.toUtf8();
    case Bridge::ProductDescription:
        return m_Description.toUtf8();
    case Bridge::ProductLinkName:
        return "\\\\?\\virtual#vid_10c4&pid_ea61#" + m_SerialNumber.toUtf8();
    case Bridge::ProductVid:
        return VendorId;
    case Bridge::ProductPid:
        return ProductIdText;
    default:
        return QByteArray();
    }
}

void VirtualDevice::plug(qint64 nowNs)
{
    if (m_Plugged)
        return;
    m_Plugged = true;
    ++m_PlugSession;
    m_Open = false;
    m_Latch = PowerUpLatch;
    m_HostFormat = UartFormat();
    clearLines();
    m_Chip.start(false, nowNs);
}

void VirtualDevice::unplug()
{
    m_Plugged = false;
    m_Open = false;
    m_Chip.powerOff();
    clearLines();
}

void VirtualDevice::open()
{
    m_Open = true;
}

void VirtualDevice::close()
{
    // The driver's queue goes with the handle.
    m_Open = false;
    m_RxQueue.clear();
    m_RxHead = 0;
}

void VirtualDevice::clearLines()
{
    m_ToChip.clear();
    m_ToHost.clear();
    m_RxQueue.clear();
    m_RxHead = 0;
}

void VirtualDevice::setInstant(bool instant)
{
    m_ToChip.setInstant(instant);
    m_ToHost.setInstant(instant);
    m_Chip.setInstant(instant);
}

void VirtualDevice::advance(qint64 nowNs)
{
    if (!m_Plugged)
        return;
    // The chip side in time order: bytes arriving from the host and the chip's own output.
    for (;;) {
        Stm32Program *program = m_Chip.program();
        const qint64 inNs = m_ToChip.nextArrivalNs();
        const qint64 outNs = program ? program->nextOutputNs() : -1;
        const bool inDue = inNs >= 0 && inNs <= nowNs;
        const bool outDue = outNs >= 0 && outNs <= nowNs;
        if (!inDue && !outDue)
            break;
        if (inDue && (!outDue || inNs <= outNs)) {
            UartFormat sentAs;
            const quint8 byte = m_ToChip.takeNext(&sentAs);
            deliverToChip(byte, sentAs, inNs);
            continue;
        }
        const QByteArray output = program->takeOutput(outNs);
        m_ToHost.send(output, program->uartFormat(), outNs);
        // A program that announces output and then holds it back would stall this loop.
        if (output.isEmpty() && program->nextOutputNs() == outNs)
            break;
        m_Chip.followJump(outNs);
    }
    m_ToHost.deliver(
        nowNs, [this](const QByteArray &bytes, const UartFormat &sentAs) { acceptFromWire(bytes, sentAs); });
}

UartFormat VirtualDevice::chipFormat() const
{
    if (const Stm32Program *program = m_Chip.program())
        return program->uartFormat();
    const bool bootloader = m_Chip.state() == VirtualStm32::RunState::SystemBootloader;
    return UartFormat{Bridge::BoardBaudRate, bootloader ? Bridge::LineControl8E1 : Bridge::LineControl8N1};
}

void VirtualDevice::deliverToChip(quint8 byte, const UartFormat &sentAs, qint64 atNs)
{
    const VirtualStm32::RunState state = m_Chip.state();
    if (state != VirtualStm32::RunState::Firmware && state != VirtualStm32::RunState::SystemBootloader)
        return;
    const bool matches = sentAs == chipFormat();
    const quint8 read = matches ? byte : UartFormat::misread(byte);
    m_ReceivedByChip.append(char(read));
    if (m_ReceivedByChip.size() > 2 * ChipInputRecordLimit)
        m_ReceivedByChip.remove(0, m_ReceivedByChip.size() - ChipInputRecordLimit);
    if (Stm32Program *program = m_Chip.program())
        program->receive(read, matches, atNs);
}

void VirtualDevice::acceptFromWire(const QByteArray &bytes, const UartFormat &sentAs)
{
    const int capacity = m_Open ? HostQueueSize : DeviceBufferSize;
    const int accepted = qBound(0, capacity - int(queuedForHost()), bytes.size());
    m_DroppedBytes += quint64(bytes.size() - accepted);
    QByteArray arrived = bytes.left(accepted);
    if (sentAs != m_HostFormat) {
        for (char &c : arrived)
            c = char(UartFormat::misread(quint8(c)));
    }
    m_RxQueue.append(arrived);
    if (m_TranscriptEnabled)
        m_Transcript.append(arrived);
}

quint32 VirtualDevice::read(quint8 *buffer, quint32 wanted)
{
    const quint32 count = qMin(wanted, queuedForHost());
    std::memcpy(buffer, m_RxQueue.constData() + m_RxHead, count);
    m_RxHead += int(count);
    // Move the unread rest to the front only now and then, so reads stay cheap.
    if (m_RxHead == m_RxQueue.size()) {
        m_RxQueue.clear();
        m_RxHead = 0;
    } else if (m_RxHead > HostQueueSize / 2) {
        m_RxQueue.remove(0, m_RxHead);
        m_RxHead = 0;
    }
    return count;
}

void VirtualDevice::write(const QByteArray &bytes, qint64 nowNs)
{
    m_ToChip.send(bytes, m_HostFormat, nowNs);
}

void VirtualDevice::flush(bool transmit, bool receive)
{
    if (transmit)
        m_ToChip.clear();
    if (receive) {
        m_RxQueue.clear();
        m_RxHead = 0;
    }
}

void VirtualDevice::writeLatch(quint8 mask, quint8 value, qint64 nowNs)
{
    const quint8 previous = m_Latch;
    m_Latch = quint8((previous & ~mask) | (value & mask)) & LatchPins;
    const bool wasReleased = previous & Bridge::LatchReset;
    const bool released = m_Latch & Bridge::LatchReset;
    if (wasReleased && !released) {
        m_Chip.holdInReset();
        m_ToHost.clear();
    } else if (!wasReleased && released) {
        // Latch bit 1 at 0 drives BOOT0 high.
        m_Chip.start(!(m_Latch & Bridge::LatchBoot0), nowNs);
    }
}

void VirtualDevice::record(const BridgeCall &call)
{
    m_Calls.append(call);
    if (m_Calls.size() > 2 * CallRecordLimit)
        m_Calls.remove(0, m_Calls.size() - CallRecordLimit);
}

void VirtualDevice::setTranscriptEnabled(bool enabled)
{
    m_TranscriptEnabled = enabled;
    if (!enabled)
        m_Transcript.clear();
}
