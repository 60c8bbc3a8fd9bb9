// Stress: a board streaming at full 115200 baud reaches the window's reader byte for byte; and a short
// soak of random plugging while a board streams.
#include "sim/VirtualBridge.h"
#include "tests/support/VirtualBoardFixture.h"
#include "tests/support/WorkerConsole.h"
#include "tests/usb/UsbTests.h"
#include "tools/zelvan-soak/SoakRun.h"
#include "usb/KZ_SI_USBXpressDev.h"

#include <QtTest>

class TestStress : public QObject
{
    Q_OBJECT

private slots:
    void fullSpeedStreamArrivesWhole();
    void shortSoak();
};

void TestStress::fullSpeedStreamArrivesWhole()
{
    VirtualBoardFixture fixture(VirtualBridge::TimeMode::RealTime);
    VirtualBoard board = fixture.addRecordedBoard("ZV1");
    KZ_SI_USBXpressDev worker(fixture.library());
    WorkerConsole console(worker);
    QTRY_COMPARE_WITH_TIMEOUT(worker.getDeviceList().size(), 1, 10000);
    QCOMPARE(worker.openDevice(0), qint16(1));
    // Streaming starts once connected: before, the bridge's own small buffer would overflow.
    board.setFlood(true);

    // A few seconds of stream: about 11.5 bytes per millisecond.
    QTest::qWait(4000);
    board.setFlood(false);
    board.setDebugIntervalMs(1000000);
    QTRY_VERIFY_WITH_TIMEOUT(console.received.size() >= board.transcript().size(), 20000);

    const QByteArray sent = board.transcript();
    QVERIFY2(sent.size() > 20000, qPrintable(QString::number(sent.size())));
    QCOMPARE(board.droppedBytes(), quint64(0));
    QCOMPARE(console.received.size(), sent.size());
    QVERIFY(console.received == sent);
    QCOMPARE(console.shortTakes, 0);
}

void TestStress::shortSoak()
{
    SoakOptions options;
    options.durationSeconds = 8;
    options.seed = 7;
    SoakRun soak(options);
    const SoakReport report = soak.run();
    QVERIFY2(report.ok(), qPrintable(report.problems.join('\n')));
    QVERIFY(report.plugChanges > 0);
    QVERIFY(report.connections > 0);
}

int runStressTests(int argc, char **argv)
{
    TestStress test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Stress.moc"
