// Parsing of one Intel HEX record line: start code, fields at fixed positions, checksum.
#include "firmware/IntelHexRecord.h"

namespace {

constexpr char StartCode = ':';
// ':' count(2) address(4) type(2) data(2 x count) checksum(2)
constexpr int CountPosition = 1;
constexpr int AddressPosition = 3;
constexpr int TypePosition = 7;
constexpr int DataPosition = 9;
constexpr int FixedCharacters = 11; // everything but the data

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Value of the digit pair at position, or -1 when it is not two hexadecimal digits.
int hexPairValue(const char *text)
{
    const int high = hexDigitValue(text[0]);
    const int low = hexDigitValue(text[1]);
    return (high < 0 || low < 0) ? -1 : high * 16 + low;
}

QByteArray withoutLineEnd(const QByteArray &line)
{
    QByteArray text = line;
    if (text.endsWith('\n'))
        text.chop(1);
    if (text.endsWith('\r'))
        text.chop(1);
    return text;
}

} // namespace

void HexText2ByteArray(QByteArray *Data)
{
    if (Data == nullptr)
        return;
    const int bytes = Data->size() / 2;
    char *text = Data->data();
    // Byte i is written over character i, which pair i (characters 2i and 2i+1) has already passed.
    for (int i = 0; i < bytes; ++i) {
        const int value = hexPairValue(text + 2 * i);
        text[i] = char(value < 0 ? 0 : value);
    }
    Data->truncate(bytes);
}

IntelHexRecord::Parse IntelHexRecord::parse(const QByteArray &line)
{
    const QByteArray text = withoutLineEnd(line);
    if (!text.startsWith(StartCode))
        return Parse::NoStartCode;
    if (text.size() < FixedCharacters)
        return Parse::TooShort;
    const int count = hexPairValue(text.constData() + CountPosition);
    if (count < 0)
        return Parse::BadDigit;
    const int checksumPosition = DataPosition + 2 * count;
    if (text.size() < checksumPosition + 2)
        return Parse::TooShort;
    if (text.size() > checksumPosition + 2)
        return Parse::TooLong;
    for (int i = CountPosition; i < checksumPosition + 2; ++i) {
        if (hexDigitValue(text.at(i)) < 0)
            return Parse::BadDigit;
    }

    const int addressHigh = hexPairValue(text.constData() + AddressPosition);
    const int addressLow = hexPairValue(text.constData() + AddressPosition + 2);
    address = quint16(addressHigh << 8 | addressLow);
    type = quint8(hexPairValue(text.constData() + TypePosition));
    data = text.mid(DataPosition, 2 * count);
    HexText2ByteArray(&data);
    checksum = quint8(hexPairValue(text.constData() + checksumPosition));

    unsigned sum = unsigned(count) + unsigned(addressHigh) + unsigned(addressLow) + type;
    for (char byte : qAsConst(data))
        sum += quint8(byte);
    computedChecksum = quint8(0x100 - (sum & 0xFF));
    return computedChecksum == checksum ? Parse::Ok : Parse::BadChecksum;
}
