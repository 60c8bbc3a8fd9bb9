// The master side of a pseudo-terminal: the serial port that terminals and flashers open instead of a
// real one.
#pragma once

#include <QByteArray>
#include <QString>

// The slave side is set to raw mode once, so a client that does not set its own mode gets every byte
// unchanged (no echo, no line editing, no CR/LF translation). The master is non-blocking. A pty has no
// baud rate or parity of its own: what a client sets there has no effect on the bytes.
class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // False with the reason in *error when the system hands out no pseudo-terminal.
    bool open(QString *error);
    // The path a client opens, e.g. /dev/pts/3.
    const QString &slavePath() const { return m_SlavePath; }

    // What clients have written since the last call (at most maxBytes), and whether a client has the
    // slave open now. Before the first client and after the last one has closed, *clientPresent is false.
    QByteArray read(int maxBytes, bool *clientPresent);
    // Hands as many bytes to the client as the terminal's buffer takes now; the count taken.
    int write(const QByteArray &bytes);

private:
    int m_Master = -1;
    QString m_SlavePath;
};
