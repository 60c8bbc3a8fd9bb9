// The device worker: the bridge connection to one board, the polling thread, the byte rings, the boot
// and reset lines and the worker's console messages.
#pragma once

#include "firmware/BootloaderLink.h"
#include "firmware/BootloaderStateMachine.h"
#include "usb/ByteRing.h"
#include "usb/DeviceInfo.h"
#include "usb/bridge/BridgeLibrary.h"
#include "usb/bridge/ProcessBridge.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <memory>

class KZ_Debug_TLV_Server;

// Threads. The object lives in the GUI thread; run() is the polling loop in the worker's own thread.
// - GUI thread: openDevice, closeDev(false), isOpen, getDeviceList, ResetZelvan, setTLVMode, the ring
//   readers (RxLength/ReadRxByte, MsgLength/ReadMsgByte, DecodedLength/ReadDecodedByte) and
//   SLOT_StartFirmwareUpdate.
// - Worker thread: the loop with the enumeration (closeDev(true)), the receive step, the TLV decoder and
//   the firmware update, which uses sendData, flushBuffers, SetBootModeZelvan and the console posts.
//
// Shared state and its protection:
// - Flags read across threads are atomics (m_ThreadRun, m_DeviceOpen, m_TLVMode, and the update's
//   m_BootloaderActive).
// - Open and close take m_ConnectionLock, and so does the receive step around its queue check and
//   read, so a close never falls between them. The bridge layer serialises the library calls per handle.
// - The device list is replaced whole by the refresh under m_DeviceListLock; readers copy it under the
//   same lock and so always see one consistent list.
// - Each ring has one writing thread. Posts to the message ring come from both threads and are
//   serialised by m_MsgPostLock.
// - The receive ring has one reader at a time: the GUI in serial mode, the worker thread while the
//   TLV mode is on or a firmware update runs. The GUI's RxLength/ReadRxByte answer 0/-1 while the
//   worker owns the ring, so a DataType 0 signal still queued at the hand-over takes nothing, and
//   m_RxReaderLock keeps the two readers from ever taking at the same moment.
class KZ_SI_USBXpressDev : public QThread, private BootloaderLink
{
    Q_OBJECT

public:
    // The library must outlive the worker. The thread starts at once.
    explicit KZ_SI_USBXpressDev(BridgeLibrary &Library = processBridge());
    ~KZ_SI_USBXpressDev() override;

    // Enumeration: one display string per board, "Description [0xSerialNumber]", in list order.
    QStringList getDeviceList();

    // Connection and transport. Results: 1 success, -1 failure (0xFFFF for a failed sendData).
    qint16 openDevice(quint16 ListPosition);
    qint16 closeDev(bool EmitClosedSignal = false);
    bool isOpen() override;
    quint16 sendData(const char *Data, quint16 Length) override;
    int flushBuffers() override;

    // Boot and reset lines: true asserts the line (latch bit 0).
    int setReset(bool Asserted);
    int setBoot0(bool Asserted);
    void SetBootModeZelvan(bool Bootloader) override;
    void ResetZelvan();

    // Debug mode and the rings the main window reads.
    void setTLVMode(bool TLVMode);
    quint16 RxLength() override;
    quint16 MsgLength();
    quint16 DecodedLength();
    qint8 ReadRxByte(quint8 *Byte) override;
    qint8 ReadMsgByte(quint8 *Byte);
    qint8 ReadDecodedByte(quint8 *Byte);

    // Console messages into the message ring, from either thread.
    void PostConsoleMessage(QString Text) override;
    void PostConsoleText(QString Text, bool LineBreakFirst) override;

signals:
    void SIGNAL_newDataAvailable(quint8 DataType);
    void SIGNAL_connectionClosed();
    void SIGNAL_newDeviceListAvailable();
    void SIGNAL_FirmwareWriteFinish(qint8 Result);

public slots:
    void SLOT_StartFirmwareUpdate(QString Path2HexFile);

protected:
    void run() override;

private:
    // Enumeration (worker thread).
    qint16 getNumUSBdevs();
    int getDeviceInfo(quint16 DeviceNumber, DeviceInfo &Info);
    void fillListOfDevice();

    // Transport (worker thread).
    qint16 BytesAvailable();
    int ReadData(quint16 Count);

    // Steps of one loop pass.
    void receiveStep();
    void decodeTlvStep();
    void updateStep();
    void enumerationStep();

    // The firmware update reports its end through the worker's signal.
    void reportFirmwareWriteFinish(qint8 Result) override;

    // Closing under m_ConnectionLock; *closed tells whether the closed signal is due.
    qint16 closeLocked(bool *closed);
    bool workerOwnsRxRing() const;
    void postBytes(const QString &Text);

    BridgeLibrary &m_Library;
    std::unique_ptr<KZ_Debug_TLV_Server> m_pTLVServer;
    ByteRing m_RxRing;
    ByteRing m_MsgRing;
    ByteRing m_DecodedRing;
    std::atomic<bool> m_DeviceOpen{false};
    std::atomic<Bridge::Handle> m_hDevice{Bridge::NoHandle};
    std::atomic<bool> m_ThreadRun{true};
    qint16 m_OpenDeviceIndex = -1;
    QString m_OpenSerialNumber;
    quint16 m_EnumCountdown = 0;
    QList<DeviceInfo> m_DeviceList;
    bool m_DeviceListChanged = true;
    // The firmware update, stepped by the loop while it is active.
    BootloaderStateMachine m_FirmwareUpdate{*this};
    std::atomic<bool> m_TLVMode{false};

    QMutex m_ConnectionLock;
    QMutex m_DeviceListLock;
    QMutex m_RxReaderLock;
    QMutex m_MsgPostLock;
};
