// zelvan-bench-flash: flashes the built-in firmware into a virtual board in real time through the
// device worker and the bootloader state machine, and sets the time it took against the wire time of
// the bytes exchanged.
#include "bench/BuiltInHex.h"
#include "bench/ImageOfHexFile.h"
#include "firmware/BootloaderProtocol.h"
#include "sim/Stm32Bootloader.h"
#include "sim/Stm32Flash.h"
#include "sim/VirtualBridge.h"
#include "usb/KZ_SI_USBXpressDev.h"
#include "usb/bridge/SerialisedBridge.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <atomic>
#include <functional>

namespace {

constexpr int ListWaitMs = 15000;
constexpr int UpdateWaitMs = 300000;
// 115200 baud, 8 data bits, even parity, 1 stop bit: 11 bits a byte on the wire.
constexpr double BitsPerByte = 11.0;
constexpr double BaudRate = Bridge::BoardBaudRate;

int fail(const QString &text)
{
    QTextStream(stderr) << "zelvan-bench-flash: " << text << '\n';
    return 1;
}

// Handles events until the condition holds; false when the time ran out first.
bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    return true;
}

// The bytes of one update as the protocol exchanges them without retries: sync, Get ID, global erase,
// then per block Write Memory's command, address and data frame, each answered by the chip.
struct ProtocolBytes
{
    qint64 toChip = 0;
    qint64 fromChip = 0;
    int writes = 0;
};

ProtocolBytes protocolBytes(qint64 imageSize)
{
    ProtocolBytes bytes;
    bytes.toChip = 1 + 2 + 2 + 2;
    bytes.fromChip = 1 + BootloaderProtocol::GetIdReplyLength + 1 + 1;
    bytes.writes = 4;
    for (qint64 offset = 0; offset < imageSize; offset += BootloaderProtocol::BlockSize) {
        const qint64 length = qMin<qint64>(BootloaderProtocol::BlockSize, imageSize - offset);
        bytes.toChip += 2 + 5 + (1 + length + 1);
        bytes.fromChip += 3;
        bytes.writes += 3;
    }
    return bytes;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    QTemporaryDir folder;
    QString error;
    const QString hexPath = writeBuiltInHex(folder, &error);
    if (hexPath.isEmpty())
        return fail(error);
    const QByteArray image = imageOfHexFile(hexPath, &error);
    if (image.isEmpty())
        return fail(error);

    VirtualBridge bridge(VirtualBridge::TimeMode::RealTime);
    SerialisedBridge library(bridge);
    VirtualBoard board = bridge.addBoard(QStringLiteral("ZVBENCH1"), QStringLiteral("Zelvan Mini"));
    KZ_SI_USBXpressDev worker(library);
    if (!waitFor([&worker] { return !worker.getDeviceList().isEmpty(); }, ListWaitMs))
        return fail(QStringLiteral("the worker lists no board"));
    if (worker.openDevice(0) != 1)
        return fail(QStringLiteral("the board does not open"));

    // Taken in the worker thread at the moment it reports the end.
    std::atomic<bool> finished{false};
    qint8 result = 0;
    qint64 elapsedNs = 0;
    QElapsedTimer clock;
    QObject::connect(
        &worker, &KZ_SI_USBXpressDev::SIGNAL_FirmwareWriteFinish, &worker,
        [&](qint8 Result) {
            elapsedNs = clock.nsecsElapsed();
            result = Result;
            finished.store(true, std::memory_order_release);
        },
        Qt::DirectConnection);
    board.clearCalls();
    out << "zelvan-bench-flash: writing " << QFileInfo(hexPath).fileName() << " (" << image.size()
        << " bytes) into a virtual board in real time ..." << Qt::endl;
    clock.start();
    worker.SLOT_StartFirmwareUpdate(hexPath);
    if (!waitFor([&finished] { return finished.load(std::memory_order_acquire); }, UpdateWaitMs))
        return fail(QStringLiteral("no finish within %1 s").arg(UpdateWaitMs / 1000));
    worker.closeDev();
    if (result != 1)
        return fail(QStringLiteral("the update finished with %1").arg(result));
    if (board.flash() != image + QByteArray(Stm32Flash::Size - image.size(), char(0xFF)))
        return fail(QStringLiteral("the flash does not hold the image"));

    qint64 toChip = 0;
    int writes = 0;
    for (const BridgeCall &call : board.calls()) {
        if (call.operation == BridgeOperation::Write && call.status == Bridge::Success) {
            toChip += call.first;
            ++writes;
        }
    }
    const ProtocolBytes expected = protocolBytes(image.size());
    if (toChip != expected.toChip || writes != expected.writes)
        return fail(
            QStringLiteral("the worker sent %1 bytes in %2 writes, the protocol without retries %3 in %4")
                .arg(toChip)
                .arg(writes)
                .arg(expected.toChip)
                .arg(expected.writes));

    const qint64 exchanged = expected.toChip + expected.fromChip;
    const double elapsed = double(elapsedNs) / 1e9;
    const double wire = double(exchanged) * BitsPerByte / BaudRate;
    const qint64 halfWords = (image.size() + 1) / 2;
    const double flashWork =
        double(Stm32Bootloader::MassEraseNs + halfWords * Stm32Bootloader::HalfWordProgramNs) / 1e9;
    out.setRealNumberNotation(QTextStream::FixedNotation);
    out << "result 1, the flash holds the image\n";
    out.setRealNumberPrecision(3);
    out << "elapsed:                       " << elapsed << " s\n";
    out << "bytes exchanged:               " << exchanged << " (" << expected.toChip << " to the chip, "
        << expected.fromChip << " from it)\n";
    out << "wire-time lower bound:         " << wire << " s (115200 baud 8E1, 11 bits a byte)\n";
    out.setRealNumberPrecision(2);
    out << "elapsed / wire time:           " << elapsed / wire << '\n';
    out.setRealNumberPrecision(3);
    out << "flash erase and programming:   " << flashWork << " s (the chip's work as modelled)\n";
    out.setRealNumberPrecision(2);
    out << "elapsed / (wire + flash work): " << elapsed / (wire + flashWork) << '\n';
    return 0;
}
