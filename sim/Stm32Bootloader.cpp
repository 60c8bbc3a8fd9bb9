// Byte-level protocol of the simulated STM32 system bootloader: sync, command pairs, frames, replies.
#include "sim/Stm32Bootloader.h"

#include <algorithm>
#include <iterator>

using namespace BootloaderProtocol;

namespace {

// Commands this bootloader carries out, in the order Get lists them.
constexpr quint8 SupportedCommands[] = {CmdGet, CmdGetVersion,  CmdGetId, CmdReadMemory,
                                        CmdGo,  CmdWriteMemory, CmdErase};
// Option bytes answered by Get Version: read protection off.
constexpr quint8 OptionByte1 = 0x00;
constexpr quint8 OptionByte2 = 0x00;
constexpr int AddressFrameLength = 5; // four address bytes, most significant first, and their XOR
constexpr int LengthFrameLength = 2;  // N and its complement
constexpr int GlobalEraseFrameLength = 2;

QByteArray bytesOf(std::initializer_list<quint8> values)
{
    QByteArray bytes;
    for (quint8 value : values)
        bytes.append(char(value));
    return bytes;
}

quint8 xorOf(const QByteArray &bytes, int from, int count)
{
    quint8 result = 0;
    for (int i = from; i < from + count; ++i)
        result ^= quint8(bytes.at(i));
    return result;
}

} // namespace

Stm32Bootloader::Stm32Bootloader(Stm32Flash &flash, TimingMode timingMode)
    : m_Flash(flash), m_TimingMode(timingMode)
{
}

void Stm32Bootloader::setFaults(const Stm32BootloaderFaults &faults)
{
    m_Faults = faults;
    std::fill(std::begin(m_StepCounts), std::end(m_StepCounts), 0);
}

void Stm32Bootloader::reset()
{
    m_State = State::WaitSync;
    m_Frame.clear();
    m_JumpAddress = 0;
    m_BusyUntilNs = 0;
    m_Output.clear();
}

void Stm32Bootloader::receive(quint8 byte, bool lineSettingMatches, qint64 nowNs)
{
    if (!lineSettingMatches)
        return; // parity or framing error: the byte is not understood
    switch (m_State) {
    case State::WaitSync:
        receiveSync(byte, nowNs);
        break;
    case State::WaitCommand:
        m_Command = byte;
        m_State = State::WaitComplement;
        break;
    case State::WaitComplement:
        receiveComplement(byte, nowNs);
        break;
    case State::ReceiveFrame:
        receiveFrameByte(byte, nowNs);
        break;
    case State::Jumped:
        break;
    }
}

QByteArray Stm32Bootloader::takeOutput(qint64 nowNs)
{
    QByteArray bytes;
    while (!m_Output.isEmpty() && m_Output.head().readyNs <= nowNs)
        bytes.append(char(m_Output.dequeue().byte));
    return bytes;
}

qint64 Stm32Bootloader::nextOutputNs() const
{
    return m_Output.isEmpty() ? -1 : m_Output.head().readyNs;
}

void Stm32Bootloader::receiveSync(quint8 byte, qint64 nowNs)
{
    // Before auto-baud detection succeeds the chip sees nothing but the sync pattern.
    if (byte != Sync)
        return;
    if (!stepProceeds(Step::Sync, nowNs))
        return;
    send(bytesOf({Ack}), finishWork(nowNs, 0));
    m_State = State::WaitCommand;
}

void Stm32Bootloader::receiveComplement(quint8 byte, qint64 nowNs)
{
    if (byte != complement(m_Command)) {
        refuse(nowNs);
        return;
    }
    startCommand(nowNs);
}

void Stm32Bootloader::startCommand(qint64 nowNs)
{
    m_State = State::WaitCommand;
    switch (m_Command) {
    case CmdGet:
        if (stepProceeds(Step::Get, nowNs)) {
            QByteArray reply = bytesOf({Ack, quint8(sizeof SupportedCommands), Version});
            for (quint8 command : SupportedCommands)
                reply.append(char(command));
            reply.append(char(Ack));
            send(reply, finishWork(nowNs, 0));
        }
        break;
    case CmdGetVersion:
        if (stepProceeds(Step::GetVersion, nowNs))
            send(bytesOf({Ack, Version, OptionByte1, OptionByte2, Ack}), finishWork(nowNs, 0));
        break;
    case CmdGetId:
        if (stepProceeds(Step::GetId, nowNs)) {
            const quint16 id = m_Faults.productId;
            send(bytesOf({Ack, 1, quint8(id >> 8), quint8(id & 0xFF), Ack}), finishWork(nowNs, 0));
        }
        break;
    case CmdReadMemory:
        if (stepProceeds(Step::ReadCommand, nowNs))
            expectFrame(Step::ReadAddress, nowNs);
        break;
    case CmdGo:
        if (stepProceeds(Step::GoCommand, nowNs))
            expectFrame(Step::GoAddress, nowNs);
        break;
    case CmdWriteMemory:
        if (stepProceeds(Step::WriteCommand, nowNs))
            expectFrame(Step::WriteAddress, nowNs);
        break;
    case CmdErase:
        if (stepProceeds(Step::EraseCommand, nowNs))
            expectFrame(Step::EraseList, nowNs);
        break;
    default:
        refuse(nowNs);
        break;
    }
}

void Stm32Bootloader::expectFrame(Step step, qint64 nowNs)
{
    send(bytesOf({Ack}), finishWork(nowNs, 0));
    m_FrameStep = step;
    m_Frame.clear();
    m_State = State::ReceiveFrame;
}

void Stm32Bootloader::receiveFrameByte(quint8 byte, qint64 nowNs)
{
    m_Frame.append(char(byte));
    if (m_Frame.size() == frameLength()) {
        m_State = State::WaitCommand;
        finishFrame(nowNs);
    }
}

// Length of the frame being collected, as far as its first byte tells it.
int Stm32Bootloader::frameLength() const
{
    const int first = quint8(m_Frame.at(0));
    switch (m_FrameStep) {
    case Step::ReadAddress:
    case Step::GoAddress:
    case Step::WriteAddress:
        return AddressFrameLength;
    case Step::ReadLength:
        return LengthFrameLength;
    case Step::WriteData:
        return 1 + (first + 1) + 1; // N, N + 1 data bytes, checksum
    case Step::EraseList:
        if (first == GlobalEraseCode)
            return GlobalEraseFrameLength;
        return 1 + (first + 1) + 1; // N, N + 1 page numbers, checksum
    default:
        return 1;
    }
}

void Stm32Bootloader::finishFrame(qint64 nowNs)
{
    switch (m_FrameStep) {
    case Step::ReadAddress:
        finishReadAddress(nowNs);
        break;
    case Step::ReadLength:
        finishReadLength(nowNs);
        break;
    case Step::GoAddress:
        finishGoAddress(nowNs);
        break;
    case Step::WriteAddress:
        finishWriteAddress(nowNs);
        break;
    case Step::WriteData:
        finishWriteData(nowNs);
        break;
    case Step::EraseList:
        finishEraseList(nowNs);
        break;
    default:
        refuse(nowNs);
        break;
    }
}

quint32 Stm32Bootloader::frameAddress() const
{
    return quint32(quint8(m_Frame.at(0))) << 24 | quint32(quint8(m_Frame.at(1))) << 16 |
           quint32(quint8(m_Frame.at(2))) << 8 | quint32(quint8(m_Frame.at(3)));
}

void Stm32Bootloader::finishReadAddress(qint64 nowNs)
{
    if (xorOf(m_Frame, 0, 4) != quint8(m_Frame.at(4)) || !m_Flash.contains(frameAddress(), 1)) {
        refuse(nowNs);
        return;
    }
    if (stepProceeds(Step::ReadAddress, nowNs)) {
        m_Address = frameAddress();
        expectFrame(Step::ReadLength, nowNs);
    }
}

void Stm32Bootloader::finishReadLength(qint64 nowNs)
{
    const quint8 lastIndex = quint8(m_Frame.at(0));
    const int length = lastIndex + 1;
    if (quint8(m_Frame.at(1)) != complement(lastIndex) || !m_Flash.contains(m_Address, length)) {
        refuse(nowNs);
        return;
    }
    if (stepProceeds(Step::ReadLength, nowNs))
        send(bytesOf({Ack}) + m_Flash.read(m_Address, length), finishWork(nowNs, 0));
}

void Stm32Bootloader::finishGoAddress(qint64 nowNs)
{
    if (xorOf(m_Frame, 0, 4) != quint8(m_Frame.at(4)) || !m_Flash.contains(frameAddress(), 1)) {
        refuse(nowNs);
        return;
    }
    if (stepProceeds(Step::GoAddress, nowNs)) {
        send(bytesOf({Ack}), finishWork(nowNs, 0));
        m_JumpAddress = frameAddress();
        m_State = State::Jumped;
    }
}

void Stm32Bootloader::finishWriteAddress(qint64 nowNs)
{
    if (xorOf(m_Frame, 0, 4) != quint8(m_Frame.at(4)) || !m_Flash.contains(frameAddress(), 1)) {
        refuse(nowNs);
        return;
    }
    if (stepProceeds(Step::WriteAddress, nowNs)) {
        m_Address = frameAddress();
        expectFrame(Step::WriteData, nowNs);
    }
}

void Stm32Bootloader::finishWriteData(qint64 nowNs)
{
    const int length = quint8(m_Frame.at(0)) + 1;
    if (xorOf(m_Frame, 0, length + 1) != quint8(m_Frame.at(length + 1))) {
        refuse(nowNs);
        return;
    }
    if (!stepProceeds(Step::WriteData, nowNs))
        return;
    // The flash controller refuses to program cells that are not erased; the bootloader reports it.
    if (!m_Flash.program(m_Address, m_Frame.mid(1, length))) {
        refuse(nowNs);
        return;
    }
    const qint64 halfWords = (length + 1) / 2;
    send(bytesOf({Ack}), finishWork(nowNs, halfWords * HalfWordProgramNs));
}

void Stm32Bootloader::finishEraseList(qint64 nowNs)
{
    if (quint8(m_Frame.at(0)) == GlobalEraseCode) {
        if (quint8(m_Frame.at(1)) != GlobalEraseChecksum) {
            refuse(nowNs);
            return;
        }
        if (stepProceeds(Step::EraseList, nowNs)) {
            m_Flash.eraseAll();
            send(bytesOf({Ack}), finishWork(nowNs, MassEraseNs));
        }
        return;
    }

    const int pages = quint8(m_Frame.at(0)) + 1;
    bool pagesExist = true;
    for (int i = 1; i <= pages; ++i)
        pagesExist = pagesExist && quint8(m_Frame.at(i)) < Stm32Flash::PageCount;
    if (xorOf(m_Frame, 0, pages + 1) != quint8(m_Frame.at(pages + 1)) || !pagesExist) {
        refuse(nowNs);
        return;
    }
    if (stepProceeds(Step::EraseList, nowNs)) {
        for (int i = 1; i <= pages; ++i)
            m_Flash.erasePage(quint8(m_Frame.at(i)));
        send(bytesOf({Ack}), finishWork(nowNs, pages * PageEraseNs));
    }
}

bool Stm32Bootloader::stepProceeds(Step step, qint64 nowNs)
{
    const int occurrence = ++m_StepCounts[int(step)];
    for (const Stm32BootloaderFaults::Rule &rule : qAsConst(m_Faults.rules)) {
        if (rule.step != step || (rule.occurrence != 0 && rule.occurrence != occurrence))
            continue;
        switch (rule.reaction) {
        case Stm32BootloaderFaults::Reaction::Nack:
            refuse(nowNs);
            return false;
        case Stm32BootloaderFaults::Reaction::Silence:
            return false;
        case Stm32BootloaderFaults::Reaction::GarbageBefore:
            send(rule.garbage, finishWork(nowNs, 0));
            return true;
        }
    }
    return true;
}

void Stm32Bootloader::refuse(qint64 nowNs)
{
    send(bytesOf({Nack}), finishWork(nowNs, 0));
    if (m_State != State::WaitSync)
        m_State = State::WaitCommand;
}

qint64 Stm32Bootloader::finishWork(qint64 nowNs, qint64 workNs)
{
    const qint64 start = qMax(nowNs, m_BusyUntilNs);
    m_BusyUntilNs = start + (m_TimingMode == TimingMode::RealTime ? workNs : 0);
    return m_BusyUntilNs;
}

void Stm32Bootloader::send(const QByteArray &bytes, qint64 readyNs)
{
    for (char byte : bytes)
        m_Output.enqueue({readyNs, quint8(byte)});
}
