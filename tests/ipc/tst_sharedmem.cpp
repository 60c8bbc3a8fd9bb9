// The shared-memory link: the block's byte layout as the requesting program sees it, the request protocol
// run by the watcher, the bounded text fields, and blocks that cannot be used.
#include "ipc/KZ_SharedMemSocked.h"
#include "tests/support/LogRecorder.h"

#include <QSharedMemory>
#include <QSignalSpy>
#include <QtTest>
#include <cstring>
#include <functional>
#include <memory>

namespace {

// The requesting program's view: a second attachment to the same block, accessed under its lock.
class Requester
{
public:
    explicit Requester(const QString &key) : m_Memory(key) {}
    bool create(int size)
    {
        if (!m_Memory.create(size))
            return false;
        m_Memory.lock();
        std::memset(m_Memory.data(), 0, static_cast<size_t>(size));
        m_Memory.unlock();
        return true;
    }
    bool attach() { return m_Memory.attach(); }
    QByteArray bytes()
    {
        m_Memory.lock();
        const QByteArray copy(static_cast<const char *>(m_Memory.constData()), m_Memory.size());
        m_Memory.unlock();
        return copy;
    }
    void writeBytes(int offset, const QByteArray &data)
    {
        m_Memory.lock();
        std::memcpy(static_cast<char *>(m_Memory.data()) + offset, data.constData(),
                    static_cast<size_t>(data.size()));
        m_Memory.unlock();
    }
    void setRequest(quint8 value) { writeBytes(1, QByteArray(1, char(value))); }
    qint32 result() { return qFromLittleEndian<qint32>(bytes().constData() + 4); }

private:
    QSharedMemory m_Memory;
};

QString uniqueKey()
{
    static int counter = 0;
    return QStringLiteral("KZ_ZelvanProgrammer-test-%1").arg(++counter);
}

QByteArray field(const QByteArray &text, int size)
{
    return text + QByteArray(size - text.size(), '\0');
}

// One step of a request as the two programs take turns on the block.
struct Step
{
    enum Actor
    {
        RequestFlag,
        Result,
        Mark
    } actor;
    int value;
    int expectedRequests;  // SIGNAL_ProgrammingRequestPendig so far
    int expectedFinishes;  // SIGNAL_ProgrammingFinished so far
    qint32 expectedResult; // ProgrammingResult in the block afterwards
};
using Steps = QVector<Step>;

using Action = std::function<void(KZ_SharedMemSocked &)>;

} // namespace

Q_DECLARE_METATYPE(Steps)
Q_DECLARE_METATYPE(Action)

class TestSharedMem : public QObject
{
    Q_OBJECT
private slots:
    void createdBlockIsIdleAndJoinedBlockUntouched();
    void accessorsWriteTheirFieldOnly_data();
    void accessorsWriteTheirFieldOnly();
    void requestProtocol_data();
    void requestProtocol();
    void accessorsAndWatcherExcludeEachOther();
    void secondInstanceSeesTheMark();
    void endingWithdrawsAPendingRequest();
    void deviceNameIsCutToFit_data();
    void deviceNameIsCutToFit();
    void pathIsReadUpToItsNulOnly_data();
    void pathIsReadUpToItsNulOnly();
    void shortBlockIsNotUsed();
};

void TestSharedMem::createdBlockIsIdleAndJoinedBlockUntouched()
{
    const QString key = uniqueKey();
    LogRecorder log;
    KZ_SharedMemSocked creator(key);
    QCOMPARE(log.count("Create Sharedmemory 312 Bytes"), 1);
    Requester requester(key);
    QVERIFY(requester.attach());
    QCOMPARE(requester.bytes(), QByteArray(312, '\0'));
    QCOMPARE(creator.getPath2Hexfile(), QString());
    QVERIFY(!creator.isStatusDebugMonitorSet());

    const QByteArray marked =
        QByteArray::fromHex("01010000ffffffff01") + field("/tmp/a.hex", 150) + field("Dev", 153);
    requester.writeBytes(0, marked);
    {
        KZ_SharedMemSocked joiner(key);
        QCOMPARE(log.count("Join Sharedmemory 312 Bytes"), 1);
        QCOMPARE(joiner.getPath2Hexfile(), QStringLiteral("/tmp/a.hex"));
        QCOMPARE(requester.bytes(), marked);
        requester.setRequest(0); // so that ending the joiner leaves the block as it is
    }
}

void TestSharedMem::accessorsWriteTheirFieldOnly_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("debug monitor") << Action([](KZ_SharedMemSocked &s) { s.setStatusDebugMonitor(true); })
                                   << 0 << QByteArray::fromHex("01");
    QTest::newRow("result -1 little-endian")
        << Action([](KZ_SharedMemSocked &s) { s.setProgrammingResult(-1); }) << 4
        << QByteArray::fromHex("ffffffff");
    QTest::newRow("result 1 little-endian")
        << Action([](KZ_SharedMemSocked &s) { s.setProgrammingResult(1); }) << 4
        << QByteArray::fromHex("01000000");
    QTest::newRow("connection") << Action([](KZ_SharedMemSocked &s) { s.setStatusZelvanConnection(true); })
                                << 8 << QByteArray::fromHex("01");
    QTest::newRow("device name") << Action([](KZ_SharedMemSocked &s) {
        s.setNameOfConnectedDevice("Zelvan Mini [0xZV000001]");
    }) << 159 << QByteArray("Zelvan Mini [0xZV000001]\0", 25);
}

void TestSharedMem::accessorsWriteTheirFieldOnly()
{
    QFETCH(Action, action);
    QFETCH(int, offset);
    QFETCH(QByteArray, expected);
    const QString key = uniqueKey();
    KZ_SharedMemSocked link(key);
    Requester requester(key);
    QVERIFY(requester.attach());
    action(link);
    QByteArray expectedBlock(312, '\0');
    expectedBlock.replace(offset, expected.size(), expected);
    QCOMPARE(requester.bytes().toHex(), expectedBlock.toHex());
}

void TestSharedMem::requestProtocol_data()
{
    QTest::addColumn<Steps>("steps");
    using S = Step;
    // Each row ends with a step that the watcher must react to, so a signal too many from an earlier
    // step shows up in the counts of a later one.
    QTest::newRow("request answered, then withdrawn") << Steps{
        {S::Mark, 1, 0, 0, 0},        {S::RequestFlag, 1, 1, 0, 0}, {S::Result, 1, 1, 1, 1},
        {S::RequestFlag, 0, 1, 1, 0}, {S::RequestFlag, 1, 2, 1, 0}, {S::Result, -1, 2, 2, -1},
        {S::RequestFlag, 0, 2, 2, 0},
    };
    QTest::newRow("the same result after idle is new again") << Steps{
        {S::Mark, 1, 0, 0, 0},        {S::RequestFlag, 1, 1, 0, 0}, {S::Result, 1, 1, 1, 1},
        {S::RequestFlag, 0, 1, 1, 0}, {S::RequestFlag, 1, 2, 1, 0}, {S::Result, 1, 2, 2, 1},
    };
    QTest::newRow("another flag value clears like a withdrawal") << Steps{
        {S::Mark, 1, 0, 0, 0},        {S::RequestFlag, 1, 1, 0, 0}, {S::Result, 1, 1, 1, 1},
        {S::RequestFlag, 2, 1, 1, 0}, {S::RequestFlag, 1, 2, 1, 0},
    };
}

void TestSharedMem::requestProtocol()
{
    QFETCH(Steps, steps);
    const QString key = uniqueKey();
    KZ_SharedMemSocked link(key);
    Requester requester(key);
    QVERIFY(requester.attach());
    QSignalSpy requests(&link, &KZ_SharedMemSocked::SIGNAL_ProgrammingRequestPendig);
    QSignalSpy finishes(&link, &KZ_SharedMemSocked::SIGNAL_ProgrammingFinished);

    for (int i = 0; i < steps.size(); ++i) {
        const Step &step = steps.at(i);
        switch (step.actor) {
        case Step::RequestFlag:
            requester.setRequest(quint8(step.value));
            break;
        case Step::Result:
            link.setProgrammingResult(step.value);
            break;
        case Step::Mark:
            link.setStatusDebugMonitor(step.value != 0);
            break;
        }
        const QByteArray where = "step " + QByteArray::number(i);
        QTRY_VERIFY2_WITH_TIMEOUT(requests.count() == step.expectedRequests, where.constData(), 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(finishes.count() == step.expectedFinishes, where.constData(), 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(requester.result() == step.expectedResult, where.constData(), 10000);
    }
    // The finish signal reports only that a result arrived.
    for (const QList<QVariant> &arguments : qAsConst(finishes))
        QCOMPARE(arguments.at(0).value<qint16>(), qint16(-1));
    requester.setRequest(0);
}

// QSharedMemory warns when its lock is taken while the same object holds it already, which happens when
// the GUI thread's accessors and the watcher use the one object without excluding each other.
void TestSharedMem::accessorsAndWatcherExcludeEachOther()
{
    const QString key = uniqueKey();
    KZ_SharedMemSocked link(key);
    LogRecorder log;
    for (int i = 0; i < 20000; ++i)
        link.setProgrammingResult(0);
    QCOMPARE(log.count("QSharedMemory"), 0);
}

void TestSharedMem::secondInstanceSeesTheMark()
{
    const QString key = uniqueKey();
    KZ_SharedMemSocked first(key);
    first.setStatusDebugMonitor(true);
    {
        KZ_SharedMemSocked second(key);
        QVERIFY(second.isStatusDebugMonitorSet());
        second.setStatusDebugMonitor(true);
        // The instance that ends clears the mark, though the other one still runs.
        second.setStatusDebugMonitor(false);
    }
    QVERIFY(!first.isStatusDebugMonitorSet());
}

void TestSharedMem::endingWithdrawsAPendingRequest()
{
    const QString key = uniqueKey();
    Requester requester(key);
    LogRecorder log;
    {
        KZ_SharedMemSocked link(key);
        QVERIFY(requester.attach());
        QSignalSpy requests(&link, &KZ_SharedMemSocked::SIGNAL_ProgrammingRequestPendig);
        requester.setRequest(1);
        QTRY_COMPARE_WITH_TIMEOUT(requests.count(), 1, 10000);
        QVERIFY(link.isStatusProgrammingRequestSet());
    }
    QCOMPARE(requester.bytes().at(1), '\0');
    QCOMPARE(log.count("Kill Pending"), 1);
    QCOMPARE(log.count("Detach SharedMemory"), 1);
}

void TestSharedMem::deviceNameIsCutToFit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("stored");

    const QByteArray a151(151, 'a');
    QTest::newRow("short") << QStringLiteral("Zelvan Mini [0xZV000001]")
                           << QByteArray("Zelvan Mini [0xZV000001]");
    QTest::newRow("152 bytes fit") << QString(152, 'n') << QByteArray(152, 'n');
    QTest::newRow("longer is cut") << QString(400, 'n') << QByteArray(152, 'n');
    QTest::newRow("two-byte letter across the end") << QString::fromUtf8(a151 + "\xc3\xa4") << a151;
    QTest::newRow("three-byte sign across the end")
        << QString::fromUtf8(QByteArray(150, 'a') + "\xe2\x82\xac!") << QByteArray(150, 'a');
    QTest::newRow("four-byte sign across the end")
        << QString::fromUtf8(QByteArray(149, 'a') + "\xf0\x9f\x94\x8c") << QByteArray(149, 'a');
    QTest::newRow("two-byte letter ends exactly")
        << QString::fromUtf8(QByteArray(150, 'a') + "\xc3\xa4") << QByteArray(150, 'a') + "\xc3\xa4";
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestSharedMem::deviceNameIsCutToFit()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, stored);
    const QString key = uniqueKey();
    KZ_SharedMemSocked link(key);
    Requester requester(key);
    QVERIFY(requester.attach());
    requester.writeBytes(159, QByteArray(153, 'X')); // what a longer name left behind
    link.setNameOfConnectedDevice(name);
    const QByteArray block = requester.bytes();
    QCOMPARE(block.mid(159).toHex(), field(stored, 153).toHex());
    QCOMPARE(block.left(159), QByteArray(159, '\0'));
}

void TestSharedMem::pathIsReadUpToItsNulOnly_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("path");

    QTest::newRow("plain") << field("/home/kz/fw/Blink.hex", 150) << QStringLiteral("/home/kz/fw/Blink.hex");
    QTest::newRow("UTF-8") << field("/home/j\xc3\xbcrgen/fw.hex", 150)
                           << QString::fromUtf8("/home/jürgen/fw.hex");
    QTest::newRow("149 bytes and the NUL") << field(QByteArray(149, 'p'), 150) << QString(149, 'p');
    QTest::newRow("no NUL in the field") << QByteArray(150, 'p') << QString();
    QTest::newRow("empty") << QByteArray(150, '\0') << QString();
}

void TestSharedMem::pathIsReadUpToItsNulOnly()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, path);
    const QString key = uniqueKey();
    KZ_SharedMemSocked link(key);
    Requester requester(key);
    QVERIFY(requester.attach());
    // The bytes after the field are not part of the path, whatever they hold.
    requester.writeBytes(9, content + "NAME");
    QCOMPARE(link.getPath2Hexfile(), path);
}

void TestSharedMem::shortBlockIsNotUsed()
{
    const QString key = uniqueKey();
    Requester requester(key);
    QVERIFY(requester.create(100));
    const QByteArray before = requester.bytes();
    LogRecorder log;
    {
        KZ_SharedMemSocked link(key);
        QCOMPARE(log.count("Sharedmemory too small"), 1);
        link.setStatusDebugMonitor(true);
        link.setProgrammingResult(-1);
        link.setNameOfConnectedDevice("Zelvan Mini [0xZV000001]");
        QVERIFY(!link.isStatusDebugMonitorSet());
        QCOMPARE(link.getPath2Hexfile(), QString());
        QCOMPARE(log.count("Sharedmemory not set!"), 5);
        requester.setRequest(1);
    }
    // Not even the end of the link, which withdraws a pending request in a usable block, writes to it.
    QByteArray expected = before;
    expected[1] = 1;
    QCOMPARE(requester.bytes(), expected);
}

QTEST_GUILESS_MAIN(TestSharedMem)
#include "tst_sharedmem.moc"
