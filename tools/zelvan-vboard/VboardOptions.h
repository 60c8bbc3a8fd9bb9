// The command line of zelvan-vboard: mode, time, and where the flash comes from and goes to.
#pragma once

#include "sim/VirtualBridge.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

struct VboardOptions
{
    enum class Outcome
    {
        Run,
        Help,      // the help text is in the message
        UsageError // the reason is in the message
    };

    bool bootloader = false;
    VirtualBridge::TimeMode timeMode = VirtualBridge::TimeMode::RealTime;
    QByteArray flashImage; // the flash at power-up; empty is erased
    QString flashOutPath;  // empty: the flash is not saved

    // Reads the arguments (the program name first) and the --flash-in file. Files are checked here, so
    // that a board never starts with a flash it cannot load or a flash it could not save.
    static Outcome parse(const QStringList &arguments, VboardOptions *options, QString *message);
};
