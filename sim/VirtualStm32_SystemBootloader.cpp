// Start of the simulated STM32 in its system bootloader (BOOT0 high at the release of RESET), and the
// jump out of it.
#include "sim/SystemBootloaderProgram.h"
#include "sim/VirtualStm32.h"

std::unique_ptr<Stm32Program> VirtualStm32::startSystemBootloader(qint64)
{
    m_Bootloader.reset();
    return std::make_unique<SystemBootloaderProgram>(m_Bootloader);
}

void VirtualStm32::setBootloaderFaults(const Stm32BootloaderFaults &faults)
{
    m_Bootloader.setFaults(faults);
}

void VirtualStm32::followJump(qint64 nowNs)
{
    // After the ACK of a Go command has gone out the chip runs the firmware in its flash.
    if (m_State == RunState::SystemBootloader && m_Bootloader.hasJumped() && m_Bootloader.nextOutputNs() < 0)
        start(false, nowNs);
}
