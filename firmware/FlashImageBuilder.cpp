// Placement of single bytes with range and overlap checks; unplaced cells read as erased flash.
#include "firmware/FlashImageBuilder.h"

namespace {
constexpr char Erased = char(0xFF);
}

FlashImageBuilder::FlashImageBuilder(quint32 firstAddress, quint32 lastAddress)
    : m_FirstAddress(firstAddress), m_LastAddress(lastAddress),
      m_Placed(int(lastAddress - firstAddress) + 1) // one bit per address: 128 KiB for 1 MiB
{
}

FlashImageBuilder::Placement FlashImageBuilder::place(quint32 address, char byte)
{
    if (address < m_FirstAddress || address > m_LastAddress)
        return Placement::OutOfRange;
    const int offset = int(address - m_FirstAddress);
    if (offset >= m_Image.size()) {
        // QByteArray grows its capacity geometrically, so a rising address costs amortised constant time.
        m_Image.append(offset + 1 - m_Image.size(), Erased);
    }
    if (m_Placed.testBit(offset))
        return Placement::Overlap;
    m_Placed.setBit(offset);
    m_Image[offset] = byte;
    return Placement::Placed;
}
