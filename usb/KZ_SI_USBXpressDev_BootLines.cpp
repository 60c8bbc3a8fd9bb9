// The STM32's RESET and BOOT0 lines on the bridge's latch, and the restarts built from them.
#include "usb/KZ_SI_USBXpressDev.h"

#include "app/log/Log.h"
#include "usb/bridge/BridgeStatusName.h"

namespace {

// Time the STM32 gets at each edge of the reset pulse.
constexpr unsigned long ResetPauseMs = 50;

// A latch bit of 0 asserts its line, so the bit written is the inverse of the argument.
quint8 latchValue(quint8 mask, bool asserted)
{
    return asserted ? 0 : mask;
}

bool latchWriteFailed(Bridge::Status status)
{
    return Bridge::isOneOf(status,
                           {Bridge::InvalidHandle, Bridge::InvalidParameter, Bridge::DeviceIoFailed,
                            Bridge::FunctionNotSupported, Bridge::GlobalDataError, Bridge::DeviceNotFound});
}

} // namespace

int KZ_SI_USBXpressDev::setReset(bool Asserted)
{
    const Bridge::Status status =
        m_Library.writeLatch(m_hDevice, Bridge::LatchReset, latchValue(Bridge::LatchReset, Asserted));
    if (latchWriteFailed(status)) {
        LogError("KZ_SI_USBXpressDev::setReset", "%s", bridgeStatusName(status));
        return -1;
    }
    return 1;
}

int KZ_SI_USBXpressDev::setBoot0(bool Asserted)
{
    const Bridge::Status status =
        m_Library.writeLatch(m_hDevice, Bridge::LatchBoot0, latchValue(Bridge::LatchBoot0, Asserted));
    if (latchWriteFailed(status)) {
        LogError("KZ_SI_USBXpressDev::setBoot0", "%s", bridgeStatusName(status));
        return -1;
    }
    return 1;
}

void KZ_SI_USBXpressDev::SetBootModeZelvan(bool Bootloader)
{
    setReset(true);
    const Bridge::Status status =
        m_Library.setLineControl(m_hDevice, Bootloader ? Bridge::LineControl8E1 : Bridge::LineControl8N1);
    if (Bridge::isOneOf(status, {Bridge::InvalidHandle, Bridge::InvalidParameter, Bridge::DeviceIoFailed})) {
        LogError("KZ_SI_USBXpressDev::SetBootModeZelvan", "%s", bridgeStatusName(status));
        return;
    }
    setBoot0(Bootloader);
    QThread::msleep(ResetPauseMs);
    setReset(false);
    QThread::msleep(ResetPauseMs);
}

void KZ_SI_USBXpressDev::ResetZelvan()
{
    setReset(true);
    setBoot0(false);
    QThread::msleep(ResetPauseMs);
    setReset(false);
    QThread::msleep(ResetPauseMs);
}
