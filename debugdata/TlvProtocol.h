// Byte-level facts of the board's TLV debug frames, shared by the decoder and the virtual board's sender.
#pragma once

#include <QtGlobal>

// Wire level: 0xAA starts a frame wherever it stands; 0x55 is dropped and the byte after it is taken
// XOR 0x20, so a sender writes 0xAA as 0x55 0x8A and 0x55 as 0x55 0x75 inside a frame.
constexpr quint8 TLV_DATA_HEAD = 0xAA;
constexpr quint8 TLV_ESCAPE = 0x55;
constexpr quint8 TLV_ESCAPE_XOR = 0x20;

// Frame after de-stuffing: head, 16-bit data length L (low byte first), L data bytes, 16-bit checksum
// (low byte first) that makes the sum of the length bytes, the data and itself 0 modulo 65536.
constexpr int TLV_FRAME_HEADER_SIZE = 3;
constexpr int TLV_CHECKSUM_SIZE = 2;
constexpr int TLV_FRAME_OVERHEAD = TLV_FRAME_HEADER_SIZE + TLV_CHECKSUM_SIZE;
constexpr int TLV_MAX_DATA_LENGTH = 0xFFFF;

// Item inside the data: tag, 16-bit value length N (low byte first), N value bytes.
constexpr int TLV_ITEM_HEADER_SIZE = 3;

// The three tags whose values are the board's debug text, passed on byte for byte.
constexpr quint8 TLV_TAG_TEXT_0 = 0xF0;
constexpr quint8 TLV_TAG_TEXT_1 = 0xF1;
constexpr quint8 TLV_TAG_TEXT_2 = 0xF2;

constexpr bool isTlvTextTag(quint8 tag)
{
    return tag == TLV_TAG_TEXT_0 || tag == TLV_TAG_TEXT_1 || tag == TLV_TAG_TEXT_2;
}
