// Carries bytes between the client of a pseudo-terminal and one virtual board, and runs the board's clock.
#pragma once

#include "sim/VirtualBoard.h"
#include "sim/VirtualBridge.h"
#include "usb/bridge/BridgeDefs.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class PseudoTerminal;
class VirtualDevice;

// The board sits behind a virtual bridge of its own. Every millisecond the link moves the board's clock
// up to the present, passes what the client wrote to the board and what the board sent to the client.
//
// A client opening the terminal is the host opening the bridge device, and its last close is the host
// closing it: until a client comes, the bridge keeps the board's first output (the banner) as the real
// bridge does, and a client that leaves takes the driver's queue with it.
//
// A pty carries no frame format, so the link sets the bridge's UART itself: bytes from the client go to
// the chip in the chip's own format (8E1 in the system bootloader, 8N1 in the firmware), and the chip's
// bytes are read in the format they were sent in. The second needs care only when the chip changes
// program (a Go command), when its last bootloader byte is still on the wire: the link switches the UART
// a little later, before the firmware's first byte. To keep that exact whatever the scheduling of this
// process, the board's clock is moved in small steps rather than read from the wall.
class PtyBoardLink : public QObject
{
    Q_OBJECT

public:
    // A board with the image in its flash (an empty image leaves it erased), powered up at once.
    PtyBoardLink(VirtualBridge::TimeMode timeMode, const QByteArray &flashImage, PseudoTerminal &terminal);
    ~PtyBoardLink() override;

    // Starts the board in its system bootloader (as with BOOT0 high at power-up) or in its firmware, and
    // the polling. False with the reason in *error when the board cannot be set up.
    bool start(bool bootloader, QString *error);
    QByteArray flash() const { return m_Board.flash(); }

signals:
    // A call on the board failed; the link has stopped.
    void failed(const QString &reason);

private:
    void poll();
    void advanceClock();
    void followChipFormat(VirtualDevice &device, qint64 nowNs);
    bool connectBoard();
    void disconnectBoard();
    bool sendToBoard(const QByteArray &bytes);
    bool takeFromBoard();
    // False after reporting a failed call.
    bool succeeded(Bridge::Status status, const char *operation);

    VirtualBridge m_Bridge;
    VirtualBoard m_Board;
    PseudoTerminal &m_Terminal;
    Bridge::Handle m_Handle = Bridge::NoHandle;
    QByteArray m_ToClient;
    QTimer m_Timer;
    QElapsedTimer m_Elapsed;
    qint64 m_ClockBaseNs = 0;
    qint64 m_FormatChangeSeenNs = -1;
};
