// The worker's side of a firmware update: starts go to the bootloader state machine, ends go out as a signal.
#include "usb/KZ_SI_USBXpressDev.h"

void KZ_SI_USBXpressDev::SLOT_StartFirmwareUpdate(QString Path2HexFile)
{
    m_FirmwareUpdate.start(Path2HexFile);
}

void KZ_SI_USBXpressDev::reportFirmwareWriteFinish(qint8 Result)
{
    emit SIGNAL_FirmwareWriteFinish(Result);
}
