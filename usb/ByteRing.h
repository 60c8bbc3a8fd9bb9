// A 4096-byte ring with one writing and one reading thread, for received bytes and console text.
#pragma once

#include <QtGlobal>
#include <atomic>

// The byte is stored before the write index moves and taken before the read index moves; each index is
// written by its own side only and published with release, read with acquire. A push is never
// refused: past 4095 unread bytes the write index runs over the read index and the unread bytes are
// lost, so a writer that must lose nothing checks freeSpace() first.
class ByteRing
{
public:
    static constexpr quint16 Size = 4096;
    static constexpr quint16 IndexMask = Size - 1;

    // Writer side.
    void push(quint8 byte);
    quint16 freeSpace() const { return quint16(IndexMask - count()); }

    // Reader side: 1 and the byte, or -1 with *byte untouched when the ring is empty.
    qint8 take(quint8 *byte);
    // Bulk access for a reader that consumes in place: the data, where the unread part starts, and how
    // far to move on.
    const quint8 *data() const { return m_Data; }
    quint16 readIndex() const { return m_ReadIndex.load(std::memory_order_relaxed); }
    void skip(quint16 count);

    // Either side.
    quint16 count() const;

private:
    quint8 m_Data[Size] = {};
    std::atomic<quint16> m_ReadIndex{0};
    std::atomic<quint16> m_WriteIndex{0};
};
