// Frames, checksums and byte stuffing of the TLV debug output, as the board's firmware sends them.
#include "sim/TlvFrameEncoder.h"

namespace {

// Shown in the console if a receiver ever passed the unknown item on as text.
const QByteArray UnknownValue("<unknown tag>");

void appendLength(QByteArray &bytes, int length)
{
    bytes.append(char(length & 0xFF));
    bytes.append(char((length >> 8) & 0xFF));
}

} // namespace

QByteArray TlvFrameEncoder::encodeFrame(const QVector<Item> &items, Fault fault)
{
    QByteArray data;
    for (const Item &item : items) {
        const QByteArray bytes = encodeItem(item.tag, item.value);
        if (bytes.isEmpty())
            return QByteArray();
        data += bytes;
    }
    return encodeData(data, fault);
}

QByteArray TlvFrameEncoder::encodeTextLine(const QByteArray &line, quint8 tag, Fault fault)
{
    QByteArray frames;
    for (int start = 0; start < line.size(); start += MaxTextPerFrame)
        frames += encodeFrame({{tag, line.mid(start, MaxTextPerFrame)}}, fault);
    return frames;
}

QByteArray TlvFrameEncoder::encodeData(const QByteArray &data, Fault fault)
{
    const QByteArray content = fault == Fault::UnknownTag ? encodeItem(FaultTag, UnknownValue) + data : data;
    if (content.size() > TLV_MAX_DATA_LENGTH)
        return QByteArray();

    QByteArray frame;
    frame.reserve(content.size() + TLV_FRAME_OVERHEAD);
    frame.append(char(TLV_DATA_HEAD));
    appendLength(frame, content.size());
    frame += content;

    // The checksum makes the length bytes, the data and itself add up to 0 modulo 65536.
    quint16 sum = 0;
    for (int i = 1; i < frame.size(); ++i)
        sum += quint8(frame.at(i));
    quint16 checksum = quint16(-sum);
    if (fault == Fault::WrongChecksum)
        ++checksum;
    appendLength(frame, checksum);
    return stuff(frame);
}

QByteArray TlvFrameEncoder::encodeItem(quint8 tag, const QByteArray &value)
{
    if (value.size() > TLV_MAX_DATA_LENGTH - TLV_ITEM_HEADER_SIZE)
        return QByteArray();
    QByteArray item;
    item.reserve(value.size() + TLV_ITEM_HEADER_SIZE);
    item.append(char(tag));
    appendLength(item, value.size());
    return item + value;
}

QByteArray TlvFrameEncoder::stuff(const QByteArray &frame)
{
    QByteArray wire;
    wire.reserve(frame.size() * 2);
    for (int i = 0; i < frame.size(); ++i) {
        const quint8 byte = quint8(frame.at(i));
        if (i > 0 && (byte == TLV_DATA_HEAD || byte == TLV_ESCAPE)) {
            wire.append(char(TLV_ESCAPE));
            wire.append(char(byte ^ TLV_ESCAPE_XOR));
        } else {
            wire.append(char(byte));
        }
    }
    return wire;
}
