// The soak run of the device worker and the virtual bridge.
#include "tools/zelvan-soak/SoakRun.h"

#include "sim/VirtualDevice.h"
#include "usb/KZ_SI_USBXpressDev.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

// The loop refreshes the list about once a second; a worker that has not counted the devices for
// this long is stuck.
constexpr int ProgressCheckMs = 5000;
constexpr int SettleMs = 6000;

} // namespace

SoakRun::SoakRun(const SoakOptions &options)
    : m_Options(options), m_Random(options.seed), m_Bridge(VirtualBridge::TimeMode::RealTime),
      m_Library(m_Bridge)
{
    for (int i = 0; i < qMax(1, options.boards); ++i) {
        VirtualBoard board = m_Bridge.addBoard(QStringLiteral("ZS%1").arg(i + 1, 6, 10, QLatin1Char('0')),
                                               QStringLiteral("Soak board %1").arg(i + 1));
        board.setDebugIntervalMs(20 + 30 * i);
        board.setFlood(i == 0);
    }
    m_Worker = std::make_unique<KZ_SI_USBXpressDev>(m_Library);
    connect(m_Worker.get(), &KZ_SI_USBXpressDev::SIGNAL_newDataAvailable, this, &SoakRun::drain);
    connect(m_Worker.get(), &KZ_SI_USBXpressDev::SIGNAL_FirmwareWriteFinish, this,
            [this](qint8) { ++m_Report.updateFinishes; });
}

SoakRun::~SoakRun() = default;

void SoakRun::drain(quint8 dataType)
{
    quint16 (KZ_SI_USBXpressDev::*length)() = &KZ_SI_USBXpressDev::RxLength;
    qint8 (KZ_SI_USBXpressDev::*read)(quint8 *) = &KZ_SI_USBXpressDev::ReadRxByte;
    if (dataType == 1) {
        length = &KZ_SI_USBXpressDev::MsgLength;
        read = &KZ_SI_USBXpressDev::ReadMsgByte;
    } else if (dataType == 2) {
        length = &KZ_SI_USBXpressDev::DecodedLength;
        read = &KZ_SI_USBXpressDev::ReadDecodedByte;
    }
    const int waiting = (m_Worker.get()->*length)();
    for (int i = 0; i < waiting; ++i) {
        quint8 byte = 0;
        if ((m_Worker.get()->*read)(&byte) != 1) {
            m_Report.problems.append(QStringLiteral("ring %1 handed out %2 of %3 promised bytes")
                                         .arg(dataType)
                                         .arg(i)
                                         .arg(waiting));
            return;
        }
    }
    if (dataType == 0)
        m_Report.bytesReceived += waiting;
}

void SoakRun::changePlugs()
{
    m_Bridge.withAllDevices([this](const QVector<VirtualDevice *> &devices, qint64 nowNs) {
        // Mostly one board, sometimes several at once (as a hub that loses power).
        const int changes = m_Random.bounded(8) == 0 ? devices.size() : 1;
        for (int i = 0; i < changes; ++i) {
            VirtualDevice *device = devices.at(m_Random.bounded(devices.size()));
            if (device->isPlugged())
                device->unplug();
            else
                device->plug(nowNs);
            ++m_Report.plugChanges;
        }
    });
}

void SoakRun::act()
{
    if (!m_Running)
        return;
    ++m_Report.actions;
    const int choice = m_Random.bounded(100);
    if (choice < 30) {
        changePlugs();
    } else if (choice < 60) {
        const int listed = m_Worker->getDeviceList().size();
        if (!m_Worker->isOpen() && listed > 0 && m_Worker->openDevice(quint16(m_Random.bounded(listed))) == 1)
            ++m_Report.connections;
    } else if (choice < 70) {
        if (m_Worker->isOpen())
            m_Worker->closeDev(false);
    } else if (choice < 76) {
        m_Worker->ResetZelvan();
    } else if (choice < 84) {
        m_Worker->setTLVMode(m_Random.bounded(2) == 1);
    } else if (choice < 90) {
        ++m_Report.updateStarts;
        m_Worker->SLOT_StartFirmwareUpdate(QStringLiteral("/nonexistent/soak.hex"));
    } else {
        m_Worker->openDevice(quint16(m_Random.bounded(0x10000)));
    }
    QTimer::singleShot(int(m_Random.bounded(5, 120)), this, &SoakRun::act);
}

void SoakRun::checkProgress()
{
    const quint64 counts = m_Bridge.callCount(BridgeOperation::GetNumDevices);
    if (counts == m_LastCountCalls)
        m_Report.problems.append(
            QStringLiteral("the worker loop did not refresh the device list for %1 ms").arg(ProgressCheckMs));
    m_LastCountCalls = counts;
}

SoakReport SoakRun::run()
{
    QTimer progress;
    connect(&progress, &QTimer::timeout, this, &SoakRun::checkProgress);
    progress.start(ProgressCheckMs);
    m_Running = true;
    QTimer::singleShot(0, this, &SoakRun::act);

    QEventLoop loop;
    QTimer::singleShot(m_Options.durationSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    m_Running = false;
    progress.stop();
    finish();
    return m_Report;
}

void SoakRun::finish()
{
    // Queued actions find the run over. Unplug everything and let the worker settle.
    m_Bridge.withAllDevices([](const QVector<VirtualDevice *> &devices, qint64) {
        for (VirtualDevice *device : devices)
            device->unplug();
    });
    QDeadlineTimer settle(SettleMs);
    while (!settle.hasExpired() && (m_Worker->isOpen() || !m_Worker->getDeviceList().isEmpty() ||
                                    m_Report.updateFinishes < m_Report.updateStarts))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (m_Worker->isOpen())
        m_Report.problems.append(QStringLiteral("a board stays open after every board was unplugged"));
    if (!m_Worker->getDeviceList().isEmpty())
        m_Report.problems.append(QStringLiteral("boards stay listed after every board was unplugged"));
    if (m_Report.updateFinishes != m_Report.updateStarts)
        m_Report.problems.append(QStringLiteral("%1 update starts got %2 finishes")
                                     .arg(m_Report.updateStarts)
                                     .arg(m_Report.updateFinishes));
    if (m_Report.connections > 0 && m_Report.bytesReceived == 0)
        m_Report.problems.append(
            QStringLiteral("nothing was received over %1 connections").arg(m_Report.connections));
    m_Worker.reset();
}
