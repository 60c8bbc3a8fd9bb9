// Builds one Intel HEX record line (without its line end) for tests that write HEX files.
#pragma once

#include <QByteArray>

inline QByteArray hexRecordLine(quint8 type, quint16 address, const QByteArray &data)
{
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char(address >> 8));
    bytes.append(char(address & 0xFF));
    bytes.append(char(type));
    bytes.append(data);
    quint8 sum = 0;
    for (char byte : qAsConst(bytes))
        sum += quint8(byte);
    bytes.append(char(quint8(-sum)));
    return ':' + bytes.toHex().toUpper();
}
