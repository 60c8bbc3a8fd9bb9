// Undoes the byte stuffing, finds and checks the frames, and collects the values of the text items.
#include "debugdata/KZ_Debug_TLV_Server.h"

#include "app/log/Log.h"
#include "debugdata/TlvProtocol.h"

namespace {

constexpr char HandlerTag[] = "KZ_Debug_TLV_Server::TLV_Handler";
constexpr char ChecksumTag[] = "KZ_Debug_TLV_Server::CheckReceiveChecksum";
constexpr char ReceiveTag[] = "KZ_Debug_TLV_Server::ReceiveBytes";

constexpr int RingMask = KZ_Debug_TLV_Server::BufferSizeUART - 1;
static_assert((KZ_Debug_TLV_Server::BufferSizeUART & RingMask) == 0, "byte rings wrap by masking");
// A ring reads as empty again when its write index catches up with its read index.
constexpr int RingCapacity = KZ_Debug_TLV_Server::BufferSizeUART - 1;
constexpr int HeadCapacity = KZ_Debug_TLV_Server::HeadBufferSize - 1;

quint16 ringDistance(int from, int to)
{
    return quint16((to - from) & RingMask);
}

} // namespace

KZ_Debug_TLV_Server::KZ_Debug_TLV_Server()
    : m_InputRing{}, DataPointer(0), m_u16InputWrite(0), m_OutputRing{}, m_u16OutputRead(0),
      m_u16OutputWrite(0), m_u32OutputDropped(0), HeadBuffer{}, m_u16HeadRead(0), m_u16HeadWrite(0),
      m_u8PreviousRawByte(0)
{
}

quint16 KZ_Debug_TLV_Server::ReceiveBytes(const quint8 *ring, quint16 start, quint16 count, quint16 size)
{
    if (ring == nullptr || size == 0) {
        LogError(ReceiveTag, "no ring to read from (size %d)", size);
        return 0;
    }
    // More than the ring holds would hand the same bytes in twice.
    if (count > size) {
        LogError(ReceiveTag, "count %d > ring size %d", count, size);
        count = size;
    }
    for (quint16 i = 0; i < count; ++i) {
        const quint8 c = ring[(quint32(start) + i) % size];
        if (c == TLV_DATA_HEAD) {
            makeRoom(true);
            HeadBuffer[m_u16HeadWrite] = m_u16InputWrite;
            m_u16HeadWrite = (m_u16HeadWrite + 1) % HeadBufferSize;
            storeInput(c);
        } else if (c != TLV_ESCAPE) {
            makeRoom(false);
            storeInput(m_u8PreviousRawByte == TLV_ESCAPE ? quint8(c ^ TLV_ESCAPE_XOR) : c);
        }
        m_u8PreviousRawByte = c;
    }
    TLV_Handler();
    return count;
}

void KZ_Debug_TLV_Server::TLV_Handler()
{
    while (HeadBufferLength() > 0) {
        const quint16 head = HeadBuffer[m_u16HeadRead];
        if (DataPointer != head)
            LogError(HandlerTag, "DataPointer adr:%d != HeadBuffer adr:%d", DataPointer, head);
        // Whatever stands between the last frame and the next head is not a frame; an escaped 0xAA
        // there is tried as one, bounded by the head (see checkFrame).
        if (at(0) != TLV_DATA_HEAD) {
            LogError(HandlerTag, "Data @ DataPointer[0x%02x] != TLV_DATA_HEAD", at(0));
            DataPointer = head;
        }
        int dataLength = 0;
        const FrameCheck check = checkFrame(&dataLength);
        if (check == FrameCheck::NeedMoreBytes)
            break;
        if (check == FrameCheck::Invalid) {
            discardFrame();
            continue;
        }
        decodeItems(dataLength);
        consumeFrame(dataLength + TLV_FRAME_OVERHEAD);
    }
    if (m_u32OutputDropped > 0) {
        LogError(HandlerTag, "Output overrun -> %u Bytes dropped", m_u32OutputDropped);
        m_u32OutputDropped = 0;
    }
}

KZ_Debug_TLV_Server::FrameCheck KZ_Debug_TLV_Server::checkFrame(int *dataLength)
{
    // A frame ends at or before the next recorded head: running over it means bytes were lost on the way,
    // and waiting for the stated length would only hold back the frames behind it.
    bool bounded = false;
    const int room = bytesToNextHead(&bounded);
    const auto cutByHead = [&] {
        LogError(HandlerTag, "Frame @ %d cut by TLV_DATA_HEAD @ %d -> dropped", DataPointer,
                 (DataPointer + room) & RingMask);
        return FrameCheck::Invalid;
    };

    if (room < TLV_FRAME_HEADER_SIZE) {
        if (bounded)
            return cutByHead();
        LogError(HandlerTag, "BufferLength() < 0x03");
        return FrameCheck::NeedMoreBytes;
    }
    const int u16DataLength = at(1) | (at(2) << 8);
    if (u16DataLength == 0)
        LogStatus(HandlerTag, "DataLength == 0 @ %d", DataPointer);
    if (u16DataLength + TLV_FRAME_OVERHEAD > RingCapacity) {
        LogError(HandlerTag, "u16DataLength:%d never fits BufferSizeUART -> dropped", u16DataLength);
        return FrameCheck::Invalid;
    }
    if (room < u16DataLength + TLV_FRAME_OVERHEAD) {
        if (bounded)
            return cutByHead();
        LogError(HandlerTag, "BufferLength() < (u16DataLength + 0x05) -> Soll:%d Bytes Ist:%d",
                 u16DataLength + TLV_FRAME_OVERHEAD, BufferLength());
        return FrameCheck::NeedMoreBytes;
    }
    if (!CheckReceiveChecksum(quint16(u16DataLength + TLV_FRAME_HEADER_SIZE))) {
        LogError(HandlerTag, "CheckSum Wrong!");
        return FrameCheck::Invalid;
    }
    *dataLength = u16DataLength;
    return FrameCheck::Complete;
}

bool KZ_Debug_TLV_Server::CheckReceiveChecksum(quint16 X)
{
    if (X > BufferSizeUART) {
        LogError(ChecksumTag, "CHECKSUM (BufferSizeUART < u16DataLength)");
        return false;
    }
    quint16 sum = 0;
    for (int offset = 1; offset < X; ++offset)
        sum += at(offset);
    const quint16 stored = quint16(at(X) | (at(X + 1) << 8));
    return quint16(sum + stored) == 0;
}

void KZ_Debug_TLV_Server::decodeItems(int dataLength)
{
    // An item that claims more than its frame holds is cut at the frame's end: nothing outside the
    // frame is ever taken as a value, and the walk always ends.
    const int end = TLV_FRAME_HEADER_SIZE + dataLength;
    int offset = TLV_FRAME_HEADER_SIZE;
    while (offset < end) {
        if (end - offset < TLV_ITEM_HEADER_SIZE) {
            LogError(HandlerTag, "Item @ %d runs past frame end -> cut", offset);
            return;
        }
        const quint8 tag = at(offset);
        const int valueLength = at(offset + 1) | (at(offset + 2) << 8);
        const int valueStart = offset + TLV_ITEM_HEADER_SIZE;
        const int taken = qMin(valueLength, end - valueStart);
        if (isTlvTextTag(tag)) {
            for (int i = 0; i < taken; ++i)
                pushOutput(at(valueStart + i));
        } else {
            LogError(HandlerTag, "Unkown Tag: %d", tag);
        }
        if (taken < valueLength)
            LogError(HandlerTag, "Item @ %d runs past frame end -> cut", offset);
        offset = valueStart + taken;
    }
}

void KZ_Debug_TLV_Server::consumeFrame(int frameLength)
{
    // A frame tried from an escaped 0xAA before the recorded head ends at or before that head, which
    // then still starts its own frame.
    if (onRecordedHead())
        m_u16HeadRead = (m_u16HeadRead + 1) % HeadBufferSize;
    DataPointer = quint16((DataPointer + frameLength) & RingMask);
}

void KZ_Debug_TLV_Server::discardFrame()
{
    if (onRecordedHead())
        m_u16HeadRead = (m_u16HeadRead + 1) % HeadBufferSize;
    DataPointer = HeadBufferLength() > 0 ? HeadBuffer[m_u16HeadRead] : m_u16InputWrite;
}

bool KZ_Debug_TLV_Server::isFull(bool head) const
{
    return BufferLength() == RingCapacity || (head && HeadBufferLength() == HeadCapacity);
}

void KZ_Debug_TLV_Server::makeRoom(bool head)
{
    if (!isFull(head))
        return;
    // Decoding what is complete frees the room of every frame before the last head, because a frame
    // ends at the next head. What still fills the ring then holds no head at all and can never be
    // decoded: it is dropped, and decoding goes on at the next head that arrives.
    TLV_Handler();
    if (!isFull(head))
        return;
    const quint16 held = BufferLength();
    discardFrame();
    LogError(ReceiveTag, "Input overrun -> %d Bytes dropped", held - BufferLength());
}

void KZ_Debug_TLV_Server::storeInput(quint8 byte)
{
    m_InputRing[m_u16InputWrite] = byte;
    m_u16InputWrite = quint16((m_u16InputWrite + 1) & RingMask);
}

void KZ_Debug_TLV_Server::pushOutput(quint8 byte)
{
    // The reader empties the output after every call; should it fall behind, the newest text wins.
    if (OutputLength() == RingCapacity) {
        m_u16OutputRead = quint16((m_u16OutputRead + 1) & RingMask);
        ++m_u32OutputDropped;
    }
    m_OutputRing[m_u16OutputWrite] = byte;
    m_u16OutputWrite = quint16((m_u16OutputWrite + 1) & RingMask);
}

bool KZ_Debug_TLV_Server::onRecordedHead() const
{
    return HeadBufferLength() > 0 && HeadBuffer[m_u16HeadRead] == DataPointer;
}

int KZ_Debug_TLV_Server::bytesToNextHead(bool *bounded) const
{
    int index = m_u16HeadRead;
    if (onRecordedHead())
        index = (index + 1) % HeadBufferSize;
    *bounded = index != m_u16HeadWrite;
    return *bounded ? ringDistance(DataPointer, HeadBuffer[index]) : BufferLength();
}

quint8 KZ_Debug_TLV_Server::at(int offset) const
{
    return m_InputRing[(DataPointer + offset) & RingMask];
}

quint16 KZ_Debug_TLV_Server::BufferLength() const
{
    return ringDistance(DataPointer, m_u16InputWrite);
}

quint16 KZ_Debug_TLV_Server::HeadBufferLength() const
{
    return quint16((m_u16HeadWrite - m_u16HeadRead + HeadBufferSize) % HeadBufferSize);
}

quint16 KZ_Debug_TLV_Server::OutputLength() const
{
    return ringDistance(m_u16OutputRead, m_u16OutputWrite);
}

qint8 KZ_Debug_TLV_Server::ReadOutputByte(quint8 *byte)
{
    if (byte == nullptr || OutputLength() == 0)
        return -1;
    *byte = m_OutputRing[m_u16OutputRead];
    m_u16OutputRead = quint16((m_u16OutputRead + 1) & RingMask);
    return 1;
}
