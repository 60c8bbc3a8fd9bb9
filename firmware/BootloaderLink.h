// What the bootloader state machine needs from the device link it flashes through.
#pragma once

#include <QString>
#include <QtGlobal>

// Implemented by the device worker. Every call comes from the worker thread, except isOpen, the console
// posts and the refusal's finish report made while a start is checked in the GUI thread.
class BootloaderLink
{
public:
    virtual ~BootloaderLink() = default;

    virtual bool isOpen() = 0;
    // 1 when the bytes went out, 0xFFFF otherwise.
    virtual quint16 sendData(const char *Data, quint16 Length) = 0;
    virtual int flushBuffers() = 0;
    virtual quint16 RxLength() = 0;
    virtual qint8 ReadRxByte(quint8 *Byte) = 0;
    virtual void SetBootModeZelvan(bool Bootloader) = 0;
    virtual void PostConsoleMessage(QString Text) = 0;
    virtual void PostConsoleText(QString Text, bool LineBreakFirst) = 0;
    // Tells the window how the update that was started last (or refused) ended: 1 or -1.
    virtual void reportFirmwareWriteFinish(qint8 Result) = 0;
};
