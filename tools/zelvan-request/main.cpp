// zelvan-request: asks the running zelvan-loader to write an Intel HEX file into the board it is
// connected to, through the shared-memory block, and reports the result in words and in its exit code.
#include "ipc/ProgrammerBlock.h"
#include "tools/zelvan-request/ExitCode.h"
#include "tools/zelvan-request/FlashRequest.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <csignal>

namespace {

constexpr int DefaultTimeoutSeconds = 300;
constexpr int MaxTimeoutSeconds = 24 * 60 * 60;

void onStopSignal(int)
{
    FlashRequest::s_Interrupted = true;
}

int fail(ExitCode code, const QString &text)
{
    QTextStream(stderr) << "zelvan-request: " << text << '\n';
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelvan-request"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Asks the running zelvan-loader to write an Intel HEX file into the board it is connected "
        "to, and waits for the result.\n\n"
        "Exit codes: 0 written, 1 write failed, 2 usage error, 3 no running loader, 4 no result in "
        "time, 5 loader busy with another request, 6 interrupted."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption timeout(
        QStringLiteral("timeout"),
        QStringLiteral("Wait at most <seconds> for the result (default %1).").arg(DefaultTimeoutSeconds),
        QStringLiteral("seconds"), QString::number(DefaultTimeoutSeconds));
    parser.addOption(timeout);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The Intel HEX file to write."),
                                 QStringLiteral("FILE.hex"));

    if (!parser.parse(QCoreApplication::arguments()))
        return fail(ExitUsage, parser.errorText() + QStringLiteral("\nTry 'zelvan-request --help'."));
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        QTextStream(stdout) << parser.helpText();
        return ExitWritten;
    }
    if (parser.positionalArguments().size() != 1)
        return fail(ExitUsage, QStringLiteral("expects exactly one HEX file\nTry 'zelvan-request --help'."));
    bool validTimeout = false;
    const int timeoutSeconds = parser.value(timeout).toInt(&validTimeout);
    if (!validTimeout || timeoutSeconds < 1 || timeoutSeconds > MaxTimeoutSeconds)
        return fail(ExitUsage, QStringLiteral("--timeout takes a number of seconds from 1 to %1, not \"%2\"")
                                   .arg(MaxTimeoutSeconds)
                                   .arg(parser.value(timeout)));

    // The loader runs in another folder, so it gets the absolute path.
    const QFileInfo file(parser.positionalArguments().first());
    if (!file.exists())
        return fail(ExitUsage, QStringLiteral("file not found: %1").arg(file.filePath()));
    if (!file.isFile())
        return fail(ExitUsage, QStringLiteral("not a file: %1").arg(file.filePath()));
    const QString path = QDir::cleanPath(file.absoluteFilePath());
    if (!FlashRequest::fits(path))
        return fail(ExitUsage,
                    QStringLiteral("the path is too long for the loader (%1 bytes in UTF-8, at most %2): %3")
                        .arg(path.toUtf8().size())
                        .arg(Path2HexfileSize - 1)
                        .arg(path));

    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);

    const QDeadlineTimer deadline(qint64(timeoutSeconds) * 1000);
    FlashRequest request{QString::fromLatin1(ProgrammerBlockKey)};
    QString message;
    ExitCode code = request.start(path, deadline, &message);
    if (code != ExitWritten)
        return fail(code, message);
    QTextStream(stdout) << "zelvan-request: asked the loader to write " << path
                        << (request.isBoardConnected() && !request.boardName().isEmpty()
                                ? QStringLiteral(" into the board \"%1\"").arg(request.boardName())
                                : QString())
                        << "; waiting for the result (at most " << timeoutSeconds << " s)" << Qt::endl;
    code = request.finish(deadline, &message);
    if (code != ExitWritten)
        return fail(code, message);
    QTextStream(stdout) << "zelvan-request: " << message << '\n';
    return ExitWritten;
}
