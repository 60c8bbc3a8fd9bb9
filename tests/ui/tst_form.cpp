// The window form against its layout (widgets, fonts, stacking, look, images) and the title bar's drag.
#include "ui/KZ_MainToolBar.h"
#include "ui_ZelvanFirmwareLoader.h"

#include <QDataStream>
#include <QFile>
#include <QImageReader>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

namespace {

// A window with every control handler the form connects by name; each handler records its name.
class FormHost : public QMainWindow
{
    Q_OBJECT

public:
    FormHost() { ui.setupUi(this); }

    Ui::ZelvanFirmwareLoader ui;
    QStringList calls;

private slots:
    void on_m_pBConnect_clicked() { calls << __func__; }
    void on_m_pBSearch_clicked() { calls << __func__; }
    void on_m_ListDev_currentRowChanged(int) { calls << __func__; }
    void on_m_clear_clicked() { calls << __func__; }
    void on_m_pBResetZV_clicked() { calls << __func__; }
    void on_m_pBTessun_clicked() { calls << __func__; }
    void on_m_pBSearch_2_clicked() { calls << __func__; }
    void on_m_pBWriteFirmware_clicked() { calls << __func__; }
    void on_m_pBCloseHexFile_clicked() { calls << __func__; }
    void on_m_rB_SerialMode_clicked() { calls << __func__; }
    void on_m_rB_TLVMode_clicked() { calls << __func__; }
    void on_m_pBclose_clicked() { calls << __func__; }
};

const QStringList RaiseOrder = {"m_lProgTitile_2", "tabWidget",        "m_lProgTitile_6", "m_lProgTitile",
                                "m_lProgTitile_3", "lOmbrix",          "m_pBclose",       "m_lProgTitile_4",
                                "m_lProgTitile_5", "m_lConnectSymbol", "m_lConnectText",  "m_pTEconsole"};

const QStringList ToolButtons = {"m_pBSearch", "m_pBConnect",  "m_clear",           "m_pBResetZV",
                                 "m_pBTessun", "m_pBSearch_2", "m_pBWriteFirmware", "m_pBCloseHexFile"};

QString textOf(QWidget *w)
{
    if (auto *box = qobject_cast<QGroupBox *>(w)) {
        return box->title();
    }
    if (auto *edit = qobject_cast<QPlainTextEdit *>(w)) {
        return edit->toPlainText();
    }
    return w->property("text").toString();
}

// Pixmaps keep premultiplied pixels, so images are compared in that form.
QImage premultiplied(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

class FormTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FormHost> host;
    QWidget *widget(const QString &name) { return host->findChild<QWidget *>(name); }

private slots:
    void init()
    {
        host = std::make_unique<FormHost>();
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
    }
    void cleanup() { host.reset(); }

    void window()
    {
        QCOMPARE(host->objectName(), QString("ZelvanFirmwareLoader"));

        QCOMPARE(host->size(), QSize(700, 500));
        QCOMPARE(host->windowTitle(), QString("DebugMonitor"));
        QCOMPARE(host->font().family(), QString("Segoe UI"));
        QCOMPARE(host->font().pointSize(), 9);
        QCOMPARE(host->centralWidget(), host->ui.centralWidget);
        const QList<QSize> sizes = host->windowIcon().availableSizes();
        for (int edge : {16, 32, 48, 256}) {
            QVERIFY2(sizes.contains(QSize(edge, edge)), qPrintable(QString::number(edge)));
        }
    }

    void widgetTable_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QString>("font");  // own font of that kind, or "inherited" (the window font)
        QTest::addColumn<bool>("disabled"); // disabled in its own right
        QTest::addColumn<int>("checked");   // -1: not checkable
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("image"); // icon or pixmap
        const QString inh = "inherited";
        auto row = [](const char *name, const char *cls, const char *parent, QRect rect, QString font,
                      bool disabled, int checked, QString text, QString image) {
            QTest::newRow(name) << QString(cls) << QString(parent) << rect << font << disabled << checked
                                << text << image;
        };
        row("centralWidget", "QWidget", "ZelvanFirmwareLoader", {0, 0, 700, 500}, inh, false, -1, "", "");
        row("m_lProgTitile", "KZ_MainToolBar", "centralWidget", {1, 1, 698, 27}, "title", false, -1,
            "FileLoader Zelvan Mini", "");
        row("m_lProgTitile_2", "QLabel", "centralWidget", {1, 28, 698, 24}, "panel", false, -1, "", "");
        row("m_lProgTitile_3", "QLabel", "centralWidget", {0, 468, 700, 32}, "panel", false, -1, "", "");
        row("lOmbrix", "QLabel", "centralWidget", {599, 23, 85, 15}, inh, false, -1, "", ":/img/Ombrix2.png");
        row("m_pBclose", "QPushButton", "centralWidget", {671, 5, 18, 18}, inh, false, -1, "",
            ":/img/Close_8.png");
        row("m_lProgTitile_6", "QLabel", "centralWidget", {1, 137, 698, 331}, "panel", false, -1, "", "");
        row("tabWidget", "QTabWidget", "centralWidget", {0, 28, 700, 109}, "window", false, -1, "", "");
        row("m_pBSearch", "QToolButton", "tab", {6, 0, 64, 85}, "window", false, -1, "Search",
            ":/img/Scan_1_32x32.png");
        row("m_pBConnect", "QToolButton", "tab", {72, 0, 64, 85}, "window", false, -1, "Connect",
            ":/img/Connect_32.png");
        row("m_ListDev", "QListWidget", "tab", {144, 6, 250, 73}, inh, false, -1, "", "");
        row("m_clear", "QToolButton", "tab", {400, 0, 64, 85}, "window", false, -1, "Clear\nConsole",
            ":/img/Delete_1_32x32.png");
        row("m_pBResetZV", "QToolButton", "tab", {464, 0, 64, 85}, "window", true, -1, "Reset\nZelvan",
            ":/img/Reset_32.png");
        row("m_pBTessun", "QToolButton", "tab", {528, 0, 64, 85}, "window", true, -1, "Prog as\nTessun",
            ":/img/Werkstueck_32.png");
        row("m_pBSearch_2", "QToolButton", "tab_2", {6, 0, 64, 85}, "window", false, -1, "Open\nHex-File",
            ":/img/Document_32x32.png");
        row("m_pBWriteFirmware", "QToolButton", "tab_2", {134, 0, 64, 85}, "window", true, -1,
            "Write\nHex-File", ":/img/Update_32x32.png");
        row("m_pBCloseHexFile", "QToolButton", "tab_2", {70, 0, 64, 85}, "window", true, -1,
            "Close\nHex-File", ":/img/DocClose_32.png");
        row("m_HexFile", "QGroupBox", "tab_2", {210, 9, 111, 71}, "window", false, -1, "Debug Com Mode", "");
        row("m_rB_SerialMode", "QRadioButton", "m_HexFile", {10, 20, 111, 20}, inh, false, 1, "Serial Ascii",
            "");
        row("m_rB_TLVMode", "QRadioButton", "m_HexFile", {10, 40, 111, 20}, inh, false, 0,
            QString::fromUtf8("TLV Bin\xc3\xa4r"), "");
        row("m_lBoarder", "QLabel", "tab_2", {330, 0, 1, 85}, inh, false, -1, "TextLabel", "");
        row("m_lProgTitile_4", "QLabel", "centralWidget", {7, 143, 686, 34}, "header", false, -1,
            "Debug Console", "");
        row("m_lProgTitile_5", "QLabel", "centralWidget", {614, 468, 80, 32}, "title", false, -1, "V.1.0.2",
            "");
        row("m_lConnectSymbol", "QLabel", "centralWidget", {8, 468, 32, 32}, "title", false, -1, "",
            ":/img/Connect_16.png");
        row("m_lConnectText", "QLabel", "centralWidget", {40, 468, 100, 32}, "header", false, -1, "Verbunden",
            "");
        row("m_pTEconsole", "QPlainTextEdit", "centralWidget", {7, 176, 686, 286}, inh, false, -1, "", "");
    }

    void widgetTable()
    {
        QFETCH(QString, className);
        QFETCH(QString, parentName);
        QFETCH(QRect, rect);
        QFETCH(QString, font);
        QFETCH(bool, disabled);
        QFETCH(int, checked);
        QFETCH(QString, text);
        QFETCH(QString, image);

        QWidget *w = widget(QTest::currentDataTag());
        QVERIFY(w);
        QCOMPARE(QString(w->metaObject()->className()), className);
        QCOMPARE(w->parentWidget()->objectName(), parentName);
        QCOMPARE(w->geometry(), rect);
        QCOMPARE(w->testAttribute(Qt::WA_ForceDisabled), disabled);
        auto *button = qobject_cast<QAbstractButton *>(w);
        QCOMPARE(button && button->isCheckable() ? int(button->isChecked()) : -1, checked);
        QCOMPARE(textOf(w), text);

        struct Font
        {
            const char *family;
            int pointSize;
            bool weightSet;
        };
        const QMap<QString, Font> fonts = {{"window", {"Segoe UI", 9, false}},
                                           {"title", {"Segoe UI", 9, true}},
                                           {"panel", {"DejaVu Sans", 9, true}},
                                           {"header", {"Segoe UI", 10, true}}};
        // Below a window with a style sheet Qt hands a widget without a font of its own the application
        // font rather than the window's, so for those only the absence of an own font is checked.
        QCOMPARE(w->testAttribute(Qt::WA_SetFont), font != "inherited");
        if (fonts.contains(font)) {
            const Font expected = fonts.value(font);
            QCOMPARE(w->font().family(), QString(expected.family));
            QCOMPARE(w->font().pointSize(), expected.pointSize);
            QCOMPARE(bool(w->font().resolve() & QFont::WeightResolved), expected.weightSet);
            QCOMPARE(w->font().weight(), int(QFont::Normal));
            QVERIFY(!w->font().bold());
        }

        QImage shown;
        if (auto *label = qobject_cast<QLabel *>(w)) {
            shown = label->pixmap(Qt::ReturnByValue).toImage();
        } else if (button && !button->icon().isNull()) {
            shown = button->icon().pixmap(QImageReader(image).size()).toImage();
        }
        QCOMPARE(shown.isNull(), image.isEmpty());
        if (!image.isEmpty()) {
            QCOMPARE(premultiplied(shown), premultiplied(QImage(image)));
        }
    }

    void controlSettings()
    {
        for (const QString &name : ToolButtons) {
            auto *b = host->findChild<QToolButton *>(name);
            QVERIFY2(b, qPrintable(name));
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
            QCOMPARE(b->iconSize(), QSize(32, 32));
            QCOMPARE(b->popupMode(), QToolButton::DelayedPopup);
            QCOMPARE(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        }
        QCOMPARE(host->ui.m_pBclose->focusPolicy(), Qt::NoFocus);
        QVERIFY(host->ui.m_pBclose->isFlat());
        QCOMPARE(host->ui.m_ListDev->focusPolicy(), Qt::NoFocus);
        QVERIFY(host->ui.m_lProgTitile->hasMouseTracking());

        const Qt::Alignment centre = Qt::AlignCenter, left = Qt::AlignLeft | Qt::AlignVCenter,
                            right = Qt::AlignRight | Qt::AlignVCenter;
        const QList<QPair<QLabel *, Qt::Alignment>> alignments = {
            {host->ui.m_lProgTitile, centre},    {host->ui.m_lProgTitile_2, centre},
            {host->ui.m_lProgTitile_3, centre},  {host->ui.m_lProgTitile_6, centre},
            {host->ui.m_lProgTitile_4, left},    {host->ui.m_lProgTitile_5, right},
            {host->ui.m_lConnectSymbol, centre}, {host->ui.m_lConnectText, left}};
        for (const auto &[label, alignment] : alignments) {
            QVERIFY2(label->alignment() == alignment, qPrintable(label->objectName()));
        }
        QVERIFY(host->ui.lOmbrix->hasScaledContents());
        QVERIFY(!host->ui.m_lProgTitile_2->hasScaledContents());
        QVERIFY(!host->ui.m_lProgTitile_4->hasScaledContents());
    }

    void tabPages()
    {
        QTabWidget *tabs = host->ui.tabWidget;
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->widget(0), host->ui.tab);
        QCOMPARE(tabs->widget(1), host->ui.tab_2);
        QCOMPARE(tabs->tabText(0), QString("Device"));
        QCOMPARE(tabs->tabText(1), QString("Settings"));
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(tabs->isEnabled());
        QVERIFY(host->ui.tab->isEnabled());
        QVERIFY(host->ui.tab_2->testAttribute(Qt::WA_ForceDisabled));
        for (QWidget *w : host->ui.tab_2->findChildren<QWidget *>()) {
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        }
    }

    void connectionsByName_data()
    {
        QTest::addColumn<QString>("signal");
        for (const QString &name :
             ToolButtons + QStringList{"m_rB_SerialMode", "m_rB_TLVMode", "m_pBclose"}) {
            QTest::newRow(qPrintable(name)) << "clicked";
        }
        QTest::newRow("m_ListDev") << "currentRowChanged";
    }

    void connectionsByName()
    {
        QFETCH(QString, signal);
        const QString name = QTest::currentDataTag();
        QWidget *w = widget(name);
        QVERIFY(w);
        if (signal == "clicked") {
            QVERIFY(QMetaObject::invokeMethod(w, "clicked"));
        } else {
            QVERIFY(QMetaObject::invokeMethod(w, qPrintable(signal), Q_ARG(int, 0)));
        }
        QCOMPARE(host->calls, QStringList{"on_" + name + "_" + signal});
    }

    void stackingOrder()
    {
        QStringList order;
        for (QObject *child : host->ui.centralWidget->children()) {
            if (child->isWidgetType()) {
                order << child->objectName();
            }
        }
        QCOMPARE(order, RaiseOrder);
    }

    void topmostWidget_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<QString>("owner"); // the child of centralWidget that takes a click there
        QTest::newRow("title bar") << QPoint(300, 14) << "m_lProgTitile";
        QTest::newRow("logo over title bar") << QPoint(640, 25) << "lOmbrix";
        QTest::newRow("logo over tab row") << QPoint(640, 34) << "lOmbrix";
        QTest::newRow("close button over title bar") << QPoint(680, 14) << "m_pBclose";
        QTest::newRow("tab row over grey strip") << QPoint(400, 40) << "tabWidget";
        QTest::newRow("console header over panel") << QPoint(300, 160) << "m_lProgTitile_4";
        QTest::newRow("console over panel") << QPoint(300, 300) << "m_pTEconsole";
        QTest::newRow("panel") << QPoint(3, 300) << "m_lProgTitile_6";
        QTest::newRow("bottom strip") << QPoint(300, 485) << "m_lProgTitile_3";
        QTest::newRow("version over strip") << QPoint(660, 485) << "m_lProgTitile_5";
        QTest::newRow("connection symbol over strip") << QPoint(20, 485) << "m_lConnectSymbol";
        QTest::newRow("connection text over strip") << QPoint(60, 485) << "m_lConnectText";
    }

    void topmostWidget()
    {
        QFETCH(QPoint, point);
        QFETCH(QString, owner);
        QWidget *w = host->ui.centralWidget->childAt(point);
        QVERIFY(w);
        while (w->parentWidget() != host->ui.centralWidget) {
            w = w->parentWidget();
        }
        QCOMPARE(w->objectName(), owner);
    }

    // Colours where the style sheets alone decide them; a sheet that Qt cannot parse or a wrong stacking
    // shows here.
    void look_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<QColor>("colour");
        const QColor bar(216, 220, 225), line(149, 151, 153), white(Qt::white);
        QTest::newRow("title bar") << QPoint(100, 10) << bar;
        QTest::newRow("grey strip behind the tab row") << QPoint(400, 40) << bar;
        QTest::newRow("grey strip's line under the tab row") << QPoint(400, 51) << line;
        QTest::newRow("tab pane") << QPoint(650, 100) << white;
        QTest::newRow("tab pane border") << QPoint(699, 100) << line;
        QTest::newRow("white panel") << QPoint(3, 300) << white;
        QTest::newRow("console header") << QPoint(300, 150) << bar;
        QTest::newRow("console border") << QPoint(7, 300) << line;
        QTest::newRow("console") << QPoint(300, 300) << white;
        QTest::newRow("bottom strip") << QPoint(300, 485) << bar;
        QTest::newRow("bottom strip border") << QPoint(300, 499) << line;
    }

    void look()
    {
        QFETCH(QPoint, point);
        QFETCH(QColor, colour);
        const QImage shot = host->grab().toImage();
        QCOMPARE(shot.pixelColor(point), colour);
    }

    void selectedDeviceEntry()
    {
        QListWidget *list = host->ui.m_ListDev;
        list->addItem("Zelvan Mini [0x0001]");
        list->addItem("Zelvan Mini [0x0002]");
        list->setCurrentRow(1);
        const QImage shot = host->grab().toImage();
        auto colourAt = [&](int row, int x) {
            const QRect r = list->visualItemRect(list->item(row));
            return shot.pixelColor(list->viewport()->mapTo(host.get(), QPoint(r.left() + x, r.center().y())));
        };
        for (int x = 0; x < 4; ++x) {
            QCOMPARE(colourAt(1, x), QColor(0, 145, 220));
            QCOMPARE(colourAt(0, x), QColor(Qt::white));
        }
        QCOMPARE(colourAt(1, 5), QColor(220, 235, 246));
    }

    void styleSheetsParse()
    {
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
                if (type != QtDebugMsg) {
                    warnings << message;
                }
            });
        host->grab();
        host->ui.tabWidget->setCurrentIndex(1);
        host->grab();
        qInstallMessageHandler(previous);
        QCOMPARE(warnings, QStringList());
    }

    void images_data()
    {
        QTest::addColumn<QSize>("size");
        const QList<QPair<const char *, QSize>> images = {{"Ombrix2.png", {118, 21}},
                                                          {"Close_8.png", {8, 8}},
                                                          {"Close_8_blue.png", {8, 8}},
                                                          {"Close_8_bluedark.png", {8, 8}},
                                                          {"Scan_1_32x32.png", {32, 32}},
                                                          {"Scan_2_32x32.png", {32, 32}},
                                                          {"Connect_32.png", {32, 32}},
                                                          {"Disconnect_32.png", {32, 32}},
                                                          {"Delete_1_32x32.png", {32, 32}},
                                                          {"Delete_2_32x32.png", {32, 32}},
                                                          {"Reset_32.png", {32, 32}},
                                                          {"Werkstueck_32.png", {32, 32}},
                                                          {"tessun32.png", {32, 32}},
                                                          {"Document_32x32.png", {32, 32}},
                                                          {"Update_32x32.png", {32, 32}},
                                                          {"DocClose_32.png", {32, 32}},
                                                          {"Import_32x32.png", {32, 32}},
                                                          {"File_16.png", {16, 16}},
                                                          {"Dot.png", {11, 11}},
                                                          {"Connect_16.png", {16, 16}}};
        for (const auto &[name, size] : images) {
            QTest::newRow(name) << size;
        }
    }

    void images()
    {
        QFETCH(QSize, size);
        QImageReader reader(QString(":/img/") + QTest::currentDataTag());
        QImage image;
        QVERIFY2(reader.read(&image), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), size);
        QVERIFY(image.hasAlphaChannel());
    }

    // The icon file holds 16, 32 and 48 pixel images in 4, 8 and 32 bits per pixel and one of 256 pixels,
    // and Qt reads every one of them.
    void windowIconFile()
    {
        QFile file(":/img/ZVDebugMonitor.ico");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QDataStream in(&file);
        in.setByteOrder(QDataStream::LittleEndian);
        quint16 reserved, type, count;
        in >> reserved >> type >> count;
        QCOMPARE(type, quint16(1));
        QList<QPair<int, int>> entries; // edge, bits per pixel
        for (int i = 0; i < count; ++i) {
            quint8 width, height, colours, zero;
            quint16 planes, bpp;
            quint32 bytes, offset;
            in >> width >> height >> colours >> zero >> planes >> bpp >> bytes >> offset;
            QCOMPARE(width, height);
            QVERIFY(offset + bytes <= file.size());
            entries << qMakePair(width == 0 ? 256 : int(width), int(bpp));
        }
        QCOMPARE(in.status(), QDataStream::Ok);
        for (int edge : {16, 32, 48}) {
            for (int bpp : {4, 8, 32}) {
                QVERIFY2(entries.contains(qMakePair(edge, bpp)),
                         qPrintable(QString("%1 px %2 bpp").arg(edge).arg(bpp)));
            }
        }
        QVERIFY(entries.contains(qMakePair(256, 32)));
        QCOMPARE(entries.size(), 10);

        QImageReader reader(file.fileName());
        QCOMPARE(reader.imageCount(), entries.size());
        for (int i = 0; i < entries.size(); ++i) {
            QVERIFY(reader.jumpToImage(i));
            const QImage image = reader.read();
            QCOMPARE(image.size(), QSize(entries[i].first, entries[i].first));
        }
    }

    void firmwareResources()
    {
        QCOMPARE(QFileInfo(":/hex/TessunFix_1_0_31.hex").size(), 214448);
        QCOMPARE(QFileInfo(":/hex/TessunFix_1_0_37.hex").size(), 275198);
    }

    // --- title bar ---------------------------------------------------------------------------------------

    void drag_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QPoint>("grab");            // press point in the label
        QTest::addColumn<QList<QPoint>>("moves");    // cursor positions on the screen
        QTest::addColumn<QList<QPoint>>("expected"); // announced window positions
        const QList<QPoint> moves = {{150, 120}, {151, 121}, {90, 300}};
        const QList<QPoint> expected = {{140, 115}, {141, 116}, {80, 295}};
        QTest::newRow("left button") << int(Qt::LeftButton) << QPoint(10, 5) << moves << expected;
        QTest::newRow("right button") << int(Qt::RightButton) << QPoint(10, 5) << moves << expected;
        QTest::newRow("middle button") << int(Qt::MiddleButton) << QPoint(10, 5) << moves << expected;
        QTest::newRow("back button") << int(Qt::BackButton) << QPoint(10, 5) << moves << expected;
        QTest::newRow("press and release only")
            << int(Qt::LeftButton) << QPoint(10, 5) << QList<QPoint>() << QList<QPoint>();
        QTest::newRow("off the screen, negative") << int(Qt::LeftButton) << QPoint(40, 12)
                                                  << QList<QPoint>{{-200, -50}} << QList<QPoint>{{-240, -62}};
        QTest::newRow("off the screen, far")
            << int(Qt::RightButton) << QPoint(697, 26) << QList<QPoint>{{100000, 70000}}
            << QList<QPoint>{{99303, 69974}};
    }

    void drag()
    {
        QFETCH(int, button);
        QFETCH(QPoint, grab);
        QFETCH(QList<QPoint>, moves);
        QFETCH(QList<QPoint>, expected);
        const auto pressed = Qt::MouseButton(button);

        KZ_MainToolBar bar;
        bar.setGeometry(1, 1, 698, 27);
        bar.setMouseTracking(true);
        QSignalSpy spy(&bar, &KZ_MainToolBar::SIGNAL_window_pos_change);
        const QPoint origin(500, 300); // where the label lies on the screen when the press comes
        // Each handler keeps its event (accepted), so nothing reaches QLabel or the widgets below.
        auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButton which, Qt::MouseButtons held) {
            QMouseEvent event(type, global - origin, global, which, held, Qt::NoModifier);
            QApplication::sendEvent(&bar, &event);
            return event.isAccepted();
        };

        QVERIFY(send(QEvent::MouseMove, origin + QPoint(3, 3), Qt::NoButton, Qt::NoButton));
        QCOMPARE(spy.count(), 0); // hovering does not drag
        QVERIFY(send(QEvent::MouseButtonPress, origin + grab, pressed, pressed));
        for (const QPoint &global : moves) {
            QVERIFY(send(QEvent::MouseMove, global, Qt::NoButton, pressed));
        }
        QVERIFY(send(QEvent::MouseButtonRelease, moves.isEmpty() ? origin + grab : moves.last(), pressed,
                     Qt::NoButton));
        QVERIFY(send(QEvent::MouseMove, origin + QPoint(50, 50), Qt::NoButton, Qt::NoButton));

        QList<QPoint> announced;
        for (const QList<QVariant> &args : spy) {
            announced << QPoint(args.at(0).toInt(), args.at(1).toInt());
        }
        QCOMPARE(announced, expected);
    }

    void newPressTakesNewGrabPoint()
    {
        KZ_MainToolBar bar;
        QSignalSpy spy(&bar, &KZ_MainToolBar::SIGNAL_window_pos_change);
        auto send = [&](QEvent::Type type, QPoint local, QPoint global) {
            QMouseEvent event(type, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&bar, &event);
        };
        send(QEvent::MouseButtonPress, {10, 5}, {110, 105});
        send(QEvent::MouseButtonPress, {30, 7}, {130, 107});
        send(QEvent::MouseMove, {40, 7}, {140, 107});
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0), (QList<QVariant>{110, 100}));
    }
};

QTEST_MAIN(FormTest)
#include "tst_form.moc"
