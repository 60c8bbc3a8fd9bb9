// The main window controller: owns the form, the settings, the device worker and the shared-memory link,
// and wires them together.
#pragma once

#include "usb/bridge/ProcessBridge.h"

#include <QByteArray>
#include <QMainWindow>
#include <QMutex>
#include <QString>
#include <QTimer>

namespace Ui {
class ZelvanFirmwareLoader;
}
class KZ_SI_USBXpressDev;
class KZ_XML_Settings;
class KZ_SharedMemSocked;

class ZelvanFirmwareLoader : public QMainWindow
{
    Q_OBJECT

public:
    // The bridge library reaches the device worker; tests hand in a virtual bridge of their own.
    explicit ZelvanFirmwareLoader(QWidget *parent = nullptr, BridgeLibrary &Library = processBridge());
    ~ZelvanFirmwareLoader() override;

signals:
    void SIGNAL_StartFirmwareUpdate(QString Path2HexFile);

private slots:
    void on_m_pBConnect_clicked();
    void SLOT_ProgrammingRequestPendig();
    void SLOT_newDataAvailable(quint8 DataType);
    void SLOT_newDeviceListAvailable();
    void SLOT_connectionClosed();
    void SLOT_FirmwareWriteFinish(qint8 Result);
    void SLOT_ProgrammingFinished(qint16 eResult);
    void on_m_clear_clicked();
    void on_m_pBclose_clicked();
    void SLOT_window_pos_change(int DeltaX, int DeltaY);
    void on_m_pBSearch_clicked();
    void on_m_ListDev_currentRowChanged(int currentRow);
    void on_m_pBSearch_2_clicked();
    void on_m_pBWriteFirmware_clicked();
    void on_m_pBCloseHexFile_clicked();
    void on_m_pBTessun_clicked();
    void on_m_pBResetZV_clicked();
    void SLOT_PrintConsole();
    void on_m_rB_SerialMode_clicked();
    void on_m_rB_TLVMode_clicked();

private:
    void appendDebugText(const char *Text, int Length);
    void insertDebugText(const char *Text, int Length);
    void appendMessage(const QString &Message);
    QString selectedDeviceName() const;
    void showDisconnected(const QString &DeviceName);
    void selectDevice(const QString &DeviceName);
    void showHexFile(const QString &Path);

    Ui::ZelvanFirmwareLoader *ui;
    KZ_SI_USBXpressDev *m_pUsbDev;
    QString m_HexFilePath;
    KZ_XML_Settings *m_pSettings;
    KZ_SharedMemSocked *m_pSharedMem;
    QByteArray m_DebugOutputBuffer;
    QByteArray m_MessageBuffer;
    QMutex m_ConsoleMutex;
    QTimer m_ConsoleTimer;
};
