// Frame formats of the simulated UARTs.
#include "sim/UartFormat.h"

namespace {

constexpr quint32 MinBaudRate = 300;
constexpr quint32 MaxBaudRate = 921600;
constexpr qint64 NsPerSecond = 1'000'000'000;

int dataBits(quint16 word)
{
    return (word >> 8) & 0xFF;
}
int parityCode(quint16 word)
{
    return (word >> 4) & 0x0F;
}
int stopCode(quint16 word)
{
    return word & 0x0F;
}

} // namespace

bool UartFormat::isValidLineControl(quint16 word)
{
    return dataBits(word) >= 5 && dataBits(word) <= 8 && parityCode(word) <= 4 && stopCode(word) <= 2;
}

bool UartFormat::isValidBaudRate(quint32 rate)
{
    return rate >= MinBaudRate && rate <= MaxBaudRate;
}

int UartFormat::halfBitsPerFrame() const
{
    const int stopHalfBits = stopCode(lineControl) == 0 ? 2 : stopCode(lineControl) == 1 ? 3 : 4;
    const int parityBits = parityCode(lineControl) == 0 ? 0 : 1;
    return 2 * (1 + dataBits(lineControl) + parityBits) + stopHalfBits;
}

qint64 UartFormat::wireTimeNs(qint64 bytes) const
{
    // halfBits / (2 * baud) seconds per byte; split the division so that long streams cannot overflow.
    const qint64 halfBits = bytes * halfBitsPerFrame();
    const qint64 halfBitRate = 2 * qint64(baudRate);
    return halfBits / halfBitRate * NsPerSecond + halfBits % halfBitRate * NsPerSecond / halfBitRate;
}

quint8 UartFormat::misread(quint8 byte)
{
    return quint8(~((byte << 3) | (byte >> 5)) ^ 0x5A);
}
