// Boot and reset lines: the latch and line-control sequences as the virtual device records them, with
// the pauses between them, and the chip's start that follows.
#include "sim/VirtualBridge.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/VirtualBoardFixture.h"
#include "tests/usb/UsbTests.h"
#include "usb/KZ_SI_USBXpressDev.h"

#include <QtTest>

Q_DECLARE_METATYPE(VirtualStm32::RunState)

namespace {

constexpr qint64 PauseNs = 49'000'000; // the worker sleeps 50 ms; allow the clock's granularity

QString describe(const BridgeCall &call)
{
    if (call.operation == BridgeOperation::WriteLatch)
        return QStringLiteral("latch %1=%2").arg(call.first).arg(call.second);
    return QStringLiteral("line %1").arg(call.first, 4, 16, QLatin1Char('0'));
}

} // namespace

class TestBootLines : public QObject
{
    Q_OBJECT

private slots:
    void sequences_data();
    void sequences();
    void resetWithoutBoard();
    void failedLineControlKeepsTheBoardInReset();
};

void TestBootLines::sequences_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("pauseBefore"); // index of the call that follows the first pause
    QTest::addColumn<VirtualStm32::RunState>("chipState");

    QTest::newRow("into the bootloader")
        << "bootloader" << QStringList{"latch 1=0", "line 0820", "latch 2=0", "latch 1=1"} << 3
        << VirtualStm32::RunState::SystemBootloader;
    QTest::newRow("into the firmware")
        << "firmware" << QStringList{"latch 1=0", "line 0800", "latch 2=2", "latch 1=1"} << 3
        << VirtualStm32::RunState::Firmware;
    QTest::newRow("reset") << "reset" << QStringList{"latch 1=0", "latch 2=2", "latch 1=1"} << 2
                           << VirtualStm32::RunState::Firmware;
}

void TestBootLines::sequences()
{
    QFETCH(QString, action);
    QFETCH(QStringList, expected);
    QFETCH(int, pauseBefore);
    QFETCH(VirtualStm32::RunState, chipState);

    VirtualBoardFixture fixture;
    VirtualBoard board = fixture.addBoard("ZV1");
    KZ_SI_USBXpressDev worker(fixture.library());
    QTRY_COMPARE_WITH_TIMEOUT(worker.getDeviceList().size(), 1, 10000);
    QCOMPARE(worker.openDevice(0), qint16(1));
    board.clearCalls();

    if (action == "bootloader")
        worker.SetBootModeZelvan(true);
    else if (action == "firmware")
        worker.SetBootModeZelvan(false);
    else
        worker.ResetZelvan();
    const qint64 returnedNs = fixture.bridge().nowNs();

    QVector<BridgeCall> calls = board.calls();
    QStringList recorded;
    for (const BridgeCall &call : calls) {
        QCOMPARE(call.status, Bridge::Success);
        recorded.append(describe(call));
    }
    QCOMPARE(recorded, expected);
    QVERIFY(calls.at(pauseBefore).atNs - calls.at(pauseBefore - 1).atNs >= PauseNs);
    QVERIFY(returnedNs - calls.last().atNs >= PauseNs);
    QCOMPARE(board.chipState(), chipState);
}

void TestBootLines::resetWithoutBoard()
{
    VirtualBoardFixture fixture;
    KZ_SI_USBXpressDev worker(fixture.library());
    LogRecorder log;
    const qint64 startNs = fixture.bridge().nowNs();
    worker.ResetZelvan();

    QCOMPARE(fixture.bridge().callCount(BridgeOperation::WriteLatch), quint64(3));
    QCOMPARE(log.count("KZ_SI_USBXpressDev::setReset: SI_INVALID_HANDLE"), 2);
    QCOMPARE(log.count("KZ_SI_USBXpressDev::setBoot0: SI_INVALID_HANDLE"), 1);
    QVERIFY(fixture.bridge().nowNs() - startNs >= 2 * PauseNs);
}

void TestBootLines::failedLineControlKeepsTheBoardInReset()
{
    VirtualBoardFixture fixture;
    VirtualBoard board = fixture.addBoard("ZV1");
    KZ_SI_USBXpressDev worker(fixture.library());
    QTRY_COMPARE_WITH_TIMEOUT(worker.getDeviceList().size(), 1, 10000);
    QCOMPARE(worker.openDevice(0), qint16(1));
    board.clearCalls();
    LogRecorder log;

    fixture.bridge().injectStatus(BridgeOperation::SetLineControl, Bridge::DeviceIoFailed);
    worker.SetBootModeZelvan(true);

    QCOMPARE(log.count("KZ_SI_USBXpressDev::SetBootModeZelvan: SI_DEVICE_IO_FAILED"), 1);
    QStringList recorded;
    for (const BridgeCall &call : board.calls())
        recorded.append(describe(call));
    QCOMPARE(recorded, QStringList({"latch 1=0", "line 0820"}));
    QCOMPARE(board.chipState(), VirtualStm32::RunState::HeldInReset);
}

int runBootLineTests(int argc, char **argv)
{
    TestBootLines test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_BootLines.moc"
