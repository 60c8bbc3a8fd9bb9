// Connection and transport: refused opens and closes, and what each operation returns and logs for the
// statuses the bridge reports.
#include "sim/VirtualBridge.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/VirtualBoardFixture.h"
#include "tests/support/WorkerConsole.h"
#include "tests/usb/UsbTests.h"
#include "usb/KZ_SI_USBXpressDev.h"
#include "usb/bridge/BridgeStatusName.h"

#include <QtTest>

Q_DECLARE_METATYPE(BridgeOperation)
Q_DECLARE_METATYPE(VirtualBridge::FaultEffect)

namespace {

using Effect = VirtualBridge::FaultEffect;

// Waits for the worker's first list refresh, which runs on its first pass.
bool waitForList(KZ_SI_USBXpressDev &worker, int boards)
{
    return QTest::qWaitFor([&] { return worker.getDeviceList().size() == boards; }, 10000);
}

} // namespace

class TestTransport : public QObject
{
    Q_OBJECT

private slots:
    void openOutOfRange_data();
    void openOutOfRange();
    void secondOpenLeavesTheFirst();
    void closeWhenClosed();
    void sendWhenClosed();
    void injectedStatus_data();
    void injectedStatus();
    void receiveFaults_data();
    void receiveFaults();
};

void TestTransport::openOutOfRange_data()
{
    QTest::addColumn<int>("position");
    QTest::newRow("list size") << 2;
    QTest::newRow("no row chosen") << 65535;
}

void TestTransport::openOutOfRange()
{
    QFETCH(int, position);
    VirtualBoardFixture fixture;
    const VirtualBoard first = fixture.addBoard("ZV1");
    const VirtualBoard second = fixture.addBoard("ZV2");
    KZ_SI_USBXpressDev worker(fixture.library());
    QVERIFY(waitForList(worker, 2));
    LogRecorder log;

    QCOMPARE(worker.openDevice(quint16(position)), qint16(-1));
    QCOMPARE(log.count("KZ_SI_USBXpressDev::openDevice: Device to Open not exist"), 1);
    QVERIFY(!worker.isOpen());
    QVERIFY(!first.isOpenByHost());
    QVERIFY(!second.isOpenByHost());
}

void TestTransport::secondOpenLeavesTheFirst()
{
    VirtualBoardFixture fixture;
    VirtualBoard board = fixture.addRecordedBoard("ZV1");
    board.setDebugIntervalMs(10);
    KZ_SI_USBXpressDev worker(fixture.library());
    WorkerConsole console(worker);
    QVERIFY(waitForList(worker, 1));
    QCOMPARE(worker.openDevice(0), qint16(1));
    LogRecorder log;

    QCOMPARE(worker.openDevice(0), qint16(-1));
    QCOMPARE(log.count("KZ_SI_USBXpressDev::openDevice: Device already open"), 1);
    QVERIFY(worker.isOpen());
    QVERIFY(board.isOpenByHost());
    // The connection goes on: new lines keep arriving.
    const int before = console.received.size();
    QTRY_VERIFY_WITH_TIMEOUT(console.received.size() > before, 10000);
}

void TestTransport::closeWhenClosed()
{
    VirtualBoardFixture fixture;
    fixture.addBoard("ZV1");
    KZ_SI_USBXpressDev worker(fixture.library());
    QSignalSpy closed(&worker, &KZ_SI_USBXpressDev::SIGNAL_connectionClosed);
    LogRecorder log;

    QCOMPARE(worker.closeDev(true), qint16(-1));
    QCOMPARE(log.count("KZ_SI_USBXpressDev::closeDev: Device not open"), 1);
    QCOMPARE(closed.count(), 0);
}

void TestTransport::sendWhenClosed()
{
    VirtualBoardFixture fixture;
    fixture.addBoard("ZV1");
    KZ_SI_USBXpressDev worker(fixture.library());
    LogRecorder log;

    QCOMPARE(worker.sendData("\x7f", 1), quint16(0xFFFF));
    QCOMPARE(log.count("sendData"), 0);
    QCOMPARE(fixture.bridge().callCount(BridgeOperation::Write), quint64(0));
}

void TestTransport::injectedStatus_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<BridgeOperation>("operation");
    QTest::addColumn<int>("status");
    QTest::addColumn<Effect>("effect");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("logged"); // the error line's text after the tag; empty: no error line
    QTest::addColumn<bool>("openAfter");

    const auto name = [](int status) { return QString::fromLatin1(bridgeStatusName(status)); };
    // Open, baud rate and line control: a failure leaves nothing open, the library handle included.
    for (int status : {6, 11, 255})
        QTest::addRow("open %d", status) << "open" << BridgeOperation::Open << status << Effect::Skipped << -1
                                         << "openDevice: " + name(status) << false;
    QTest::newRow("open other status goes on")
        << "open" << BridgeOperation::Open << 8 << Effect::Performed << 1 << QString() << true;
    for (int status : {1, 6, 8, 9})
        QTest::addRow("baud %d", status) << "open" << BridgeOperation::SetBaudRate << status
                                         << Effect::Skipped << -1 << "openDevice: " + name(status) << false;
    QTest::newRow("baud other status goes on")
        << "open" << BridgeOperation::SetBaudRate << 4 << Effect::Skipped << 1 << QString() << true;
    for (int status : {1, 6, 8})
        QTest::addRow("line control %d", status)
            << "open" << BridgeOperation::SetLineControl << status << Effect::Skipped << -1
            << "openDevice: " + name(status) << false;
    QTest::newRow("line control other status goes on")
        << "open" << BridgeOperation::SetLineControl << 2 << Effect::Skipped << 1 << QString() << true;

    // Close: the listed statuses keep the board marked open; another one counts as closed while the
    // board stays marked open.
    for (int status : {1, 11, 12, 255})
        QTest::addRow("close %d", status) << "close" << BridgeOperation::Close << status << Effect::Skipped
                                          << -1 << "closeDev: " + name(status) << true;
    QTest::newRow("close other status")
        << "close" << BridgeOperation::Close << 4 << Effect::Skipped << 1 << QString() << true;

    for (int status : {1, 4, 6, 7, 8, 10, 12, 14, 15, 255})
        QTest::addRow("write %d", status) << "send" << BridgeOperation::Write << status << Effect::Skipped
                                          << 0xFFFF << "sendData: " + name(status) << true;
    QTest::newRow("write other status")
        << "send" << BridgeOperation::Write << 9 << Effect::Skipped << 1 << QString() << true;

    for (int status : {1, 12})
        QTest::addRow("flush %d", status) << "flush" << BridgeOperation::FlushBuffers << status
                                          << Effect::Skipped << -1 << "flushBuffers: " + name(status) << true;
    QTest::newRow("flush other status")
        << "flush" << BridgeOperation::FlushBuffers << 6 << Effect::Skipped << 1 << QString() << true;

    for (int status : {1, 6, 8, 10, 11, 255})
        QTest::addRow("reset latch %d", status)
            << "reset" << BridgeOperation::WriteLatch << status << Effect::Skipped << -1
            << "setReset: " + name(status) << true;
    QTest::newRow("reset latch other status")
        << "reset" << BridgeOperation::WriteLatch << 4 << Effect::Skipped << 1 << QString() << true;
    for (int status : {8, 255})
        QTest::addRow("boot0 latch %d", status)
            << "boot0" << BridgeOperation::WriteLatch << status << Effect::Skipped << -1
            << "setBoot0: " + name(status) << true;
}

void TestTransport::injectedStatus()
{
    QFETCH(QString, call);
    QFETCH(BridgeOperation, operation);
    QFETCH(int, status);
    QFETCH(Effect, effect);
    QFETCH(int, result);
    QFETCH(QString, logged);
    QFETCH(bool, openAfter);

    VirtualBoardFixture fixture;
    const VirtualBoard board = fixture.addBoard("ZV1");
    KZ_SI_USBXpressDev worker(fixture.library());
    QVERIFY(waitForList(worker, 1));
    if (call != "open")
        QCOMPARE(worker.openDevice(0), qint16(1));
    QSignalSpy closed(&worker, &KZ_SI_USBXpressDev::SIGNAL_connectionClosed);
    LogRecorder log;

    fixture.bridge().injectStatus(operation, status, 1, effect);
    int returned = 0;
    if (call == "open")
        returned = worker.openDevice(0);
    else if (call == "close")
        returned = worker.closeDev(true);
    else if (call == "send")
        returned = worker.sendData("\x7f", 1);
    else if (call == "flush")
        returned = worker.flushBuffers();
    else if (call == "reset")
        returned = worker.setReset(true);
    else if (call == "boot0")
        returned = worker.setBoot0(true);

    QCOMPARE(returned, result);
    const QStringList errors = log.lines().filter("ERROR");
    if (logged.isEmpty())
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    else
        QCOMPARE(errors, QStringList{"ERROR[FileLoader]->KZ_SI_USBXpressDev::" + logged});
    QCOMPARE(worker.isOpen(), openAfter);
    if (call == "open")
        QCOMPARE(board.isOpenByHost(), openAfter);
    if (call == "close")
        QCOMPARE(closed.count(), result == 1 ? 1 : 0);
}

void TestTransport::receiveFaults_data()
{
    QTest::addColumn<BridgeOperation>("operation");
    QTest::addColumn<int>("status");
    QTest::addColumn<Effect>("effect");
    QTest::addColumn<QString>("logged");

    const auto name = [](int status) { return QString::fromLatin1(bridgeStatusName(status)); };
    for (int status : {1, 6, 8})
        QTest::addRow("queue check %d", status) << BridgeOperation::CheckRxQueue << status << Effect::Skipped
                                                << "BytesAvailable: " + name(status);
    QTest::newRow("queue check other status still reads")
        << BridgeOperation::CheckRxQueue << 3 << Effect::Performed << "BytesAvailable: SI Unkown Error 3";
    for (int status : {1, 2, 6, 7, 8, 12, 13, 15})
        QTest::addRow("read %d", status)
            << BridgeOperation::Read << status << Effect::Skipped << "ReadData: " + name(status);
    QTest::newRow("read other status counts as success")
        << BridgeOperation::Read << 3 << Effect::Performed << QString();
}

void TestTransport::receiveFaults()
{
    QFETCH(BridgeOperation, operation);
    QFETCH(int, status);
    QFETCH(Effect, effect);
    QFETCH(QString, logged);

    VirtualBoardFixture fixture;
    VirtualBoard board = fixture.addRecordedBoard("ZV1");
    board.setDebugIntervalMs(5);
    KZ_SI_USBXpressDev worker(fixture.library());
    WorkerConsole console(worker);
    QVERIFY(waitForList(worker, 1));
    QCOMPARE(worker.openDevice(0), qint16(1));
    QTRY_VERIFY_WITH_TIMEOUT(!console.received.isEmpty(), 10000);
    LogRecorder log;

    const quint64 callsBefore = fixture.bridge().callCount(operation);
    fixture.bridge().injectStatus(operation, status, 3, effect);
    QTRY_VERIFY_WITH_TIMEOUT(fixture.bridge().callCount(operation) >= callsBefore + 4, 10000);

    const QStringList errors = log.lines().filter("ERROR");
    if (logged.isEmpty())
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    else
        QCOMPARE(errors.filter("KZ_SI_USBXpressDev::" + logged).size(), 3);
    // A failed pass loses nothing: the bytes wait in the bridge for the next pass.
    board.setDebugIntervalMs(100000);
    QTRY_COMPARE_WITH_TIMEOUT(console.received, board.transcript(), 10000);
    QCOMPARE(console.shortTakes, 0);
}

int runTransportTests(int argc, char **argv)
{
    TestTransport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Transport.moc"
