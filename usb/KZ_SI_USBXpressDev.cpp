// Construction and destruction of the device worker.
#include "usb/KZ_SI_USBXpressDev.h"

#include "debugdata/KZ_Debug_TLV_Server.h"

KZ_SI_USBXpressDev::KZ_SI_USBXpressDev(BridgeLibrary &Library)
    : m_Library(Library), m_pTLVServer(std::make_unique<KZ_Debug_TLV_Server>())
{
    start();
}

KZ_SI_USBXpressDev::~KZ_SI_USBXpressDev()
{
    m_ThreadRun = false;
    wait();
    // The library handle is released with the worker; nobody can reach the connection any more.
    if (m_DeviceOpen)
        closeDev(false);
}
