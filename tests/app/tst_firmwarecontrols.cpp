// The firmware controls of the main window on the virtual board: the built-in firmware button and
// programming requests raised through the shared-memory block.
#include "LoaderWindow.h"
#include "tests/support/TempAppData.h"

#include <QFile>
#include <QtTest>

namespace {
constexpr int Patience = 60000;

QByteArray resource(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Data bytes of a gap-free HEX file from the flash base, in file order.
QByteArray imageOf(const QByteArray &hex)
{
    QByteArray image;
    for (const QByteArray &line : hex.split('\n')) {
        const QByteArray record = QByteArray::fromHex(line.trimmed().mid(1));
        if (record.size() > 4 && record.at(3) == 0)
            image += record.mid(4, quint8(record.at(0)));
    }
    return image;
}

bool flashHolds(const VirtualBoard &board, const QByteArray &image)
{
    const QByteArray flash = board.flash();
    return flash.startsWith(image) &&
           flash.mid(image.size()).count(char(0xFF)) == flash.size() - image.size();
}
} // namespace

class TestFirmwareControls : public QObject
{
    Q_OBJECT
private slots:
    void tessunButtonServesOncePerConnection();
    void requestWithABoardWritesItsFile();
    void requestWithoutABoardFails();
    void requestWhileAButtonWriteRunsIsRefused();
};

void TestFirmwareControls::tessunButtonServesOncePerConnection()
{
    TempAppData appData;
    VirtualBoardFixture boards;
    VirtualBoard board = boards.addBoard(QStringLiteral("ZV000001"));
    LoaderWindow loader(boards);
    QVERIFY(loader.connectRow(0));
    QAbstractButton *tessun = loader.button("m_pBTessun");
    QVERIFY(tessun->isEnabled());

    tessun->click();
    QVERIFY(!tessun->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(loader.console().contains(QLatin1String("Bootloader Finish")), Patience);
    QVERIFY(flashHolds(board, imageOf(resource(QStringLiteral(":/hex/TessunFix_1_0_31.hex")))));
    QVERIFY(loader.console().contains(QLatin1String("Write Firmware File:")));
    QVERIFY(!tessun->isEnabled());
    // The board restarted into its new firmware and says so.
    QTRY_VERIFY_WITH_TIMEOUT(loader.console().contains(QLatin1String("TessunFix 1.0.31")), Patience);

    loader.button("m_pBConnect")->click();
    QVERIFY(!tessun->isEnabled());
    QVERIFY(loader.connectRow(0));
    QVERIFY(tessun->isEnabled());
}

void TestFirmwareControls::requestWithABoardWritesItsFile()
{
    TempAppData appData;
    VirtualBoardFixture boards;
    VirtualBoard board = boards.addBoard(QStringLiteral("ZV000001"));
    LoaderWindow loader(boards);
    QVERIFY(loader.connectRow(0));

    const QByteArray hex = resource(QStringLiteral(":/hex/TessunFix_1_0_37.hex"));
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("TessunFix_1_0_37.hex"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(hex) == hex.size());
    file.close();

    loader.raiseRequest(path);
    QTRY_COMPARE_WITH_TIMEOUT(loader.blockResult(), ResultSuccess, Patience);
    QVERIFY(flashHolds(board, imageOf(hex)));
    QTRY_VERIFY_WITH_TIMEOUT(loader.console().contains(QLatin1String("Bootloader Finish")), Patience);

    // Withdrawing the request puts the block back to idle.
    loader.withdrawRequest();
    QTRY_COMPARE_WITH_TIMEOUT(loader.blockResult(), ResultNone, Patience);
}

void TestFirmwareControls::requestWithoutABoardFails()
{
    TempAppData appData;
    VirtualBoardFixture boards;
    LoaderWindow loader(boards);

    loader.raiseRequest(QStringLiteral("/no/such/file.hex"));
    QTRY_COMPARE_WITH_TIMEOUT(loader.blockResult(), ResultFailure, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(loader.console().contains(QLatin1String("ERROR Bootloader")), Patience);
    QVERIFY(loader.console().contains(QLatin1String("Bootloader Fail -> Device not connected!!")));
}

void TestFirmwareControls::requestWhileAButtonWriteRunsIsRefused()
{
    TempAppData appData;
    VirtualBoardFixture boards;
    VirtualBoard board = boards.addBoard(QStringLiteral("ZV000001"));
    LoaderWindow loader(boards);
    QVERIFY(loader.connectRow(0));

    loader.button("m_pBTessun")->click();
    QTRY_VERIFY_WITH_TIMEOUT(loader.console().contains(QLatin1String("Bootloader Start!!")), Patience);
    loader.raiseRequest(QStringLiteral("/no/such/file.hex"));

    // The request is answered with its own refusal; the running write goes on to its own end.
    QTRY_VERIFY_WITH_TIMEOUT(loader.blockResult() != ResultNone, Patience);
    QCOMPARE(loader.blockResult(), ResultFailure);
    QTRY_VERIFY_WITH_TIMEOUT(loader.console().contains(QLatin1String("Bootloader Finish")), Patience);
    QVERIFY(loader.console().contains(QLatin1String("Bootloader Fail -> Update already running!!")));
    QVERIFY(flashHolds(board, imageOf(resource(QStringLiteral(":/hex/TessunFix_1_0_31.hex")))));
    QCOMPARE(loader.console().count(QLatin1String("ERROR Bootloader")), 1);
}

QTEST_MAIN(TestFirmwareControls)
#include "tst_firmwarecontrols.moc"
