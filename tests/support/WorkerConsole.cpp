// Ring draining as the main window does it.
#include "tests/support/WorkerConsole.h"

#include "usb/KZ_SI_USBXpressDev.h"

WorkerConsole::WorkerConsole(KZ_SI_USBXpressDev &worker) : m_Worker(worker)
{
    connect(&worker, &KZ_SI_USBXpressDev::SIGNAL_newDataAvailable, this, &WorkerConsole::drain);
}

void WorkerConsole::drain(quint8 dataType)
{
    quint16 (KZ_SI_USBXpressDev::*length)() = nullptr;
    qint8 (KZ_SI_USBXpressDev::*read)(quint8 *) = nullptr;
    QByteArray *target = nullptr;
    switch (dataType) {
    case 0:
        length = &KZ_SI_USBXpressDev::RxLength;
        read = &KZ_SI_USBXpressDev::ReadRxByte;
        target = &received;
        break;
    case 1:
        length = &KZ_SI_USBXpressDev::MsgLength;
        read = &KZ_SI_USBXpressDev::ReadMsgByte;
        target = &messages;
        break;
    case 2:
        length = &KZ_SI_USBXpressDev::DecodedLength;
        read = &KZ_SI_USBXpressDev::ReadDecodedByte;
        target = &decoded;
        break;
    default:
        return;
    }
    ++signalCount[dataType];
    const int waiting = (m_Worker.*length)();
    for (int i = 0; i < waiting; ++i) {
        quint8 byte = 0;
        if ((m_Worker.*read)(&byte) != 1) {
            shortTakes += waiting - i;
            return;
        }
        target->append(char(byte));
    }
}
