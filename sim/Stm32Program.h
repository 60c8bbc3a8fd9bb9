// What runs on the simulated STM32 and talks through its USART: the firmware, or the system bootloader.
#pragma once

#include "sim/UartFormat.h"

#include <QByteArray>
#include <QtGlobal>

// Driven by the virtual device in time order, on its clock (nanoseconds): it hands over each byte that
// has arrived complete at the chip, and takes the chip's output when it is due. The wire time of the
// bytes in both directions is the device's; a program only says when its output is ready.
class Stm32Program
{
public:
    virtual ~Stm32Program() = default;

    // The frame format the chip's USART sends in and expects.
    virtual UartFormat uartFormat() const = 0;
    // One byte arrived at nowNs. lineSettingMatches is false when the host sent it in another frame
    // format; the byte is then what the USART misread.
    virtual void receive(quint8 byte, bool lineSettingMatches, qint64 nowNs) = 0;
    // When the next output is ready, or -1 when nothing is pending.
    virtual qint64 nextOutputNs() const = 0;
    // The output ready by nowNs, in order; it then goes onto the wire.
    virtual QByteArray takeOutput(qint64 nowNs) = 0;
};
