// Timing of the bytes on one direction of a simulated UART line.
#include "sim/UartWire.h"

#include <QtGlobal>

void UartWire::send(const QByteArray &bytes, const UartFormat &format, qint64 atNs)
{
    if (bytes.isEmpty())
        return;
    const qint64 startNs = qMax(atNs, m_FreeAtNs);
    m_Chunks.push_back(Chunk{bytes, format, startNs, 0});
    m_FreeAtNs = m_Instant ? startNs : startNs + format.wireTimeNs(bytes.size());
}

qint64 UartWire::arrivalNs(const Chunk &chunk, int index) const
{
    return m_Instant ? chunk.startNs : chunk.startNs + chunk.format.wireTimeNs(index + 1);
}

qint64 UartWire::nextArrivalNs() const
{
    if (m_Chunks.empty())
        return -1;
    const Chunk &chunk = m_Chunks.front();
    return arrivalNs(chunk, chunk.arrived);
}

quint8 UartWire::takeNext(UartFormat *sentAs)
{
    Chunk &chunk = m_Chunks.front();
    const quint8 byte = quint8(chunk.bytes.at(chunk.arrived++));
    *sentAs = chunk.format;
    if (chunk.arrived == chunk.bytes.size())
        m_Chunks.pop_front();
    return byte;
}

void UartWire::deliver(qint64 nowNs, const Sink &sink)
{
    while (!m_Chunks.empty()) {
        Chunk &chunk = m_Chunks.front();
        // Bytes of a chunk arrive in order, so count those due by now.
        int due = chunk.arrived;
        while (due < chunk.bytes.size() && arrivalNs(chunk, due) <= nowNs)
            ++due;
        if (due > chunk.arrived) {
            sink(chunk.bytes.mid(chunk.arrived, due - chunk.arrived), chunk.format);
            chunk.arrived = due;
        }
        if (chunk.arrived < chunk.bytes.size())
            return;
        m_Chunks.pop_front();
    }
}

void UartWire::clear()
{
    m_Chunks.clear();
    m_FreeAtNs = 0;
}
