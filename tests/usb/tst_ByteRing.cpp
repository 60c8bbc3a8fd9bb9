// The byte ring: order, wrap-around, bulk skip, the overrun of a never-refused push, two threads.
#include "tests/usb/UsbTests.h"
#include "usb/ByteRing.h"

#include <QThread>
#include <QtTest>

namespace {

quint8 pattern(int k)
{
    return quint8(k % 251);
}

QByteArray patternBytes(int from, int to)
{
    QByteArray bytes;
    for (int k = from; k < to; ++k)
        bytes.append(char(pattern(k)));
    return bytes;
}

} // namespace

class TestByteRing : public QObject
{
    Q_OBJECT

private slots:
    void pushSkipTake_data();
    void pushSkipTake();
    void oneWriterOneReaderKeepOrder();
};

void TestByteRing::pushSkipTake_data()
{
    QTest::addColumn<int>("startIndex");
    QTest::addColumn<int>("pushes");
    QTest::addColumn<int>("skips");
    QTest::addColumn<int>("expectedCount");
    QTest::addColumn<QByteArray>("expectedBytes");

    QTest::newRow("empty") << 0 << 0 << 0 << 0 << QByteArray();
    QTest::newRow("in order") << 0 << 3 << 0 << 3 << patternBytes(0, 3);
    QTest::newRow("wrap around the end") << 4094 << 5 << 0 << 5 << patternBytes(0, 5);
    QTest::newRow("bulk skip") << 0 << 5 << 2 << 3 << patternBytes(2, 5);
    QTest::newRow("skip across the end") << 4095 << 4 << 3 << 1 << patternBytes(3, 4);
    QTest::newRow("full ring") << 17 << 4095 << 0 << 4095 << patternBytes(0, 4095);
    QTest::newRow("4096 pushes with no take look empty") << 0 << 4096 << 0 << 0 << QByteArray();
    QTest::newRow("4097 pushes keep only the last") << 0 << 4097 << 0 << 1 << patternBytes(4096, 4097);
}

void TestByteRing::pushSkipTake()
{
    QFETCH(int, startIndex);
    QFETCH(int, pushes);
    QFETCH(int, skips);
    QFETCH(int, expectedCount);
    QFETCH(QByteArray, expectedBytes);

    ByteRing ring;
    quint8 byte = 0;
    for (int i = 0; i < startIndex; ++i) {
        ring.push(0);
        QCOMPARE(ring.take(&byte), qint8(1));
    }
    for (int k = 0; k < pushes; ++k)
        ring.push(pattern(k));
    ring.skip(quint16(skips));

    QCOMPARE(int(ring.count()), expectedCount);
    QCOMPARE(int(ring.freeSpace()), 4095 - expectedCount);
    QByteArray taken;
    while (ring.take(&byte) == 1)
        taken.append(char(byte));
    QCOMPARE(taken, expectedBytes);
    byte = 0xEE;
    QCOMPARE(ring.take(&byte), qint8(-1));
    QCOMPARE(byte, quint8(0xEE));
}

void TestByteRing::oneWriterOneReaderKeepOrder()
{
    constexpr int Total = 2'000'000;
    ByteRing ring;
    QScopedPointer<QThread> writer(QThread::create([&ring] {
        for (int k = 0; k < Total;) {
            if (ring.freeSpace() == 0) {
                QThread::yieldCurrentThread();
                continue;
            }
            ring.push(pattern(k++));
        }
    }));
    writer->start();
    int mismatches = 0;
    for (int k = 0; k < Total;) {
        quint8 byte = 0;
        if (ring.take(&byte) != 1) {
            QThread::yieldCurrentThread();
            continue;
        }
        mismatches += byte != pattern(k++);
    }
    writer->wait();
    QCOMPARE(mismatches, 0);
    QCOMPARE(ring.count(), quint16(0));
}

int runByteRingTests(int argc, char **argv)
{
    TestByteRing test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ByteRing.moc"
