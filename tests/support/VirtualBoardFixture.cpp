// The virtual board fixture of the tests.
#include "tests/support/VirtualBoardFixture.h"

#include "sim/VirtualDevice.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

VirtualBoardFixture::VirtualBoardFixture(VirtualBridge::TimeMode timeMode)
    : m_Bridge(timeMode), m_Library(m_Bridge)
{
}

VirtualBoard VirtualBoardFixture::addBoard(const QString &serialNumber, const QString &description)
{
    return m_Bridge.addBoard(serialNumber, description);
}

VirtualBoard VirtualBoardFixture::addRecordedBoard(const QString &serialNumber)
{
    VirtualBoard board =
        m_Bridge.addBoard(serialNumber, QStringLiteral("Zelvan Mini"), demoFirmwareImage(), false);
    board.setTranscriptEnabled(true);
    board.plug();
    return board;
}

VirtualBoard VirtualBoardFixture::addErasedBoard(const QString &serialNumber, const QString &description)
{
    return m_Bridge.addBoard(serialNumber, description, QByteArray());
}

bool VirtualBoardFixture::waitForRefresh(int timeoutMs)
{
    // A refresh starts with the device count. The one running now may have counted already, so the
    // refresh that began after this call is over once the count after it has started.
    const quint64 target = m_Bridge.callCount(BridgeOperation::GetNumDevices) + 2;
    QDeadlineTimer deadline(timeoutMs);
    while (m_Bridge.callCount(BridgeOperation::GetNumDevices) < target) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    // Deliver the signals the finished refresh queued.
    QCoreApplication::processEvents();
    return true;
}

void VirtualBoardFixture::unplugTogether(const QStringList &serialNumbers)
{
    m_Bridge.withAllDevices([&](const QVector<VirtualDevice *> &devices, qint64) {
        for (VirtualDevice *device : devices) {
            if (serialNumbers.contains(device->serialNumber()))
                device->unplug();
        }
    });
}
