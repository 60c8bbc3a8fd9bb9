// A long run of the device worker against the virtual bridge: boards plugged and unplugged at random,
// connections opened and closed, resets, mode changes and update starts, while one board streams.
#pragma once

#include "sim/VirtualBridge.h"
#include "usb/bridge/SerialisedBridge.h"

#include <QObject>
#include <QRandomGenerator>
#include <QStringList>
#include <memory>

class KZ_SI_USBXpressDev;

struct SoakOptions
{
    int durationSeconds = 120;
    quint32 seed = 1;
    int boards = 4;
};

struct SoakReport
{
    qint64 actions = 0;
    qint64 plugChanges = 0;
    qint64 connections = 0;
    qint64 bytesReceived = 0;
    qint64 updateStarts = 0;
    qint64 updateFinishes = 0;
    QStringList problems;

    bool ok() const { return problems.isEmpty(); }
};

// Runs in the calling thread's event loop, as the main window would drive the worker. Problems found:
// the loop stops refreshing the device list (a hang), an update start without exactly one finish, a ring
// reader handed fewer bytes than the length promised, a board still open or listed after all boards are
// unplugged, nothing received at all.
class SoakRun : public QObject
{
    Q_OBJECT

public:
    explicit SoakRun(const SoakOptions &options);
    ~SoakRun() override;

    SoakReport run();

private slots:
    void drain(quint8 dataType);
    void act();
    void checkProgress();

private:
    void changePlugs();
    void finish();

    SoakOptions m_Options;
    QRandomGenerator m_Random;
    VirtualBridge m_Bridge;
    SerialisedBridge m_Library;
    std::unique_ptr<KZ_SI_USBXpressDev> m_Worker;
    SoakReport m_Report;
    quint64 m_LastCountCalls = 0;
    bool m_Running = false;
};
