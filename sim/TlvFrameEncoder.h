// Sending side of the board's TLV debug frames: items in, stuffed frame bytes out, faults on request.
#pragma once

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

#include "debugdata/TlvProtocol.h"

// Builds what the board's firmware puts on the wire in TLV mode. Every function returns the stuffed bytes
// ready to send, or an empty array when the content cannot be expressed in a frame (an item value or the
// frame's data above 65535 bytes).
class TlvFrameEncoder
{
public:
    struct Item
    {
        quint8 tag;
        QByteArray value;
    };

    enum class Fault
    {
        None,
        // An item with a tag no receiver knows goes before the given items; the frame is otherwise sound.
        UnknownTag,
        // The checksum is off by one, so a receiver must drop the whole frame.
        WrongChecksum
    };

    // The tag of the item that Fault::UnknownTag adds.
    static constexpr quint8 FaultTag = 0xF3;
    // The value of text lines is split into frames of at most this many bytes, as a small firmware buffer
    // would send them; a receiver's input ring holds frames of up to 4095 bytes.
    static constexpr int MaxTextPerFrame = 256;

    static QByteArray encodeFrame(const QVector<Item> &items, Fault fault = Fault::None);

    // One debug text line (colour markers and line end included, as the serial output would carry it) as
    // frames with the given text tag; an empty line gives no frame.
    static QByteArray encodeTextLine(const QByteArray &line, quint8 tag = TLV_TAG_TEXT_0,
                                     Fault fault = Fault::None);

    // The raw layer below encodeFrame, for malformed content: data bytes framed as they stand (length,
    // checksum, stuffing), and one item's unstuffed bytes.
    static QByteArray encodeData(const QByteArray &data, Fault fault = Fault::None);
    static QByteArray encodeItem(quint8 tag, const QByteArray &value);

private:
    // 0x55-escapes every 0xAA and 0x55 of an unstuffed frame except its leading head.
    static QByteArray stuff(const QByteArray &frame);
};
