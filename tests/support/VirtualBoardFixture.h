// A virtual bridge of a test's own, wrapped as the program wraps its back end, with helpers to wait for
// the device worker's list refreshes.
#pragma once

#include "sim/VirtualBridge.h"
#include "usb/bridge/SerialisedBridge.h"

#include <QString>

class VirtualBoardFixture
{
public:
    explicit VirtualBoardFixture(VirtualBridge::TimeMode timeMode = VirtualBridge::TimeMode::Instant);

    VirtualBridge &bridge() { return m_Bridge; }
    // What a worker gets: the bridge serialised per handle.
    BridgeLibrary &library() { return m_Library; }

    VirtualBoard addBoard(const QString &serialNumber,
                          const QString &description = QStringLiteral("Zelvan Mini"));
    // A board whose transcript records every byte from its power-up on.
    VirtualBoard addRecordedBoard(const QString &serialNumber);
    VirtualBoard addErasedBoard(const QString &serialNumber,
                                const QString &description = QStringLiteral("Zelvan Mini"));

    // Waits, handling events, until a whole device-list refresh that began after the call has run
    // (the worker refreshes about once a second). False when none did within the time.
    bool waitForRefresh(int timeoutMs = 15000);
    // Unplugs the boards with these serial numbers so that no refresh can fall between them.
    void unplugTogether(const QStringList &serialNumbers);

private:
    VirtualBridge m_Bridge;
    SerialisedBridge m_Library;
};
