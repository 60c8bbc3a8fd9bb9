// HEX file and firmware write controls, and programming requests raised through the shared-memory block.
#include "app/ZelvanFirmwareLoader.h"

#include "app/log/Log.h"
#include "ipc/KZ_SharedMemSocked.h"
#include "settings/KZ_XML_Settings.h"
#include "ui_ZelvanFirmwareLoader.h"

#include <QDir>
#include <QFileDialog>

namespace {
constexpr qint8 WriteSucceeded = 1;
constexpr qint8 WriteFailed = -1;
} // namespace

void ZelvanFirmwareLoader::on_m_pBSearch_2_clicked()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Open Hex File"), QDir::homePath(), tr("Hex Files (*.hex)"));
    if (path.isEmpty())
        return;
    showHexFile(path);
    m_pSettings->setPathHexFile(path);
}

void ZelvanFirmwareLoader::on_m_pBWriteFirmware_clicked()
{
    emit SIGNAL_StartFirmwareUpdate(m_HexFilePath);
    ui->m_pBWriteFirmware->setEnabled(false);
}

void ZelvanFirmwareLoader::on_m_pBCloseHexFile_clicked()
{
    ui->m_pBWriteFirmware->setEnabled(false);
    ui->m_pBCloseHexFile->setEnabled(false);
    ui->m_lProgTitile->setText(QStringLiteral("Zelvan FileLoader"));
    m_HexFilePath = QString();
    m_pSettings->setPathHexFile(QString());
}

void ZelvanFirmwareLoader::on_m_pBTessun_clicked()
{
    emit SIGNAL_StartFirmwareUpdate(m_pSettings->getPath2TessunHexFile());
    // Serves once per connection: only the next connect enables it again.
    ui->m_pBTessun->setEnabled(false);
}

void ZelvanFirmwareLoader::SLOT_ProgrammingRequestPendig()
{
    LogStatus("ZelvanFirmwareLoader::SLOT_ProgrammingRequestPendig", "Programming Extern");
    emit SIGNAL_StartFirmwareUpdate(m_pSharedMem->getPath2Hexfile());
    ui->m_pBWriteFirmware->setEnabled(false);
}

void ZelvanFirmwareLoader::SLOT_FirmwareWriteFinish(qint8 Result)
{
    if (Result != WriteSucceeded && Result != WriteFailed)
        return;
    appendMessage(Result == WriteSucceeded
                      ? QStringLiteral("<b>Bootloader Finish</b>")
                      : QStringLiteral("<br><b><font color=\"Red\">ERROR Bootloader</font></b>"));
    ui->m_pBWriteFirmware->setEnabled(true);
    // A pending request is answered by whichever write ends while it is raised.
    if (m_pSharedMem->isStatusProgrammingRequestSet())
        m_pSharedMem->setProgrammingResult(Result);
}

void ZelvanFirmwareLoader::SLOT_ProgrammingFinished(qint16 eResult)
{
    LogStatus("ZelvanFirmwareLoader::SLOT_ProgrammingFinished", "CALL %d", eResult);
}
