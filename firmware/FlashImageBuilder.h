// Collects data bytes at their flash addresses into one image that starts at a fixed first address.
#pragma once

#include <QBitArray>
#include <QByteArray>
#include <QtGlobal>

class FlashImageBuilder
{
public:
    enum class Placement
    {
        Placed,
        OutOfRange,
        Overlap
    };

    // Bytes may be placed from firstAddress to lastAddress inclusive; memory stays bounded by that window,
    // which must be smaller than 2 GiB.
    FlashImageBuilder(quint32 firstAddress, quint32 lastAddress);

    Placement place(quint32 address, char byte);

    // Byte n belongs at firstAddress + n; it runs up to the highest byte placed, cells never placed hold
    // 0xFF.
    const QByteArray &image() const { return m_Image; }

private:
    quint32 m_FirstAddress;
    quint32 m_LastAddress;
    QByteArray m_Image;
    QBitArray m_Placed;
};
