// The main window on the virtual board: its shape at start, the console, and the device controls.
#include "LoaderWindow.h"
#include "tests/support/TempAppData.h"

#include <QFile>
#include <QtTest>

namespace {
constexpr int Patience = 20000;
const QString Board1 = QStringLiteral("Zelvan Mini [0xZV000001]");
const QString Board2 = QStringLiteral("Zelvan Mini [0xZV000002]");

void writeSettings(const TempAppData &appData, const QString &hexPath, const QString &deviceName)
{
    QDir().mkpath(appData.appDataPath());
    QFile file(appData.appDataPath() + QStringLiteral("/Settings.xml"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("<?xml version=\"1.0\"?>\n<Settings>\n"
                              "    <SettingsPathHexFile>%1</SettingsPathHexFile>\n"
                              "    <SettingsUsbDevName>%2</SettingsUsbDevName>\n"
                              "    <SettingsDebugComMode> 0</SettingsDebugComMode>\n</Settings>\n")
                   .arg(hexPath, deviceName)
                   .toUtf8());
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void firstStartShape();
    void restoredHexFileNamesTheTitle();
    void closeButtonEndsTheEventLoop();
    void boardOutputFillsAtMost200Paragraphs();
    void reconnectsToTheLastBoardAfterARestart();
    void unplugDisconnectsAndReplugReconnects();
    void userDisconnectEndsReconnection();
    void savedNamePicksTheRightBoard();
    void failedAutomaticConnectStillMarksTheBlock();
    void connectAndResetNeedASelectedRow();
};

void TestMainWindow::firstStartShape()
{
    TempAppData appData;
    VirtualBoardFixture boards;
    LoaderWindow loader(boards);
    const ZelvanFirmwareLoader &window = loader.window;

    QCOMPARE(window.windowFlags() & Qt::FramelessWindowHint, Qt::FramelessWindowHint);
    QCOMPARE(window.minimumSize(), QSize(700, 500));
    QCOMPARE(window.maximumSize(), QSize(700, 500));
    QCOMPARE(window.windowTitle(), QStringLiteral("DebugMonitor"));
    QCOMPARE(loader.title(), QStringLiteral("FileLoader Zelvan Mini"));

    auto *console = loader.widget<QPlainTextEdit>("m_pTEconsole");
    QVERIFY(console->isReadOnly());
    QCOMPARE(console->document()->maximumBlockCount(), 200);
    QVERIFY(console->toPlainText().isEmpty());
    QVERIFY(loader.widget<QLabel>("m_lConnectSymbol")->isHidden());
    QVERIFY(loader.widget<QLabel>("m_lConnectText")->isHidden());
    QWidget *settingsPage = loader.widget<QWidget>("tab_2");
    QVERIFY(!loader.button("m_pBCloseHexFile")->isEnabledTo(settingsPage));
    QVERIFY(!loader.button("m_pBWriteFirmware")->isEnabledTo(settingsPage));
    QVERIFY(loader.onBlock([](ProgrammerBlock &b) { return b.StatusDebugMonitor == 1; }));
}

void TestMainWindow::restoredHexFileNamesTheTitle()
{
    TempAppData appData;
    writeSettings(appData, QStringLiteral("/no/such/folder/Blinky.hex"), QString());
    VirtualBoardFixture boards;
    LoaderWindow loader(boards);

    QCOMPARE(loader.title(), QStringLiteral("Zelvan FileLoader - Blinky.hex"));
    // The Settings page itself stays disabled; the buttons' own states are what the window sets.
    QWidget *settingsPage = loader.widget<QWidget>("tab_2");
    QVERIFY(loader.button("m_pBCloseHexFile")->isEnabledTo(settingsPage));
    QVERIFY(!loader.button("m_pBWriteFirmware")->isEnabledTo(settingsPage));
}

void TestMainWindow::closeButtonEndsTheEventLoop()
{
    TempAppData appData;
    VirtualBoardFixture boards;
    auto *loader = new LoaderWindow(boards);
    loader->window.show();
    QTimer::singleShot(0, loader->button("m_pBclose"), &QAbstractButton::click);
    QCOMPARE(qApp->exec(), 0);
    QVERIFY(!loader->window.isVisible());

    delete loader;
    // The destructor wrote the settings and cleared the running-instance mark.
    QVERIFY(QFile::exists(appData.appDataPath() + QStringLiteral("/Settings.xml")));
    QSharedMemory block{QLatin1String(ProgrammerBlockKey)};
    QVERIFY(!block.attach() ||
            static_cast<const ProgrammerBlock *>(block.constData())->StatusDebugMonitor == 0);
}

void TestMainWindow::boardOutputFillsAtMost200Paragraphs()
{
    TempAppData appData;
    VirtualBoardFixture boards;
    VirtualBoard board = boards.addBoard(QStringLiteral("ZV000001"));
    board.setDebugIntervalMs(5);
    LoaderWindow loader(boards);
    QVERIFY(loader.connectRow(0));

    // Every 50 ms tick that found board output adds one paragraph; the oldest go beyond 200.
    auto *document = loader.widget<QPlainTextEdit>("m_pTEconsole")->document();
    QTRY_VERIFY_WITH_TIMEOUT(
        document->blockCount() == 200 && !loader.console().contains(QLatin1String("Connect")), 60000);
    QTest::qWait(300);
    QCOMPARE(document->blockCount(), 200);
}

void TestMainWindow::reconnectsToTheLastBoardAfterARestart()
{
    TempAppData appData;
    VirtualBoardFixture boards;
    boards.addBoard(QStringLiteral("ZV000001"));
    {
        LoaderWindow first(boards);
        QVERIFY(first.connectRow(0));
    }

    LoaderWindow loader(boards);
    QTRY_VERIFY_WITH_TIMEOUT(loader.connected(), Patience);
    QCOMPARE(loader.deviceList()->currentItem()->text(), Board1);
    QVERIFY(!loader.button("m_pBSearch")->isEnabled());
    QVERIFY(loader.button("m_pBResetZV")->isEnabled());
    QVERIFY(loader.button("m_pBTessun")->isEnabled());
    QVERIFY(!loader.widget<QLabel>("m_lConnectText")->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(loader.console().contains(QStringLiteral("Connect ") + Board1), Patience);
    QVERIFY(loader.blockSaysConnected());
    QCOMPARE(loader.blockDeviceName(), Board1);
    // The board's own output reaches the console once connected.
    QTRY_VERIFY_WITH_TIMEOUT(loader.console().contains(QLatin1String(" tick ")), Patience);
}

void TestMainWindow::unplugDisconnectsAndReplugReconnects()
{
    TempAppData appData;
    writeSettings(appData, QString(), Board1);
    VirtualBoardFixture boards;
    VirtualBoard board = boards.addBoard(QStringLiteral("ZV000001"));
    LoaderWindow loader(boards);
    QTRY_VERIFY_WITH_TIMEOUT(loader.connected(), Patience);

    board.unplug();
    QTRY_VERIFY_WITH_TIMEOUT(loader.console().contains(QStringLiteral("Disconnect ") + Board1), Patience);
    QVERIFY(!loader.connected());
    QVERIFY(loader.button("m_pBSearch")->isEnabled());
    QVERIFY(!loader.button("m_pBResetZV")->isEnabled());
    QVERIFY(!loader.button("m_pBTessun")->isEnabled());
    QVERIFY(loader.widget<QLabel>("m_lConnectText")->isHidden());
    QTRY_COMPARE_WITH_TIMEOUT(loader.deviceList()->count(), 0, Patience);
    QVERIFY(!loader.blockSaysConnected());
    QCOMPARE(loader.blockDeviceName(), Board1);

    board.plug();
    QTRY_VERIFY_WITH_TIMEOUT(loader.connected(), Patience);
    QVERIFY(board.isOpenByHost());
    QVERIFY(loader.blockSaysConnected());
}

void TestMainWindow::userDisconnectEndsReconnection()
{
    TempAppData appData;
    writeSettings(appData, QString(), Board1);
    VirtualBoardFixture boards;
    VirtualBoard board = boards.addBoard(QStringLiteral("ZV000001"));
    LoaderWindow loader(boards);
    QTRY_VERIFY_WITH_TIMEOUT(loader.connected(), Patience);

    loader.button("m_pBConnect")->click();
    QVERIFY(!loader.connected());
    QVERIFY(!board.isOpenByHost());
    QCOMPARE(loader.deviceList()->currentItem()->text(), Board1);
    QVERIFY(loader.button("m_pBConnect")->isEnabled());
    QVERIFY(!loader.blockSaysConnected());
    QCOMPARE(loader.blockDeviceName(), QString());

    board.unplug();
    QVERIFY(boards.waitForRefresh());
    board.plug();
    QVERIFY(boards.waitForRefresh());
    QVERIFY(boards.waitForRefresh());
    QCoreApplication::processEvents();
    QVERIFY(!loader.connected());
    QVERIFY(!board.isOpenByHost());
}

void TestMainWindow::savedNamePicksTheRightBoard()
{
    TempAppData appData;
    writeSettings(appData, QString(), Board2);
    VirtualBoardFixture boards;
    VirtualBoard first = boards.addBoard(QStringLiteral("ZV000001"));
    VirtualBoard second = boards.addBoard(QStringLiteral("ZV000002"));
    LoaderWindow loader(boards);

    QTRY_VERIFY_WITH_TIMEOUT(loader.connected(), Patience);
    QCOMPARE(loader.deviceList()->currentRow(), 1);
    QVERIFY(second.isOpenByHost());
    QVERIFY(!first.isOpenByHost());
    QCOMPARE(loader.blockDeviceName(), Board2);
}

void TestMainWindow::failedAutomaticConnectStillMarksTheBlock()
{
    TempAppData appData;
    writeSettings(appData, QString(), Board1);
    VirtualBoardFixture boards;
    boards.bridge().injectStatus(BridgeOperation::Open, Bridge::DeviceNotFound, -1);
    boards.addBoard(QStringLiteral("ZV000001"));
    LoaderWindow loader(boards);

    QTRY_VERIFY_WITH_TIMEOUT(loader.console().contains(QStringLiteral("Unabel to open ") + Board1), Patience);
    QVERIFY(!loader.connected());
    QVERIFY(loader.blockSaysConnected());
}

void TestMainWindow::connectAndResetNeedASelectedRow()
{
    TempAppData appData;
    VirtualBoardFixture boards;
    VirtualBoard board = boards.addBoard(QStringLiteral("ZV000001"));
    LoaderWindow loader(boards);
    QTRY_COMPARE_WITH_TIMEOUT(loader.deviceList()->count(), 1, Patience);
    QCOMPARE(loader.deviceList()->currentRow(), -1);

    // The form enables Connect before any row exists; with no row chosen a click opens nothing.
    loader.button("m_pBConnect")->setEnabled(true);
    loader.button("m_pBConnect")->click();
    loader.button("m_pBResetZV")->setEnabled(true);
    board.clearCalls();
    loader.button("m_pBResetZV")->click();
    QTest::qWait(200);
    QVERIFY(!board.isOpenByHost());
    QVERIFY(board.calls().isEmpty());
    QVERIFY(!loader.console().contains(QLatin1String("Reset")));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
