// The simulated STM32F10x behind a virtual bridge: its flash, its RESET/BOOT0 start, and what it runs.
#pragma once

#include "sim/FirmwareProgram.h"
#include "sim/Stm32Bootloader.h"
#include "sim/Stm32Flash.h"
#include "sim/Stm32Program.h"

#include <memory>

// RESET held low stops the chip. When RESET is released the chip samples BOOT0: high starts the system
// bootloader, low runs the firmware in its flash (an erased flash stays silent). A chip without power
// is stopped as well; its flash keeps its content.
class VirtualStm32
{
public:
    enum class RunState
    {
        Unpowered,
        HeldInReset,
        SystemBootloader,
        Firmware
    };

    static constexpr quint16 ProductId = 0x0410;

    Stm32Flash &flash() { return m_Flash; }
    const Stm32Flash &flash() const { return m_Flash; }

    RunState state() const { return m_State; }
    // What runs and talks on the USART; null while stopped or silent.
    Stm32Program *program() const { return m_Program.get(); }

    void powerOff();
    void holdInReset();
    void start(bool boot0High, qint64 nowNs);

    // Timing of the chip's own work (flash erase and programming): real or none.
    void setInstant(bool instant)
    {
        m_Bootloader.setTimingMode(instant ? Stm32Bootloader::TimingMode::Instant
                                           : Stm32Bootloader::TimingMode::RealTime);
    }

    // Faults of the system bootloader, counted on across restarts until replaced.
    void setBootloaderFaults(const Stm32BootloaderFaults &faults);
    // Leaves the bootloader for the firmware once a Go command has been answered.
    void followJump(qint64 nowNs);

    // Firmware behaviour, kept across restarts; a running firmware follows at once.
    const FirmwareProgram::Settings &firmwareSettings() const { return m_FirmwareSettings; }
    void setFirmwareSettings(const FirmwareProgram::Settings &settings, qint64 nowNs);

private:
    // The chip has started with BOOT0 high. Returns the system bootloader as a program on the USART, or
    // null for a chip that stays silent (it takes no bytes and sends none).
    std::unique_ptr<Stm32Program> startSystemBootloader(qint64 nowNs);

    Stm32Flash m_Flash;
    Stm32Bootloader m_Bootloader{m_Flash, Stm32Bootloader::TimingMode::RealTime};
    RunState m_State = RunState::Unpowered;
    std::unique_ptr<Stm32Program> m_Program;
    FirmwareProgram *m_Firmware = nullptr; // m_Program while the firmware runs
    FirmwareProgram::Settings m_FirmwareSettings;
};
