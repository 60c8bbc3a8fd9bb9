// Feeds the decoder as the device worker's loop does and collects what comes out.
#pragma once

#include "debugdata/KZ_Debug_TLV_Server.h"

#include <QByteArray>
#include <memory>

// Bytes go through a 4096-byte ring whose read index moves by the count the decoder reports; the
// decoder's output is emptied after every call, as the loop moves it into the decoded ring.
class WorkerFeed
{
public:
    static constexpr int RingSize = 4096;

    explicit WorkerFeed(quint16 ringStart = 0) : m_Read(ringStart), m_Write(ringStart) {}

    // One call of the decoder per piece of at most chunk bytes (chunk below RingSize).
    void send(const QByteArray &bytes, int chunk)
    {
        for (int pos = 0; pos < bytes.size(); pos += chunk)
            pass(bytes.mid(pos, chunk));
    }

    // One loop pass: the piece arrives in the ring and the unread part goes to the decoder.
    void pass(const QByteArray &piece)
    {
        for (char c : piece) {
            m_Ring[m_Write] = quint8(c);
            m_Write = (m_Write + 1) % RingSize;
        }
        const quint16 count = quint16((m_Write - m_Read + RingSize) % RingSize);
        const quint16 taken = m_Decoder->ReceiveBytes(m_Ring, m_Read, count, RingSize);
        if (taken != count)
            ++shortTakes;
        m_Read = quint16((m_Read + taken) % RingSize);
        // Every frame before the last head is decided within the call that brought that head.
        maxHeadsAfterPass = qMax(maxHeadsAfterPass, int(m_Decoder->HeadBufferLength()));
        if (drainOutput)
            drain();
    }

    void drain()
    {
        quint8 byte = 0;
        while (m_Decoder->ReadOutputByte(&byte) == 1)
            m_Output.append(char(byte));
    }

    QByteArray takeOutput()
    {
        drain();
        QByteArray output = m_Output;
        m_Output.clear();
        return output;
    }

    KZ_Debug_TLV_Server &decoder() { return *m_Decoder; }

    bool drainOutput = true;
    int shortTakes = 0;
    int maxHeadsAfterPass = 0;

private:
    std::unique_ptr<KZ_Debug_TLV_Server> m_Decoder = std::make_unique<KZ_Debug_TLV_Server>();
    quint8 m_Ring[RingSize] = {};
    quint16 m_Read;
    quint16 m_Write;
    QByteArray m_Output;
};
