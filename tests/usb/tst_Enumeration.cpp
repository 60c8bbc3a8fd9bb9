// Device enumeration against the virtual bridge: additions, removals, shifting device numbers, the open
// board followed by its serial number, failing count and product strings.
#include "sim/VirtualBridge.h"
#include "sim/VirtualDevice.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/VirtualBoardFixture.h"
#include "tests/usb/UsbTests.h"
#include "usb/KZ_SI_USBXpressDev.h"

#include <QtTest>
#include <functional>

namespace {

QString entry(const QString &serial, const QString &description = QStringLiteral("Zelvan Mini"))
{
    return description + " [0x" + serial + "]";
}

// A worker on boards A, B, C ... whose signals are all counted. The bridge's lock is held while the
// worker starts and the spies connect, so that its first refresh cannot come before them.
struct ListedWorker
{
    explicit ListedWorker(const QStringList &serials,
                          const std::function<void(VirtualBridge &)> &beforeStart = nullptr)
    {
        for (const QString &serial : serials)
            boards.append(fixture.addBoard(serial));
        if (beforeStart)
            beforeStart(fixture.bridge());
        fixture.bridge().withAllDevices([this](const QVector<VirtualDevice *> &, qint64) {
            worker.reset(new KZ_SI_USBXpressDev(fixture.library()));
            listChanged.reset(
                new QSignalSpy(worker.data(), &KZ_SI_USBXpressDev::SIGNAL_newDeviceListAvailable));
            closed.reset(new QSignalSpy(worker.data(), &KZ_SI_USBXpressDev::SIGNAL_connectionClosed));
        });
    }
    bool waitForFirstList() { return listChanged->count() > 0 || listChanged->wait(10000); }
    VirtualBoard board(const QString &serial) const
    {
        for (const VirtualBoard &board : boards) {
            if (board.serialNumber() == serial)
                return board;
        }
        qFatal("no board %s", qPrintable(serial));
    }

    VirtualBoardFixture fixture;
    QList<VirtualBoard> boards;
    QScopedPointer<KZ_SI_USBXpressDev> worker;
    QScopedPointer<QSignalSpy> listChanged;
    QScopedPointer<QSignalSpy> closed;
};

} // namespace

class TestEnumeration : public QObject
{
    Q_OBJECT

private slots:
    void firstRefreshSignalsOnceAndUnchangedRefreshesNothing_data();
    void firstRefreshSignalsOnceAndUnchangedRefreshesNothing();
    void listConnectedLateIsStillAnnounced();
    void newBoardIsAppended();
    void listedBoardKeepsPositionAndDescription();
    void duplicateSerialsGiveOneEntry();
    void adjacentBoardsVanishInOneRefresh();
    void openBoardUnplugged_data();
    void openBoardUnplugged();
    void failingCount_data();
    void failingCount();
    void failingProductString_data();
    void failingProductString();
};

void TestEnumeration::firstRefreshSignalsOnceAndUnchangedRefreshesNothing_data()
{
    QTest::addColumn<QStringList>("serials");
    QTest::newRow("no board") << QStringList();
    QTest::newRow("two boards") << QStringList{"A", "B"};
}

void TestEnumeration::firstRefreshSignalsOnceAndUnchangedRefreshesNothing()
{
    QFETCH(QStringList, serials);
    ListedWorker listed(serials);
    QVERIFY(listed.waitForFirstList());
    QVERIFY(listed.fixture.waitForRefresh());
    QVERIFY(listed.fixture.waitForRefresh());
    QCOMPARE(listed.listChanged->count(), 1);
    QStringList expected;
    for (const QString &serial : serials)
        expected.append(entry(serial));
    QCOMPARE(listed.worker->getDeviceList(), expected);
}

void TestEnumeration::listConnectedLateIsStillAnnounced()
{
    VirtualBoardFixture fixture;
    fixture.addBoard("A");
    KZ_SI_USBXpressDev worker(fixture.library());
    // The first refresh runs before anybody listens.
    QVERIFY(QTest::qWaitFor([&] { return worker.getDeviceList().size() == 1; }, 10000));
    QSignalSpy listChanged(&worker, &KZ_SI_USBXpressDev::SIGNAL_newDeviceListAvailable);
    QVERIFY(fixture.waitForRefresh());
    QCOMPARE(listChanged.count(), 1);
    QVERIFY(fixture.waitForRefresh());
    QCOMPARE(listChanged.count(), 1);
}

void TestEnumeration::newBoardIsAppended()
{
    ListedWorker listed({"A", "B"});
    QVERIFY(listed.waitForFirstList());
    LogRecorder log;
    listed.fixture.addBoard("C", "Bench board");
    QVERIFY(listed.fixture.waitForRefresh());
    QCOMPARE(listed.worker->getDeviceList(),
             QStringList({entry("A"), entry("B"), entry("C", "Bench board")}));
    QCOMPARE(listed.listChanged->count(), 2);
    QCOMPARE(log.count("KZ_SI_USBXpressDev::fillListOfDevice: Add Device Index"), 1);
}

void TestEnumeration::listedBoardKeepsPositionAndDescription()
{
    ListedWorker listed({"A", "B", "C"});
    QVERIFY(listed.waitForFirstList());
    listed.board("A").unplug();
    QVERIFY(listed.fixture.waitForRefresh());
    QCOMPARE(listed.worker->getDeviceList(), QStringList({entry("B"), entry("C")}));

    // A comes back with device number 0 but is appended; B's new description is not taken over.
    listed.board("A").plug();
    listed.board("B").setDescription("Renamed");
    QVERIFY(listed.fixture.waitForRefresh());
    QCOMPARE(listed.worker->getDeviceList(), QStringList({entry("B"), entry("C"), entry("A")}));

    // Each position opens the board it shows, whatever its device number.
    QCOMPARE(listed.worker->openDevice(2), qint16(1));
    QVERIFY(listed.board("A").isOpenByHost());
    QCOMPARE(listed.worker->closeDev(), qint16(1));
    QCOMPARE(listed.worker->openDevice(0), qint16(1));
    QVERIFY(listed.board("B").isOpenByHost());
}

void TestEnumeration::duplicateSerialsGiveOneEntry()
{
    VirtualBoardFixture fixture;
    const VirtualBoard first = fixture.addBoard("SAME", "first");
    const VirtualBoard second = fixture.addBoard("SAME", "second");
    KZ_SI_USBXpressDev worker(fixture.library());
    QVERIFY(fixture.waitForRefresh());
    QCOMPARE(worker.getDeviceList(), QStringList{entry("SAME", "first")});
    // The entry follows the higher device number.
    QCOMPARE(worker.openDevice(0), qint16(1));
    QVERIFY(second.isOpenByHost());
    QVERIFY(!first.isOpenByHost());
}

void TestEnumeration::adjacentBoardsVanishInOneRefresh()
{
    ListedWorker listed({"A", "B", "C", "D"});
    QVERIFY(listed.waitForFirstList());
    LogRecorder log;
    listed.fixture.unplugTogether({"B", "C"});
    QVERIFY(listed.fixture.waitForRefresh());
    QCOMPARE(listed.worker->getDeviceList(), QStringList({entry("A"), entry("D")}));
    QCOMPARE(listed.listChanged->count(), 2);
    QCOMPARE(log.lines().filter("Remove Device Index 1").size(), 2);
}

void TestEnumeration::openBoardUnplugged_data()
{
    QTest::addColumn<QString>("open");
    QTest::addColumn<QString>("firstUnplug");
    QTest::addColumn<QString>("secondUnplug"); // empty: none
    QTest::addColumn<bool>("closed");

    QTest::newRow("device numbers unchanged") << "B"
                                              << "B"
                                              << "" << true;
    QTest::newRow("after the numbers shifted") << "C"
                                               << "A"
                                               << "C" << true;
    QTest::newRow("another board takes the open board's old number") << "B"
                                                                     << "A"
                                                                     << "C" << false;
}

void TestEnumeration::openBoardUnplugged()
{
    QFETCH(QString, open);
    QFETCH(QString, firstUnplug);
    QFETCH(QString, secondUnplug);
    QFETCH(bool, closed);

    ListedWorker listed({"A", "B", "C"});
    QVERIFY(listed.waitForFirstList());
    QCOMPARE(listed.worker->openDevice(quint16(listed.worker->getDeviceList().indexOf(entry(open)))),
             qint16(1));
    listed.board(firstUnplug).unplug();
    QVERIFY(listed.fixture.waitForRefresh());
    if (!secondUnplug.isEmpty()) {
        listed.board(secondUnplug).unplug();
        QVERIFY(listed.fixture.waitForRefresh());
    }

    QCOMPARE(listed.closed->count(), closed ? 1 : 0);
    QCOMPARE(listed.worker->isOpen(), !closed);
    QCOMPARE(listed.board(open).isOpenByHost(), !closed && listed.board(open).isPlugged());
}

void TestEnumeration::failingCount_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("logged");
    QTest::newRow("device not found") << 255 << "SI_DEVICE_NOT_FOUND";
    QTest::newRow("invalid parameter") << 6 << "SI_INVALID_PARAMETER";
    QTest::newRow("other status") << 8 << "";
}

void TestEnumeration::failingCount()
{
    QFETCH(int, status);
    QFETCH(QString, logged);

    ListedWorker listed({"A", "B"});
    QVERIFY(listed.waitForFirstList());
    QCOMPARE(listed.worker->openDevice(0), qint16(1));
    LogRecorder log;
    listed.fixture.bridge().injectStatus(BridgeOperation::GetNumDevices, status);
    QVERIFY(listed.fixture.waitForRefresh());
    // A failed count sees no board: every entry goes, the open one closed.
    QCOMPARE(log.count("KZ_SI_USBXpressDev::getNumUSBdevs: " + logged), logged.isEmpty() ? 0 : 1);
    QCOMPARE(log.count("Remove Device Index"), 2);
    QCOMPARE(listed.closed->count(), 1);
    QVERIFY(!listed.board("A").isOpenByHost());
    QVERIFY(listed.fixture.waitForRefresh());
    QCOMPARE(listed.worker->getDeviceList(), QStringList({entry("A"), entry("B")}));
}

void TestEnumeration::failingProductString_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("firstList");
    QTest::addColumn<QString>("logged");
    QTest::newRow("device not found ends the scan")
        << 255 << QStringList{entry("A")} << "SI_DEVICE_NOT_FOUND";
    QTest::newRow("invalid parameter ends the scan")
        << 6 << QStringList{entry("A")} << "SI_INVALID_PARAMETER";
    QTest::newRow("other status leaves the string empty")
        << 8 << QStringList({entry("A"), entry("B", ""), entry("C")}) << "";
}

void TestEnumeration::failingProductString()
{
    QFETCH(int, status);
    QFETCH(QStringList, firstList);
    QFETCH(QString, logged);

    LogRecorder log;
    // The description of device 1 (after A's description and serial number) fails once.
    ListedWorker listed({"A", "B", "C"}, [status](VirtualBridge &bridge) {
        bridge.injectStatus(BridgeOperation::GetProductString, status, 1, VirtualBridge::FaultEffect::Skipped,
                            2);
    });
    QVERIFY(listed.waitForFirstList());
    QCOMPARE(listed.worker->getDeviceList(), firstList);
    QCOMPARE(log.count("KZ_SI_USBXpressDev::getDeviceInfo: " + logged), logged.isEmpty() ? 0 : 1);

    // Boards left out are appended by the next refresh that reads them.
    QVERIFY(listed.fixture.waitForRefresh());
    QCOMPARE(listed.worker->getDeviceList().size(), 3);
}

int runEnumerationTests(int argc, char **argv)
{
    TestEnumeration test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Enumeration.moc"
