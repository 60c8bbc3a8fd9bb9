// The diagnostic log's line format, including lines longer than the line buffer.
#include "app/log/Log.h"

#include <QtTest>

namespace {

QStringList capturedLines;

void captureHandler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    capturedLines.append(message);
}

QString capture(bool error, const char *tag, const char *format, const char *argument)
{
    capturedLines.clear();
    QtMessageHandler previous = qInstallMessageHandler(captureHandler);
    if (error)
        LogError(tag, format, argument);
    else
        LogStatus(tag, format, argument);
    qInstallMessageHandler(previous);
    return capturedLines.size() == 1 ? capturedLines.first() : QStringLiteral("<%1 lines>").arg(capturedLines.size());
}

} // namespace

class TestLog : public QObject
{
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
    void longLinesAreCutInsideTheBuffer_data();
    void longLinesAreCutInsideTheBuffer();
};

void TestLog::lines_data()
{
    QTest::addColumn<bool>("error");
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<QString>("expected");

    QTest::newRow("status") << false << QByteArray("ZelvanFirmwareLoader::ZelvanFirmwareLoader")
                            << QByteArray("Start Programm") << QByteArray()
                            << QStringLiteral("STATUS[\x1b[32mFileLoader\x1b[0m]->"
                                              "ZelvanFirmwareLoader::ZelvanFirmwareLoader: Start Programm");
    QTest::newRow("error") << true << QByteArray("ZelvanFirmwareLoader::on_m_pBConnect_clicked")
                           << QByteArray("Can't open SiUsbDev") << QByteArray()
                           << QStringLiteral("\x1b[31mERROR[\x1b[32mFileLoader\x1b[31m]->"
                                             "ZelvanFirmwareLoader::on_m_pBConnect_clicked: Can't open SiUsbDev\x1b[0m");
    QTest::newRow("percent in argument") << false << QByteArray("T") << QByteArray("SE: %s") << QByteArray("100% %d")
                                         << QStringLiteral("STATUS[\x1b[32mFileLoader\x1b[0m]->T: SE: 100% %d");
    QTest::newRow("empty status") << false << QByteArray("T") << QByteArray("") << QByteArray()
                                  << QStringLiteral("STATUS[\x1b[32mFileLoader\x1b[0m]->T: ");
    QTest::newRow("empty error") << true << QByteArray("T") << QByteArray("") << QByteArray()
                                 << QStringLiteral("\x1b[31mERROR[\x1b[32mFileLoader\x1b[31m]->T: \x1b[0m");
}

void TestLog::lines()
{
    QFETCH(bool, error);
    QFETCH(QByteArray, tag);
    QFETCH(QByteArray, format);
    QFETCH(QByteArray, argument);
    QFETCH(QString, expected);
    QCOMPARE(capture(error, tag.constData(), format.constData(), argument.constData()), expected);
}

void TestLog::longLinesAreCutInsideTheBuffer_data()
{
    QTest::addColumn<bool>("error");
    QTest::addColumn<int>("textLength");
    QTest::newRow("status text of 5000") << false << 5000;
    QTest::newRow("error text of 5000") << true << 5000;
    QTest::newRow("error text that just fits") << true << 2000;
    QTest::newRow("status tag of 3000") << false << -3000;
    QTest::newRow("error tag of 3000") << true << -3000;
}

void TestLog::longLinesAreCutInsideTheBuffer()
{
    QFETCH(bool, error);
    QFETCH(int, textLength);
    // A negative length puts the long text into the tag instead of the message.
    const QByteArray longText(qAbs(textLength), 'x');
    const QByteArray tag = textLength < 0 ? longText : QByteArray("T");
    const QByteArray text = textLength < 0 ? QByteArray("tail") : longText;
    const QString line = capture(error, tag.constData(), "%s", text.constData());

    QVERIFY(line.size() <= 2047);
    QVERIFY(line.contains("xxxx"));
    if (error)
        QVERIFY(line.endsWith("\x1b[0m"));
    if (textLength == 2000)
        QVERIFY(line.contains(QString(2000, 'x') + "\x1b[0m"));
}

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
