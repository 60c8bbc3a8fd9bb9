// Console text to HTML: colour markers, line ends and Latin-1 bytes, as the console shows them.
#include "app/ConsoleMarkup.h"

#include <QtTest>

class TestConsole : public QObject
{
    Q_OBJECT
private slots:
    void conversion_data();
    void conversion();
    void messagesLogTheirLineEnds();
};

void TestConsole::conversion_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("message");
    QTest::addColumn<QString>("html");

    QTest::newRow("red word, final line feed adds nothing")
        << QByteArray("\x1b[31mError\x1b[0m\n") << false
        << QStringLiteral("<font color=\"Red\">Error</font>");
    QTest::newRow("green then blue closes green, leaves blue open")
        << QByteArray("\x1b[32mA\x1b[34mB") << false
        << QStringLiteral("<font color=\"Green\">A</font><font color=\"Blue\">B");
    QTest::newRow("orange") << QByteArray("\x1b[33mW") << false << QStringLiteral("<font color=\"Orange\">W");
    QTest::newRow("end marker without colour") << QByteArray("\x1b[0m") << false << QStringLiteral("</font>");
    QTest::newRow("unsupported colour drops only ESC")
        << QByteArray("\x1b[35mX") << false << QStringLiteral("[35mX");
    QTest::newRow("ESC at chunk end stays a character")
        << QByteArray("a\x1b") << false << QStringLiteral("a\x1b");
    QTest::newRow("rest of a split marker stays text")
        << QByteArray("[31mred") << false << QStringLiteral("[31mred");
    QTest::newRow("ESC not followed by bracket") << QByteArray("\x1bX") << false << QStringLiteral("\x1bX");
    QTest::newRow("marker cut short at chunk end") << QByteArray("\x1b[3") << false << QStringLiteral("[3");
    QTest::newRow("inner line feeds become breaks")
        << QByteArray("one\ntwo\n\nthree") << false << QStringLiteral("one<br>two<br><br>three");
    QTest::newRow("carriage return kept in debug output")
        << QByteArray("a\r\nb") << false << QStringLiteral("a\r<br>b");
    QTest::newRow("carriage return dropped in messages")
        << QByteArray("a\r\nb") << true << QStringLiteral("a<br>b");
    QTest::newRow("Latin-1 micro sign") << QByteArray("5 \xb5s") << true << QString::fromUtf8("5 µs");
    QTest::newRow("markup passes unchanged") << QByteArray("<br><b>Connect Zelvan Mini [0xZV1]</b>") << true
                                             << QStringLiteral("<br><b>Connect Zelvan Mini [0xZV1]</b>");
    QTest::newRow("empty chunk") << QByteArray() << false << QString();
}

void TestConsole::conversion()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, message);
    QFETCH(QString, html);
    const ConsoleInsertion insertion =
        message ? ConsoleInsertion::ContinueLast : ConsoleInsertion::NewParagraph;
    QCOMPARE(consoleTextToHtml(text.constData(), text.size(), insertion), html);
}

void TestConsole::messagesLogTheirLineEnds()
{
    QTest::ignoreMessage(QtDebugMsg,
                         "STATUS[\x1b[32mFileLoader\x1b[0m]->ZelvanFirmwareLoader::insertDebugText: LR");
    QTest::ignoreMessage(QtDebugMsg,
                         "STATUS[\x1b[32mFileLoader\x1b[0m]->ZelvanFirmwareLoader::insertDebugText: NL");
    QTest::ignoreMessage(QtDebugMsg,
                         "STATUS[\x1b[32mFileLoader\x1b[0m]->ZelvanFirmwareLoader::insertDebugText: NL");
    consoleTextToHtml("a\r\nb\n", 5, ConsoleInsertion::ContinueLast);
}

QTEST_GUILESS_MAIN(TestConsole)
#include "tst_console.moc"
