// zelvan-soak: runs the device worker against virtual boards that are plugged and unplugged at random.
#include "tools/zelvan-soak/SoakRun.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelvan-soak"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the device worker against virtual boards that are plugged and unplugged at random while one of "
        "them streams debug output at 115200 baud. Exits 0 when no problem was found."));
    parser.addHelpOption();
    const QCommandLineOption duration(QStringLiteral("duration"),
                                      QStringLiteral("Run time in seconds (default 120)."),
                                      QStringLiteral("seconds"), QStringLiteral("120"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the random actions (default 1)."),
                                  QStringLiteral("number"), QStringLiteral("1"));
    const QCommandLineOption boards(QStringLiteral("boards"), QStringLiteral("Number of boards (default 4)."),
                                    QStringLiteral("count"), QStringLiteral("4"));
    parser.addOptions({duration, seed, boards});
    parser.process(app);

    SoakOptions options;
    bool durationOk = false;
    bool seedOk = false;
    bool boardsOk = false;
    options.durationSeconds = parser.value(duration).toInt(&durationOk);
    options.seed = parser.value(seed).toUInt(&seedOk);
    options.boards = parser.value(boards).toInt(&boardsOk);
    if (!durationOk || options.durationSeconds < 1 || !seedOk || !boardsOk || options.boards < 1 ||
        options.boards > 64) {
        std::fprintf(stderr,
                     "zelvan-soak: --duration needs a number of seconds (1 or more), --seed a number, "
                     "--boards a count from 1 to 64\n");
        return 2;
    }

    // The worker's own diagnostic lines would drown the summary.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    std::printf("zelvan-soak: %d s, %d boards, seed %u\n", options.durationSeconds, options.boards,
                options.seed);
    std::fflush(stdout);
    SoakRun soak(options);
    const SoakReport report = soak.run();
    std::printf("actions %lld, plug changes %lld, connections %lld, bytes received %lld, updates %lld/%lld\n",
                static_cast<long long>(report.actions), static_cast<long long>(report.plugChanges),
                static_cast<long long>(report.connections), static_cast<long long>(report.bytesReceived),
                static_cast<long long>(report.updateFinishes), static_cast<long long>(report.updateStarts));
    for (const QString &problem : report.problems)
        std::printf("PROBLEM: %s\n", qUtf8Printable(problem));
    std::printf("%s\n", report.ok() ? "ok" : "FAILED");
    return report.ok() ? 0 : 1;
}
