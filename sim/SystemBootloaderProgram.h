// The system bootloader model as the program on the simulated STM32's USART.
#pragma once

#include "sim/Stm32Bootloader.h"
#include "sim/Stm32Program.h"

// The model outlives this program: the chip keeps it across restarts, so that its fault script counts
// on from one reset to the next, and each start into the bootloader resets it.
class SystemBootloaderProgram final : public Stm32Program
{
public:
    explicit SystemBootloaderProgram(Stm32Bootloader &bootloader) : m_Bootloader(bootloader) {}

    UartFormat uartFormat() const override
    {
        return UartFormat{Bridge::BoardBaudRate, Bridge::LineControl8E1};
    }
    void receive(quint8 byte, bool lineSettingMatches, qint64 nowNs) override
    {
        m_Bootloader.receive(byte, lineSettingMatches, nowNs);
    }
    qint64 nextOutputNs() const override { return m_Bootloader.nextOutputNs(); }
    QByteArray takeOutput(qint64 nowNs) override { return m_Bootloader.takeOutput(nowNs); }

private:
    Stm32Bootloader &m_Bootloader;
};
