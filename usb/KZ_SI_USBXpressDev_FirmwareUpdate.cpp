// Firmware update of the device worker. Writing is not available yet: every start is refused and
// answered by exactly one SIGNAL_FirmwareWriteFinish(-1).
#include "usb/KZ_SI_USBXpressDev.h"

void KZ_SI_USBXpressDev::SLOT_StartFirmwareUpdate(QString Path2HexFile)
{
    Q_UNUSED(Path2HexFile)
    if (m_BootloaderActive) {
        // The running update keeps its own finish; this start gets one of its own.
        PostConsoleMessage(redText(QStringLiteral("Bootloader Fail -> firmware update already running!!")));
        emit SIGNAL_FirmwareWriteFinish(-1);
        return;
    }
    if (!m_DeviceOpen)
        PostConsoleMessage(redText(QStringLiteral("Bootloader Fail -> Device not connected!!")));
    else
        PostConsoleMessage(redText(QStringLiteral("Bootloader Fail -> firmware writing not available!!")));
    // The loop ends the refused start on its next pass: by the cut-off when no board is open, otherwise
    // through the handler.
    m_BootloaderActive = true;
}

void KZ_SI_USBXpressDev::WriteFirmware_Handler()
{
    PostConsoleMessage(redText(QStringLiteral("Bootloader IDEL -> set this->m_BootloaderActive = false")));
    m_BootloaderActive = false;
    emit SIGNAL_FirmwareWriteFinish(-1);
}
