// Bounded UTF-8 text fields of the shared-memory block.
#include "ipc/BlockText.h"

#include <cstring>

namespace BlockText {

namespace {
bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}
} // namespace

QByteArray fitUtf8(const QString &text, int capacity)
{
    QByteArray utf8 = text.toUtf8();
    const int nul = utf8.indexOf('\0');
    if (nul >= 0)
        utf8.truncate(nul);
    if (capacity < 1)
        return QByteArray();
    if (utf8.size() <= capacity - 1)
        return utf8;
    // Cut before the character whose lead byte would be left with its continuation bytes missing.
    int length = capacity - 1;
    while (length > 0 && isContinuationByte(utf8.at(length)))
        --length;
    utf8.truncate(length);
    return utf8;
}

bool store(char *field, int capacity, const QByteArray &utf8)
{
    if (utf8.size() >= capacity || utf8.contains('\0'))
        return false;
    std::memset(field, 0, static_cast<size_t>(capacity));
    std::memcpy(field, utf8.constData(), static_cast<size_t>(utf8.size()));
    return true;
}

QString load(const char *field, int capacity, bool *ok)
{
    const void *nul = std::memchr(field, 0, static_cast<size_t>(capacity));
    *ok = nul != nullptr;
    if (!nul)
        return QString();
    return QString::fromUtf8(field, static_cast<int>(static_cast<const char *>(nul) - field));
}

} // namespace BlockText
