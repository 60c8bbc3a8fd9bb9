// Start and stop of the simulated STM32.
#include "sim/VirtualStm32.h"

void VirtualStm32::powerOff()
{
    m_Program.reset();
    m_Firmware = nullptr;
    m_State = RunState::Unpowered;
}

void VirtualStm32::holdInReset()
{
    m_Program.reset();
    m_Firmware = nullptr;
    m_State = RunState::HeldInReset;
}

void VirtualStm32::start(bool boot0High, qint64 nowNs)
{
    holdInReset();
    if (boot0High) {
        m_State = RunState::SystemBootloader;
        m_Program = startSystemBootloader(nowNs);
        return;
    }
    m_State = RunState::Firmware;
    if (m_Flash.isErased())
        return;
    auto firmware = std::make_unique<FirmwareProgram>(FirmwareProgram::identificationOf(m_Flash.content()),
                                                      m_FirmwareSettings, nowNs);
    m_Firmware = firmware.get();
    m_Program = std::move(firmware);
}

void VirtualStm32::setFirmwareSettings(const FirmwareProgram::Settings &settings, qint64 nowNs)
{
    m_FirmwareSettings = settings;
    if (m_Firmware)
        m_Firmware->setSettings(settings, nowNs);
}
