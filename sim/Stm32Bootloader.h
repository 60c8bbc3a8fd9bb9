// The STM32F10x system bootloader as a pure model of its USART protocol: fed byte by byte by the simulated
// device, clocked by the caller's time stamps, writing into the simulated flash. No threads, no event loop.
#pragma once

#include "sim/Stm32BootloaderFaults.h"
#include "sim/Stm32Flash.h"

#include <QByteArray>
#include <QQueue>
#include <QtGlobal>

// How a simulated device drives it:
//  - reset(): the chip has started with BOOT0 high, so it runs this bootloader, which waits for the sync
//    byte. Output not yet taken, a half received command and an earlier Go are dropped. The flash and
//    the fault script (with its occurrence counts) stay.
//  - receive(byte, lineSettingMatches, nowNs): one byte has arrived complete at nowNs (nanoseconds on the
//    caller's monotonic clock). lineSettingMatches tells whether the host sent it as 8 data bits, even
//    parity, 1 stop bit. A byte that was not is not understood: the USART flags a parity or framing error
//    and the bootloader drops it, so it is neither a sync byte nor part of a command.
//  - takeOutput(nowNs): the bytes the chip has put on its TX line by nowNs, in order. A reply waits for
//    the chip's own work (flash erase and programming) in TimingMode::RealTime; the wire time of the
//    bytes in both directions is the device's to model. In TimingMode::Instant replies are ready at once.
//  - nextOutputNs(): when the next byte not yet taken is ready, or -1 when nothing is pending; lets the
//    device advance its clock to a reply without polling.
//  - hasJumped(): a Go command was accepted; its ACK is still in the output. From then on the chip runs
//    the program at jumpAddress() and takes no more bytes until reset().
// The flash changes as soon as the frame that asks for it is complete; only the reply waits.
//
// The protocol (STM32 USART bootloader, every command as code and complement, ACK 0x79 / NACK 0x1F):
//  Get 0x00, Get Version 0x01, Get ID 0x02 (product faults().productId), Read Memory 0x11, Go 0x21,
//  Write Memory 0x31 and Erase 0x43 (global erase 0xFF 0x00, or a page list with checksum). Everything
//  else is NACKed after its complement, also the Extended Erase 0x44 that F10x parts lack. The read and
//  write protection commands (0x63, 0x73, 0x82, 0x92) are not modelled: they are NACKed and not listed
//  by Get. Read, Write and Go accept flash addresses only (no RAM, system memory or option bytes); Write
//  needs a half-word aligned address, at most 256 bytes inside the flash, and erased cells, otherwise the
//  data frame is NACKed and nothing is written. There is no time-out inside a command, as on the chip.
//
// Not thread-safe: the device calls it from one thread at a time.
class Stm32Bootloader
{
public:
    enum class TimingMode
    {
        Instant,
        RealTime
    };

    // STM32F103 datasheet figures: half-word programming 52.5 us typical, page erase and mass erase
    // 20 to 40 ms. The global erase is a mass erase.
    static constexpr qint64 HalfWordProgramNs = 52'500;
    static constexpr qint64 PageEraseNs = 20'000'000;
    static constexpr qint64 MassEraseNs = 40'000'000;
    // Bootloader version of the F10x parts (2.2), answered by Get and Get Version.
    static constexpr quint8 Version = 0x22;

    // The flash belongs to the caller and must outlive the model.
    explicit Stm32Bootloader(Stm32Flash &flash, TimingMode timingMode = TimingMode::Instant);

    void setTimingMode(TimingMode timingMode) { m_TimingMode = timingMode; }
    TimingMode timingMode() const { return m_TimingMode; }
    // Replaces the fault script and restarts its occurrence counts.
    void setFaults(const Stm32BootloaderFaults &faults);
    const Stm32BootloaderFaults &faults() const { return m_Faults; }

    void reset();
    void receive(quint8 byte, bool lineSettingMatches, qint64 nowNs);
    QByteArray takeOutput(qint64 nowNs);
    qint64 nextOutputNs() const;

    bool hasJumped() const { return m_State == State::Jumped; }
    quint32 jumpAddress() const { return m_JumpAddress; }

    Stm32Flash &flash() { return m_Flash; }
    const Stm32Flash &flash() const { return m_Flash; }

private:
    using Step = Stm32BootloaderFaults::Step;

    enum class State
    {
        WaitSync,       // after reset: only the sync byte counts
        WaitCommand,    // synchronised, between commands
        WaitComplement, // command code received
        ReceiveFrame,   // collecting the frame of m_FrameStep
        Jumped,         // Go accepted: the bootloader no longer runs
    };

    struct OutputByte
    {
        qint64 readyNs;
        quint8 byte;
    };

    void receiveSync(quint8 byte, qint64 nowNs);
    void receiveComplement(quint8 byte, qint64 nowNs);
    void receiveFrameByte(quint8 byte, qint64 nowNs);
    int frameLength() const;
    void startCommand(qint64 nowNs);
    void finishFrame(qint64 nowNs);
    void finishReadAddress(qint64 nowNs);
    void finishReadLength(qint64 nowNs);
    void finishGoAddress(qint64 nowNs);
    void finishWriteAddress(qint64 nowNs);
    void finishWriteData(qint64 nowNs);
    void finishEraseList(qint64 nowNs);

    // Counts the step and applies the fault script; false when a fault has replaced the answer.
    bool stepProceeds(Step step, qint64 nowNs);
    void expectFrame(Step step, qint64 nowNs);
    void refuse(qint64 nowNs);
    // Time at which work of workNs that starts when the chip is free and the frame is in is done.
    qint64 finishWork(qint64 nowNs, qint64 workNs);
    void send(const QByteArray &bytes, qint64 readyNs);
    quint32 frameAddress() const;

    Stm32Flash &m_Flash;
    TimingMode m_TimingMode;
    Stm32BootloaderFaults m_Faults;
    int m_StepCounts[Stm32BootloaderFaults::StepCount] = {};

    State m_State = State::WaitSync;
    quint8 m_Command = 0;
    Step m_FrameStep = Step::Sync;
    QByteArray m_Frame;
    quint32 m_Address = 0; // accepted by the address frame of the running Read or Write
    quint32 m_JumpAddress = 0;
    qint64 m_BusyUntilNs = 0;
    QQueue<OutputByte> m_Output;
};
