// Polling, clock, UART format and byte transfer between a pseudo-terminal and a virtual board.
#include "tools/zelvan-vboard/PtyBoardLink.h"

#include "sim/VirtualBoardList.h"
#include "sim/VirtualDevice.h"
#include "tools/zelvan-vboard/PseudoTerminal.h"
#include "usb/bridge/BridgeStatusName.h"

namespace {

constexpr int PollIntervalMs = 1;
// Clock steps, and how long after the chip changed program the UART follows: longer than the one byte
// the bootloader still sends (95 us at 115200 baud 8E1), and switched (within two steps) well before the
// firmware's banner (FirmwareProgram::StartUpNs).
constexpr qint64 ClockStepNs = 250'000;
constexpr qint64 FormatSwitchDelayNs = 500'000;
// After a stall of this process longer than this (stopped, swapped out), the board skips ahead instead
// of replaying the gap step by step.
constexpr qint64 MaxCatchUpNs = 1'000'000'000;
// Bytes taken from the client, and held for it, per poll; a client that does not read leaves the
// rest in the bridge's queue, which drops what overflows as the real driver does.
constexpr int MaxFromClient = 65536;
constexpr int MaxHeldForClient = 65536;

VirtualBoard addBoardAtFrozenClock(VirtualBridge &bridge, const QByteArray &flashImage)
{
    bridge.freezeClock();
    return bridge.addBoard(QString::fromLatin1(DefaultVirtualSerialNumber),
                           QString::fromLatin1(DefaultVirtualDescription), flashImage);
}

UartFormat chipFormat(const VirtualDevice &device)
{
    if (const Stm32Program *program = device.chip().program())
        return program->uartFormat();
    const bool bootloader = device.chip().state() == VirtualStm32::RunState::SystemBootloader;
    return UartFormat{Bridge::BoardBaudRate, bootloader ? Bridge::LineControl8E1 : Bridge::LineControl8N1};
}

void setHostFormat(VirtualDevice &device, const UartFormat &format)
{
    device.setBaudRate(format.baudRate);
    device.setLineControl(format.lineControl);
}

} // namespace

PtyBoardLink::PtyBoardLink(VirtualBridge::TimeMode timeMode, const QByteArray &flashImage,
                           PseudoTerminal &terminal)
    : m_Bridge(timeMode), m_Board(addBoardAtFrozenClock(m_Bridge, flashImage)), m_Terminal(terminal)
{
    m_Timer.setTimerType(Qt::PreciseTimer);
    m_Timer.setInterval(PollIntervalMs);
    connect(&m_Timer, &QTimer::timeout, this, &PtyBoardLink::poll);
}

PtyBoardLink::~PtyBoardLink()
{
    if (m_Handle != Bridge::NoHandle)
        m_Bridge.close(m_Handle);
}

bool PtyBoardLink::start(bool bootloader, QString *error)
{
    if (bootloader) {
        // Still at the power-up instant: hold RESET, raise BOOT0, release RESET. The firmware started by
        // the power-up has sent nothing yet.
        Bridge::Handle handle = Bridge::NoHandle;
        Bridge::Status status = m_Bridge.open(0, &handle);
        if (status == Bridge::Success)
            status = m_Bridge.writeLatch(handle, Bridge::LatchReset | Bridge::LatchBoot0, 0);
        if (status == Bridge::Success)
            status = m_Bridge.writeLatch(handle, Bridge::LatchReset, Bridge::LatchReset);
        if (handle != Bridge::NoHandle)
            m_Bridge.close(handle);
        if (status != Bridge::Success) {
            *error = QStringLiteral("the board does not start its bootloader: %1")
                         .arg(QLatin1String(bridgeStatusName(status)));
            return false;
        }
    }
    m_Bridge.withDevice(m_Board.id(),
                        [](VirtualDevice &device, qint64) { setHostFormat(device, chipFormat(device)); });
    m_ClockBaseNs = m_Bridge.nowNs();
    m_Elapsed.start();
    m_Timer.start();
    return true;
}

void PtyBoardLink::poll()
{
    advanceClock();
    bool clientPresent = false;
    const QByteArray fromClient = m_Terminal.read(MaxFromClient, &clientPresent);
    if (m_Handle == Bridge::NoHandle && (clientPresent || !fromClient.isEmpty()) && !connectBoard())
        return;
    if (m_Handle == Bridge::NoHandle)
        return;
    if (!fromClient.isEmpty() && !sendToBoard(fromClient))
        return;
    if (!clientPresent) {
        disconnectBoard();
        return;
    }
    if (!takeFromBoard())
        return;
    m_ToClient.remove(0, m_Terminal.write(m_ToClient));
}

void PtyBoardLink::advanceClock()
{
    const qint64 targetNs = m_ClockBaseNs + m_Elapsed.nsecsElapsed();
    qint64 nowNs = m_Bridge.nowNs();
    if (targetNs - nowNs > MaxCatchUpNs) {
        m_Bridge.advanceClock(targetNs - nowNs - MaxCatchUpNs);
        nowNs = targetNs - MaxCatchUpNs;
    }
    while (nowNs < targetNs) {
        const qint64 stepNs = qMin(ClockStepNs, targetNs - nowNs);
        m_Bridge.advanceClock(stepNs);
        nowNs += stepNs;
        m_Bridge.withDevice(m_Board.id(),
                            [this](VirtualDevice &device, qint64 atNs) { followChipFormat(device, atNs); });
    }
}

void PtyBoardLink::followChipFormat(VirtualDevice &device, qint64 nowNs)
{
    const UartFormat format = chipFormat(device);
    if (format == device.hostFormat()) {
        m_FormatChangeSeenNs = -1;
    } else if (m_FormatChangeSeenNs < 0) {
        m_FormatChangeSeenNs = nowNs;
    } else if (nowNs - m_FormatChangeSeenNs >= FormatSwitchDelayNs) {
        setHostFormat(device, format);
        m_FormatChangeSeenNs = -1;
    }
}

bool PtyBoardLink::connectBoard()
{
    return succeeded(m_Bridge.open(0, &m_Handle), "open");
}

void PtyBoardLink::disconnectBoard()
{
    m_Bridge.close(m_Handle);
    m_Handle = Bridge::NoHandle;
    m_ToClient.clear();
}

bool PtyBoardLink::sendToBoard(const QByteArray &bytes)
{
    UartFormat lineFormat;
    m_Bridge.withDevice(m_Board.id(), [&lineFormat](VirtualDevice &device, qint64) {
        lineFormat = device.hostFormat();
        setHostFormat(device, chipFormat(device));
    });
    bool sent = true;
    for (int offset = 0; sent && offset < bytes.size(); offset += int(Bridge::MaxWriteLength)) {
        const QByteArray chunk = bytes.mid(offset, int(Bridge::MaxWriteLength));
        quint32 written = 0;
        sent = succeeded(
            m_Bridge.write(m_Handle, chunk.constData(), quint32(chunk.size()), &written, nullptr), "write");
    }
    m_Bridge.withDevice(m_Board.id(),
                        [&lineFormat](VirtualDevice &device, qint64) { setHostFormat(device, lineFormat); });
    return sent;
}

bool PtyBoardLink::takeFromBoard()
{
    char buffer[4096];
    while (m_ToClient.size() < MaxHeldForClient) {
        quint32 count = 0;
        const quint32 wanted = quint32(qMin<int>(int(sizeof buffer), MaxHeldForClient - m_ToClient.size()));
        if (!succeeded(m_Bridge.read(m_Handle, buffer, wanted, &count, nullptr), "read"))
            return false;
        if (count == 0)
            break;
        m_ToClient.append(buffer, int(count));
    }
    return true;
}

bool PtyBoardLink::succeeded(Bridge::Status status, const char *operation)
{
    if (status == Bridge::Success)
        return true;
    m_Timer.stop();
    emit failed(QStringLiteral("%1 on the virtual bridge failed: %2")
                    .arg(QLatin1String(operation), QLatin1String(bridgeStatusName(status))));
    return false;
}
