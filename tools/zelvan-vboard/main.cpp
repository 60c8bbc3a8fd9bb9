// zelvan-vboard: one virtual Zelvan board on a pseudo-terminal, for serial terminals and STM32 flashers
// on this machine.
#include "tools/zelvan-vboard/PseudoTerminal.h"
#include "tools/zelvan-vboard/PtyBoardLink.h"
#include "tools/zelvan-vboard/VboardOptions.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <QTextStream>
#include <QTimer>
#include <atomic>
#include <csignal>

namespace {

constexpr int ExitStopped = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
constexpr int StopCheckIntervalMs = 20;

std::atomic<bool> s_StopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

void onStopSignal(int)
{
    s_StopRequested = true;
}

int fail(int code, const QString &text)
{
    QTextStream(stderr) << "zelvan-vboard: " << text << '\n';
    return code;
}

bool saveFlash(const QString &path, const QByteArray &flash, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(flash) != flash.size() || !file.commit()) {
        *error = QStringLiteral("cannot save the flash to %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelvan-vboard"));

    VboardOptions options;
    QString message;
    switch (VboardOptions::parse(QCoreApplication::arguments(), &options, &message)) {
    case VboardOptions::Outcome::Help:
        QTextStream(stdout) << message;
        return ExitStopped;
    case VboardOptions::Outcome::UsageError:
        return fail(ExitUsage, message + QStringLiteral("\nTry 'zelvan-vboard --help'."));
    case VboardOptions::Outcome::Run:
        break;
    }

    PseudoTerminal terminal;
    if (!terminal.open(&message))
        return fail(ExitFailed, QStringLiteral("no pseudo-terminal: %1").arg(message));
    PtyBoardLink link(options.timeMode, options.flashImage, terminal);
    if (!link.start(options.bootloader, &message))
        return fail(ExitFailed, message);

    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGHUP, onStopSignal);
    int exitCode = ExitStopped;
    QObject::connect(&link, &PtyBoardLink::failed, &app, [&exitCode](const QString &reason) {
        fail(ExitFailed, reason);
        exitCode = ExitFailed;
        QCoreApplication::quit();
    });
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, &app, [] {
        if (s_StopRequested)
            QCoreApplication::quit();
    });
    stopCheck.start(StopCheckIntervalMs);

    // The path alone on the first line, for scripts; the rest for people.
    QTextStream(stdout) << terminal.slavePath() << Qt::endl;
    QTextStream(stderr) << "zelvan-vboard: virtual board "
                        << (options.bootloader ? "in its system bootloader (8E1)"
                                               : "running its firmware (8N1)")
                        << (options.flashImage.isEmpty() ? ", flash erased" : "")
                        << (options.timeMode == VirtualBridge::TimeMode::Instant ? ", instant"
                                                                                 : ", real time")
                        << ", 115200 baud, on " << terminal.slavePath() << "; Ctrl+C ends" << Qt::endl;
    app.exec();

    if (!options.flashOutPath.isEmpty()) {
        if (!saveFlash(options.flashOutPath, link.flash(), &message))
            return fail(ExitFailed, message);
        QTextStream(stderr) << "zelvan-vboard: flash saved to " << options.flashOutPath << '\n';
    }
    return exitCode;
}
