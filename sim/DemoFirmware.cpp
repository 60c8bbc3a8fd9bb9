// The demo image of the virtual boards.
#include "sim/DemoFirmware.h"

#include <QtEndian>

namespace {

constexpr quint32 InitialStackPointer = 0x20005000;
constexpr quint32 ResetHandler = 0x08000101; // Thumb code at 0x08000100
constexpr int VectorCount = 64;
constexpr int CodeOffset = 0x100;
constexpr int IdentificationOffset = 0x180;

void putWord(QByteArray &image, int offset, quint32 value)
{
    qToLittleEndian(value, image.data() + offset);
}

} // namespace

QByteArray demoFirmwareImage()
{
    QByteArray image(0x200, char(0xFF));
    putWord(image, 0, InitialStackPointer);
    for (int vector = 1; vector < VectorCount; ++vector)
        putWord(image, 4 * vector, ResetHandler);
    // The reset handler: a few NOPs, then a branch to itself (0xE7FE).
    const quint16 code[] = {0xBF00, 0xBF00, 0xBF00, 0xE7FE};
    for (int i = 0; i < 4; ++i)
        qToLittleEndian(code[i], image.data() + CodeOffset + 2 * i);
    const QByteArray marker = QByteArray("ZELVAN-FW:") + DemoFirmwareIdentification + '\0';
    image.replace(IdentificationOffset, marker.size(), marker);
    return image;
}
