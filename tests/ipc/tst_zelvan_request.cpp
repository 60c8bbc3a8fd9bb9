// zelvan-request run as a program of its own against a KZ_SharedMemSocked in this test that plays the
// running loader; the private TMPDIR of this test (passed on to the child) keeps the block to itself.
#include "ipc/KZ_SharedMemSocked.h"
#include "ipc/ProgrammerBlock.h"

#include <QProcess>
#include <QSharedMemory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

const QString DeviceName = QStringLiteral("Zelvan Mini [0xZV000001]");

struct ToolResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

void startTool(QProcess &process, const QStringList &arguments, const QString &workingDirectory)
{
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(ZELVAN_REQUEST_EXE), arguments);
}

// The loader side answers through queued signals, so this thread's events are handled while waiting.
ToolResult finishTool(QProcess &process)
{
    const QDeadlineTimer limit(120000);
    while (process.state() != QProcess::NotRunning && !limit.hasExpired()) {
        QCoreApplication::processEvents();
        process.waitForFinished(10);
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    ToolResult result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

ToolResult runTool(const QStringList &arguments, const QString &workingDirectory)
{
    QProcess process;
    startTool(process, arguments, workingDirectory);
    return finishTool(process);
}

// A running loader as the main window sets it up: instance mark, connection and board name.
std::unique_ptr<KZ_SharedMemSocked> startLoader(bool marked = true)
{
    auto loader = std::make_unique<KZ_SharedMemSocked>(QString::fromLatin1(ProgrammerBlockKey));
    loader->setStatusDebugMonitor(marked);
    loader->setStatusZelvanConnection(true);
    loader->setNameOfConnectedDevice(DeviceName);
    return loader;
}

// The two status bytes and the result, as a third program attached to the block sees them.
QByteArray blockState()
{
    QSharedMemory memory(QString::fromLatin1(ProgrammerBlockKey));
    if (!memory.attach(QSharedMemory::ReadOnly))
        return "no block";
    memory.lock();
    const auto *block = static_cast<const ProgrammerBlock *>(memory.constData());
    const QByteArray state = QByteArray::number(block->StatusProgrammingRequest) + '/' +
                             QByteArray::number(block->ProgrammingResult);
    memory.unlock();
    return state;
}

} // namespace

class TestZelvanRequest : public QObject
{
    Q_OBJECT
private:
    QString hexPath() const { return m_Dir.path() + "/Blink.hex"; }
    // A HEX file whose absolute path has exactly length bytes in UTF-8; its folder name carries an umlaut.
    QString pathOfLength(int length);
    QTemporaryDir m_Dir;

private slots:
    void initTestCase();
    void badInvocationIsRefused_data();
    void badInvocationIsRefused();
    void refusedWithoutARunningLoader_data();
    void refusedWithoutARunningLoader();
    void requestsAreAnsweredInTurn_data();
    void requestsAreAnsweredInTurn();
    void requestWithoutAnswerIsWithdrawn_data();
    void requestWithoutAnswerIsWithdrawn();
};

void TestZelvanRequest::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    QFile file(hexPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(":00000001FF\r\n");
}

QString TestZelvanRequest::pathOfLength(int length)
{
    const QString base = QDir::cleanPath(m_Dir.path()) + QString::fromUtf8("/\xc3\xbc");
    const int fill = length - base.toUtf8().size() - int(sizeof "/x.hex" - 1);
    if (fill < 0)
        return QString();
    const QString folder = base + QString(fill, 'd');
    QDir().mkpath(folder);
    QFile file(folder + "/x.hex");
    file.open(QIODevice::WriteOnly);
    return file.fileName();
}

void TestZelvanRequest::badInvocationIsRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QString fits = pathOfLength(Path2HexfileSize - 1);
    const QString tooLong = pathOfLength(Path2HexfileSize);
    if (fits.isEmpty())
        QSKIP("the temporary folder's path is too long for this test");
    QTest::newRow("no file") << QStringList() << 2 << "expects exactly one HEX file";
    QTest::newRow("two files") << QStringList{"Blink.hex", "Blink.hex"} << 2
                               << "expects exactly one HEX file";
    QTest::newRow("unknown option") << QStringList{"--force", "Blink.hex"} << 2 << "Unknown option 'force'";
    QTest::newRow("file missing") << QStringList{"Missing.hex"} << 2 << "file not found: Missing.hex";
    QTest::newRow("a folder") << QStringList{"."} << 2 << "not a file: .";
    QTest::newRow("time limit zero") << QStringList{"--timeout", "0", "Blink.hex"} << 2 << "--timeout takes";
    QTest::newRow("time limit not a number")
        << QStringList{"--timeout", "5s", "Blink.hex"} << 2 << "--timeout takes";
    QTest::newRow("path of 150 bytes") << QStringList{tooLong} << 2 << "the path is too long for the loader";
    // Checked up to the loader, which is not running here.
    QTest::newRow("path of 149 bytes") << QStringList{fits} << 3 << "no running loader found";
}

void TestZelvanRequest::badInvocationIsRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const ToolResult result = runTool(arguments, m_Dir.path());
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.out, QString());
}

void TestZelvanRequest::refusedWithoutARunningLoader_data()
{
    QTest::addColumn<bool>("loaderRuns");
    QTest::addColumn<bool>("marked");
    QTest::addColumn<bool>("otherRequestPending");
    QTest::addColumn<int>("staleResult");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("no block") << false << false << false << 0 << 3 << "no running loader found";
    QTest::newRow("block not marked") << true << false << false << 0 << 3 << "no running loader serves";
    QTest::newRow("another request pending")
        << true << true << true << 0 << 5 << "another flash request is pending";
    // Taken for the answer, a result the loader has not cleared yet would end the new request at once.
    QTest::newRow("previous result not cleared")
        << true << true << false << 1 << 5 << "the loader has not cleared the result of the previous request";
}

void TestZelvanRequest::refusedWithoutARunningLoader()
{
    QFETCH(bool, loaderRuns);
    QFETCH(bool, marked);
    QFETCH(bool, otherRequestPending);
    QFETCH(int, staleResult);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    std::unique_ptr<KZ_SharedMemSocked> loader;
    QSharedMemory other(QString::fromLatin1(ProgrammerBlockKey));
    auto setOtherRequest = [&other](bool pending) {
        other.lock();
        static_cast<ProgrammerBlock *>(other.data())->StatusProgrammingRequest = pending ? 1 : 0;
        other.unlock();
    };
    if (loaderRuns) {
        loader = startLoader(marked);
        QVERIFY(other.attach());
        setOtherRequest(otherRequestPending);
        loader->setProgrammingResult(staleResult);
    }

    const ToolResult result = runTool({hexPath()}, m_Dir.path());
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    QCOMPARE(result.exitCode, exitCode);
    if (loader) {
        QCOMPARE(loader->getPath2Hexfile(), QString());
        QCOMPARE(loader->isStatusProgrammingRequestSet(), otherRequestPending);
        setOtherRequest(false);
    }
}

void TestZelvanRequest::requestsAreAnsweredInTurn_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("written") << 1 << 0 << "the loader wrote the file into the board \"" + DeviceName + "\"";
    QTest::newRow("failed") << -1 << 1
                            << "the loader could not write the file into the board \"" + DeviceName;
    QTest::newRow("unknown answer") << 7 << 1 << "the loader answered with the unknown result 7";
}

// Two requests in a row, the second started the moment the first ends: each gets its own answer, which
// needs the block back to idle in between.
void TestZelvanRequest::requestsAreAnsweredInTurn()
{
    QFETCH(int, answer);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    auto loader = startLoader();
    QStringList paths;
    connect(loader.get(), &KZ_SharedMemSocked::SIGNAL_ProgrammingRequestPendig, this, [&] {
        paths.append(loader->getPath2Hexfile());
        if (loader->isStatusProgrammingRequestSet())
            loader->setProgrammingResult(answer);
    });

    for (int round = 0; round < 2; ++round) {
        // A relative path reaches the loader as an absolute one.
        const ToolResult result = runTool({"Blink.hex"}, m_Dir.path());
        const QString &words = exitCode == 0 ? result.out : result.err;
        QVERIFY2(words.contains(message), qPrintable(result.out + result.err));
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY(result.out.contains("asked the loader to write " + QDir::cleanPath(hexPath())));
    }
    QCOMPARE(paths, QStringList({QDir::cleanPath(hexPath()), QDir::cleanPath(hexPath())}));
    QTRY_COMPARE_WITH_TIMEOUT(blockState(), QByteArray("0/0"), 10000);
}

void TestZelvanRequest::requestWithoutAnswerIsWithdrawn_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("time limit") << "time limit" << 4
                                << "no answer from the loader in time; the request is withdrawn";
    QTest::newRow("terminated") << "terminate" << 6 << "interrupted; the request is withdrawn";
    QTest::newRow("loader ends") << "loader ends" << 3 << "the loader ended before it answered";
}

void TestZelvanRequest::requestWithoutAnswerIsWithdrawn()
{
    QFETCH(QString, ending);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    auto loader = startLoader();
    QSignalSpy requests(loader.get(), &KZ_SharedMemSocked::SIGNAL_ProgrammingRequestPendig);
    // Keeps the block alive, and observable, after the loader has ended.
    QSharedMemory observer(QString::fromLatin1(ProgrammerBlockKey));
    QVERIFY(observer.attach(QSharedMemory::ReadOnly));

    QProcess process;
    startTool(process, {"--timeout", ending == "time limit" ? "1" : "300", hexPath()}, m_Dir.path());
    QTRY_COMPARE_WITH_TIMEOUT(requests.count(), 1, 60000);
    if (ending == "terminate") {
        process.terminate();
    } else if (ending == "loader ends") {
        loader->setStatusDebugMonitor(false); // as the main window does before it deletes the link
        loader.reset();
    }
    const ToolResult result = finishTool(process);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(blockState().left(2), QByteArray("0/"));
}

QTEST_GUILESS_MAIN(TestZelvanRequest)
#include "tst_zelvan_request.moc"
