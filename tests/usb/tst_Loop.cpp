// The device thread loop: delivery per pass, silence while idle, the end of the thread, the reader of
// the receive ring in TLV mode, and the cut-off of an update without a board.
#include "debugdata/KZ_Debug_TLV_Server.h"
#include "sim/TlvFrameEncoder.h"
#include "sim/VirtualBridge.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/VirtualBoardFixture.h"
#include "tests/support/WorkerConsole.h"
#include "tests/usb/UsbTests.h"
#include "usb/KZ_SI_USBXpressDev.h"

#include <QMutex>
#include <QtTest>
#include <atomic>
#include <memory>

namespace {

bool waitForList(KZ_SI_USBXpressDev &worker, int boards)
{
    return QTest::qWaitFor([&] { return worker.getDeviceList().size() == boards; }, 10000);
}

QByteArray red(const char *text)
{
    return QByteArray("\x1b[31m") + text + "\x1b[0m";
}

// What a decoder makes of the bytes, fed in pieces as the loop would.
QByteArray decodeAll(const QByteArray &stream)
{
    KZ_Debug_TLV_Server decoder;
    QByteArray output;
    for (int at = 0; at < stream.size(); at += 1000) {
        const QByteArray piece = stream.mid(at, 1000);
        decoder.ReceiveBytes(reinterpret_cast<const quint8 *>(piece.constData()), 0, quint16(piece.size()),
                             quint16(piece.size()));
        quint8 byte = 0;
        while (decoder.ReadOutputByte(&byte) == 1)
            output.append(char(byte));
    }
    return output;
}

} // namespace

class TestLoop : public QObject
{
    Q_OBJECT

private slots:
    void serialModeSignalsOncePerPassWithBytes();
    void nothingEmittedWhileIdle_data();
    void nothingEmittedWhileIdle();
    void threadEndsWhenDestroyed_data();
    void threadEndsWhenDestroyed();
    void tlvModeOwnsTheReceiveRing();
    void tlvBoardTextArrivesWhole();
    void waitingBytesGoToTheNewReader();
    void updateWithoutBoardIsCutOff();
    void everyUpdateStartGetsOneFinish();
};

void TestLoop::serialModeSignalsOncePerPassWithBytes()
{
    VirtualBoardFixture fixture;
    VirtualBoard board = fixture.addBoard("ZV1");
    board.setDebugIntervalMs(3);
    KZ_SI_USBXpressDev worker(fixture.library());
    WorkerConsole console(worker);
    std::atomic<int> emitted{0};
    connect(
        &worker, &KZ_SI_USBXpressDev::SIGNAL_newDataAvailable, &worker,
        [&emitted](quint8 type) { emitted += type == 0 ? 1 : 0; }, Qt::DirectConnection);
    QVERIFY(waitForList(worker, 1));
    QCOMPARE(worker.openDevice(0), qint16(1));
    // Some passes find bytes and then fail to read them: they signal all the same.
    fixture.bridge().injectStatus(BridgeOperation::Read, Bridge::ReadError, 5);
    QTRY_VERIFY_WITH_TIMEOUT(fixture.bridge().callCount(BridgeOperation::Read) > 50, 20000);
    QCOMPARE(worker.closeDev(), qint16(1));

    // Every pass with bytes makes exactly one read call and one signal (the last pass may still be
    // between the two).
    QTRY_COMPARE_WITH_TIMEOUT(quint64(emitted.load()), fixture.bridge().callCount(BridgeOperation::Read),
                              10000);
    QTRY_COMPARE(console.signalCount[0], emitted.load());
}

void TestLoop::nothingEmittedWhileIdle_data()
{
    QTest::addColumn<bool>("open");
    QTest::newRow("no board open") << false;
    QTest::newRow("open board that sends nothing") << true;
}

void TestLoop::nothingEmittedWhileIdle()
{
    QFETCH(bool, open);
    VirtualBoardFixture fixture;
    fixture.addErasedBoard("ZV1");
    KZ_SI_USBXpressDev worker(fixture.library());
    QVERIFY(waitForList(worker, 1));
    if (open)
        QCOMPARE(worker.openDevice(0), qint16(1));
    QSignalSpy data(&worker, &KZ_SI_USBXpressDev::SIGNAL_newDataAvailable);
    QSignalSpy closed(&worker, &KZ_SI_USBXpressDev::SIGNAL_connectionClosed);
    QSignalSpy finished(&worker, &KZ_SI_USBXpressDev::SIGNAL_FirmwareWriteFinish);
    QSignalSpy list(&worker, &KZ_SI_USBXpressDev::SIGNAL_newDeviceListAvailable);
    // The list, first refreshed before anybody listened, is announced once now that somebody does.
    QVERIFY(fixture.waitForRefresh());
    QCOMPARE(list.count(), 1);
    list.clear();
    QVERIFY(fixture.waitForRefresh());
    QCOMPARE(data.count() + closed.count() + finished.count() + list.count(), 0);
}

void TestLoop::threadEndsWhenDestroyed_data()
{
    QTest::addColumn<bool>("open");
    QTest::newRow("no board open") << false;
    QTest::newRow("board open and streaming") << true;
}

void TestLoop::threadEndsWhenDestroyed()
{
    QFETCH(bool, open);
    VirtualBoardFixture fixture(VirtualBridge::TimeMode::RealTime);
    VirtualBoard board = fixture.addBoard("ZV1");
    board.setFlood(true);
    LogRecorder log;
    auto *worker = new KZ_SI_USBXpressDev(fixture.library());
    QVERIFY(waitForList(*worker, 1));
    if (open)
        QCOMPARE(worker->openDevice(0), qint16(1));
    QVERIFY(worker->isRunning());
    delete worker;

    QCOMPARE(log.count("KZ_SI_USBXpressDev::run: Thread END"), 1);
    QVERIFY(!board.isOpenByHost());
}

void TestLoop::tlvModeOwnsTheReceiveRing()
{
    VirtualBoardFixture fixture;
    VirtualBoard board = fixture.addRecordedBoard("ZV1");
    board.setTlvOutput(true);
    board.setDebugIntervalMs(2);
    KZ_SI_USBXpressDev worker(fixture.library());
    WorkerConsole console(worker);
    worker.setTLVMode(true);
    QVERIFY(waitForList(worker, 1));
    QCOMPARE(worker.openDevice(0), qint16(1));

    // While the decoder reads the ring, the window's reader gets nothing, even when it asks.
    for (int i = 0; i < 100; ++i) {
        quint8 byte = 0xEE;
        QCOMPARE(worker.RxLength(), quint16(0));
        QCOMPARE(worker.ReadRxByte(&byte), qint8(-1));
        QCOMPARE(byte, quint8(0xEE));
        QTest::qWait(2);
    }
    board.setDebugIntervalMs(100000);
    const QByteArray expected = decodeAll(board.transcript());
    QVERIFY(expected.contains("Firmware Zelvan Demo 0.9 started"));
    QTRY_COMPARE_WITH_TIMEOUT(console.decoded, expected, 10000);
    QCOMPARE(console.received, QByteArray());
    QCOMPARE(console.shortTakes, 0);
}

void TestLoop::tlvBoardTextArrivesWhole()
{
    // The board's text as its firmware writes it, before framing; the lines take turns with the three
    // text tags. Flood lines carry 'U' (0x55), so escapes are on the wire as well.
    struct Sent
    {
        QMutex lock;
        QByteArray text;
        int lines = 0;
    };
    auto sent = std::make_shared<Sent>();
    VirtualBoardFixture fixture;
    VirtualBoard board = fixture.bridge().addBoard("ZV1", "Zelvan Mini", demoFirmwareImage(), false);
    board.setLineEncoder([sent](const QByteArray &line) {
        QMutexLocker lock(&sent->lock);
        sent->text += line;
        const quint8 tags[] = {TLV_TAG_TEXT_0, TLV_TAG_TEXT_1, TLV_TAG_TEXT_2};
        return TlvFrameEncoder::encodeTextLine(line, tags[sent->lines++ % 3]);
    });
    board.plug();
    KZ_SI_USBXpressDev worker(fixture.library());
    WorkerConsole console(worker);
    worker.setTLVMode(true);
    QVERIFY(waitForList(worker, 1));
    QCOMPARE(worker.openDevice(0), qint16(1));

    board.setFlood(true);
    QTRY_VERIFY_WITH_TIMEOUT(console.decoded.count("flood ") > 100, 10000);
    board.setFlood(false);
    board.setDebugIntervalMs(2);
    QTRY_VERIFY_WITH_TIMEOUT(console.decoded.count(" tick ") > 20, 10000);
    board.setDebugIntervalMs(1000000);
    const auto sentText = [&sent] {
        QMutexLocker lock(&sent->lock);
        return sent->text;
    };
    QTRY_COMPARE_WITH_TIMEOUT(console.decoded.size(), sentText().size(), 10000);

    QCOMPARE(console.decoded, sentText());
    QVERIFY(console.decoded.startsWith("\x1b[34m*** Zelvan board ***"));
    QCOMPARE(console.signalCount[0], 0);
    QCOMPARE(console.received, QByteArray());
    QCOMPARE(board.droppedBytes(), quint64(0));
}

void TestLoop::waitingBytesGoToTheNewReader()
{
    VirtualBoardFixture fixture;
    VirtualBoard board = fixture.addRecordedBoard("ZV1");
    board.setDebugIntervalMs(5);
    KZ_SI_USBXpressDev worker(fixture.library());
    QVERIFY(waitForList(worker, 1));
    QCOMPARE(worker.openDevice(0), qint16(1));
    // Nobody drains: bytes wait in the receive ring, then the board falls silent and the last of its
    // output reaches the ring.
    QTRY_VERIFY_WITH_TIMEOUT(worker.RxLength() > 100, 10000);
    board.setDebugIntervalMs(1000000);
    QTRY_COMPARE_WITH_TIMEOUT(int(worker.RxLength()), board.transcript().size(), 10000);
    const quint16 waiting = worker.RxLength();

    // A DataType 0 signal handled after the switch to TLV mode takes nothing.
    worker.setTLVMode(true);
    quint8 byte = 0xEE;
    QCOMPARE(worker.RxLength(), quint16(0));
    QCOMPARE(worker.ReadRxByte(&byte), qint8(-1));
    QCOMPARE(byte, quint8(0xEE));

    // Back in serial mode the window reads what waited.
    worker.setTLVMode(false);
    QCOMPARE(worker.RxLength(), waiting);
    QByteArray text;
    while (worker.ReadRxByte(&byte) == 1)
        text.append(char(byte));
    QCOMPARE(text.size(), int(waiting));
    QVERIFY(text.contains("Firmware Zelvan Demo 0.9 started"));
}

void TestLoop::updateWithoutBoardIsCutOff()
{
    VirtualBoardFixture fixture;
    fixture.addBoard("ZV1");
    KZ_SI_USBXpressDev worker(fixture.library());
    WorkerConsole console(worker);
    QSignalSpy finished(&worker, &KZ_SI_USBXpressDev::SIGNAL_FirmwareWriteFinish);

    worker.SLOT_StartFirmwareUpdate(QStringLiteral("/tmp/any.hex"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QCOMPARE(finished.first().first().value<qint8>(), qint8(-1));
    QTRY_VERIFY(console.messages.contains("disconnect"));
    QCOMPARE(console.messages, "<br><b>" + red("Bootloader Fail -> Device not connected!!") +
                                   "</b>\n<br><b>" +
                                   red("Bootloader Fail -> disconnect \xb5"
                                       "C during write firmware!!") +
                                   "</b>\n");
    QVERIFY(fixture.waitForRefresh());
    QCOMPARE(finished.count(), 1);
}

void TestLoop::everyUpdateStartGetsOneFinish()
{
    VirtualBoardFixture fixture;
    fixture.addBoard("ZV1");
    KZ_SI_USBXpressDev worker(fixture.library());
    QVERIFY(waitForList(worker, 1));
    QCOMPARE(worker.openDevice(0), qint16(1));
    QSignalSpy finished(&worker, &KZ_SI_USBXpressDev::SIGNAL_FirmwareWriteFinish);

    // Two starts back to back: the second one meets the first still running.
    worker.SLOT_StartFirmwareUpdate(QStringLiteral("/tmp/any.hex"));
    worker.SLOT_StartFirmwareUpdate(QStringLiteral("/tmp/any.hex"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 10000);
    QVERIFY(fixture.waitForRefresh());
    QCOMPARE(finished.count(), 2);
    for (const QList<QVariant> &result : finished)
        QCOMPARE(result.first().value<qint8>(), qint8(-1));
}

int runLoopTests(int argc, char **argv)
{
    TestLoop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Loop.moc"
