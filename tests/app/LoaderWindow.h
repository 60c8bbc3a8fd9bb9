// The real main window on a test's virtual bridge, with access to its widgets and to the shared-memory
// block as the requesting program sees it.
#pragma once

#include "app/ZelvanFirmwareLoader.h"
#include "ipc/ProgrammerBlock.h"
#include "tests/support/VirtualBoardFixture.h"

#include <QAbstractButton>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSharedMemory>
#include <QTest>

class LoaderWindow
{
public:
    explicit LoaderWindow(VirtualBoardFixture &boards) : window(nullptr, boards.library()) { block.attach(); }

    template <typename Widget> Widget *widget(const char *name) const
    {
        return window.findChild<Widget *>(QLatin1String(name));
    }
    QAbstractButton *button(const char *name) const { return widget<QAbstractButton>(name); }
    QListWidget *deviceList() const { return widget<QListWidget>("m_ListDev"); }
    QString console() const { return widget<QPlainTextEdit>("m_pTEconsole")->toPlainText(); }
    QString title() const { return widget<QLabel>("m_lProgTitile")->text(); }
    bool connected() const { return button("m_pBConnect")->text() == QLatin1String("Disconnect"); }

    // Waits until the device list shows the row, selects it and clicks Connect, as a user does.
    bool connectRow(int row)
    {
        if (!QTest::qWaitFor([&] { return deviceList()->count() > row; }, 20000))
            return false;
        deviceList()->setCurrentRow(row);
        button("m_pBConnect")->click();
        return connected();
    }

    // Reads or writes the block under its lock, as the requesting program does.
    template <typename Access> auto onBlock(Access access)
    {
        block.lock();
        auto result = access(*static_cast<ProgrammerBlock *>(block.data()));
        block.unlock();
        return result;
    }
    bool blockSaysConnected()
    {
        return onBlock([](ProgrammerBlock &b) { return b.StatusZelvanConnection != 0; });
    }
    QString blockDeviceName()
    {
        return onBlock([](ProgrammerBlock &b) { return QString::fromUtf8(b.NameOfConnectedDevice); });
    }
    qint32 blockResult()
    {
        return onBlock([](ProgrammerBlock &b) { return b.ProgrammingResult; });
    }
    void raiseRequest(const QString &path)
    {
        onBlock([&](ProgrammerBlock &b) {
            const QByteArray utf8 = path.toUtf8();
            qstrncpy(b.Path2Hexfile, utf8.constData(), sizeof b.Path2Hexfile);
            b.StatusProgrammingRequest = RequestPending;
            return 0;
        });
    }
    void withdrawRequest()
    {
        onBlock([](ProgrammerBlock &b) { return b.StatusProgrammingRequest = RequestNone; });
    }

    ZelvanFirmwareLoader window;
    QSharedMemory block{QLatin1String(ProgrammerBlockKey)};
};
