// Start of the simulated STM32 in its system bootloader (BOOT0 high at the release of RESET).
#include "sim/VirtualStm32.h"

// The bootloader protocol is not connected to the device yet: the chip stays silent.
std::unique_ptr<Stm32Program> VirtualStm32::startSystemBootloader(qint64)
{
    return nullptr;
}
