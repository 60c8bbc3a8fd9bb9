// The device worker's polling loop, its debug modes and the ring readers of the main window.
#include "usb/KZ_SI_USBXpressDev.h"

#include "app/log/Log.h"
#include "debugdata/KZ_Debug_TLV_Server.h"
#include "usb/ConsoleDataType.h"

#include <QMutexLocker>

namespace {

// Passes between two refreshes of the device list, so it is refreshed on every 1001st pass.
constexpr quint16 EnumerationPasses = 1000;

} // namespace

void KZ_SI_USBXpressDev::run()
{
    while (m_ThreadRun) {
        receiveStep();
        updateStep();
        enumerationStep();
        QThread::msleep(1);
    }
    LogStatus("KZ_SI_USBXpressDev::run", "Thread END");
}

void KZ_SI_USBXpressDev::receiveStep()
{
    if (!m_DeviceOpen)
        return;
    {
        QMutexLocker connection(&m_ConnectionLock);
        if (!m_DeviceOpen)
            return;
        const qint16 waiting = BytesAvailable();
        if (waiting <= 0)
            return;
        ReadData(quint16(waiting));
    }
    // During an update the bytes wait in the ring for the update's handler.
    if (m_FirmwareUpdate.isActive())
        return;
    if (m_TLVMode)
        decodeTlvStep();
    else
        emit SIGNAL_newDataAvailable(ConsoleDataType::Received);
}

void KZ_SI_USBXpressDev::decodeTlvStep()
{
    {
        QMutexLocker reader(&m_RxReaderLock);
        const quint16 waiting = m_RxRing.count();
        const quint16 consumed =
            m_pTLVServer->ReceiveBytes(m_RxRing.data(), m_RxRing.readIndex(), waiting, ByteRing::Size);
        if (qint16(consumed) > 0)
            m_RxRing.skip(qMin(consumed, waiting));
    }
    // Decoded bytes that do not fit wait in the decoder for the next pass.
    const quint16 decoded = qMin(m_pTLVServer->OutputLength(), m_DecodedRing.freeSpace());
    quint16 moved = 0;
    quint8 byte = 0;
    while (moved < decoded && m_pTLVServer->ReadOutputByte(&byte) == 1) {
        m_DecodedRing.push(byte);
        ++moved;
    }
    if (moved > 0)
        emit SIGNAL_newDataAvailable(ConsoleDataType::Decoded);
}

void KZ_SI_USBXpressDev::updateStep()
{
    if (!m_FirmwareUpdate.isActive())
        return;
    if (m_DeviceOpen)
        m_FirmwareUpdate.WriteFirmware_Handler();
    else
        m_FirmwareUpdate.cutOff();
}

void KZ_SI_USBXpressDev::enumerationStep()
{
    if (m_EnumCountdown != 0) {
        --m_EnumCountdown;
        return;
    }
    m_EnumCountdown = EnumerationPasses;
    fillListOfDevice();
}

void KZ_SI_USBXpressDev::setTLVMode(bool TLVMode)
{
    m_TLVMode = TLVMode;
}

bool KZ_SI_USBXpressDev::workerOwnsRxRing() const
{
    return m_TLVMode || m_FirmwareUpdate.isActive();
}

quint16 KZ_SI_USBXpressDev::RxLength()
{
    QMutexLocker reader(&m_RxReaderLock);
    if (QThread::currentThread() != this && workerOwnsRxRing())
        return 0;
    return m_RxRing.count();
}

qint8 KZ_SI_USBXpressDev::ReadRxByte(quint8 *Byte)
{
    QMutexLocker reader(&m_RxReaderLock);
    if (QThread::currentThread() != this && workerOwnsRxRing())
        return -1;
    return m_RxRing.take(Byte);
}

quint16 KZ_SI_USBXpressDev::MsgLength()
{
    return m_MsgRing.count();
}

qint8 KZ_SI_USBXpressDev::ReadMsgByte(quint8 *Byte)
{
    return m_MsgRing.take(Byte);
}

quint16 KZ_SI_USBXpressDev::DecodedLength()
{
    return m_DecodedRing.count();
}

qint8 KZ_SI_USBXpressDev::ReadDecodedByte(quint8 *Byte)
{
    return m_DecodedRing.take(Byte);
}
