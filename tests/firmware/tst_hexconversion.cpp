// Intel HEX conversion: record handling, placement by address, refusals, reuse of the image file, and
// mutated files checked against an independent reading of the format.
#include "firmware/IntelHexConverter.h"
#include "tests/support/HexRecord.h"

#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

namespace {

QStringList logLines;

void captureLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    logLines.append(message);
}

QByteArray record(quint8 type, quint16 address, const QByteArray &data)
{
    return hexRecordLine(type, address, data);
}

QByteArray dataRecord(quint16 address, const QByteArray &data)
{
    return record(0x00, address, data);
}

QByteArray word(quint16 value)
{
    return QByteArray(1, char(value >> 8)) + char(value & 0xFF);
}

QByteArray linearAddress(quint16 upper)
{
    return record(0x04, 0, word(upper));
}

QByteArray segmentAddress(quint16 segment)
{
    return record(0x02, 0, word(segment));
}

const QByteArray endOfFile = ":00000001FF";

QByteArray bytes(int count, int seed)
{
    QByteArray data;
    for (int i = 0; i < count; ++i)
        data.append(char((seed * 37 + i * 11) & 0xFF));
    return data;
}

QByteArray erased(int count)
{
    return QByteArray(count, char(0xFF));
}

QByteArray hexText(const QList<QByteArray> &lines, const QByteArray &lineEnd = "\r\n")
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + lineEnd;
    return text;
}

// Reads a HEX text the way the format defines it, independently of the converter: not valid when a
// record before the end-of-file record is malformed, has a bad checksum, lies outside the flash window
// or overlaps another; otherwise the image those records make.
struct Oracle
{
    bool valid = false;
    QByteArray image;

    static int digit(char c)
    {
        const int index = QByteArray("0123456789abcdef0123456789ABCDEF").indexOf(c);
        return index < 0 ? -1 : index % 16;
    }

    explicit Oracle(const QByteArray &text)
    {
        QList<QByteArray> lines = text.split('\n');
        if (text.endsWith('\n'))
            lines.removeLast();
        QMap<quint32, char> cells;
        quint32 base = 0;
        bool segmented = false;
        for (QByteArray line : qAsConst(lines)) {
            if (line.endsWith('\r'))
                line.chop(1);
            if (line.size() < 11 || line.at(0) != ':' || (line.size() - 1) % 2 != 0)
                return;
            QByteArray fields;
            for (int i = 1; i < line.size(); i += 2) {
                const int high = digit(line.at(i));
                const int low = digit(line.at(i + 1));
                if (high < 0 || low < 0)
                    return;
                fields.append(char(high * 16 + low));
            }
            const int count = quint8(fields.at(0));
            if (fields.size() != count + 5)
                return;
            quint8 sum = 0;
            for (char byte : qAsConst(fields))
                sum += quint8(byte);
            if (sum != 0)
                return;
            const quint16 offset = quint16(quint8(fields.at(1)) << 8 | quint8(fields.at(2)));
            const quint8 type = quint8(fields.at(3));
            const QByteArray data = fields.mid(4, count);
            if (type == 0x01)
                break;
            if (type == 0x02 || type == 0x04) {
                if (count != 2)
                    return;
                const quint32 value = quint32(quint8(data.at(0))) << 8 | quint8(data.at(1));
                segmented = type == 0x02;
                base = segmented ? value << 4 : value << 16;
            } else if (type == 0x00) {
                for (int i = 0; i < count; ++i) {
                    const quint32 address =
                        segmented ? base + ((offset + quint32(i)) & 0xFFFF) : base + offset + quint32(i);
                    if (address < 0x08000000 || address > 0x080FFFFF || cells.contains(address))
                        return;
                    cells.insert(address, data.at(i));
                }
            }
        }
        if (!cells.isEmpty()) {
            image = erased(int(cells.lastKey() - 0x08000000) + 1);
            for (auto cell = cells.cbegin(); cell != cells.cend(); ++cell)
                image[int(cell.key() - 0x08000000)] = cell.value();
        }
        valid = true;
    }
};

} // namespace

class TestHexConversion : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void conversion_data();
    void conversion();
    void hexText2ByteArray_data();
    void hexText2ByteArray();
    void reusesTheImageFile();
    void failuresBeforeTheRecordsLeaveTheImageAlone_data();
    void failuresBeforeTheRecordsLeaveTheImageAlone();
    void imageFileThatCannotBeOpened();
    void mutatedFilesPassOnlyWhenValid();
    void builtInFirmware_data();
    void builtInFirmware();

private:
    QString writeHexFile(const QByteArray &text, const QString &name = QStringLiteral("in.hex"));

    QTemporaryDir m_Dir;
    QtMessageHandler m_PreviousHandler = nullptr;
};

void TestHexConversion::init()
{
    QVERIFY(m_Dir.isValid());
    logLines.clear();
    m_PreviousHandler = qInstallMessageHandler(captureLog);
}

void TestHexConversion::cleanup()
{
    qInstallMessageHandler(m_PreviousHandler);
}

QString TestHexConversion::writeHexFile(const QByteArray &text, const QString &name)
{
    const QString path = m_Dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return QString();
    return path;
}

void TestHexConversion::conversion_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("image"); // expected image when the result is 1
    QTest::addColumn<QString>("logLine");  // part of an expected log line, if any

    const QByteArray a = bytes(16, 1), b = bytes(16, 2), c = bytes(16, 3);
    const QList<QByteArray> threeRecords = {linearAddress(0x0800),
                                            dataRecord(0x0000, a),
                                            dataRecord(0x0010, b),
                                            dataRecord(0x0020, c),
                                            record(0x05, 0, QByteArray::fromHex("080000ED")),
                                            endOfFile};

    QTest::newRow("16-byte records, CR LF") << hexText(threeRecords) << 1 << a + b + c << "BinFileSize 0 kB";
    QTest::newRow("LF line ends") << hexText(threeRecords, "\n") << 1 << a + b + c << "HexFileSize: 0 kB";
    QTest::newRow("lower-case digits") << hexText(threeRecords).toLower() << 1 << a + b + c << "";
    QTest::newRow("no end-of-file record") << hexText(threeRecords.mid(0, 4)) << 1 << a + b + c << "";
    QTest::newRow("blank lines and text after the end") << hexText(threeRecords) + "\r\n\r\nnot a record\r\n"
                                                        << 1 << a + b + c << "";
    QTest::newRow("no data records") << hexText({linearAddress(0x0800),
                                                 record(0x05, 0, QByteArray::fromHex("080000ED")), endOfFile})
                                     << 1 << QByteArray() << "BinFileSize 0 kB";
    QTest::newRow("18 data bytes with CR LF fit")
        << hexText({linearAddress(0x0800), dataRecord(0, bytes(18, 4)), endOfFile}) << 1 << bytes(18, 4)
        << "";

    QTest::newRow("one line") << hexText({endOfFile}) << -3 << QByteArray() << "";
    QTest::newRow("two lines") << hexText({linearAddress(0x0800), endOfFile}) << -3 << QByteArray() << "";
    QTest::newRow("third line is no record")
        << hexText({linearAddress(0x0800), dataRecord(0, a), "x", endOfFile}) << -3 << QByteArray() << "";

    QTest::newRow("32-byte records") << hexText({linearAddress(0x0800), dataRecord(0, bytes(32, 1)),
                                                 dataRecord(32, bytes(32, 2)), endOfFile})
                                     << -5 << QByteArray() << "Record too short in line 2";
    QTest::newRow("19 data bytes: line end cut off")
        << hexText({linearAddress(0x0800), dataRecord(0, bytes(19, 4)), dataRecord(19, a), endOfFile}) << -5
        << QByteArray() << "Startcode missing";
    QTest::newRow("blank line between records")
        << hexText(
               {linearAddress(0x0800), dataRecord(0, a), dataRecord(16, b), "", dataRecord(32, c), endOfFile})
        << -5 << QByteArray() << "Startcode missing";
    QTest::newRow("checksum missing")
        << hexText({linearAddress(0x0800), dataRecord(0, a), dataRecord(16, b).chopped(2), endOfFile}) << -5
        << QByteArray() << "Record too short in line 3";
    QTest::newRow("data characters missing")
        << hexText({linearAddress(0x0800), dataRecord(0, a), dataRecord(16, b).left(20), endOfFile}) << -5
        << QByteArray() << "Record too short in line 3";
    QByteArray badDigit = dataRecord(0, QByteArray(4, '\0'));
    badDigit[10] = 'G'; // "0G" would read as 0 and still match the checksum
    QTest::newRow("non-hex digit") << hexText({linearAddress(0x0800), badDigit, dataRecord(4, a), endOfFile})
                                   << -5 << QByteArray() << "Invalid hex digit in line 2";
    QTest::newRow("text after the checksum")
        << hexText({linearAddress(0x0800), dataRecord(0, a) + "00", dataRecord(16, b), endOfFile}) << -5
        << QByteArray() << "Characters after the checksum in line 2";
    QTest::newRow("address record of three bytes")
        << hexText({record(0x04, 0, QByteArray::fromHex("080000")), dataRecord(0, a), endOfFile}) << -5
        << QByteArray() << "Address record malformed in line 1";

    QByteArray offByOne = dataRecord(0x0010, b);
    const quint8 rightChecksum = quint8(QByteArray::fromHex(offByOne.right(2)).at(0));
    offByOne.replace(offByOne.size() - 2, 2, QByteArray(1, char(rightChecksum + 1)).toHex().toUpper());
    QTest::newRow("checksum off by one")
        << hexText({linearAddress(0x0800), dataRecord(0, a), offByOne, endOfFile}) << -6 << QByteArray()
        << QString::asprintf("Wrong Checksum CAL: 0x%02x DataRead 0x%02x missing", rightChecksum,
                             quint8(rightChecksum + 1));
    QTest::newRow("end-of-file record with a wrong checksum")
        << hexText({linearAddress(0x0800), dataRecord(0, a), ":00000001FE"}) << -6 << QByteArray()
        << "Wrong Checksum CAL: 0xff DataRead 0xfe missing";

    QTest::newRow("linear address record where the records cross 64 KiB")
        << hexText({linearAddress(0x0800), dataRecord(0xFFF0, a), linearAddress(0x0801), dataRecord(0, b),
                    endOfFile})
        << 1 << erased(0xFFF0) + a + b << "";
    QTest::newRow("gap filled with 0xFF")
        << hexText({linearAddress(0x0800), dataRecord(0, a.left(4)), dataRecord(0x10, b.left(4)), endOfFile})
        << 1 << a.left(4) + erased(12) + b.left(4) << "";
    QTest::newRow("records backwards") << hexText({linearAddress(0x0800), dataRecord(0x20, c),
                                                   dataRecord(0x10, b), dataRecord(0, a), endOfFile})
                                       << 1 << a + b + c << "";
    QTest::newRow("data above the flash base")
        << hexText({linearAddress(0x0800), dataRecord(0x100, a), endOfFile}) << 1 << erased(0x100) + a << "";
    QTest::newRow("last byte of the window")
        << hexText({linearAddress(0x080F), dataRecord(0xFFFF, "\x5A"), endOfFile}) << 1
        << erased(0xFFFFF) + "\x5A"
        << "";
    QTest::newRow("segment address, then linear address")
        << hexText({segmentAddress(0x1000), linearAddress(0x0800), dataRecord(0, a), endOfFile}) << 1 << a
        << "";

    QTest::newRow("no address record") << hexText({dataRecord(0, a), dataRecord(16, b), endOfFile}) << -7
                                       << QByteArray() << "Data outside flash at 0x00000000 in line 1";
    QTest::newRow("segment address below the flash")
        << hexText({segmentAddress(0xF000), dataRecord(0, a), endOfFile}) << -7 << QByteArray()
        << "Data outside flash at 0x000f0000 in line 2";
    QTest::newRow("above the window") << hexText({linearAddress(0x0810), dataRecord(0, a), endOfFile}) << -7
                                      << QByteArray() << "Data outside flash at 0x08100000";
    QTest::newRow("record across the window end")
        << hexText({linearAddress(0x080F), dataRecord(0xFFF8, a), endOfFile}) << -7 << QByteArray()
        << "Data outside flash at 0x08100000 in line 2";
    QTest::newRow("same record twice")
        << hexText({linearAddress(0x0800), dataRecord(0, a), dataRecord(0, a), endOfFile}) << -8
        << QByteArray() << "Address 0x08000000 written twice in line 3";
    QTest::newRow("one byte overlapping")
        << hexText({linearAddress(0x0800), dataRecord(0x10, b), dataRecord(0x01, a), endOfFile}) << -8
        << QByteArray() << "Address 0x08000010 written twice in line 3";
}

void TestHexConversion::conversion()
{
    QFETCH(QByteArray, text);
    QFETCH(int, result);
    QFETCH(QByteArray, image);
    QFETCH(QString, logLine);

    QFile hexFile(writeHexFile(text));
    QTemporaryFile imageFile;
    QCOMPARE(int(convertHexFileToImage(&hexFile, &imageFile)), result);
    QVERIFY(!hexFile.isOpen());
    if (result == 1) {
        QVERIFY(imageFile.isOpen());
        QCOMPARE(imageFile.pos(), qint64(0));
        QCOMPARE(imageFile.readAll(), image);
    } else {
        QVERIFY(!imageFile.isOpen());
        if (result <= -5)
            QCOMPARE(QFileInfo(imageFile.fileName()).size(), qint64(0));
    }
    if (!logLine.isEmpty()) {
        const QString joined = logLines.join(QLatin1Char('\n'));
        QVERIFY2(joined.contains(logLine), qPrintable(joined));
    }
}

void TestHexConversion::hexText2ByteArray_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("both cases") << QByteArray("0a1BfF") << QByteArray("\x0a\x1b\xff", 3);
    QTest::newRow("invalid pairs read 0") << QByteArray("zz 1+1G0") << QByteArray(4, '\0');
    QTest::newRow("odd character dropped") << QByteArray("abc") << QByteArray("\xab");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
}

void TestHexConversion::hexText2ByteArray()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    HexText2ByteArray(&text);
    QCOMPARE(text, expected);
}

void TestHexConversion::reusesTheImageFile()
{
    QTemporaryFile imageFile;
    QFile first(writeHexFile(hexText(
        {linearAddress(0x0800), dataRecord(0, bytes(16, 1)), dataRecord(16, bytes(16, 2)), endOfFile})));
    QCOMPARE(int(convertHexFileToImage(&first, &imageFile)), 1);
    const QString name = imageFile.fileName();

    QFile second(writeHexFile(hexText({linearAddress(0x0800), dataRecord(0, bytes(4, 9)), endOfFile}),
                              QStringLiteral("second.hex")));
    QCOMPARE(int(convertHexFileToImage(&second, &imageFile)), 1);
    QCOMPARE(imageFile.fileName(), name);
    QCOMPARE(imageFile.readAll(), bytes(4, 9));

    // After a refused file the next conversion opens the closed image file again.
    QFile broken(writeHexFile(hexText({linearAddress(0x0800), ":0", endOfFile})));
    QCOMPARE(int(convertHexFileToImage(&broken, &imageFile)), -5);
    QCOMPARE(int(convertHexFileToImage(&second, &imageFile)), 1);
    QCOMPARE(imageFile.readAll(), bytes(4, 9));
}

void TestHexConversion::failuresBeforeTheRecordsLeaveTheImageAlone_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("result");
    QTest::newRow("missing file") << m_Dir.filePath(QStringLiteral("missing.hex")) << -1;
    QTest::newRow("folder") << m_Dir.path() << -2;
    QTest::newRow("not a HEX file") << QString() << -3;
}

void TestHexConversion::failuresBeforeTheRecordsLeaveTheImageAlone()
{
    QFETCH(QString, path);
    QFETCH(int, result);
    QTemporaryFile imageFile;
    QFile good(writeHexFile(hexText({linearAddress(0x0800), dataRecord(0, bytes(8, 5)), endOfFile})));
    QCOMPARE(int(convertHexFileToImage(&good, &imageFile)), 1);

    if (path.isEmpty())
        path = writeHexFile("Hello\r\nWorld\r\n!\r\n");
    QFile hexFile(path);
    QCOMPARE(int(convertHexFileToImage(&hexFile, &imageFile)), result);
    QVERIFY(!hexFile.isOpen());
    QVERIFY(imageFile.isOpen());
    QCOMPARE(imageFile.readAll(), bytes(8, 5));
}

void TestHexConversion::imageFileThatCannotBeOpened()
{
    QTemporaryFile imageFile(m_Dir.filePath(QStringLiteral("no-such-folder/image.XXXXXX")));
    QFile hexFile(writeHexFile(hexText({linearAddress(0x0800), dataRecord(0, bytes(8, 5)), endOfFile})));
    QCOMPARE(int(convertHexFileToImage(&hexFile, &imageFile)), -4);
    QVERIFY(!hexFile.isOpen());
}

void TestHexConversion::mutatedFilesPassOnlyWhenValid()
{
    // Records of several lengths with gaps, a second 64 KiB segment and start address records.
    QList<QByteArray> lines = {linearAddress(0x0800)};
    quint16 address = 0;
    for (int i = 0; i < 12; ++i) {
        const int length = 1 + (i * 7) % 18;
        lines.append(dataRecord(address, bytes(length, i)));
        address += quint16(length + (i % 3 == 0 ? 5 : 0));
    }
    lines += {linearAddress(0x0801), dataRecord(0x0000, bytes(16, 20)), dataRecord(0x0010, bytes(16, 21)),
              record(0x05, 0, QByteArray::fromHex("080000ED")), endOfFile};
    const QByteArray original = hexText(lines);
    QVERIFY(Oracle(original).valid);

    const QByteArray alphabet = "0123456789ABCDEFabcdefG:\r\n \xff";
    QRandomGenerator random(20240511);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray text = original;
        const int mutations = 1 + random.bounded(3);
        for (int m = 0; m < mutations && !text.isEmpty(); ++m) {
            const int position = random.bounded(text.size());
            const char character = random.bounded(4) == 0 ? char(random.bounded(256))
                                                          : alphabet.at(random.bounded(alphabet.size()));
            switch (random.bounded(4)) {
            case 0: // flip
                text[position] = character;
                break;
            case 1: // insert
                text.insert(position, character);
                break;
            case 2: // delete
                text.remove(position, 1);
                break;
            default: { // truncate the line at position
                const int lineEnd = text.indexOf('\n', position);
                text.remove(position, (lineEnd < 0 ? text.size() : lineEnd) - position);
                break;
            }
            }
        }

        QFile hexFile(writeHexFile(text));
        QTemporaryFile imageFile;
        const qint8 result = convertHexFileToImage(&hexFile, &imageFile);
        QVERIFY2(result == 1 || (result >= -8 && result <= -3),
                 qPrintable(QStringLiteral("round %1: result %2").arg(round).arg(result)));
        if (result != 1)
            continue;
        ++accepted;
        const Oracle oracle(text);
        QVERIFY2(oracle.valid,
                 qPrintable(QStringLiteral("round %1 accepted:\n%2").arg(round).arg(QString(text))));
        QCOMPARE(imageFile.readAll(), oracle.image);
    }
    // Mutations after the end-of-file record leave files that must still pass.
    QVERIFY(accepted > 0);
    logLines.clear();
}

void TestHexConversion::builtInFirmware_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("imageSize");
    QTest::newRow("1.0.31") << QStringLiteral("TessunFix_1_0_31.hex") << 76224;
    QTest::newRow("1.0.37") << QStringLiteral("TessunFix_1_0_37.hex") << 97824;
}

void TestHexConversion::builtInFirmware()
{
    QFETCH(QString, fileName);
    QFETCH(int, imageSize);
    QFile hexFile(QStringLiteral(ZELVAN_BUILTIN_HEX_DIR "/") + fileName);
    QTemporaryFile imageFile;
    QCOMPARE(int(convertHexFileToImage(&hexFile, &imageFile)), 1);
    QCOMPARE(imageFile.size(), qint64(imageSize));
    // Gap-free records from the flash base: the first record's data opens the image.
    QVERIFY(hexFile.open(QIODevice::ReadOnly));
    hexFile.readLine();
    QByteArray firstRecord = hexFile.readLine().trimmed().mid(9, 32);
    HexText2ByteArray(&firstRecord);
    QCOMPARE(imageFile.read(16), firstRecord);
}

QTEST_GUILESS_MAIN(TestHexConversion)
#include "tst_hexconversion.moc"
