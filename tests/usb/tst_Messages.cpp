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
    constexpr int PostsPerThread = 20000;
    VirtualBoardFixture fixture;
    KZ_SI_USBXpressDev worker(fixture.library());
    const auto poster = [&worker](const QString &name) {
        return QThread::create([&worker, name] {
            for (int i = 0; i < PostsPerThread; ++i) {
                // Stay well inside the ring, which never refuses a push.
                while (worker.MsgLength() > 3000)
                    QThread::yieldCurrentThread();
                worker.PostConsoleMessage(name + QString::number(i % 1000));
            }
        });
    };
    QScopedPointer<QThread> first(poster(QStringLiteral("first ")));
    QScopedPointer<QThread> second(poster(QStringLiteral("second ")));
    first->start();
    second->start();
    QByteArray all;
    while (!first->isFinished() || !second->isFinished() || worker.MsgLength() > 0)
        all += drainMessages(worker);
    first->wait();
    second->wait();

    static const QRegularExpression message(QStringLiteral("<br><b>(first|second) \\d{1,3}</b>\n"));
    QString rest = QString::fromLatin1(all);
    const int posts = rest.count(QStringLiteral("<br><b>"));
    rest.remove(message);
    QVERIFY2(rest.isEmpty(), qPrintable(rest.left(200)));
    QCOMPARE(posts, 2 * PostsPerThread);
}

int runMessageTests(int argc, char **argv)
{
    TestMessages test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Messages.moc"
