// zelvan-bench-hex: times the conversion of the built-in HEX file into its flash image.
#include "bench/BuiltInHex.h"
#include "firmware/IntelHexConverter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTextStream>

namespace {

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
constexpr int DefaultRepeats = 100;
constexpr int MaxRepeats = 100000;

// The converter writes status lines to the diagnostic log; they are composed as in the program but not
// written out, so that the speed of the terminal does not enter the figures. Failures show in the result.
void dropDiagnosticLog(QtMsgType, const QMessageLogContext &, const QString &) {}

int fail(const QString &text, int code = ExitFailed)
{
    QTextStream(stderr) << "zelvan-bench-hex: " << text << '\n';
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times the conversion of the built-in HEX file."));
    parser.addHelpOption();
    const QCommandLineOption repeat(QStringLiteral("repeat"),
                                    QStringLiteral("Convert <n> times (default %1).").arg(DefaultRepeats),
                                    QStringLiteral("n"), QString::number(DefaultRepeats));
    parser.addOption(repeat);
    parser.process(app);
    bool valid = false;
    const int repeats = parser.value(repeat).toInt(&valid);
    if (!valid || repeats < 1 || repeats > MaxRepeats)
        return fail(QStringLiteral("--repeat takes a number from 1 to %1").arg(MaxRepeats), ExitUsage);

    qInstallMessageHandler(dropDiagnosticLog);
    QTemporaryDir folder;
    QString error;
    const QString hexPath = writeBuiltInHex(folder, &error);
    if (hexPath.isEmpty())
        return fail(error);
    const qint64 hexSize = QFileInfo(hexPath).size();

    // The image file is reused, as the firmware update reuses its own; the first run creates it.
    QTemporaryFile imageFile;
    qint64 imageSize = 0;
    qint64 totalNs = 0;
    qint64 fastestNs = -1;
    for (int run = 0; run <= repeats; ++run) {
        QFile hexFile(hexPath);
        QElapsedTimer clock;
        clock.start();
        const qint8 result = convertHexFileToImage(&hexFile, &imageFile);
        const qint64 ns = clock.nsecsElapsed();
        if (result != HexConversion::Success)
            return fail(QStringLiteral("the conversion returned %1").arg(result));
        imageSize = imageFile.size();
        if (run == 0)
            continue;
        totalNs += ns;
        fastestNs = fastestNs < 0 ? ns : qMin(fastestNs, ns);
    }

    const double meanS = double(totalNs) / repeats / 1e9;
    QTextStream out(stdout);
    out.setRealNumberNotation(QTextStream::FixedNotation);
    out << "zelvan-bench-hex: " << QFileInfo(hexPath).fileName() << ", " << hexSize
        << " bytes of HEX text -> " << imageSize << " bytes of image, " << repeats
        << " conversions after one warm-up\n";
    out.setRealNumberPrecision(3);
    out << "mean per conversion: " << meanS * 1e3 << " ms (fastest " << double(fastestNs) / 1e6 << " ms)\n";
    out.setRealNumberPrecision(1);
    out << "throughput:          " << double(hexSize) / meanS / 1e6 << " MB/s of HEX text, "
        << double(imageSize) / meanS / 1e6 << " MB/s of image\n";
    return 0;
}
