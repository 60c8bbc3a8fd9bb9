// Choice of the bridge back end from the environment, once per process.
#include "usb/bridge/ProcessBridge.h"

#include "sim/VirtualBoardList.h"
#include "sim/VirtualBridge.h"
#include "usb/bridge/SerialisedBridge.h"

#include <QtGlobal>

namespace {

constexpr char BackendVariable[] = "ZELVAN_BRIDGE";
constexpr char BoardsVariable[] = "ZELVAN_VIRTUAL_BOARDS";
constexpr char VirtualBackend[] = "virtual";

// What a process gets for a back end it does not know: a bus without devices.
class AbsentBridge final : public BridgeLibrary
{
public:
    Bridge::Status getNumDevices(quint32 *numDevices) override
    {
        if (numDevices)
            *numDevices = 0;
        return Bridge::DeviceNotFound;
    }
    Bridge::Status getProductString(quint32, char *, quint32) override { return Bridge::DeviceNotFound; }
    Bridge::Status open(quint32, Bridge::Handle *) override { return Bridge::DeviceNotFound; }
    Bridge::Status close(Bridge::Handle) override { return Bridge::InvalidHandle; }
    Bridge::Status read(Bridge::Handle, void *, quint32, quint32 *, void *) override
    {
        return Bridge::InvalidHandle;
    }
    Bridge::Status write(Bridge::Handle, const void *, quint32, quint32 *, void *) override
    {
        return Bridge::InvalidHandle;
    }
    Bridge::Status checkRxQueue(Bridge::Handle, quint32 *, quint32 *) override
    {
        return Bridge::InvalidHandle;
    }
    Bridge::Status flushBuffers(Bridge::Handle, quint8, quint8) override { return Bridge::InvalidHandle; }
    Bridge::Status setBaudRate(Bridge::Handle, quint32) override { return Bridge::InvalidHandle; }
    Bridge::Status setLineControl(Bridge::Handle, quint16) override { return Bridge::InvalidHandle; }
    Bridge::Status writeLatch(Bridge::Handle, quint8, quint8) override { return Bridge::InvalidHandle; }
};

std::unique_ptr<BridgeLibrary> createVirtualBridge()
{
    auto bridge = std::make_unique<VirtualBridge>(VirtualBridge::TimeMode::RealTime);
    QList<VirtualBoardSpec> boards;
    if (qEnvironmentVariableIsSet(BoardsVariable)) {
        QStringList errors;
        boards = parseVirtualBoards(qEnvironmentVariable(BoardsVariable), &errors);
        for (const QString &error : errors)
            qCritical("%s: %s; that board is not plugged in", BoardsVariable, qUtf8Printable(error));
    } else {
        boards.append(VirtualBoardSpec{QString::fromLatin1(DefaultVirtualSerialNumber),
                                       QString::fromLatin1(DefaultVirtualDescription)});
    }
    for (const VirtualBoardSpec &board : boards)
        bridge->addBoard(board.serialNumber, board.description);
    return bridge;
}

BridgeLibrary &chosenBackend()
{
    static const std::unique_ptr<BridgeLibrary> backend = [] {
        const QString name = qEnvironmentVariable(BackendVariable);
        QString error;
        std::unique_ptr<BridgeLibrary> chosen = createBridgeBackend(name, &error);
        if (!chosen) {
            qCritical("%s", qUtf8Printable(error));
            chosen = std::make_unique<AbsentBridge>();
        }
        return chosen;
    }();
    return *backend;
}

} // namespace

std::unique_ptr<BridgeLibrary> createBridgeBackend(const QString &name, QString *error)
{
    if (name.isEmpty() || name == QLatin1String(VirtualBackend))
        return createVirtualBridge();
    *error = QStringLiteral("%1=\"%2\" names no bridge back end (known: \"%3\"); no boards will be listed")
                 .arg(QLatin1String(BackendVariable), name, QLatin1String(VirtualBackend));
    return nullptr;
}

BridgeLibrary &processBridge()
{
    static SerialisedBridge bridge(chosenBackend());
    return bridge;
}
