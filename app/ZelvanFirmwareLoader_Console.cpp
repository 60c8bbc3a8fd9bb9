// The debug console: buffers filled from the worker's rings and the window's messages, drained every 50 ms.
#include "app/ZelvanFirmwareLoader.h"

#include "app/ConsoleMarkup.h"
#include "app/log/Log.h"
#include "ui_ZelvanFirmwareLoader.h"
#include "usb/ConsoleDataType.h"
#include "usb/KZ_SI_USBXpressDev.h"

#include <QMutexLocker>
#include <QTextCursor>

namespace {

constexpr int ChunkSize = 4096;

} // namespace

void ZelvanFirmwareLoader::SLOT_newDataAvailable(quint8 DataType)
{
    quint16 (KZ_SI_USBXpressDev::*length)();
    qint8 (KZ_SI_USBXpressDev::*read)(quint8 *);
    switch (DataType) {
    case ConsoleDataType::Received:
        length = &KZ_SI_USBXpressDev::RxLength;
        read = &KZ_SI_USBXpressDev::ReadRxByte;
        break;
    case ConsoleDataType::Messages:
        length = &KZ_SI_USBXpressDev::MsgLength;
        read = &KZ_SI_USBXpressDev::ReadMsgByte;
        break;
    case ConsoleDataType::Decoded:
        length = &KZ_SI_USBXpressDev::DecodedLength;
        read = &KZ_SI_USBXpressDev::ReadDecodedByte;
        break;
    default:
        return;
    }

    const int waiting = qMin<int>((m_pUsbDev->*length)(), ChunkSize - 1);
    if (DataType == ConsoleDataType::Received)
        LogStatus("ZelvanFirmwareLoader::SLOT_newDataAvailable", "CALL %d", waiting);

    // A take fails only when another reader emptied the ring meanwhile; the chunk then ends there,
    // so only bytes that were really taken reach the console.
    quint8 chunk[ChunkSize];
    int taken = 0;
    while (taken < waiting && (m_pUsbDev->*read)(&chunk[taken]) == 1)
        ++taken;
    if (taken == 0)
        return;

    QMutexLocker lock(&m_ConsoleMutex);
    QByteArray &buffer = DataType == ConsoleDataType::Messages ? m_MessageBuffer : m_DebugOutputBuffer;
    buffer.append(reinterpret_cast<const char *>(chunk), taken);
}

void ZelvanFirmwareLoader::SLOT_PrintConsole()
{
    QByteArray pending;
    {
        QMutexLocker lock(&m_ConsoleMutex);
        pending.swap(m_DebugOutputBuffer);
    }
    if (!pending.isEmpty())
        appendDebugText(pending.constData(), pending.size());

    pending.clear();
    {
        QMutexLocker lock(&m_ConsoleMutex);
        pending.swap(m_MessageBuffer);
    }
    if (!pending.isEmpty())
        insertDebugText(pending.constData(), pending.size());
}

void ZelvanFirmwareLoader::appendDebugText(const char *Text, int Length)
{
    ui->m_pTEconsole->appendHtml(consoleTextToHtml(Text, Length, ConsoleInsertion::NewParagraph));
}

void ZelvanFirmwareLoader::insertDebugText(const char *Text, int Length)
{
    const QString html = consoleTextToHtml(Text, Length, ConsoleInsertion::ContinueLast);
    ui->m_pTEconsole->moveCursor(QTextCursor::End);
    ui->m_pTEconsole->textCursor().insertHtml(html);
    ui->m_pTEconsole->moveCursor(QTextCursor::End);
}

void ZelvanFirmwareLoader::appendMessage(const QString &Message)
{
    const std::string bytes = Message.toStdString();
    QMutexLocker lock(&m_ConsoleMutex);
    m_MessageBuffer.append(bytes.data(), int(bytes.size()));
}

void ZelvanFirmwareLoader::on_m_clear_clicked()
{
    ui->m_pTEconsole->clear();
}
