// The small firmware image that virtual boards carry in their flash unless told otherwise.
#pragma once

#include <QByteArray>

// The identification the demo image carries after its "ZELVAN-FW:" marker.
constexpr char DemoFirmwareIdentification[] = "Zelvan Demo 0.9";

// A plausible STM32F10x image: vector table (stack pointer in RAM, reset vector in flash), a little
// code, and the identification string.
QByteArray demoFirmwareImage();
