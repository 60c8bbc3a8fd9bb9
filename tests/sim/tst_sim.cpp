// The virtual bridge and board: device numbers, handles, argument checks, the STM32's start, the
// firmware's output, line settings, wire time, buffers, scripted statuses, the call record, the board list.
#include "sim/FirmwareProgram.h"
#include "sim/VirtualBoardList.h"
#include "sim/VirtualBridge.h"
#include "sim/VirtualDevice.h"

#include <QtTest>

Q_DECLARE_METATYPE(VirtualStm32::RunState)

namespace {

constexpr qint64 Ms = 1'000'000;

Bridge::Handle openDevice(VirtualBridge &bridge, quint32 number)
{
    Bridge::Handle handle = Bridge::NoHandle;
    const Bridge::Status status = bridge.open(number, &handle);
    return status == Bridge::Success ? handle : Bridge::NoHandle;
}

QByteArray readAll(VirtualBridge &bridge, Bridge::Handle handle)
{
    quint32 queued = 0;
    quint32 queueStatus = 0;
    if (bridge.checkRxQueue(handle, &queued, &queueStatus) != Bridge::Success || queued == 0)
        return QByteArray();
    QByteArray bytes(int(queued), '\0');
    quint32 received = 0;
    bridge.read(handle, bytes.data(), queued, &received, nullptr);
    bytes.resize(int(received));
    return bytes;
}

quint32 queued(VirtualBridge &bridge, Bridge::Handle handle)
{
    quint32 count = 0;
    quint32 queueStatus = 0;
    bridge.checkRxQueue(handle, &count, &queueStatus);
    return count;
}

QString productString(VirtualBridge &bridge, quint32 number, quint32 option)
{
    char text[Bridge::ProductStringSize];
    if (bridge.getProductString(number, text, option) != Bridge::Success)
        return QStringLiteral("<failed>");
    return QString::fromUtf8(text);
}

QByteArray misread(const QByteArray &bytes)
{
    QByteArray result = bytes;
    for (char &c : result)
        c = char(UartFormat::misread(quint8(c)));
    return result;
}

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void deviceNumbersFollowPluggedBoards();
    void deadHandles_data();
    void deadHandles();
    void handlesAcrossReplug();
    void argumentChecks_data();
    void argumentChecks();
    void resetAndBoot0StartTheChip();
    void firmwareOutput_data();
    void firmwareOutput();
    void mismatchedLineSettingGarbles_data();
    void mismatchedLineSettingGarbles();
    void wireTime_data();
    void wireTime();
    void receiveBuffersKeepTheOldest_data();
    void receiveBuffersKeepTheOldest();
    void injectedStatuses();
    void callsAreRecordedWithTheirTimes();
    void boardList_data();
    void boardList();
};

void TestSim::deviceNumbersFollowPluggedBoards()
{
    VirtualBridge bridge;
    quint32 count = 99;
    QCOMPARE(bridge.getNumDevices(&count), Bridge::DeviceNotFound);
    QCOMPARE(count, 0u);

    bridge.addBoard("A", "Alpha");
    VirtualBoard b = bridge.addBoard("B", "Beta");
    bridge.addBoard("C", "Gamma");
    QCOMPARE(bridge.getNumDevices(&count), Bridge::Success);
    QCOMPARE(count, 3u);
    QCOMPARE(productString(bridge, 1, Bridge::ProductSerialNumber), QString("B"));
    QCOMPARE(productString(bridge, 1, Bridge::ProductDescription), QString("Beta"));
    QCOMPARE(productString(bridge, 1, Bridge::ProductVid), QString("10C4"));

    b.unplug();
    QCOMPARE(bridge.getNumDevices(&count), Bridge::Success);
    QCOMPARE(count, 2u);
    QCOMPARE(productString(bridge, 1, Bridge::ProductSerialNumber), QString("C"));
    QCOMPARE(productString(bridge, 2, Bridge::ProductSerialNumber), QString("<failed>"));
    char text[Bridge::ProductStringSize];
    QCOMPARE(bridge.getProductString(2, text, Bridge::ProductSerialNumber), Bridge::DeviceNotFound);
    QCOMPARE(bridge.getProductString(0, text, 5), Bridge::InvalidParameter);
    QCOMPARE(bridge.getProductString(0, nullptr, Bridge::ProductSerialNumber), Bridge::InvalidParameter);

    // A board that comes back takes its place in the order the boards were added.
    b.plug();
    QCOMPARE(productString(bridge, 1, Bridge::ProductSerialNumber), QString("B"));
    QCOMPARE(productString(bridge, 2, Bridge::ProductSerialNumber), QString("C"));
}

void TestSim::deadHandles_data()
{
    QTest::addColumn<QString>("operation");
    for (const char *operation : {"read", "write", "queue", "flush", "baud", "line", "latch"})
        QTest::newRow(operation) << operation;
}

void TestSim::deadHandles()
{
    QFETCH(QString, operation);
    VirtualBridge bridge;
    VirtualBoard board = bridge.addBoard("A", "Alpha");
    const Bridge::Handle handle = openDevice(bridge, 0);
    QVERIFY(handle != Bridge::NoHandle);
    board.unplug();

    const auto call = [&](Bridge::Handle h) {
        quint8 buffer[4] = {};
        quint32 count = 0;
        quint32 queueStatus = 0;
        if (operation == "read")
            return bridge.read(h, buffer, sizeof buffer, &count, nullptr);
        if (operation == "write")
            return bridge.write(h, buffer, sizeof buffer, &count, nullptr);
        if (operation == "queue")
            return bridge.checkRxQueue(h, &count, &queueStatus);
        if (operation == "flush")
            return bridge.flushBuffers(h, 1, 1);
        if (operation == "baud")
            return bridge.setBaudRate(h, 115200);
        if (operation == "line")
            return bridge.setLineControl(h, Bridge::LineControl8N1);
        return bridge.writeLatch(h, Bridge::LatchReset, 0);
    };
    QCOMPARE(call(handle), Bridge::DeviceIoFailed);
    QCOMPARE(call(handle + 100), Bridge::InvalidHandle);
    QCOMPARE(bridge.close(handle), Bridge::Success);
    QCOMPARE(call(handle), Bridge::InvalidHandle);
}

void TestSim::handlesAcrossReplug()
{
    VirtualBridge bridge;
    VirtualBoard board = bridge.addBoard("A", "Alpha");
    const Bridge::Handle old = openDevice(bridge, 0);
    Bridge::Handle second = Bridge::NoHandle;
    QCOMPARE(bridge.open(0, &second), Bridge::DeviceNotFound);

    board.unplug();
    board.plug();
    const Bridge::Handle fresh = openDevice(bridge, 0);
    QVERIFY(fresh != Bridge::NoHandle && fresh != old);
    QCOMPARE(bridge.setBaudRate(old, 115200), Bridge::DeviceIoFailed);
    // Closing the handle of the earlier plug-in leaves the new connection alone.
    QCOMPARE(bridge.close(old), Bridge::Success);
    QVERIFY(board.isOpenByHost());
    QCOMPARE(bridge.setBaudRate(fresh, 115200), Bridge::Success);
}

void TestSim::argumentChecks_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<quint32>("first");
    QTest::addColumn<quint32>("second");
    QTest::addColumn<int>("status");

    QTest::newRow("read nothing") << "read" << 0u << 0u << Bridge::InvalidRequestLength;
    QTest::newRow("read too much") << "read" << 65537u << 0u << Bridge::InvalidRequestLength;
    QTest::newRow("read overlapped") << "read" << 16u << 1u << Bridge::FunctionNotSupported;
    QTest::newRow("read") << "read" << 16u << 0u << Bridge::Success;
    QTest::newRow("write nothing") << "write" << 0u << 0u << Bridge::InvalidRequestLength;
    QTest::newRow("write too much") << "write" << 4097u << 0u << Bridge::InvalidRequestLength;
    QTest::newRow("write") << "write" << 4096u << 0u << Bridge::Success;
    QTest::newRow("baud too slow") << "baud" << 299u << 0u << Bridge::InvalidBaudRate;
    QTest::newRow("baud too fast") << "baud" << 921601u << 0u << Bridge::InvalidBaudRate;
    QTest::newRow("baud 9600") << "baud" << 9600u << 0u << Bridge::Success;
    QTest::newRow("line 9 data bits") << "line" << 0x0900u << 0u << Bridge::InvalidParameter;
    QTest::newRow("line parity 5") << "line" << 0x0850u << 0u << Bridge::InvalidParameter;
    QTest::newRow("line stop code 3") << "line" << 0x0803u << 0u << Bridge::InvalidParameter;
    QTest::newRow("line 7O2") << "line" << 0x0712u << 0u << Bridge::Success;
    QTest::newRow("latch beyond the pins") << "latch" << 0x10u << 0x00u << Bridge::InvalidParameter;
    QTest::newRow("latch") << "latch" << 0x0Fu << 0x0Fu << Bridge::Success;
}

void TestSim::argumentChecks()
{
    QFETCH(QString, operation);
    QFETCH(quint32, first);
    QFETCH(quint32, second);
    QFETCH(int, status);

    VirtualBridge bridge;
    bridge.addBoard("A", "Alpha");
    const Bridge::Handle handle = openDevice(bridge, 0);
    QByteArray buffer(70000, '\0');
    quint32 count = 0;
    int overlapped = 0;
    Bridge::Status result = Bridge::Success;
    if (operation == "read")
        result = bridge.read(handle, buffer.data(), first, &count, second ? &overlapped : nullptr);
    else if (operation == "write")
        result = bridge.write(handle, buffer.constData(), first, &count, nullptr);
    else if (operation == "baud")
        result = bridge.setBaudRate(handle, first);
    else if (operation == "line")
        result = bridge.setLineControl(handle, quint16(first));
    else
        result = bridge.writeLatch(handle, quint8(first), quint8(second));
    QCOMPARE(result, status);
}

void TestSim::resetAndBoot0StartTheChip()
{
    VirtualBridge bridge(VirtualBridge::TimeMode::Instant);
    bridge.freezeClock();
    VirtualBoard board = bridge.addBoard("A", "Alpha");
    QCOMPARE(board.latch(), quint8(0x0F));
    QCOMPARE(board.chipState(), VirtualStm32::RunState::Firmware);
    const Bridge::Handle handle = openDevice(bridge, 0);
    bridge.advanceClock(10 * Ms);
    const QByteArray banner = FirmwareProgram::bannerText(DemoFirmwareIdentification);
    QCOMPARE(readAll(bridge, handle), banner);

    // RESET held low: the chip stops and sends nothing.
    QCOMPARE(bridge.writeLatch(handle, Bridge::LatchReset, 0), Bridge::Success);
    QCOMPARE(board.chipState(), VirtualStm32::RunState::HeldInReset);
    bridge.advanceClock(5000 * Ms);
    QCOMPARE(readAll(bridge, handle), QByteArray());

    // Released with BOOT0 high: the system bootloader, which answers the 8E1 sync byte with ACK.
    bridge.writeLatch(handle, Bridge::LatchBoot0, 0);
    bridge.writeLatch(handle, Bridge::LatchReset, Bridge::LatchReset);
    QCOMPARE(board.chipState(), VirtualStm32::RunState::SystemBootloader);
    bridge.setLineControl(handle, Bridge::LineControl8E1);
    quint32 written = 0;
    QCOMPARE(bridge.write(handle, "\x7f", 1, &written, nullptr), Bridge::Success);
    bridge.advanceClock(5000 * Ms);
    QCOMPARE(board.receivedByChip(), QByteArray("\x7f"));
    QCOMPARE(readAll(bridge, handle), QByteArray("\x79"));

    // Released with BOOT0 low: the firmware starts again.
    bridge.writeLatch(handle, Bridge::LatchReset, 0);
    bridge.writeLatch(handle, Bridge::LatchBoot0, Bridge::LatchBoot0);
    bridge.writeLatch(handle, Bridge::LatchReset, Bridge::LatchReset);
    bridge.setLineControl(handle, Bridge::LineControl8N1);
    QCOMPARE(board.chipState(), VirtualStm32::RunState::Firmware);
    bridge.advanceClock(10 * Ms);
    QCOMPARE(readAll(bridge, handle), banner);
}

void TestSim::firmwareOutput_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("identification"); // empty: the board stays silent

    const auto image = [](const QByteArray &content) {
        QByteArray bytes(2048, char(0xFF));
        bytes.replace(0x400, content.size(), content);
        return bytes;
    };
    QTest::newRow("demo") << demoFirmwareImage() << QByteArray(DemoFirmwareIdentification);
    QTest::newRow("named image") << image(QByteArray("ZELVAN-FW:TessunFix 1.0.31\0", 27))
                                 << QByteArray("TessunFix 1.0.31");
    QTest::newRow("no marker") << image("just code") << QByteArray("unknown");
    QTest::newRow("no NUL after the text") << image("ZELVAN-FW:Broken") << QByteArray("unknown");
    QTest::newRow("text too long") << image("ZELVAN-FW:" + QByteArray(64, 'x') + '\0')
                                   << QByteArray("unknown");
    QTest::newRow("63 characters") << image("ZELVAN-FW:" + QByteArray(63, 'y') + '\0') << QByteArray(63, 'y');
    QTest::newRow("first valid marker counts")
        << image(QByteArray("ZELVAN-FW:\x01\0ZELVAN-FW:Second\0", 29)) << QByteArray("Second");
    QTest::newRow("erased flash") << QByteArray() << QByteArray();
}

void TestSim::firmwareOutput()
{
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, identification);

    VirtualBridge bridge;
    bridge.freezeClock();
    bridge.addBoard("A", "Alpha", image);
    const Bridge::Handle handle = openDevice(bridge, 0);
    bridge.advanceClock(1500 * Ms);
    const QByteArray expected = identification.isEmpty() ? QByteArray()
                                                         : FirmwareProgram::bannerText(identification) +
                                                               FirmwareProgram::debugLine(1, 1000);
    QCOMPARE(readAll(bridge, handle), expected);
    if (!identification.isEmpty())
        QVERIFY(expected.startsWith("\x1b[34m") && expected.contains("\x1b[0m"));
}

void TestSim::mismatchedLineSettingGarbles_data()
{
    QTest::addColumn<quint32>("baudRate");
    QTest::addColumn<quint32>("lineControl");
    QTest::addColumn<bool>("garbled");
    QTest::newRow("115200 8N1") << 115200u << 0x0800u << false;
    QTest::newRow("even parity") << 115200u << 0x0820u << true;
    QTest::newRow("two stop bits") << 115200u << 0x0802u << true;
    QTest::newRow("9600 baud") << 9600u << 0x0800u << true;
}

void TestSim::mismatchedLineSettingGarbles()
{
    QFETCH(quint32, baudRate);
    QFETCH(quint32, lineControl);
    QFETCH(bool, garbled);

    VirtualBridge bridge(VirtualBridge::TimeMode::Instant);
    bridge.freezeClock();
    bridge.addBoard("A", "Alpha");
    const Bridge::Handle handle = openDevice(bridge, 0);
    QCOMPARE(bridge.setBaudRate(handle, baudRate), Bridge::Success);
    QCOMPARE(bridge.setLineControl(handle, quint16(lineControl)), Bridge::Success);
    bridge.advanceClock(10 * Ms);
    const QByteArray banner = FirmwareProgram::bannerText(DemoFirmwareIdentification);
    const QByteArray received = readAll(bridge, handle);
    QCOMPARE(received, garbled ? misread(banner) : banner);
    QVERIFY(misread(banner) != banner);
}

void TestSim::wireTime_data()
{
    QTest::addColumn<bool>("instant");
    QTest::addColumn<quint32>("lineControl");
    QTest::addColumn<int>("bitsPerByte");
    QTest::newRow("real time 8N1") << false << 0x0800u << 10;
    QTest::newRow("real time 8E1") << false << 0x0820u << 11;
    QTest::newRow("instant") << true << 0x0800u << 0;
}

void TestSim::wireTime()
{
    QFETCH(bool, instant);
    QFETCH(quint32, lineControl);
    QFETCH(int, bitsPerByte);

    VirtualBridge bridge(instant ? VirtualBridge::TimeMode::Instant : VirtualBridge::TimeMode::RealTime);
    bridge.freezeClock();
    VirtualBoard board = bridge.addBoard("A", "Alpha");
    const Bridge::Handle handle = openDevice(bridge, 0);
    bridge.setLineControl(handle, quint16(lineControl));
    bridge.advanceClock(10 * Ms);

    // Host to chip: byte n (from 1) is in after n frame times.
    quint32 written = 0;
    QCOMPARE(bridge.write(handle, QByteArray(100, 'x').constData(), 100, &written, nullptr), Bridge::Success);
    const qint64 fiftyBytesNs = 50LL * bitsPerByte * 1'000'000'000LL / 115200;
    if (!instant) {
        bridge.advanceClock(fiftyBytesNs - 1);
        QCOMPARE(board.receivedByChip().size(), 49);
        bridge.advanceClock(1);
    }
    QCOMPARE(board.receivedByChip().size(), instant ? 100 : 50);

    // Chip to host: a flood fills the line at 115200 baud 8N1 in both modes, 11520 bytes a second.
    bridge.setLineControl(handle, Bridge::LineControl8N1);
    readAll(bridge, handle);
    board.setFlood(true);
    bridge.advanceClock(1000 * Ms);
    QCOMPARE(queued(bridge, handle), instant ? 11520u + 64u : 11520u);
}

void TestSim::receiveBuffersKeepTheOldest_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<int>("capacity");
    QTest::newRow("no host: the bridge's own buffer") << false << VirtualDevice::DeviceBufferSize;
    QTest::newRow("open: the driver's queue") << true << VirtualDevice::HostQueueSize;
}

void TestSim::receiveBuffersKeepTheOldest()
{
    QFETCH(bool, open);
    QFETCH(int, capacity);

    VirtualBridge bridge(VirtualBridge::TimeMode::Instant);
    bridge.freezeClock();
    VirtualBoard board = bridge.addBoard("A", "Alpha");
    Bridge::Handle handle = open ? openDevice(bridge, 0) : Bridge::NoHandle;
    board.setFlood(true);
    bridge.advanceClock(8000 * Ms);
    if (!open)
        handle = openDevice(bridge, 0);

    const QByteArray received = readAll(bridge, handle);
    QCOMPARE(received.size(), capacity);
    QVERIFY(received.startsWith(FirmwareProgram::bannerText(DemoFirmwareIdentification) +
                                FirmwareProgram::floodLine(0)));
    QVERIFY(board.droppedBytes() > 0);
}

void TestSim::injectedStatuses()
{
    VirtualBridge bridge(VirtualBridge::TimeMode::Instant);
    bridge.freezeClock();
    bridge.addBoard("A", "Alpha");
    const Bridge::Handle handle = openDevice(bridge, 0);
    bridge.advanceClock(10 * Ms);
    quint32 count = 0;
    quint32 queueStatus = 0;

    // Performed: the queue count is there, the status is the injected one; after one good call, twice.
    bridge.injectStatus(BridgeOperation::CheckRxQueue, 3, 2, VirtualBridge::FaultEffect::Performed, 1);
    QCOMPARE(bridge.checkRxQueue(handle, &count, &queueStatus), Bridge::Success);
    count = 0;
    QCOMPARE(bridge.checkRxQueue(handle, &count, &queueStatus), 3);
    QVERIFY(count > 0);
    QCOMPARE(bridge.checkRxQueue(handle, &count, &queueStatus), 3);
    QCOMPARE(bridge.checkRxQueue(handle, &count, &queueStatus), Bridge::Success);

    // Skipped: a failed read takes nothing from the queue.
    bridge.injectStatus(BridgeOperation::Read, Bridge::ReadError);
    quint8 buffer[16];
    quint32 received = 0;
    QCOMPARE(bridge.read(handle, buffer, sizeof buffer, &received, nullptr), Bridge::ReadError);
    QCOMPARE(queued(bridge, handle), count);

    // For every call until cleared.
    bridge.injectStatus(BridgeOperation::WriteLatch, Bridge::FunctionNotSupported, -1);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(bridge.writeLatch(handle, 1, 1), Bridge::FunctionNotSupported);
    bridge.clearInjectedStatuses();
    QCOMPARE(bridge.writeLatch(handle, 1, 1), Bridge::Success);
    QCOMPARE(bridge.callCount(BridgeOperation::WriteLatch), quint64(6));
}

void TestSim::callsAreRecordedWithTheirTimes()
{
    VirtualBridge bridge;
    bridge.freezeClock();
    VirtualBoard board = bridge.addBoard("A", "Alpha");
    const qint64 startNs = bridge.nowNs();
    const Bridge::Handle handle = openDevice(bridge, 0);
    bridge.advanceClock(5 * Ms);
    bridge.setLineControl(handle, Bridge::LineControl8E1);
    bridge.advanceClock(50 * Ms);
    bridge.writeLatch(handle, Bridge::LatchReset, 0);
    bridge.setBaudRate(handle, 7); // refused, recorded with its status
    readAll(bridge, handle);

    const QVector<BridgeCall> calls = board.calls();
    QCOMPARE(calls.size(), 4);
    QCOMPARE(calls[0].operation, BridgeOperation::Open);
    QCOMPARE(calls[0].atNs, startNs);
    QCOMPARE(calls[1].operation, BridgeOperation::SetLineControl);
    QCOMPARE(calls[1].first, 0x0820u);
    QCOMPARE(calls[1].atNs, startNs + 5 * Ms);
    QCOMPARE(calls[2].operation, BridgeOperation::WriteLatch);
    QCOMPARE(calls[2].first, 1u);
    QCOMPARE(calls[2].second, 0u);
    QCOMPARE(calls[2].atNs, startNs + 55 * Ms);
    QCOMPARE(calls[3].operation, BridgeOperation::SetBaudRate);
    QCOMPARE(calls[3].status, Bridge::InvalidBaudRate);
}

void TestSim::boardList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("boards"); // "serial|description"
    QTest::addColumn<int>("errors");

    QTest::newRow("empty") << "" << QStringList() << 0;
    QTest::newRow("serial only") << "ZV000001" << QStringList{"ZV000001|Zelvan Mini"} << 0;
    QTest::newRow("two with blanks") << " A = Bench , B=Desk board " << QStringList{"A|Bench", "B|Desk board"}
                                     << 0;
    QTest::newRow("empty description kept") << "A=" << QStringList{"A|"} << 0;
    QTest::newRow("duplicates kept") << "A,A" << QStringList{"A|Zelvan Mini", "A|Zelvan Mini"} << 0;
    QTest::newRow("empty entries refused")
        << "A,,=Nobody,B" << QStringList{"A|Zelvan Mini", "B|Zelvan Mini"} << 2;
    QTest::newRow("too long refused") << "A," + QString(256, 'x') << QStringList{"A|Zelvan Mini"} << 1;
    QTest::newRow("255 bytes of UTF-8")
        << "A=" + QString(127, QChar(0xE4)) + "x" << QStringList{"A|" + QString(127, QChar(0xE4)) + "x"} << 0;
}

void TestSim::boardList()
{
    QFETCH(QString, text);
    QFETCH(QStringList, boards);
    QFETCH(int, errors);

    QStringList messages;
    QStringList found;
    for (const VirtualBoardSpec &board : parseVirtualBoards(text, &messages))
        found.append(board.serialNumber + "|" + board.description);
    QCOMPARE(found, boards);
    QCOMPARE(messages.size(), errors);
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
