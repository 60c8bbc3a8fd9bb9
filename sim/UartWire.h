// One direction of a UART line: bytes sent one after another arrive one frame time apart.
#pragma once

#include "sim/UartFormat.h"

#include <QByteArray>
#include <deque>
#include <functional>

// Bytes keep the frame format they were sent in, so the receiving side can tell whether it reads them
// right. In instant mode every byte arrives at the moment it is sent.
class UartWire
{
public:
    using Sink = std::function<void(const QByteArray &bytes, const UartFormat &sentAs)>;

    void setInstant(bool instant) { m_Instant = instant; }

    // The bytes start when the line is free, at atNs at the earliest.
    void send(const QByteArray &bytes, const UartFormat &format, qint64 atNs);
    // Arrival time of the next byte still on the line, or -1 when the line is idle.
    qint64 nextArrivalNs() const;
    // Takes the next byte; only when nextArrivalNs() is not -1.
    quint8 takeNext(UartFormat *sentAs);
    // Hands every byte that has arrived by nowNs to the sink, in order.
    void deliver(qint64 nowNs, const Sink &sink);
    // Drops what is still on the line (a reset or a power loss of the sender).
    void clear();
    bool isIdle() const { return m_Chunks.empty(); }

private:
    struct Chunk
    {
        QByteArray bytes;
        UartFormat format;
        qint64 startNs;
        int arrived;
    };

    qint64 arrivalNs(const Chunk &chunk, int index) const;

    std::deque<Chunk> m_Chunks;
    qint64 m_FreeAtNs = 0;
    bool m_Instant = false;
};
