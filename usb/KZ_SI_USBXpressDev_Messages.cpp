// The worker's console messages: 8-bit console text into the message ring, announced with DataType 1.
#include "usb/KZ_SI_USBXpressDev.h"

#include "usb/ConsoleDataType.h"

#include <QMutexLocker>

void KZ_SI_USBXpressDev::PostConsoleMessage(QString Text)
{
    postBytes(QStringLiteral("<br><b>") + Text + QStringLiteral("</b>\n"));
    emit SIGNAL_newDataAvailable(ConsoleDataType::Messages);
}

void KZ_SI_USBXpressDev::PostConsoleText(QString Text, bool LineBreakFirst)
{
    postBytes(LineBreakFirst ? QStringLiteral("<br>") + Text : Text);
    emit SIGNAL_newDataAvailable(ConsoleDataType::Messages);
}

void KZ_SI_USBXpressDev::postBytes(const QString &Text)
{
    // The GUI thread (an update's start) and the worker thread (the update) both post.
    QMutexLocker post(&m_MsgPostLock);
    for (const QChar character : Text) {
        const ushort code = character.unicode();
        m_MsgRing.push(code <= 0xFF ? quint8(code) : 0x00);
    }
}
