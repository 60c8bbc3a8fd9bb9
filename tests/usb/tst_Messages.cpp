// The worker's console messages: exact bytes in the message ring, one signal per post, two posting threads.
#include "tests/support/VirtualBoardFixture.h"
#include "tests/usb/UsbTests.h"
#include "usb/KZ_SI_USBXpressDev.h"

#include <QRegularExpression>
#include <QThread>
#include <QtTest>

namespace {

QByteArray drainMessages(KZ_SI_USBXpressDev &worker)
{
    QByteArray bytes;
    quint8 byte = 0;
    while (worker.ReadMsgByte(&byte) == 1)
        bytes.append(char(byte));
    return bytes;
}

} // namespace

class TestMessages : public QObject
{
    Q_OBJECT

private slots:
    void posts_data();
    void posts();
    void postsFromTwoThreadsStayWhole();
};

void TestMessages::posts_data()
{
    QTest::addColumn<bool>("message"); // PostConsoleMessage, else PostConsoleText
    QTest::addColumn<bool>("lineBreakFirst");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("message") << true << false << "<br>Bootloader Start!!"
                             << QByteArray("<br><b><br>Bootloader Start!!</b>\n");
    QTest::newRow("empty message") << true << false << "" << QByteArray("<br><b></b>\n");
    QTest::newRow("progress star") << false << false << "*" << QByteArray("*");
    QTest::newRow("text with line break") << false << true << "Write" << QByteArray("<br>Write");
    QTest::newRow("micro sign as Latin-1") << true << false << QStringLiteral("µC")
                                           << QByteArray("<br><b>\xb5"
                                                         "C</b>\n");
    QTest::newRow("outside Latin-1 becomes 0")
        << false << false << QStringLiteral("a€b") << QByteArray("a\0b", 3);
    QTest::newRow("red message") << true << false << "\x1b[31mfail\x1b[0m"
                                 << QByteArray("<br><b>\x1b[31mfail\x1b[0m</b>\n");
}

void TestMessages::posts()
{
    QFETCH(bool, message);
    QFETCH(bool, lineBreakFirst);
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);

    VirtualBoardFixture fixture;
    KZ_SI_USBXpressDev worker(fixture.library());
    QSignalSpy spy(&worker, &KZ_SI_USBXpressDev::SIGNAL_newDataAvailable);
    if (message)
        worker.PostConsoleMessage(text);
    else
        worker.PostConsoleText(text, lineBreakFirst);

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().value<quint8>(), quint8(1));
    QCOMPARE(int(worker.MsgLength()), expected.size());
    QCOMPARE(drainMessages(worker), expected);
}

void TestMessages::postsFromTwoThreadsStayWhole()
{
    constexpr int PostsPerThread = 100;
    VirtualBoardFixture fixture;
    KZ_SI_USBXpressDev worker(fixture.library());
    QScopedPointer<QThread> other(QThread::create([&worker] {
        for (int i = 0; i < PostsPerThread; ++i)
            worker.PostConsoleMessage(QStringLiteral("other %1").arg(i, 3, 10, QLatin1Char('0')));
    }));
    other->start();
    for (int i = 0; i < PostsPerThread; ++i)
        worker.PostConsoleMessage(QStringLiteral("gui %1").arg(i, 3, 10, QLatin1Char('0')));
    other->wait();

    const QString all = QString::fromLatin1(drainMessages(worker));
    static const QRegularExpression whole(QStringLiteral("^(<br><b>(gui|other) \\d{3}</b>\n)+$"));
    QVERIFY2(whole.match(all).hasMatch(), qPrintable(all.left(200)));
    QCOMPARE(all.count(QStringLiteral("<br><b>")), 2 * PostsPerThread);
}

int runMessageTests(int argc, char **argv)
{
    TestMessages test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Messages.moc"
