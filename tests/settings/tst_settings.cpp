// Settings.xml (format, read scan, write at the end only), the built-in firmware copy in the firmware
// folder, and the structure of the two built-in firmware files.
#include "settings/KZ_XML_Settings.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/TempAppData.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <memory>

namespace {

// Position of the first log line holding the text, or -1.
int lineIndex(const LogRecorder &log, const QString &text)
{
    const QStringList lines = log.lines();
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).contains(text))
            return i;
    }
    return -1;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

QByteArray settingsDocument(const QByteArray &path, const QByteArray &device, const QByteArray &mode)
{
    return "<?xml version=\"1.0\"?>\n<Settings>\n    <SettingsPathHexFile>" + path +
           "</SettingsPathHexFile>\n    <SettingsUsbDevName>" + device +
           "</SettingsUsbDevName>\n"
           "    <SettingsDebugComMode>" +
           mode + "</SettingsDebugComMode>\n</Settings>\n";
}

const QString TessunName = QStringLiteral("TessunFix_1_0_31.hex");

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private:
    QString settingsPath() const { return m_AppData->appDataPath() + "/Settings.xml"; }
    QString tessunPath() const { return m_AppData->appDataPath() + "/firmware/" + TessunName; }
    std::unique_ptr<TempAppData> m_AppData;

private slots:
    void init();
    void cleanup();

    void firstStartCreatesFolderFileAndDefaults();
    void valuesAreWrittenExactlyAndReadBack_data();
    void valuesAreWrittenExactlyAndReadBack();
    void readScan_data();
    void readScan();
    void fileOnDiskChangesOnlyAtTheEnd();
    void unusableSettingsFileKeepsDefaultsAndWritesNothing();

    void firstStartCopiesTheResourceExactly();
    void presentFirmwareFileIsKept_data();
    void presentFirmwareFileIsKept();
    void firmwareFolderThatCannotBeMadeCopiesNothing();

    void builtInFirmwareFiles_data();
    void builtInFirmwareFiles();
};

void TestSettings::init()
{
    m_AppData = std::make_unique<TempAppData>();
    QVERIFY(m_AppData->isValid());
    QVERIFY(!QDir(m_AppData->appDataPath()).exists());
}

void TestSettings::cleanup()
{
    m_AppData.reset();
}

void TestSettings::firstStartCreatesFolderFileAndDefaults()
{
    {
        KZ_XML_Settings settings;
        QVERIFY(QDir(m_AppData->appDataPath()).exists());
        QCOMPARE(readAll(settingsPath()), QByteArray());
        QCOMPARE(settings.getPathHexFile(), QString());
        QCOMPARE(settings.getUsbDevName(), QString());
    }
    QCOMPARE(readAll(settingsPath()), settingsDocument("", "", " 0"));
}

void TestSettings::valuesAreWrittenExactlyAndReadBack_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("device");
    QTest::addColumn<quint32>("mode");
    QTest::addColumn<QByteArray>("expectedFile");

    QTest::newRow("plain") << "C:/Users/kz/Desktop/Blink.hex"
                           << "Zelvan Mini [0xZV000001]" << 1u
                           << settingsDocument("C:/Users/kz/Desktop/Blink.hex", "Zelvan Mini [0xZV000001]",
                                               " 1");
    QTest::newRow("reserved characters")
        << "/home/kz/a&b/<new>/\"x\".hex"
        << "R&D <bench>" << 0u
        << settingsDocument("/home/kz/a&amp;b/&lt;new&gt;/&quot;x&quot;.hex", "R&amp;D &lt;bench&gt;", " 0");
    QTest::newRow("non-ASCII") << QString::fromUtf8("/home/jürgen/Größe/固件.hex")
                               << QString::fromUtf8("Zelvan Mini – Prüfplatz [0xZV2]") << 1u
                               << settingsDocument("/home/jürgen/Größe/固件.hex",
                                                   "Zelvan Mini – Prüfplatz [0xZV2]", " 1");
    QTest::newRow("blanks kept") << "  /tmp/with blanks.hex  "
                                 << " " << 0u << settingsDocument("  /tmp/with blanks.hex  ", " ", " 0");
}

void TestSettings::valuesAreWrittenExactlyAndReadBack()
{
    QFETCH(QString, path);
    QFETCH(QString, device);
    QFETCH(quint32, mode);
    QFETCH(QByteArray, expectedFile);
    {
        KZ_XML_Settings settings;
        settings.setPathHexFile(path);
        settings.setUsbDevName(device);
        settings.setDebugComMode(mode);
    }
    QCOMPARE(readAll(settingsPath()), expectedFile);
    {
        KZ_XML_Settings settings;
        QCOMPARE(settings.getPathHexFile(), path);
        QCOMPARE(settings.getUsbDevName(), device);
    }
    // Read and written again unchanged, the mode included.
    QCOMPARE(readAll(settingsPath()), expectedFile);
}

void TestSettings::readScan_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QByteArray>("modeWritten");

    QTest::newRow("mode blank one") << settingsDocument("p", "d", " 1") << "p"
                                    << "d" << QByteArray(" 1");
    QTest::newRow("mode not a number") << settingsDocument("p", "d", "x") << "p"
                                       << "d" << QByteArray(" 0");
    QTest::newRow("mode missing") << QByteArray("<Settings><SettingsPathHexFile>p</SettingsPathHexFile>"
                                                "<SettingsUsbDevName>d</SettingsUsbDevName></Settings>")
                                  << "p"
                                  << "d" << QByteArray(" 0");
    QTest::newRow("any order, later value wins")
        << QByteArray("<Settings><SettingsDebugComMode>1</SettingsDebugComMode>"
                      "<SettingsUsbDevName>d</SettingsUsbDevName><SettingsPathHexFile>a</SettingsPathHexFile>"
                      "<SettingsPathHexFile>b</SettingsPathHexFile></Settings>")
        << "b"
        << "d" << QByteArray(" 1");
    QTest::newRow("another element ends the scan")
        << QByteArray("<Settings><Other/><SettingsUsbDevName>d</SettingsUsbDevName></Settings>") << ""
        << "" << QByteArray(" 0");
    QTest::newRow("values before another element stay")
        << QByteArray("<Settings><SettingsPathHexFile>p</SettingsPathHexFile><Other>t</Other>"
                      "<SettingsUsbDevName>d</SettingsUsbDevName></Settings>")
        << "p"
        << "" << QByteArray(" 0");
    QTest::newRow("a later Settings element at any depth is scanned")
        << QByteArray("<Root><Settings><Other/></Settings><Group><Settings>"
                      "<SettingsUsbDevName>d</SettingsUsbDevName></Settings></Group></Root>")
        << ""
        << "d" << QByteArray(" 0");
    QTest::newRow("names are case-sensitive")
        << QByteArray("<Settings><settingspathhexfile>p</settingspathhexfile></Settings>") << ""
        << "" << QByteArray(" 0");
    QTest::newRow("not well-formed keeps what came before")
        << QByteArray(
               "<Settings><SettingsPathHexFile>p</SettingsPathHexFile><SettingsUsbDevName>d</Settings>")
        << "p"
        << "d" << QByteArray(" 0");
    QTest::newRow("nested element in a value ends the read")
        << QByteArray("<Settings><SettingsDebugComMode>1</SettingsDebugComMode>"
                      "<SettingsPathHexFile>p<b/></SettingsPathHexFile>"
                      "<SettingsUsbDevName>d</SettingsUsbDevName></Settings>")
        << "p"
        << "" << QByteArray(" 1");
    QTest::newRow("not XML") << QByteArray("path=/tmp/x.hex\n") << ""
                             << "" << QByteArray(" 0");
}

void TestSettings::readScan()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, path);
    QFETCH(QString, device);
    QFETCH(QByteArray, modeWritten);
    QVERIFY(writeAll(settingsPath(), content));
    {
        KZ_XML_Settings settings;
        QCOMPARE(settings.getPathHexFile(), path);
        QCOMPARE(settings.getUsbDevName(), device);
    }
    QCOMPARE(readAll(settingsPath()), settingsDocument(path.toUtf8(), device.toUtf8(), modeWritten));
}

void TestSettings::fileOnDiskChangesOnlyAtTheEnd()
{
    const QByteArray original = "<Settings><SettingsPathHexFile>/old.hex</SettingsPathHexFile></Settings>";
    QVERIFY(writeAll(settingsPath(), original));
    {
        KZ_XML_Settings settings;
        settings.setPathHexFile("/new.hex");
        settings.setUsbDevName("Zelvan Mini [0xZV000001]");
        settings.setDebugComMode(1);
        QCOMPARE(readAll(settingsPath()), original);
    }
    // The new, shorter-or-longer content replaces the old one completely.
    QCOMPARE(readAll(settingsPath()), settingsDocument("/new.hex", "Zelvan Mini [0xZV000001]", " 1"));
}

void TestSettings::unusableSettingsFileKeepsDefaultsAndWritesNothing()
{
    QVERIFY(QDir().mkpath(settingsPath())); // a folder where the file should be
    LogRecorder log;
    {
        KZ_XML_Settings settings;
        QCOMPARE(settings.getPathHexFile(), QString());
        settings.setPathHexFile("/x.hex");
    }
    QCOMPARE(log.count("Unable to open settings file"), 1);
    QCOMPARE(log.count("File not open!"), 1);
    QCOMPARE(log.count("Write Content"), 0);
    QVERIFY(QFileInfo(settingsPath()).isDir());
    // The firmware copy does not depend on the settings file.
    QVERIFY(QFile::exists(tessunPath()));
}

void TestSettings::firstStartCopiesTheResourceExactly()
{
    LogRecorder log;
    KZ_XML_Settings settings;
    QCOMPARE(settings.getPath2TessunHexFile(), tessunPath());
    QCOMPARE(readAll(tessunPath()), readAll(":/hex/" + TessunName));
    QCOMPARE(QFileInfo(tessunPath()).size(), 214448);
    QVERIFY(lineIndex(log, "Tessun HexFile not exist") >= 0);
    QVERIFY(lineIndex(log, "Create New Tessun Hex File") > lineIndex(log, "Tessun HexFile not exist"));
}

void TestSettings::presentFirmwareFileIsKept_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("second start") << readAll(":/hex/" + TessunName);
    QTest::newRow("edited by the user") << QByteArray(":00000001FF\r\n");
    QTest::newRow("truncated to nothing") << QByteArray();
}

void TestSettings::presentFirmwareFileIsKept()
{
    QFETCH(QByteArray, content);
    QVERIFY(writeAll(tessunPath(), content));
    LogRecorder log;
    KZ_XML_Settings settings;
    QCOMPARE(readAll(tessunPath()), content);
    QCOMPARE(log.count("Tessun"), 0);
    QCOMPARE(log.count("firmware"), 0);
    QCOMPARE(settings.getPath2TessunHexFile(), tessunPath());
}

void TestSettings::firmwareFolderThatCannotBeMadeCopiesNothing()
{
    QVERIFY(writeAll(m_AppData->appDataPath() + "/firmware", "a file, not a folder"));
    LogRecorder log;
    KZ_XML_Settings settings;
    QCOMPARE(log.count("Unable to open Tessun hex file"), 1);
    QCOMPARE(log.count("Create New Tessun Hex File"), 0);
    QCOMPARE(settings.getPath2TessunHexFile(), tessunPath());
}

void TestSettings::builtInFirmwareFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<int>("dataRecords");
    QTest::addColumn<QByteArray>("identification");
    QTest::newRow("in use") << TessunName << qint64(214448) << 4764 << QByteArray("TessunFix 1.0.31");
    QTest::newRow("spare") << "TessunFix_1_0_37.hex" << qint64(275198) << 6114
                           << QByteArray("TessunFix 1.0.37");
}

// Every record is checked: line end, upper-case hex digits, length and checksum, and the exact sequence
// of record types and addresses that the HEX conversion relies on.
void TestSettings::builtInFirmwareFiles()
{
    QFETCH(QString, name);
    QFETCH(qint64, fileSize);
    QFETCH(int, dataRecords);
    QFETCH(QByteArray, identification);

    const QByteArray text = readAll(":/hex/" + name);
    QCOMPARE(qint64(text.size()), fileSize);
    QVERIFY(text.endsWith("\r\n"));
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast(); // after the last line end

    QByteArray image;
    quint32 upper = 0;
    QList<QByteArray> nonData;
    for (const QByteArray &line : qAsConst(lines)) {
        QVERIFY2(line.startsWith(':') && line.endsWith('\r'), line.constData());
        const QByteArray digits = line.mid(1, line.size() - 2);
        QVERIFY2(digits == digits.toUpper(), line.constData());
        const QByteArray record = QByteArray::fromHex(digits);
        QCOMPARE(record.toHex().toUpper(), digits);
        QVERIFY(record.size() >= 5);
        QCOMPARE(record.size(), 5 + quint8(record.at(0)));
        quint8 sum = 0;
        for (char byte : record)
            sum += quint8(byte);
        QVERIFY2(sum == 0, line.constData());

        const quint32 offset = (quint8(record.at(1)) << 8) | quint8(record.at(2));
        const QByteArray payload = record.mid(4, record.size() - 5);
        if (record.at(3) == 0x00) {
            QCOMPARE(payload.size(), 16);
            QCOMPARE((upper << 16) | offset, 0x08000000u + quint32(image.size()));
            image += payload;
        } else {
            if (record.at(3) == 0x04)
                upper = (quint8(payload.at(0)) << 8) | quint8(payload.at(1));
            nonData.append(line + QByteArray::number(image.size()));
        }
    }
    const QList<QByteArray> expected = {":020000040800F2\r0", ":020000040801F1\r65536",
                                        ":04000005080000ED02\r" + QByteArray::number(dataRecords * 16),
                                        ":00000001FF\r" + QByteArray::number(dataRecords * 16)};
    QCOMPARE(nonData, expected);
    QVERIFY(lines.first().startsWith(":02000004"));
    QVERIFY(lines.last() == ":00000001FF\r");
    QCOMPARE(image.size(), dataRecords * 16);

    // A plausible STM32F10x image: stack pointer in SRAM, reset vector 0x080000ED, and the identification.
    const quint32 stack = qFromLittleEndian<quint32>(image.constData());
    const quint32 reset = qFromLittleEndian<quint32>(image.constData() + 4);
    QVERIFY(stack > 0x20000000u && stack <= 0x20005000u);
    QCOMPARE(reset, 0x080000EDu);
    const QByteArray marker = "ZELVAN-FW:" + identification + '\0';
    QCOMPARE(image.count("ZELVAN-FW:"), 1);
    QVERIFY(image.contains(marker));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
