// The simulated STM32 system bootloader driven byte by byte as the simulated device drives it: protocol,
// flash rules, line settings, fault scripts and modelled reply times on a clock the test sets.
#include "firmware/BootloaderProtocol.h"
#include "sim/Stm32Bootloader.h"

#include <QtTest>

using Faults = Stm32BootloaderFaults;
using Step = Stm32BootloaderFaults::Step;
using Reaction = Stm32BootloaderFaults::Reaction;
Q_DECLARE_METATYPE(Stm32BootloaderFaults)

namespace {

constexpr char Ack = char(BootloaderProtocol::Ack);
constexpr char Nack = char(BootloaderProtocol::Nack);
constexpr quint32 Base = BootloaderProtocol::FlashBase;

QByteArray command(quint8 code)
{
    return QByteArray(1, char(code)) + char(BootloaderProtocol::complement(code));
}

QByteArray addressFrame(quint32 address)
{
    QByteArray frame;
    for (int shift = 24; shift >= 0; shift -= 8)
        frame.append(char(address >> shift));
    frame.append(char(frame.at(0) ^ frame.at(1) ^ frame.at(2) ^ frame.at(3)));
    return frame;
}

// N - 1 (or the page count - 1), the items, and the XOR of all of them.
QByteArray counted(const QByteArray &items)
{
    QByteArray frame(1, char(items.size() - 1));
    frame += items;
    char checksum = 0;
    for (char byte : qAsConst(frame))
        checksum ^= byte;
    return frame + checksum;
}

QByteArray readLength(int length)
{
    return QByteArray(1, char(length - 1)) + char(~(length - 1));
}

QByteArray globalErase()
{
    return command(BootloaderProtocol::CmdErase) + QByteArray::fromHex("FF00");
}

QByteArray write(quint32 address, const QByteArray &data)
{
    return command(BootloaderProtocol::CmdWriteMemory) + addressFrame(address) + counted(data);
}

QByteArray pattern(int length, int seed)
{
    QByteArray data;
    for (int i = 0; i < length; ++i)
        data.append(char(seed + i * 13));
    return data;
}

QByteArray acks(int count)
{
    return QByteArray(count, Ack);
}

const QByteArray sync(1, char(BootloaderProtocol::Sync));
const QByteArray getIdReply = QByteArray::fromHex("79010410") + Ack;

// A board fresh from reset into its bootloader, with a clock the test moves.
struct Board
{
    Stm32Flash flash;
    Stm32Bootloader bootloader{flash};
    qint64 nowNs = 1000;

    explicit Board(Stm32Bootloader::TimingMode mode = Stm32Bootloader::TimingMode::Instant)
    {
        bootloader.setTimingMode(mode);
        bootloader.reset();
    }

    QByteArray send(const QByteArray &bytes, bool lineSettingMatches = true)
    {
        for (char byte : bytes)
            bootloader.receive(quint8(byte), lineSettingMatches, nowNs);
        return bootloader.takeOutput(nowNs);
    }
};

} // namespace

class TestStm32Bootloader : public QObject
{
    Q_OBJECT
private slots:
    void protocol_data();
    void protocol();
    void eraseWriteAndReadBack();
    void writeIntoWrittenFlashIsNacked();
    void pageEraseErasesOnlyTheListedPages();
    void bytesWithTheWrongLineSettingAreNotUnderstood();
    void goLeavesTheBootloader();
    void faults_data();
    void faults();
    void faultOccurrencesCountAcrossResets();
    void repliesWaitForTheModelledWork_data();
    void repliesWaitForTheModelledWork();
};

void TestStm32Bootloader::protocol_data()
{
    QTest::addColumn<QByteArray>("input"); // from reset
    QTest::addColumn<QByteArray>("output");

    const QByteArray getReply = QByteArray::fromHex("790722000102112131437"
                                                    "9");
    QTest::newRow("sync") << sync << acks(1);
    QTest::newRow("bytes before the sync are ignored") << QByteArray("\x00\x79\x02\xFD", 4) + sync << acks(1);
    QTest::newRow("get") << sync + command(0x00) << acks(1) + getReply;
    QTest::newRow("get version") << sync + command(0x01) << acks(1) + QByteArray::fromHex("7922000079");
    QTest::newRow("get id") << sync + command(0x02) << acks(1) + getIdReply;
    QTest::newRow("wrong complement") << sync + "\x02\x02" << acks(1) + Nack;
    QTest::newRow("next command after a NACK")
        << sync + "\x02\x02" + command(0x02) << acks(1) + Nack + getIdReply;
    QTest::newRow("second sync is an unknown command") << sync + sync + "\x80" << acks(1) + Nack;
    QTest::newRow("extended erase, absent on F10x") << sync + command(0x44) << acks(1) + Nack;
    QTest::newRow("write protect, not modelled") << sync + command(0x63) << acks(1) + Nack;
    QTest::newRow("readout unprotect, not modelled") << sync + command(0x92) << acks(1) + Nack;

    QTest::newRow("read erased flash")
        << sync + command(0x11) + addressFrame(Base + 0x10) + readLength(3) << acks(4) + "\xFF\xFF\xFF";
    QTest::newRow("read last flash byte")
        << sync + command(0x11) + addressFrame(Base + 0x1FFFF) + readLength(1) << acks(4) + "\xFF";
    QTest::newRow("read 256 bytes") << sync + command(0x11) + addressFrame(Base) + readLength(256)
                                    << acks(4) + QByteArray(256, char(0xFF));
    QTest::newRow("read from RAM") << sync + command(0x11) + addressFrame(0x20000000) << acks(2) + Nack;
    QByteArray badAddress = addressFrame(Base);
    badAddress[4] = char(badAddress.at(4) ^ 1);
    QTest::newRow("read address checksum wrong") << sync + command(0x11) + badAddress << acks(2) + Nack;
    QTest::newRow("read length complement wrong")
        << sync + command(0x11) + addressFrame(Base) + "\x03\x03" << acks(3) + Nack;
    QTest::newRow("read past the flash end")
        << sync + command(0x11) + addressFrame(Base + 0x1FFFF) + readLength(2) << acks(3) + Nack;

    QTest::newRow("write") << sync + write(Base, "\x01\x02") << acks(4);
    QTest::newRow("write 256 bytes") << sync + write(Base + 0x100, pattern(256, 1)) << acks(4);
    QTest::newRow("write address checksum wrong") << sync + command(0x31) + badAddress << acks(2) + Nack;
    QTest::newRow("write address outside flash")
        << sync + command(0x31) + addressFrame(0x08020000) << acks(2) + Nack;
    QByteArray badData = write(Base, "\x01\x02");
    badData[badData.size() - 1] = char(badData.back() ^ 0x40);
    QTest::newRow("write data checksum wrong") << sync + badData << acks(3) + Nack;
    QTest::newRow("write to an odd address") << sync + write(Base + 1, "\x01\x02") << acks(3) + Nack;
    QTest::newRow("write past the flash end")
        << sync + write(Base + 0x1FFFE, "\x01\x02\x03\x04") << acks(3) + Nack;

    QTest::newRow("global erase") << sync + globalErase() << acks(3);
    QTest::newRow("global erase code with a wrong checksum")
        << sync + command(0x43) + "\xFF\xFF" << acks(2) + Nack;
    QTest::newRow("page erase") << sync + command(0x43) + counted(QByteArray::fromHex("007F")) << acks(3);
    QTest::newRow("page list checksum wrong")
        << sync + command(0x43) + QByteArray::fromHex("000504") << acks(2) + Nack;
    QTest::newRow("page beyond the flash") << sync + command(0x43) + counted("\x80") << acks(2) + Nack;
}

void TestStm32Bootloader::protocol()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);
    Board board;
    QCOMPARE(board.send(input).toHex(' '), output.toHex(' '));
}

void TestStm32Bootloader::eraseWriteAndReadBack()
{
    Board board;
    board.flash.load(pattern(2048, 7)); // old firmware
    QCOMPARE(board.send(sync + globalErase()), acks(3));
    QVERIFY(board.flash.isErased());

    const QByteArray block = pattern(256, 3);
    QCOMPARE(board.send(write(Base, block)), acks(3));
    QCOMPARE(board.send(write(Base + 256, "\x11\x22\x33")), acks(3)); // odd length, a block of 3
    QCOMPARE(board.flash.read(Base, 260), block + "\x11\x22\x33\xFF");

    QCOMPARE(board.send(command(0x11) + addressFrame(Base) + readLength(256)), acks(3) + block);
    QCOMPARE(board.send(command(0x11) + addressFrame(Base + 255) + readLength(5)),
             acks(3) + block.right(1) + "\x11\x22\x33\xFF");
}

void TestStm32Bootloader::writeIntoWrittenFlashIsNacked()
{
    Board board;
    QCOMPARE(board.send(sync + write(Base + 0x400, "\x12\x34\x56\x78")), acks(4));
    QCOMPARE(board.send(write(Base + 0x402, QByteArray(2, 0))), acks(2) + Nack);
    QCOMPARE(board.send(write(Base + 0x3FE, QByteArray(4, 0))), acks(2) + Nack); // overlaps by one half-word
    QCOMPARE(board.flash.read(Base + 0x3FE, 8), QByteArray("\xFF\xFF\x12\x34\x56\x78\xFF\xFF"));
    QCOMPARE(board.send(command(0x02)), getIdReply); // the bootloader goes on after the NACK
}

void TestStm32Bootloader::pageEraseErasesOnlyTheListedPages()
{
    Board board;
    board.flash.load(QByteArray(4 * Stm32Flash::PageSize, '\x5A'));
    QCOMPARE(board.send(sync + command(0x43) + counted("\x01\x03")), acks(3));
    const QByteArray erasedPage(Stm32Flash::PageSize, char(0xFF));
    const QByteArray keptPage(Stm32Flash::PageSize, '\x5A');
    QCOMPARE(board.flash.read(Base, 4 * Stm32Flash::PageSize), keptPage + erasedPage + keptPage + erasedPage);
}

void TestStm32Bootloader::bytesWithTheWrongLineSettingAreNotUnderstood()
{
    Board board;
    QCOMPARE(board.send(sync, false), QByteArray()); // no sync without even parity
    QCOMPARE(board.send(sync), acks(1));
    // A Get ID sent without parity is dropped whole: it neither answers nor leaves a half command behind.
    QCOMPARE(board.send(command(0x02), false), QByteArray());
    QCOMPARE(board.send(command(0x02)), getIdReply);
    // A byte lost inside a frame leaves the frame waiting for its missing byte.
    QCOMPARE(board.send(command(0x31) + addressFrame(Base).left(2)), acks(1));
    QCOMPARE(board.send(addressFrame(Base).mid(2, 1), false), QByteArray());
    QCOMPARE(board.send(addressFrame(Base).mid(2)), acks(1));
    QCOMPARE(board.send(counted("\xAB\xCD")), acks(1));
    QCOMPARE(board.flash.read(Base, 2), QByteArray("\xAB\xCD"));
}

void TestStm32Bootloader::goLeavesTheBootloader()
{
    Board board;
    QCOMPARE(board.send(sync + command(0x21) + addressFrame(0x20000000)), acks(2) + Nack);
    QVERIFY(!board.bootloader.hasJumped());
    QCOMPARE(board.send(command(0x21) + addressFrame(Base + 0x100)), acks(2));
    QVERIFY(board.bootloader.hasJumped());
    QCOMPARE(board.bootloader.jumpAddress(), Base + 0x100);
    QCOMPARE(board.send(sync + command(0x02)), QByteArray()); // the firmware runs now

    board.bootloader.reset();
    QVERIFY(!board.bootloader.hasJumped());
    QCOMPARE(board.send(sync), acks(1));
}

void TestStm32Bootloader::faults_data()
{
    QTest::addColumn<Faults>("faults");
    QTest::addColumn<QByteArray>("input"); // from reset
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArray>("flashBefore"); // the first flash bytes before and after
    QTest::addColumn<QByteArray>("flashAfter");

    const QByteArray erased(4, char(0xFF));
    const QByteArray oldFirmware(4, '\x5A');
    auto rule = [](Step step, int occurrence, Reaction reaction, const QByteArray &garbage = QByteArray()) {
        Faults faults;
        faults.rules.append({step, occurrence, reaction, garbage});
        return faults;
    };

    QTest::newRow("no answer to sync") << rule(Step::Sync, 0, Reaction::Silence)
                                       << sync + sync + command(0x02) << QByteArray() << erased << erased;
    QTest::newRow("NACK to the first sync")
        << rule(Step::Sync, 1, Reaction::Nack) << sync + sync << Nack + acks(1) << erased << erased;
    Faults otherProduct;
    otherProduct.productId = 0x0414;
    QTest::newRow("other product ID") << otherProduct << sync + command(0x02)
                                      << acks(1) + QByteArray::fromHex("79010414") + Ack << erased << erased;
    QTest::newRow("garbage before the sync ACK")
        << rule(Step::Sync, 1, Reaction::GarbageBefore, QByteArray::fromHex("00F079")) << sync
        << QByteArray("\x00\xF0\x79\x79", 4) << erased << erased;
    QTest::newRow("garbage before the Get ID reply")
        << rule(Step::GetId, 0, Reaction::GarbageBefore, "\x1F\x55") << sync + command(0x02)
        << acks(1) + "\x1F\x55" + getIdReply << erased << erased;
    QTest::newRow("NACK to the 2nd Write Memory command")
        << rule(Step::WriteCommand, 2, Reaction::Nack) << sync + write(Base, "\x01\x02") + command(0x31)
        << acks(4) + Nack << erased << QByteArray("\x01\x02\xFF\xFF");
    QTest::newRow("NACK to the 1st address")
        << rule(Step::WriteAddress, 1, Reaction::Nack) << sync + command(0x31) + addressFrame(Base)
        << acks(2) + Nack << erased << erased;
    QTest::newRow("NACK to the 2nd data block")
        << rule(Step::WriteData, 2, Reaction::Nack)
        << sync + write(Base, "\x01\x02") + write(Base + 2, "\x03\x04") << acks(6) + Nack << erased
        << QByteArray("\x01\x02\xFF\xFF");
    // Silent at the block: no answer, nothing written, and the bootloader waits for the next command.
    QTest::newRow("silence at the 1st data block")
        << rule(Step::WriteData, 1, Reaction::Silence) << sync + write(Base, "\x01\x02") + command(0x02)
        << acks(3) + getIdReply << erased << erased;
    QTest::newRow("silence at every Write Memory command")
        << rule(Step::WriteCommand, 0, Reaction::Silence)
        << sync + command(0x31) + command(0x31) + command(0x02) << acks(1) + getIdReply << erased << erased;
    QTest::newRow("NACK to the global erase")
        << rule(Step::EraseList, 1, Reaction::Nack) << sync + globalErase() + write(Base, "\x01\x02")
        << acks(2) + Nack + acks(2) + Nack << oldFirmware << oldFirmware;
    QTest::newRow("NACK to the erase command")
        << rule(Step::EraseCommand, 1, Reaction::Nack) << sync + command(0x43) << acks(1) + Nack
        << oldFirmware << oldFirmware;
}

void TestStm32Bootloader::faults()
{
    QFETCH(Faults, faults);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, flashBefore);
    QFETCH(QByteArray, flashAfter);
    Board board;
    board.flash.load(flashBefore);
    board.bootloader.setFaults(faults);
    QCOMPARE(board.send(input).toHex(' '), output.toHex(' '));
    QCOMPARE(board.flash.read(Base, flashAfter.size()), flashAfter);
}

void TestStm32Bootloader::faultOccurrencesCountAcrossResets()
{
    Board board;
    Faults faults;
    faults.rules = {{Step::Sync, 1, Reaction::Silence, {}}, {Step::Sync, 2, Reaction::Silence, {}}};
    board.bootloader.setFaults(faults);
    QCOMPARE(board.send(sync), QByteArray());
    board.bootloader.reset();
    QCOMPARE(board.send(sync), QByteArray());
    board.bootloader.reset();
    QCOMPARE(board.send(sync), acks(1)); // the third reset answers

    board.bootloader.setFaults(faults); // a new script counts from the start again
    board.bootloader.reset();
    QCOMPARE(board.send(sync), QByteArray());
}

void TestStm32Bootloader::repliesWaitForTheModelledWork_data()
{
    QTest::addColumn<QByteArray>("request");    // after sync
    QTest::addColumn<QByteArray>("earlyReply"); // ready as soon as the request is in
    QTest::addColumn<QByteArray>("lateReply");  // ready when the work is done
    QTest::addColumn<qint64>("workNs");

    const qint64 halfWord = Stm32Bootloader::HalfWordProgramNs;
    QTest::newRow("global erase") << globalErase() << acks(1) << acks(1) << Stm32Bootloader::MassEraseNs;
    QTest::newRow("three pages") << command(0x43) + counted(QByteArray::fromHex("000102")) << acks(1)
                                 << acks(1) << 3 * Stm32Bootloader::PageEraseNs;
    QTest::newRow("256-byte block") << write(Base, pattern(256, 1)) << acks(2) << acks(1) << 128 * halfWord;
    QTest::newRow("3-byte block") << write(Base, "\x01\x02\x03") << acks(2) << acks(1) << 2 * halfWord;
    QTest::newRow("Get ID queues behind an erase")
        << globalErase() + command(0x02) << acks(1) << acks(1) + getIdReply << Stm32Bootloader::MassEraseNs;
}

void TestStm32Bootloader::repliesWaitForTheModelledWork()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, earlyReply);
    QFETCH(QByteArray, lateReply);
    QFETCH(qint64, workNs);

    Board realTime(Stm32Bootloader::TimingMode::RealTime);
    QCOMPARE(realTime.send(sync), acks(1));
    realTime.nowNs = 5'000'000'000;
    QCOMPARE(realTime.send(request), earlyReply);
    QCOMPARE(realTime.bootloader.nextOutputNs(), realTime.nowNs + workNs);
    QCOMPARE(realTime.bootloader.takeOutput(realTime.nowNs + workNs - 1), QByteArray());
    QCOMPARE(realTime.bootloader.takeOutput(realTime.nowNs + workNs), lateReply);
    QCOMPARE(realTime.bootloader.nextOutputNs(), qint64(-1));

    Board instant(Stm32Bootloader::TimingMode::Instant);
    QCOMPARE(instant.send(sync + request), acks(1) + earlyReply + lateReply);
}

QTEST_GUILESS_MAIN(TestStm32Bootloader)
#include "tst_stm32bootloader.moc"
