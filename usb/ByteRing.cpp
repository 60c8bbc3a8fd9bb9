// The single-writer single-reader byte ring.
#include "usb/ByteRing.h"

void ByteRing::push(quint8 byte)
{
    const quint16 write = m_WriteIndex.load(std::memory_order_relaxed);
    m_Data[write] = byte;
    m_WriteIndex.store(quint16((write + 1) & IndexMask), std::memory_order_release);
}

qint8 ByteRing::take(quint8 *byte)
{
    const quint16 read = m_ReadIndex.load(std::memory_order_relaxed);
    if (read == m_WriteIndex.load(std::memory_order_acquire))
        return -1;
    *byte = m_Data[read];
    m_ReadIndex.store(quint16((read + 1) & IndexMask), std::memory_order_release);
    return 1;
}

void ByteRing::skip(quint16 count)
{
    const quint16 read = m_ReadIndex.load(std::memory_order_relaxed);
    m_ReadIndex.store(quint16((read + count) & IndexMask), std::memory_order_release);
}

quint16 ByteRing::count() const
{
    const quint16 write = m_WriteIndex.load(std::memory_order_acquire);
    const quint16 read = m_ReadIndex.load(std::memory_order_acquire);
    return quint16((write - read) & IndexMask);
}
