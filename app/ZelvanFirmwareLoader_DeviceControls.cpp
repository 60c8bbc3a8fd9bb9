// Device list, connect/disconnect, reset and debug mode controls of the main window.
#include "app/ZelvanFirmwareLoader.h"

#include "app/log/Log.h"
#include "ipc/KZ_SharedMemSocked.h"
#include "settings/KZ_XML_Settings.h"
#include "ui_ZelvanFirmwareLoader.h"
#include "usb/KZ_SI_USBXpressDev.h"

#include <QIcon>
#include <QListWidgetItem>

namespace {
constexpr char DeviceIcon[] = ":/img/Werkstueck_32.png";
constexpr quint32 SerialMode = 0;
constexpr quint32 TlvMode = 1;
} // namespace

void ZelvanFirmwareLoader::on_m_pBSearch_clicked()
{
    const QStringList devices = m_pUsbDev->getDeviceList();
    ui->m_ListDev->clear();
    ui->m_pBConnect->setEnabled(false);
    const QIcon icon(QString::fromLatin1(DeviceIcon));
    for (const QString &device : devices)
        ui->m_ListDev->addItem(new QListWidgetItem(icon, device));
}

void ZelvanFirmwareLoader::SLOT_newDeviceListAvailable()
{
    const QString savedName = m_pSettings->getUsbDevName();
    on_m_pBSearch_clicked();

    int savedRow = -1;
    for (int row = 0; row < ui->m_ListDev->count(); ++row) {
        if (ui->m_ListDev->item(row)->text() == savedName)
            savedRow = row;
    }
    if (savedRow < 0)
        return;

    LogStatus("ZelvanFirmwareLoader::SLOT_newDeviceListAvailable", "Open Device %d", savedRow);
    ui->m_ListDev->setCurrentRow(savedRow);
    if (!m_pUsbDev->isOpen()) {
        on_m_pBConnect_clicked();
        m_pSharedMem->setStatusZelvanConnection(true);
    }
}

void ZelvanFirmwareLoader::on_m_ListDev_currentRowChanged(int currentRow)
{
    if (currentRow != -1)
        ui->m_pBConnect->setEnabled(true);
}

void ZelvanFirmwareLoader::on_m_pBConnect_clicked()
{
    constexpr char tag[] = "ZelvanFirmwareLoader::on_m_pBConnect_clicked";
    if (m_pUsbDev->isOpen()) {
        if (m_pUsbDev->closeDev() != 1) {
            LogError(tag, "Can't close SiUsbDev");
            return;
        }
        LogStatus(tag, "Close SiUsbDev");
        const QString deviceName = selectedDeviceName();
        m_pSettings->setUsbDevName(QString());
        m_pSharedMem->setNameOfConnectedDevice(QString());
        showDisconnected(deviceName);
        return;
    }

    // Connecting needs a chosen board; without one there is nothing to open.
    const int row = ui->m_ListDev->currentRow();
    if (row < 0 || row >= ui->m_ListDev->count())
        return;
    const QString deviceName = ui->m_ListDev->item(row)->text();
    if (m_pUsbDev->openDevice(quint16(row)) != 1) {
        appendMessage(QString::asprintf("<br><font color=\"Red\"><b>Unabel to open %s</b></font>",
                                        deviceName.toStdString().c_str()));
        LogError(tag, "Can't open SiUsbDev");
        return;
    }
    LogStatus(tag, "Open SiUsbDev");
    m_pSettings->setUsbDevName(deviceName);
    appendMessage(QString::asprintf("<br><b>Connect %s</b>", deviceName.toStdString().c_str()));
    ui->m_pBConnect->setText(tr("Disconnect"));
    ui->m_pBSearch->setEnabled(false);
    ui->m_ListDev->setEnabled(false);
    ui->m_pBResetZV->setEnabled(true);
    ui->m_pBTessun->setEnabled(true);
    ui->m_lConnectSymbol->show();
    ui->m_lConnectText->show();
    if (!m_HexFilePath.isEmpty())
        ui->m_pBWriteFirmware->setEnabled(true);
    m_pSharedMem->setStatusZelvanConnection(true);
    m_pSharedMem->setNameOfConnectedDevice(deviceName);
}

void ZelvanFirmwareLoader::SLOT_connectionClosed()
{
    LogStatus("ZelvanFirmwareLoader::SLOT_connectionClosed", "Close SiUsbDev");
    showDisconnected(selectedDeviceName());
}

void ZelvanFirmwareLoader::on_m_pBResetZV_clicked()
{
    const int row = ui->m_ListDev->currentRow();
    if (row < 0 || row >= ui->m_ListDev->count())
        return;
    appendMessage(QString::asprintf("<br><b>Reset %s</b>", selectedDeviceName().toStdString().c_str()));
    m_pUsbDev->ResetZelvan();
}

void ZelvanFirmwareLoader::on_m_rB_SerialMode_clicked()
{
    m_pSettings->setDebugComMode(SerialMode);
    m_pUsbDev->setTLVMode(false);
}

void ZelvanFirmwareLoader::on_m_rB_TLVMode_clicked()
{
    m_pSettings->setDebugComMode(TlvMode);
    m_pUsbDev->setTLVMode(true);
}

QString ZelvanFirmwareLoader::selectedDeviceName() const
{
    const QListWidgetItem *item = ui->m_ListDev->currentItem();
    return item ? item->text() : QString();
}

void ZelvanFirmwareLoader::showDisconnected(const QString &DeviceName)
{
    appendMessage(QString::asprintf("<br><b>Disconnect %s</b>", DeviceName.toStdString().c_str()));
    ui->m_pBConnect->setText(tr("Connect"));
    ui->m_pBSearch->setEnabled(true);
    ui->m_ListDev->setEnabled(true);
    ui->m_pBResetZV->setEnabled(false);
    ui->m_pBTessun->setEnabled(false);
    ui->m_lConnectSymbol->hide();
    ui->m_lConnectText->hide();
    on_m_pBSearch_clicked();
    selectDevice(DeviceName);
    m_pSharedMem->setStatusZelvanConnection(false);
}

void ZelvanFirmwareLoader::selectDevice(const QString &DeviceName)
{
    const QList<QListWidgetItem *> matches = ui->m_ListDev->findItems(DeviceName, Qt::MatchExactly);
    if (!matches.isEmpty())
        ui->m_ListDev->setCurrentItem(matches.first());
}
