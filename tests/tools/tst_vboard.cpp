// zelvan-vboard run as a program of its own: a client opens the pseudo-terminal it prints and talks to
// the board's system bootloader and firmware through it.
#include "firmware/BootloaderProtocol.h"
#include "sim/DemoFirmware.h"
#include "sim/FirmwareProgram.h"
#include "sim/Stm32Flash.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int WaitMs = 20000;

// A running zelvan-vboard and a client of its terminal; the process is stopped on destruction.
class VboardClient
{
public:
    ~VboardClient()
    {
        if (m_Fd >= 0)
            ::close(m_Fd);
        stop();
    }

    // Starts the tool and opens the terminal named on its first output line, in raw mode.
    bool start(const QStringList &arguments)
    {
        m_Process.start(QStringLiteral(ZELVAN_VBOARD_EXE), arguments);
        QDeadlineTimer deadline(WaitMs);
        while (!m_Process.canReadLine() && m_Process.state() != QProcess::NotRunning &&
               !deadline.hasExpired())
            m_Process.waitForReadyRead(50);
        const QByteArray path = m_Process.readLine().trimmed();
        if (!path.startsWith("/dev/"))
            return false;
        m_Fd = ::open(path.constData(), O_RDWR | O_NOCTTY);
        termios mode{};
        if (m_Fd < 0 || ::tcgetattr(m_Fd, &mode) != 0)
            return false;
        ::cfmakeraw(&mode);
        return ::tcsetattr(m_Fd, TCSANOW, &mode) == 0;
    }

    bool send(const QByteArray &bytes)
    {
        return ::write(m_Fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // What arrives until there are `count` bytes or the time is up.
    QByteArray receive(int count)
    {
        QByteArray received;
        QDeadlineTimer deadline(WaitMs);
        while (received.size() < count && !deadline.hasExpired()) {
            pollfd ready{m_Fd, POLLIN, 0};
            if (::poll(&ready, 1, 20) <= 0)
                continue;
            char buffer[256];
            const ssize_t got =
                ::read(m_Fd, buffer, size_t(qMin<int>(int(sizeof buffer), count - received.size())));
            if (got > 0)
                received.append(buffer, int(got));
        }
        return received;
    }

    // SIGTERM, as a user's kill; the exit code, or -1 for a crash or a tool that does not end.
    int stop()
    {
        if (m_Process.state() == QProcess::NotRunning)
            return m_Process.exitStatus() == QProcess::NormalExit ? m_Process.exitCode() : -1;
        m_Process.terminate();
        if (!m_Process.waitForFinished(WaitMs)) {
            m_Process.kill();
            m_Process.waitForFinished();
            return -1;
        }
        return m_Process.exitStatus() == QProcess::NormalExit ? m_Process.exitCode() : -1;
    }

    QProcess &process() { return m_Process; }

private:
    QProcess m_Process;
    int m_Fd = -1;
};

QByteArray bytes(std::initializer_list<quint8> values)
{
    QByteArray result;
    for (quint8 value : values)
        result.append(char(value));
    return result;
}

QByteArray command(quint8 code)
{
    return bytes({code, BootloaderProtocol::complement(code)});
}

// A small image that names its firmware.
QByteArray markedImage(const QByteArray &identification)
{
    QByteArray image(64, char(0x5A));
    image.replace(16, 0, "ZELVAN-FW:" + identification + '\0');
    return image.left(64);
}

} // namespace

class tst_Vboard : public QObject
{
    Q_OBJECT

private slots:
    void bootloaderAnswersOnThePty();
    void firmwareBanner_data();
    void firmwareBanner();
    void writtenFirmwareRunsAfterGoAndIsSaved();
    void badOptions_data();
    void badOptions();

private:
    QTemporaryDir m_Dir;
};

void tst_Vboard::bootloaderAnswersOnThePty()
{
    // The client sends without parity; the bootloader still takes the bytes.
    VboardClient board;
    QVERIFY(board.start({QStringLiteral("--bootloader"), QStringLiteral("--instant")}));
    QVERIFY(board.send(bytes({BootloaderProtocol::Sync})));
    QCOMPARE(board.receive(1), bytes({BootloaderProtocol::Ack}));
    QVERIFY(board.send(command(BootloaderProtocol::CmdGetId)));
    QCOMPARE(board.receive(5), bytes({0x79, 0x01, 0x04, 0x10, 0x79}));
    QCOMPARE(board.stop(), 0);
}

void tst_Vboard::firmwareBanner_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("identification");

    const QString image = m_Dir.filePath(QStringLiteral("marked.bin"));
    QFile file(image);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(markedImage("Pty Test 2.5")) == 64);
    file.close();

    QTest::newRow("demo firmware, real time") << QStringList() << QByteArray(DemoFirmwareIdentification);
    QTest::newRow("flash from a file, instant")
        << QStringList{QStringLiteral("--flash-in"), image, QStringLiteral("--instant")}
        << QByteArray("Pty Test 2.5");
}

void tst_Vboard::firmwareBanner()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, identification);

    // The banner went out before the client came; the bridge kept it.
    VboardClient board;
    QVERIFY(board.start(arguments));
    const QByteArray banner = FirmwareProgram::bannerText(identification);
    QCOMPARE(board.receive(banner.size()), banner);
    QCOMPARE(board.stop(), 0);
}

void tst_Vboard::writtenFirmwareRunsAfterGoAndIsSaved()
{
    // Real time: the Go's ACK (8E1) is still on the wire when the chip switches to its firmware (8N1);
    // both must reach the client unchanged.
    const QString saved = m_Dir.filePath(QStringLiteral("saved.bin"));
    VboardClient board;
    QVERIFY(board.start(
        {QStringLiteral("--bootloader"), QStringLiteral("--erased"), QStringLiteral("--flash-out"), saved}));
    const QByteArray ack = bytes({BootloaderProtocol::Ack});
    const QByteArray flashBase = bytes({0x08, 0x00, 0x00, 0x00, 0x08});
    QVERIFY(board.send(bytes({BootloaderProtocol::Sync})));
    QCOMPARE(board.receive(1), ack);

    const QByteArray image = markedImage("Pty Test 3.1");
    QByteArray data = bytes({quint8(image.size() - 1)}) + image;
    quint8 checksum = 0;
    for (char byte : data)
        checksum ^= quint8(byte);
    data.append(char(checksum));
    for (const QByteArray &frame : {command(BootloaderProtocol::CmdWriteMemory), flashBase, data}) {
        QVERIFY(board.send(frame));
        QCOMPARE(board.receive(1), ack);
    }

    QVERIFY(board.send(command(BootloaderProtocol::CmdGo)));
    QCOMPARE(board.receive(1), ack);
    QVERIFY(board.send(flashBase));
    const QByteArray expected = ack + FirmwareProgram::bannerText("Pty Test 3.1");
    QCOMPARE(board.receive(expected.size()), expected);

    QCOMPARE(board.stop(), 0);
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), image + QByteArray(Stm32Flash::Size - image.size(), char(0xFF)));
}

void tst_Vboard::badOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");

    const QString tooLarge = m_Dir.filePath(QStringLiteral("large.bin"));
    QFile file(tooLarge);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(Stm32Flash::Size + 1, 0)) > 0);
    file.close();

    QTest::newRow("both time modes") << QStringList{QStringLiteral("--instant"),
                                                    QStringLiteral("--real-time")}
                                     << QStringLiteral("--instant");
    QTest::newRow("erased and a flash file")
        << QStringList{QStringLiteral("--erased"), QStringLiteral("--flash-in"), tooLarge}
        << QStringLiteral("--erased");
    QTest::newRow("flash file missing")
        << QStringList{QStringLiteral("--flash-in"), m_Dir.filePath(QStringLiteral("none.bin"))}
        << QStringLiteral("none.bin");
    QTest::newRow("flash file larger than the flash")
        << QStringList{QStringLiteral("--flash-in"), tooLarge} << QStringLiteral("larger than the flash");
    QTest::newRow("flash file is a folder")
        << QStringList{QStringLiteral("--flash-in"), m_Dir.path()} << QStringLiteral("not a file");
    QTest::newRow("save into a missing folder")
        << QStringList{QStringLiteral("--flash-out"), m_Dir.filePath(QStringLiteral("no/such/flash.bin"))}
        << QStringLiteral("--flash-out");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--reset-to")}
                                    << QStringLiteral("reset-to");
}

void tst_Vboard::badOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);

    VboardClient board;
    QVERIFY(!board.start(arguments));
    QCOMPARE(board.stop(), 2);
    QVERIFY(board.process().readAllStandardOutput().isEmpty());
    QVERIFY2(QString::fromUtf8(board.process().readAllStandardError()).contains(named), qPrintable(named));
}

QTEST_GUILESS_MAIN(tst_Vboard)
#include "tst_vboard.moc"
