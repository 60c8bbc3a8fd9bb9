// One record line of an Intel HEX file, read strictly by its fixed character positions.
#pragma once

#include <QByteArray>
#include <QtGlobal>

// Replaces a text of hexadecimal digit pairs (either case) by the bytes they spell. A pair that is not
// two hexadecimal digits gives 0; a trailing odd character is dropped.
void HexText2ByteArray(QByteArray *Data);

struct IntelHexRecord
{
    enum Type : quint8
    {
        Data = 0x00,
        EndOfFile = 0x01,
        ExtendedSegmentAddress = 0x02,
        ExtendedLinearAddress = 0x04,
    };

    enum class Parse
    {
        Ok,
        NoStartCode, // the line does not begin with ':'
        TooShort,    // the line ends before the checksum that its byte count asks for
        TooLong,     // something other than the line end follows the checksum
        BadDigit,    // a field holds a character that is not a hexadecimal digit
        BadChecksum, // computedChecksum differs from checksum
    };

    // Parses one line as read from the file: the record, then nothing but an optional line end (LF or
    // CR LF). On BadChecksum every field is filled in.
    Parse parse(const QByteArray &line);

    quint8 type = 0;
    quint16 address = 0;
    QByteArray data;
    quint8 checksum = 0;         // as it stands in the line
    quint8 computedChecksum = 0; // two's complement of the sum of all other record bytes
};
