// The TLV debug frame decoder fed as the device worker feeds it, and the board's frame encoder.
#include "LogCapture.h"
#include "WorkerFeed.h"
#include "debugdata/KZ_Debug_TLV_Server.h"
#include "debugdata/TlvProtocol.h"
#include "sim/TlvFrameEncoder.h"

#include <QRandomGenerator>
#include <QtTest>

using Fault = TlvFrameEncoder::Fault;

namespace {

// One item with tag 0xF0 and the value "Hi", as the board sends it.
const QByteArray ExampleFrame("\xAA\x05\x00\xF0\x02\x00\x48\x69\x58\xFE", 10);

QByteArray textFrame(const QByteArray &text, Fault fault = Fault::None)
{
    return TlvFrameEncoder::encodeFrame({{TLV_TAG_TEXT_0, text}}, fault);
}

QByteArray randomBytes(QRandomGenerator &random, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// Bytes a decoder trips over most: heads, escapes, the text tags and one unknown tag.
QByteArray trickyBytes(QRandomGenerator &random, int size)
{
    static const quint8 tricky[] = {TLV_DATA_HEAD, TLV_ESCAPE, 0x00, 0xFF, 0x8A,
                                    0x75,          0xF0,       0xF1, 0xF2, 0xF3};
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random.bounded(2) ? tricky[random.bounded(int(sizeof tricky))] : random.bounded(256));
    return bytes;
}

// Sound frames, then one of: a flipped, lost, added or repeated byte, or a frame cut short.
QByteArray mutatedFrames(QRandomGenerator &random, int size)
{
    QByteArray stream;
    while (stream.size() < size) {
        static const quint8 tags[] = {TLV_TAG_TEXT_0, TLV_TAG_TEXT_1, TLV_TAG_TEXT_2, 0xF3, 0x00};
        QVector<TlvFrameEncoder::Item> items;
        for (int n = random.bounded(4); n > 0; --n)
            items.append({tags[random.bounded(int(sizeof tags))], randomBytes(random, random.bounded(300))});
        QByteArray frame = TlvFrameEncoder::encodeFrame(items, Fault(random.bounded(3)));
        const int at = random.bounded(frame.size());
        switch (random.bounded(6)) {
        case 0:
            frame[at] = char(frame.at(at) ^ (1 << random.bounded(8)));
            break;
        case 1:
            frame.remove(at, 1);
            break;
        case 2:
            frame.insert(at, char(random.bounded(2) ? TLV_DATA_HEAD : TLV_ESCAPE));
            break;
        case 3:
            frame.insert(at, frame.mid(at, random.bounded(20)));
            break;
        case 4:
            frame.truncate(at);
            break;
        default:
            break; // some frames stay sound
        }
        stream += frame;
    }
    return stream;
}

} // namespace

class TestTlv : public QObject
{
    Q_OBJECT
private slots:
    void exampleFrameInOneBatch();
    void exampleFrameByteByByte();
    void escapesActAcrossBatches();
    void streams_data();
    void streams();
    void framesWrapAroundTheRings();
    void overruns_data();
    void overruns();
    void undrainedOutputKeepsTheNewestText();
    void badArgumentsTakeNothingUnsafe();
    void textLinesAreSplitIntoFrames();
    void contentBeyondSixteenBitsIsRefused();
    void randomAndMutatedStreams_data();
    void randomAndMutatedStreams();
};

void TestTlv::exampleFrameInOneBatch()
{
    QCOMPARE(textFrame("Hi"), ExampleFrame);

    LogCapture log;
    WorkerFeed feed;
    feed.send(ExampleFrame, 4095);
    QCOMPARE(feed.takeOutput(), QByteArray("Hi"));
    QCOMPARE(log.lines(), QStringList());
    QCOMPARE(feed.decoder().BufferLength(), quint16(0));
    QCOMPARE(feed.decoder().HeadBufferLength(), quint16(0));
}

void TestTlv::exampleFrameByteByByte()
{
    LogCapture log;
    WorkerFeed feed;
    feed.drainOutput = false;
    QStringList expected;
    for (int i = 0; i < ExampleFrame.size(); ++i) {
        feed.pass(ExampleFrame.mid(i, 1));
        const int held = i + 1;
        if (held < 3)
            expected << "ERROR TLV_Handler: BufferLength() < 0x03";
        else if (held < ExampleFrame.size())
            expected << QStringLiteral("ERROR TLV_Handler: BufferLength() < (u16DataLength + 0x05) -> "
                                       "Soll:10 Bytes Ist:%1")
                            .arg(held);
        QCOMPARE(log.lines(), expected);
        QCOMPARE(feed.decoder().OutputLength(), quint16(held == ExampleFrame.size() ? 2 : 0));
    }
    QCOMPARE(feed.takeOutput(), QByteArray("Hi"));
}

void TestTlv::escapesActAcrossBatches()
{
    const QByteArray value("\xAA\x55\x8A\x75\x20\x00\xFF", 7);
    const QByteArray frame = textFrame(value);
    QVERIFY(frame.contains(QByteArray("\x55\x8A\x55\x75\x8A\x75", 6)));

    // Every split point, including one between an escape and the byte it acts on. The capture keeps the
    // lines about the waiting frame out of the test's output.
    LogCapture log;
    for (int split = 1; split < frame.size(); ++split) {
        WorkerFeed feed;
        feed.pass(frame.left(split));
        feed.pass(frame.mid(split));
        QCOMPARE(feed.takeOutput(), value);
    }
}

void TestTlv::streams_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QStringList>("logLines");

    using Items = QVector<TlvFrameEncoder::Item>;
    const QByteArray hi = textFrame("Hi");

    QTest::newRow("two frames in one batch") << hi + textFrame("Yo") << QByteArray("HiYo") << QStringList();
    QTest::newRow("text before the first head")
        << QByteArray("boot ok\r\n") + hi << QByteArray("Hi")
        << QStringList{"ERROR TLV_Handler: DataPointer adr:0 != HeadBuffer adr:9",
                       "ERROR TLV_Handler: Data @ DataPointer[0x62] != TLV_DATA_HEAD"};
    QTest::newRow("text between frames")
        << hi + "xx" + textFrame("Yo") << QByteArray("HiYo")
        << QStringList{"ERROR TLV_Handler: DataPointer adr:10 != HeadBuffer adr:12",
                       "ERROR TLV_Handler: Data @ DataPointer[0x78] != TLV_DATA_HEAD"};
    QTest::newRow("zero-length frame") << QByteArray("\xAA\x00\x00\x00\x00", 5) + hi << QByteArray("Hi")
                                       << QStringList{"STATUS TLV_Handler: DataLength == 0 @ 0"};
    QTest::newRow("unknown tag between known ones")
        << TlvFrameEncoder::encodeFrame(Items{{0xF0, "ab"}, {0xF3, "xx"}, {0xF1, "cd"}}) << QByteArray("abcd")
        << QStringList{"ERROR TLV_Handler: Unkown Tag: 243"};
    QTest::newRow("several tags in one frame")
        << TlvFrameEncoder::encodeFrame(Items{{0xF0, "a"}, {0xF1, "bc"}, {0xF2, "def"}})
        << QByteArray("abcdef") << QStringList();
    QTest::newRow("raw 0xAA right after 0x55 starts a frame")
        << "\x55" + hi << QByteArray("Hi") << QStringList();
    // The frame's stuffed 0xAA is cut after its escape; the 0x05 after the new head must stay 0x05.
    QTest::newRow("raw 0xAA right after 0x55 cuts the frame before")
        << textFrame("A\xAA"
                     "B")
                   .left(8) +
               hi
        << QByteArray("Hi")
        << QStringList{"ERROR TLV_Handler: Frame @ 0 cut by TLV_DATA_HEAD @ 7 -> dropped"};
    QTest::newRow("wrong checksum, then good frames")
        << textFrame("Hi", Fault::WrongChecksum) + textFrame("Yo") + textFrame("!!") << QByteArray("Yo!!")
        << QStringList{"ERROR TLV_Handler: CheckSum Wrong!"};
    QTest::newRow("unknown tag fault of the encoder")
        << textFrame("Hi", Fault::UnknownTag) << QByteArray("Hi")
        << QStringList{"ERROR TLV_Handler: Unkown Tag: 243"};
    QTest::newRow("length that can never fit")
        << QByteArray("\xAA\xFB\x0F"
                      "abc") +
               hi
        << QByteArray("Hi")
        << QStringList{"ERROR TLV_Handler: u16DataLength:4091 never fits BufferSizeUART -> dropped"};
    QTest::newRow("frame cut short by the next head")
        << QByteArray("\xAA\x0A\x00\xF0\x07\x00"
                      "ab",
                      8) +
               hi
        << QByteArray("Hi")
        << QStringList{"ERROR TLV_Handler: Frame @ 0 cut by TLV_DATA_HEAD @ 8 -> dropped"};
    QTest::newRow("longest length, cut by the next head")
        << QByteArray("\xAA\xFA\x0F"
                      "abc") +
               hi
        << QByteArray("Hi")
        << QStringList{"ERROR TLV_Handler: Frame @ 0 cut by TLV_DATA_HEAD @ 6 -> dropped"};
    QTest::newRow("two heads in a row")
        << "\xAA" + hi << QByteArray("Hi")
        << QStringList{"ERROR TLV_Handler: Frame @ 0 cut by TLV_DATA_HEAD @ 1 -> dropped"};
    QTest::newRow("value longer than its frame")
        << TlvFrameEncoder::encodeData(QByteArray("\xF0\x0A\x00"
                                                  "abc",
                                                  6)) +
               hi
        << QByteArray("abcHi") << QStringList{"ERROR TLV_Handler: Item @ 3 runs past frame end -> cut"};
    QTest::newRow("item header past frame end")
        << TlvFrameEncoder::encodeData(QByteArray("\xF0\x01\x00"
                                                  "a\xF1\x05",
                                                  6)) +
               hi
        << QByteArray("aHi") << QStringList{"ERROR TLV_Handler: Item @ 7 runs past frame end -> cut"};
    // An escaped 0xAA where a frame should start is tried as a frame; the head after it keeps its frame.
    QTest::newRow("escaped 0xAA after a frame, decodable")
        << hi + "\x55\x8A" + textFrame("OK").mid(1) + textFrame("Yo") << QByteArray("HiOKYo")
        << QStringList{"ERROR TLV_Handler: DataPointer adr:10 != HeadBuffer adr:20"};
    QTest::newRow("escaped 0xAA after a frame, running into the next head")
        << hi + QByteArray("\x55\x8A\xFF\x00", 4) + textFrame("Yo") << QByteArray("HiYo")
        << QStringList{"ERROR TLV_Handler: DataPointer adr:10 != HeadBuffer adr:13",
                       "ERROR TLV_Handler: Frame @ 10 cut by TLV_DATA_HEAD @ 13 -> dropped"};
}

void TestTlv::streams()
{
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, output);
    QFETCH(QStringList, logLines);

    LogCapture log;
    WorkerFeed whole;
    whole.send(stream, 4095);
    QCOMPARE(whole.takeOutput(), output);
    QCOMPARE(log.lines(), logLines);

    // However the stream is cut into batches, the same text comes out (the log differs while frames wait).
    for (int chunk : {1, 2, 3, 7}) {
        WorkerFeed pieces;
        pieces.send(stream, chunk);
        QCOMPARE(pieces.takeOutput(), output);
    }
}

void TestTlv::framesWrapAroundTheRings()
{
    // Starting near the end of the worker's ring makes the first frames wrap at once; then the stream runs
    // through both rings many times over, in batches of every size a loop pass may see.
    QRandomGenerator random(4711);
    QByteArray stream;
    QByteArray text;
    while (stream.size() < 100000) {
        const QByteArray line = randomBytes(random, random.bounded(400));
        stream += textFrame(line);
        text += line;
    }

    LogCapture log;
    WorkerFeed feed(4090);
    for (int pos = 0; pos < stream.size();) {
        const int chunk = random.bounded(1, 4096);
        feed.pass(stream.mid(pos, chunk));
        pos += chunk;
    }
    QCOMPARE(feed.takeOutput(), text);
    QCOMPARE(feed.shortTakes, 0);
    // Only frames waiting for their rest were reported.
    QCOMPARE(log.lines().filter(QRegularExpression("^ERROR TLV_Handler: BufferLength\\(\\) < ")).size(),
             log.count());
}

void TestTlv::overruns_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("chunk");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QStringList>("overrunLines");

    QByteArray text;
    for (int i = 0; i < 5000; ++i)
        text.append(char('a' + i % 26));
    QTest::newRow("text beyond the input ring")
        << text + textFrame("Hi") << 1000 << QByteArray("Hi")
        << QStringList{"ERROR ReceiveBytes: Input overrun -> 4095 Bytes dropped"};

    // More frames in one batch than the head table holds: decoding early makes room, nothing is lost.
    QByteArray frames;
    QByteArray values;
    for (int i = 0; i < 400; ++i) {
        frames += textFrame(QByteArray(1, char(i)));
        values += char(i);
    }
    QTest::newRow("more heads than the head table") << frames << 4095 << values << QStringList();
    QTest::newRow("flood of heads") << QByteArray(3000, char(TLV_DATA_HEAD)) + textFrame("Hi") << 4095
                                    << QByteArray("Hi") << QStringList();
}

void TestTlv::overruns()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, chunk);
    QFETCH(QByteArray, output);
    QFETCH(QStringList, overrunLines);

    LogCapture log;
    WorkerFeed feed;
    feed.send(stream, chunk);
    QCOMPARE(feed.takeOutput(), output);
    QCOMPARE(log.linesContaining("overrun"), overrunLines);
    QVERIFY(feed.maxHeadsAfterPass <= 1);
}

void TestTlv::undrainedOutputKeepsTheNewestText()
{
    QByteArray text;
    WorkerFeed feed;
    feed.drainOutput = false;
    LogCapture log;
    for (int i = 0; i < 10; ++i) {
        const QByteArray line(500, char('0' + i));
        feed.pass(textFrame(line));
        text += line;
    }
    QCOMPARE(feed.decoder().OutputLength(), quint16(4095));
    QCOMPARE(feed.takeOutput(), text.right(4095));
    QCOMPARE(log.lines(), (QStringList{"ERROR TLV_Handler: Output overrun -> 405 Bytes dropped",
                                       "ERROR TLV_Handler: Output overrun -> 500 Bytes dropped"}));
}

void TestTlv::badArgumentsTakeNothingUnsafe()
{
    LogCapture log;
    KZ_Debug_TLV_Server decoder;
    const quint8 *example = reinterpret_cast<const quint8 *>(ExampleFrame.constData());

    QCOMPARE(decoder.ReceiveBytes(nullptr, 0, 10, 4096), quint16(0));
    QCOMPARE(decoder.ReceiveBytes(example, 0, 10, 0), quint16(0));
    QCOMPARE(decoder.BufferLength(), quint16(0));
    // A count beyond the ring's size takes the ring once, not the same bytes twice.
    QCOMPARE(decoder.ReceiveBytes(example, 3, 25, 10), quint16(10));
    QCOMPARE(decoder.OutputLength(), quint16(0)); // started mid-frame: the head arrives last
    QCOMPARE(decoder.ReceiveBytes(example, 0, 10, 10), quint16(10));

    quint8 byte = 0x42;
    QCOMPARE(decoder.ReadOutputByte(nullptr), qint8(-1));
    QCOMPARE(decoder.ReadOutputByte(&byte), qint8(1));
    QCOMPARE(byte, quint8('H'));
    QCOMPARE(decoder.ReadOutputByte(&byte), qint8(1));
    QCOMPARE(decoder.ReadOutputByte(&byte), qint8(-1));
    QCOMPARE(byte, quint8('i'));

    QVERIFY(!decoder.CheckReceiveChecksum(4097));
    QCOMPARE(log.lines().mid(0, 3), (QStringList{"ERROR ReceiveBytes: no ring to read from (size 4096)",
                                                 "ERROR ReceiveBytes: no ring to read from (size 0)",
                                                 "ERROR ReceiveBytes: count 25 > ring size 10"}));
    QCOMPARE(log.lines().last(),
             QStringLiteral("ERROR CheckReceiveChecksum: CHECKSUM (BufferSizeUART < u16DataLength)"));
}

void TestTlv::textLinesAreSplitIntoFrames()
{
    QByteArray line;
    for (int i = 0; i < 600; ++i)
        line.append(char('A' + i % 26));
    const QByteArray frames = TlvFrameEncoder::encodeTextLine(line, TLV_TAG_TEXT_2);
    QCOMPARE(frames.count(char(TLV_DATA_HEAD)), 3);
    QVERIFY(TlvFrameEncoder::encodeTextLine(QByteArray()).isEmpty());

    LogCapture log;
    WorkerFeed feed;
    feed.send(frames, 4095);
    QCOMPARE(feed.takeOutput(), line);
    QCOMPARE(log.count(), 0);
}

void TestTlv::contentBeyondSixteenBitsIsRefused()
{
    QVERIFY(!TlvFrameEncoder::encodeItem(TLV_TAG_TEXT_0, QByteArray(65532, 'x')).isEmpty());
    QVERIFY(TlvFrameEncoder::encodeItem(TLV_TAG_TEXT_0, QByteArray(65533, 'x')).isEmpty());
    QVERIFY(TlvFrameEncoder::encodeFrame(
                {{TLV_TAG_TEXT_0, QByteArray(40000, 'x')}, {TLV_TAG_TEXT_1, QByteArray(40000, 'y')}})
                .isEmpty());
    QVERIFY(TlvFrameEncoder::encodeData(QByteArray(65535, 'x')).size() > 65535);
    QVERIFY(TlvFrameEncoder::encodeData(QByteArray(65536, 'x')).isEmpty());
}

void TestTlv::randomAndMutatedStreams_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("random bytes") << 0 << 1u;
    QTest::newRow("heads, escapes and tags") << 1 << 2u;
    QTest::newRow("mutated frames") << 2 << 3u;
    QTest::newRow("mutated frames, other seed") << 2 << 4u;
}

void TestTlv::randomAndMutatedStreams()
{
    QFETCH(int, kind);
    QFETCH(quint32, seed);

    // Whatever came before, a sound frame is decoded as soon as it has arrived.
    QRandomGenerator random(seed);
    LogCapture log(false);
    WorkerFeed feed(quint16(random.bounded(WorkerFeed::RingSize)));
    for (int round = 0; round < 200; ++round) {
        const int size = random.bounded(1, 10000);
        const QByteArray noise = kind == 0   ? randomBytes(random, size)
                                 : kind == 1 ? trickyBytes(random, size)
                                             : mutatedFrames(random, size);
        feed.send(noise, random.bounded(1, 4096));
        feed.takeOutput();

        const QByteArray mark = "<mark " + QByteArray::number(round) + ">";
        feed.send(textFrame(mark), random.bounded(1, 20));
        QVERIFY2(feed.takeOutput().endsWith(mark), qPrintable(QStringLiteral("round %1").arg(round)));
    }
    QCOMPARE(feed.shortTakes, 0);
    QVERIFY(feed.maxHeadsAfterPass <= 1);
    QVERIFY(feed.decoder().BufferLength() < KZ_Debug_TLV_Server::BufferSizeUART);
}

QTEST_GUILESS_MAIN(TestTlv)
#include "tst_tlv.moc"
