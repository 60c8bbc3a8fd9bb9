// Decoder of the board's TLV debug frames: stuffed bytes in, the values of the text items out.
#pragma once

#include <QtGlobal>

// A plain class of fixed size: every ring is an array member, nothing is allocated after construction,
// and every ring access is taken modulo the ring's size, so no input can reach outside the arrays.
// Used by one thread only (the device worker's loop); it has no lock.
//
// Invariants the decoding relies on:
// - the recorded frame heads lie, in arrival order, between DataPointer and the input write index;
// - a frame ends at or before the next recorded head, because a sender escapes every 0xAA inside a frame.
//   A frame that would run over the next head was cut on the way and is dropped at once instead of
//   holding back the frames behind it.
class KZ_Debug_TLV_Server
{
public:
    static constexpr int BufferSizeUART = 4096;
    static constexpr int HeadBufferSize = 128;

    KZ_Debug_TLV_Server();

    // De-stuffs count bytes of the caller's ring, starting at start (positions taken modulo size), into
    // the input ring, records the frame heads, then decodes what is complete. Returns the number of
    // bytes taken: count, or fewer only for a missing ring (0) or a count beyond the ring's size (size).
    quint16 ReceiveBytes(const quint8 *ring, quint16 start, quint16 count, quint16 size);

    // Decodes every waiting frame; stops at a frame whose bytes have not all arrived.
    void TLV_Handler();

    // Whether the frame at DataPointer carries a correct checksum when its checksum stands at offset X.
    bool CheckReceiveChecksum(quint16 X);

    quint16 BufferLength() const;
    quint16 HeadBufferLength() const;
    quint16 OutputLength() const;

    // Takes the oldest decoded byte into *byte and returns 1, or returns -1 and leaves *byte untouched
    // when nothing is waiting.
    qint8 ReadOutputByte(quint8 *byte);

private:
    enum class FrameCheck
    {
        Complete,
        NeedMoreBytes,
        Invalid
    };

    FrameCheck checkFrame(int *dataLength);
    void decodeItems(int dataLength);
    void consumeFrame(int frameLength);
    void discardFrame();
    bool isFull(bool head) const;
    void makeRoom(bool head);
    void storeInput(quint8 byte);
    void pushOutput(quint8 byte);
    bool onRecordedHead() const;
    int bytesToNextHead(bool *bounded) const;
    quint8 at(int offset) const;

    quint8 m_InputRing[BufferSizeUART];
    quint16 DataPointer;
    quint16 m_u16InputWrite;

    quint8 m_OutputRing[BufferSizeUART];
    quint16 m_u16OutputRead;
    quint16 m_u16OutputWrite;
    quint32 m_u32OutputDropped;

    quint16 HeadBuffer[HeadBufferSize];
    quint16 m_u16HeadRead;
    quint16 m_u16HeadWrite;

    quint8 m_u8PreviousRawByte;
};
