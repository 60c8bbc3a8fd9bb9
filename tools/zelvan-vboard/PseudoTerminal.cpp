// Creation, raw mode and non-blocking transfer of a pseudo-terminal's master side.
#include "tools/zelvan-vboard/PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemError(const char *call)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(call), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PseudoTerminal::~PseudoTerminal()
{
    if (m_Master >= 0)
        ::close(m_Master);
}

bool PseudoTerminal::open(QString *error)
{
    m_Master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_Master < 0) {
        *error = systemError("posix_openpt");
        return false;
    }
    if (::grantpt(m_Master) != 0 || ::unlockpt(m_Master) != 0) {
        *error = systemError("grantpt/unlockpt");
        return false;
    }
    const char *name = ::ptsname(m_Master);
    if (!name) {
        *error = systemError("ptsname");
        return false;
    }
    m_SlavePath = QString::fromLocal8Bit(name);

    // The slave's mode stays with the pty after this descriptor closes. Closing it also matters for
    // client detection: from now on the master reports a hang-up until a client opens the slave.
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        *error = systemError("open slave");
        return false;
    }
    termios mode{};
    bool raw = ::tcgetattr(slave, &mode) == 0;
    if (raw) {
        ::cfmakeraw(&mode);
        raw = ::tcsetattr(slave, TCSANOW, &mode) == 0;
    }
    if (!raw)
        *error = systemError("raw mode of the slave");
    ::close(slave);
    if (!raw)
        return false;

    const int flags = ::fcntl(m_Master, F_GETFL);
    if (flags < 0 || ::fcntl(m_Master, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = systemError("fcntl O_NONBLOCK");
        return false;
    }
    return true;
}

QByteArray PseudoTerminal::read(int maxBytes, bool *clientPresent)
{
    QByteArray bytes;
    *clientPresent = true;
    char buffer[4096];
    while (bytes.size() < maxBytes) {
        const ssize_t count =
            ::read(m_Master, buffer, size_t(qMin<int>(int(sizeof buffer), maxBytes - bytes.size())));
        if (count > 0) {
            bytes.append(buffer, int(count));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // Linux: EAGAIN while a client is there and quiet, EIO once no descriptor of the slave is open.
        if (count == 0 || errno != EAGAIN)
            *clientPresent = false;
        break;
    }
    return bytes;
}

int PseudoTerminal::write(const QByteArray &bytes)
{
    int written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(m_Master, bytes.constData() + written, size_t(bytes.size() - written));
        if (count > 0) {
            written += int(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        break;
    }
    return written;
}
