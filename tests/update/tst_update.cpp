// Firmware updates end to end: the real device worker and its bootloader state machine against a virtual
// board, with the board's bootloader answering well, scripted to misbehave, or pulled off the bus.
#include "firmware/IntelHexConverter.h"
#include "sim/Stm32BootloaderFaults.h"
#include "sim/Stm32Flash.h"
#include "sim/VirtualBridge.h"
#include "tests/support/HexRecord.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/VirtualBoardFixture.h"
#include "tests/support/WorkerConsole.h"
#include "usb/KZ_SI_USBXpressDev.h"

#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

using Step = Stm32BootloaderFaults::Step;
using Reaction = Stm32BootloaderFaults::Reaction;

Q_DECLARE_METATYPE(Stm32BootloaderFaults)
Q_DECLARE_METATYPE(VirtualBridge::TimeMode)

namespace {

const QString BuiltInHex = QStringLiteral(":/hex/TessunFix_1_0_37.hex");
const char IdleEnd[] = "Bootloader IDEL -> set this->m_BootloaderActive = false";
constexpr int UpdateTimeoutMs = 60000;

// A message as the worker frames it in its message ring, and a red one.
QByteArray message(const QByteArray &text)
{
    return "<br><b>" + text + "</b>\n";
}

QByteArray red(const QByteArray &text)
{
    return message("\x1b[31m" + text + "\x1b[0m");
}

QByteArray notFound(const QString &path)
{
    return red("Hex-File not found under-> \"" + path.toLatin1() + "\"");
}

// The console of an accepted start: the write phase reached with blocksAcked blocks acknowledged (-1 when
// it was not reached), then the failure's red text if there is one, then the success or failure end.
QByteArray updateMessages(int blocksAcked, const QByteArray &failure, bool success)
{
    QByteArray text = message("<br>Bootloader Start!!");
    if (blocksAcked >= 0)
        text += message("Write Firmware File:") + "\n*" + QByteArray(blocksAcked, '*');
    if (!failure.isEmpty())
        text += red(failure);
    return text + (success ? message("") : red(IdleEnd));
}

// A firmware image of the given size that names itself as the board's firmware does.
QByteArray testImage(int size, const QByteArray &identification)
{
    QByteArray image;
    for (int i = 0; i < size; ++i)
        image.append(char((i * 7 + i / 256) & 0xFF));
    const QByteArray marker = "ZELVAN-FW:" + identification + '\0';
    image.replace(16, marker.size(), marker);
    return image;
}

QByteArray hexRecord(quint8 type, quint16 address, const QByteArray &data)
{
    return hexRecordLine(type, address, data) + "\r\n";
}

// The image as a HEX file from the flash base, 16 data bytes a record.
QByteArray hexText(const QByteArray &image)
{
    QByteArray text = hexRecord(0x04, 0, QByteArray::fromHex("0800"));
    for (int at = 0; at < image.size(); at += 16)
        text += hexRecord(0x00, quint16(at), image.mid(at, 16));
    return text + hexRecord(0x01, 0, QByteArray());
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

QByteArray convertedImage(const QString &hexPath)
{
    QFile hex(hexPath);
    QTemporaryFile image;
    if (convertHexFileToImage(&hex, &image) != HexConversion::Success)
        return QByteArray();
    return image.readAll();
}

QByteArray padded(const QByteArray &image)
{
    return image + QByteArray(Stm32Flash::Size - image.size(), char(0xFF));
}

// What the chip's USART takes in during an update that writes the image at the first attempt: sync,
// Get ID, Erase with global erase, then per block Write Memory, address and data frame.
QByteArray expectedWire(const QByteArray &image)
{
    QByteArray wire = QByteArray::fromHex("7f"
                                          "02fd"
                                          "43bc"
                                          "ff00");
    for (int at = 0; at < image.size(); at += 256) {
        const QByteArray block = image.mid(at, 256);
        const quint32 address = 0x08000000u + quint32(at);
        wire += QByteArray::fromHex("31ce");
        quint8 addressXor = 0;
        for (int shift = 24; shift >= 0; shift -= 8) {
            wire.append(char(quint8(address >> shift)));
            addressXor ^= quint8(address >> shift);
        }
        wire.append(char(addressXor));
        quint8 checksum = quint8(block.size() - 1);
        wire.append(char(checksum));
        for (char byte : block)
            checksum ^= quint8(byte);
        wire += block;
        wire.append(char(checksum));
    }
    return wire;
}

int leadingRepeats(const QByteArray &bytes, const QByteArray &unit, int from)
{
    int count = 0;
    while (bytes.mid(from + count * unit.size(), unit.size()) == unit)
        ++count;
    return count;
}

// Latch writes that drive BOOT0 high: one per restart into the system bootloader.
int bootloaderEntries(const VirtualBoard &board)
{
    int entries = 0;
    for (const BridgeCall &call : board.calls()) {
        if (call.operation == BridgeOperation::WriteLatch && call.first == Bridge::LatchBoot0 &&
            call.second == 0)
            ++entries;
    }
    return entries;
}

// What the board runs, its RESET and BOOT0 latch bits and the host's line setting, in one line.
QString boardState(const VirtualBoard &board)
{
    const char *const states[] = {"unpowered", "held in reset", "system bootloader", "firmware"};
    return QStringLiteral("%1, latch %2, line %3")
        .arg(QLatin1String(states[int(board.chipState())]))
        .arg(board.latch() & (Bridge::LatchReset | Bridge::LatchBoot0))
        .arg(board.hostFormat().lineControl, 4, 16, QLatin1Char('0'));
}

const QString RunningFirmware = QStringLiteral("firmware, latch 3, line 0800");

QList<int> results(const QSignalSpy &finished)
{
    QList<int> list;
    for (const QList<QVariant> &arguments : finished)
        list.append(arguments.first().value<qint8>());
    return list;
}

Stm32BootloaderFaults faultAt(Step step, int occurrence, Reaction reaction, const QByteArray &garbage = {})
{
    Stm32BootloaderFaults faults;
    faults.rules.append({step, occurrence, reaction, garbage});
    return faults;
}

// A worker with one open board, its console drained as the window drains it, and its finish reports.
struct Rig
{
    explicit Rig(VirtualBridge::TimeMode timeMode = VirtualBridge::TimeMode::Instant) : fixture(timeMode) {}

    bool open()
    {
        return QTest::qWaitFor([this] { return worker.getDeviceList().size() == 1; }, 10000) &&
               worker.openDevice(0) == 1;
    }

    VirtualBoardFixture fixture;
    VirtualBoard board = fixture.addBoard(QStringLiteral("ZV1"));
    KZ_SI_USBXpressDev worker{fixture.library()};
    WorkerConsole console{worker};
    QSignalSpy finished{&worker, &KZ_SI_USBXpressDev::SIGNAL_FirmwareWriteFinish};
};

// Waits for the finish reports, then a little longer, so that one report too many would show.
bool waitForFinishes(QSignalSpy &finished, int expected)
{
    if (!QTest::qWaitFor([&] { return finished.count() >= expected; }, UpdateTimeoutMs))
        return false;
    QTest::qWait(200);
    return finished.count() == expected;
}

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT

private slots:
    void writesTheImage_data();
    void writesTheImage();
    void bootloaderFaults_data();
    void bootloaderFaults();
    void everyUpdateStartsWithFreshRetries();
    void unplugDuringTheWrite();
    void refusedBeforeTheFlash_data();
    void refusedBeforeTheFlash();
    void refusalAfterAnEarlierUpdate();
    void startWhileAnUpdateRuns();
};

void TestUpdate::writesTheImage_data()
{
    QTest::addColumn<QByteArray>("image"); // empty: the built-in firmware file
    QTest::addColumn<QByteArray>("identification");
    QTest::addColumn<VirtualBridge::TimeMode>("timeMode");

    QTest::newRow("built-in 1.0.37") << QByteArray() << QByteArray("TessunFix 1.0.37")
                                     << VirtualBridge::TimeMode::Instant;
    QTest::newRow("512 bytes, real time")
        << testImage(512, "Test 512") << QByteArray("Test 512") << VirtualBridge::TimeMode::RealTime;
    QTest::newRow("257 bytes: the last block holds one byte")
        << testImage(257, "Test 257") << QByteArray("Test 257") << VirtualBridge::TimeMode::Instant;
}

void TestUpdate::writesTheImage()
{
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, identification);
    QFETCH(VirtualBridge::TimeMode, timeMode);

    QTemporaryDir dir;
    QString path = BuiltInHex;
    if (image.isEmpty())
        image = convertedImage(path);
    else
        path = writeFile(dir, "update.hex", hexText(image));
    QVERIFY(!image.isEmpty() && !path.isEmpty());
    const int blocks = (image.size() + 255) / 256;

    Rig rig(timeMode);
    QVERIFY(rig.open());
    rig.board.clearCalls();
    rig.worker.SLOT_StartFirmwareUpdate(path);
    QVERIFY(waitForFinishes(rig.finished, 1));

    QCOMPARE(results(rig.finished), QList<int>{1});
    QCOMPARE(rig.console.messages, updateMessages(blocks, QByteArray(), true));
    QCOMPARE(rig.board.receivedByChip(), expectedWire(image));
    QCOMPARE(rig.board.flash(), padded(image));
    QCOMPARE(boardState(rig.board), RunningFirmware);
    QTRY_VERIFY_WITH_TIMEOUT(rig.console.received.contains("Firmware " + identification + " started"), 10000);
}

void TestUpdate::bootloaderFaults_data()
{
    QTest::addColumn<Stm32BootloaderFaults>("faults");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("blocksAcked"); // -1: the flash was never erased
    QTest::addColumn<QByteArray>("failure");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<int>("logCount");
    QTest::addColumn<int>("syncs");
    QTest::addColumn<int>("getIds");

    // The image has three blocks: 256, 256 and 188 bytes.
    Stm32BootloaderFaults otherProduct;
    otherProduct.productId = 0x0414;
    QTest::newRow("no answer to sync")
        << faultAt(Step::Sync, 0, Reaction::Silence) << -1 << -1
        << QByteArray("Bootloader Fail -> EnterBootloader Time Error") << QString() << 0 << 6 << 0;
    QTest::newRow("another product") << otherProduct << -1 << -1
                                     << QByteArray("Bootloader Fail -> STM32 ID: 0x0414 not supported")
                                     << QString() << 0 << 1 << 6;
    QTest::newRow("NACK to the global erase")
        << faultAt(Step::EraseList, 1, Reaction::Nack) << -1 << -1
        << QByteArray("Bootloader Fail -> Time Error SM_FW_GlobalEraseReceive") << QString() << 0 << 1 << 1;
    QTest::newRow("NACK to the first write command")
        << faultAt(Step::WriteCommand, 1, Reaction::Nack) << -1 << 0 << QByteArray()
        << QStringLiteral("SM_FW_WriteFileReceiveCMD -> Get NACK 3") << 1 << 1 << 1;
    QTest::newRow("NACK to the second address")
        << faultAt(Step::WriteAddress, 2, Reaction::Nack) << -1 << 1 << QByteArray()
        << QStringLiteral("SM_FW_WriteFileReceiveAddr -> Get NACK 2") << 1 << 1 << 1;
    QTest::newRow("NACK to the last data block")
        << faultAt(Step::WriteData, 3, Reaction::Nack) << -1 << 2 << QByteArray()
        << QStringLiteral("SM_FW_WriteFileReceiveData -> Get NACK 1") << 1 << 1 << 1;
    QTest::newRow("silence at the second write command")
        << faultAt(Step::WriteCommand, 2, Reaction::Silence) << -1 << 1
        << QByteArray("Bootloader Fail -> Time Error SM_FW_WriteFileReceiveCMD") << QString() << 0 << 1 << 1;
    QTest::newRow("silence at the second data block")
        << faultAt(Step::WriteData, 2, Reaction::Silence) << -1 << 1
        << QByteArray("Bootloader Fail -> Time Error SM_FW_WriteFileReceiveData") << QString() << 0 << 1 << 1;
    // Stray bytes, NACKs among them, are dropped one per step.
    QTest::newRow("stray bytes before the sync ACK")
        << faultAt(Step::Sync, 1, Reaction::GarbageBefore, QByteArray::fromHex("001faa7f")) << 1 << 3
        << QByteArray() << QStringLiteral("SM_FW_GetDeviceIDSend ACK1 miss") << 0 << 1 << 1;
    QTest::newRow("stray bytes before the Get ID reply")
        << faultAt(Step::GetId, 1, Reaction::GarbageBefore, QByteArray::fromHex("001faa")) << 1 << 3
        << QByteArray() << QStringLiteral("SM_FW_GetDeviceIDSend ACK1 miss") << 3 << 1 << 1;
}

void TestUpdate::bootloaderFaults()
{
    QFETCH(Stm32BootloaderFaults, faults);
    QFETCH(int, result);
    QFETCH(int, blocksAcked);
    QFETCH(QByteArray, failure);
    QFETCH(QString, logLine);
    QFETCH(int, logCount);
    QFETCH(int, syncs);
    QFETCH(int, getIds);

    QTemporaryDir dir;
    const QByteArray image = testImage(700, "Fault test 1.0");
    const QString path = writeFile(dir, "update.hex", hexText(image));
    QVERIFY(!path.isEmpty());

    LogRecorder log;
    Rig rig;
    QVERIFY(rig.open());
    const QByteArray flashBefore = rig.board.flash();
    rig.board.setBootloaderFaults(faults);
    rig.board.clearCalls();
    rig.worker.SLOT_StartFirmwareUpdate(path);
    QVERIFY(waitForFinishes(rig.finished, 1));

    QCOMPARE(results(rig.finished), QList<int>{result});
    QCOMPARE(rig.console.messages, updateMessages(blocksAcked, failure, result == 1));
    if (!logLine.isEmpty())
        QCOMPARE(log.count(logLine), logCount);
    const QByteArray wire = rig.board.receivedByChip();
    QCOMPARE(leadingRepeats(wire, "\x7f", 0), syncs);
    QCOMPARE(bootloaderEntries(rig.board), syncs);
    QCOMPARE(leadingRepeats(wire, "\x02\xfd", syncs), getIds);
    if (blocksAcked < 0)
        QCOMPARE(rig.board.flash(), flashBefore);
    else
        QCOMPARE(rig.board.flash(), padded(image.left(256 * blocksAcked)));
    QCOMPARE(boardState(rig.board), RunningFirmware);
}

void TestUpdate::everyUpdateStartsWithFreshRetries()
{
    QTemporaryDir dir;
    const QByteArray image = testImage(300, "Retry test");
    const QString path = writeFile(dir, "update.hex", hexText(image));
    QVERIFY(!path.isEmpty());

    Rig rig;
    QVERIFY(rig.open());
    // The first update spends every retry of its Get ID phase.
    Stm32BootloaderFaults otherProduct;
    otherProduct.productId = 0x0414;
    rig.board.setBootloaderFaults(otherProduct);
    rig.worker.SLOT_StartFirmwareUpdate(path);
    QVERIFY(waitForFinishes(rig.finished, 1));

    // The next one needs two retries of its sync phase.
    Stm32BootloaderFaults twoSilentSyncs;
    twoSilentSyncs.rules = {{Step::Sync, 1, Reaction::Silence, {}}, {Step::Sync, 2, Reaction::Silence, {}}};
    rig.board.setBootloaderFaults(twoSilentSyncs);
    rig.board.clearCalls();
    rig.worker.SLOT_StartFirmwareUpdate(path);
    QVERIFY(waitForFinishes(rig.finished, 2));

    QCOMPARE(results(rig.finished), QList<int>({-1, 1}));
    QCOMPARE(bootloaderEntries(rig.board), 3);
    QCOMPARE(rig.board.flash(), padded(image));
}

void TestUpdate::unplugDuringTheWrite()
{
    QTemporaryDir dir;
    const QByteArray image = testImage(700, "Unplug test");
    const QString path = writeFile(dir, "update.hex", hexText(image));
    const QString missing = dir.filePath("missing.hex");
    QVERIFY(!path.isEmpty());

    Rig rig;
    QVERIFY(rig.open());
    // The third block is never answered, which holds the update in the middle of the write.
    rig.board.setBootloaderFaults(faultAt(Step::WriteData, 3, Reaction::Silence));
    rig.worker.SLOT_StartFirmwareUpdate(path);
    QTRY_COMPARE_WITH_TIMEOUT(rig.board.flash().left(512), image.left(512), 10000);
    rig.board.unplug();
    const quint64 latchWrites = rig.fixture.bridge().callCount(BridgeOperation::WriteLatch);
    QVERIFY(waitForFinishes(rig.finished, 1));

    QCOMPARE(results(rig.finished), QList<int>{-1});
    QCOMPARE(rig.console.messages, message("<br>Bootloader Start!!") + message("Write Firmware File:") +
                                       "\n***" +
                                       red("Bootloader Fail -> disconnect \xb5"
                                           "C during write firmware!!"));
    // Nothing tries to restart a board that is gone.
    QCOMPARE(rig.fixture.bridge().callCount(BridgeOperation::WriteLatch), latchWrites);
    QVERIFY(!rig.worker.isOpen());

    // Back on the bus, a refused start ends at once instead of resuming the cut-off write.
    rig.board.plug();
    QVERIFY(rig.open());
    const QByteArray flashBefore = rig.board.flash();
    rig.console.messages.clear();
    rig.worker.SLOT_StartFirmwareUpdate(missing);
    QVERIFY(waitForFinishes(rig.finished, 2));
    QCOMPARE(results(rig.finished), QList<int>({-1, -1}));
    QCOMPARE(rig.console.messages, notFound(missing) + red(IdleEnd));
    QCOMPARE(rig.board.flash(), flashBefore);
    QCOMPARE(boardState(rig.board), RunningFirmware);
}

void TestUpdate::refusedBeforeTheFlash_data()
{
    QTest::addColumn<QByteArray>("hex"); // null: no file at the path
    QTest::addColumn<QByteArray>("messages");

    const QByteArray good = hexText(testImage(300, "Refused"));
    QByteArray badChecksum = good;
    const int lineEnd = badChecksum.indexOf("\r\n", badChecksum.indexOf("\r\n") + 2);
    badChecksum[lineEnd - 1] = badChecksum.at(lineEnd - 1) == '0' ? '1' : '0';

    QTest::newRow("no file") << QByteArray()
                             << QByteArray("%missing%" + red("Bootloader Fail -> invalid file path!!"));
    QTest::newRow("bad checksum") << badChecksum
                                  << updateMessages(-1, "Bootloader Fail -> ErrorCode -6", false);
    QTest::newRow("no data records") << hexRecord(0x04, 0, QByteArray::fromHex("0800")) +
                                            hexRecord(0x04, 0, QByteArray::fromHex("0800")) +
                                            hexRecord(0x01, 0, QByteArray())
                                     << updateMessages(-1, "Bootloader Fail -> Hex-File holds no data!!",
                                                       false);
}

void TestUpdate::refusedBeforeTheFlash()
{
    QFETCH(QByteArray, hex);
    QFETCH(QByteArray, messages);

    QTemporaryDir dir;
    const QString path = hex.isNull() ? dir.filePath("missing.hex") : writeFile(dir, "update.hex", hex);
    QVERIFY(!path.isEmpty());
    messages.replace("%missing%", notFound(path));

    Rig rig;
    QVERIFY(rig.open());
    const QByteArray flashBefore = rig.board.flash();
    rig.board.clearCalls();
    rig.worker.SLOT_StartFirmwareUpdate(path);
    QVERIFY(waitForFinishes(rig.finished, 1));

    QCOMPARE(results(rig.finished), QList<int>{-1});
    QCOMPARE(rig.console.messages, messages);
    QCOMPARE(bootloaderEntries(rig.board), 0);
    QCOMPARE(rig.board.receivedByChip(), QByteArray());
    QCOMPARE(rig.board.flash(), flashBefore);
    QCOMPARE(boardState(rig.board), RunningFirmware);
}

void TestUpdate::refusalAfterAnEarlierUpdate()
{
    QTemporaryDir dir;
    const QByteArray image = testImage(300, "Earlier");
    const QString path = writeFile(dir, "update.hex", hexText(image));
    const QString missing = dir.filePath("missing.hex");
    QVERIFY(!path.isEmpty());

    Rig rig;
    QVERIFY(rig.open());
    rig.worker.SLOT_StartFirmwareUpdate(path);
    QVERIFY(waitForFinishes(rig.finished, 1));
    rig.console.messages.clear();
    rig.board.clearCalls();

    rig.worker.SLOT_StartFirmwareUpdate(missing);
    QVERIFY(waitForFinishes(rig.finished, 2));
    QCOMPARE(results(rig.finished), QList<int>({1, -1}));
    QCOMPARE(rig.console.messages, notFound(missing) + red(IdleEnd));
    QCOMPARE(bootloaderEntries(rig.board), 0);
    QCOMPARE(rig.board.flash(), padded(image));
    QCOMPARE(boardState(rig.board), RunningFirmware);
}

void TestUpdate::startWhileAnUpdateRuns()
{
    QTemporaryDir dir;
    const QByteArray image = testImage(600, "First");
    const QString path = writeFile(dir, "update.hex", hexText(image));
    const QString other = writeFile(dir, "other.hex", hexText(testImage(300, "Second")));
    QVERIFY(!path.isEmpty() && !other.isEmpty());

    Rig rig;
    QVERIFY(rig.open());
    rig.worker.SLOT_StartFirmwareUpdate(path);
    // The restart into the bootloader alone takes 100 ms, so the first update is surely running.
    rig.worker.SLOT_StartFirmwareUpdate(other);
    QCOMPARE(results(rig.finished), QList<int>{-1});
    QVERIFY(waitForFinishes(rig.finished, 2));

    QCOMPARE(results(rig.finished), QList<int>({-1, 1}));
    QCOMPARE(rig.console.messages, message("<br>Bootloader Start!!") +
                                       red("Bootloader Fail -> Update already running!!") +
                                       message("Write Firmware File:") + "\n****" + message(""));
    QCOMPARE(rig.board.flash(), padded(image));
    QCOMPARE(boardState(rig.board), RunningFirmware);
}

QTEST_GUILESS_MAIN(TestUpdate)

#include "tst_update.moc"
