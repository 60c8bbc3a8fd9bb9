// Parsing and checking of zelvan-vboard's options.
#include "tools/zelvan-vboard/VboardOptions.h"

#include "sim/DemoFirmware.h"
#include "sim/Stm32Flash.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

namespace {

bool readFlashImage(const QString &path, QByteArray *image, QString *message)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *message = QStringLiteral("--flash-in: file not found: %1").arg(path);
        return false;
    }
    if (!info.isFile()) {
        *message = QStringLiteral("--flash-in: not a file: %1").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *message = QStringLiteral("--flash-in: cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    // At most one byte more than fits, so that a file that changes size meanwhile is still caught.
    *image = file.read(Stm32Flash::Size + 1);
    if (image->size() > Stm32Flash::Size) {
        *message = QStringLiteral("--flash-in: %1 is larger than the flash (at most %2 bytes)")
                       .arg(path)
                       .arg(Stm32Flash::Size);
        return false;
    }
    return true;
}

bool checkFlashOut(const QString &path, QString *message)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        *message = QStringLiteral("--flash-out: is a folder: %1").arg(path);
        return false;
    }
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir() || !folder.isWritable()) {
        *message = QStringLiteral("--flash-out: cannot write into the folder %1").arg(folder.filePath());
        return false;
    }
    return true;
}

} // namespace

VboardOptions::Outcome VboardOptions::parse(const QStringList &arguments, VboardOptions *options,
                                            QString *message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Puts one virtual Zelvan board on a pseudo-terminal and prints the terminal's path. Any serial "
        "terminal or STM32 flasher can open it (115200 baud; the terminal's own baud rate and parity have "
        "no effect). The board runs until SIGINT or SIGTERM; its mode is chosen here, at the start.\n\n"
        "Exit codes: 0 ended by a signal, 1 the board or its flash file failed, 2 usage error."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption bootloader(
        QStringLiteral("bootloader"),
        QStringLiteral(
            "Start in the STM32 system bootloader (BOOT0 high at power-up) instead of the firmware."));
    const QCommandLineOption flashIn(QStringLiteral("flash-in"),
                                     QStringLiteral("Load the flash from a binary file (from 0x08000000, at "
                                                    "most 128 KiB; the rest stays erased)."),
                                     QStringLiteral("FILE.bin"));
    const QCommandLineOption flashOut(
        QStringLiteral("flash-out"),
        QStringLiteral("Save the whole flash (128 KiB) to a binary file when the board ends."),
        QStringLiteral("FILE.bin"));
    const QCommandLineOption erased(QStringLiteral("erased"), QStringLiteral("Start with an erased flash."));
    const QCommandLineOption realTime(QStringLiteral("real-time"),
                                      QStringLiteral("Bytes take their wire time, the flash its erase and "
                                                     "programming time (the default)."));
    const QCommandLineOption instant(QStringLiteral("instant"),
                                     QStringLiteral("Bytes and flash work take no time."));
    parser.addOptions({bootloader, flashIn, flashOut, erased, realTime, instant});

    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return Outcome::UsageError;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        *message = parser.helpText();
        return Outcome::Help;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return Outcome::UsageError;
    }
    if (parser.isSet(realTime) && parser.isSet(instant)) {
        *message = QStringLiteral("--real-time and --instant exclude each other");
        return Outcome::UsageError;
    }
    if (parser.isSet(erased) && parser.isSet(flashIn)) {
        *message = QStringLiteral("--erased and --flash-in exclude each other");
        return Outcome::UsageError;
    }

    options->bootloader = parser.isSet(bootloader);
    options->timeMode =
        parser.isSet(instant) ? VirtualBridge::TimeMode::Instant : VirtualBridge::TimeMode::RealTime;
    if (parser.isSet(erased))
        options->flashImage.clear();
    else if (!parser.isSet(flashIn))
        options->flashImage = demoFirmwareImage();
    else if (!readFlashImage(parser.value(flashIn), &options->flashImage, message))
        return Outcome::UsageError;
    if (parser.isSet(flashOut)) {
        options->flashOutPath = parser.value(flashOut);
        if (!checkFlashOut(options->flashOutPath, message))
            return Outcome::UsageError;
    }
    return Outcome::Run;
}
