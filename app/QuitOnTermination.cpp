// A signal handler may only write to a pipe; the event loop reads it and quits in the GUI thread.
#include "app/QuitOnTermination.h"

#include "app/log/Log.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int wakePipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    // Nothing else is safe in a signal handler; a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
}

} // namespace

QuitOnTermination::QuitOnTermination(QObject *parent) : QObject(parent)
{
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        LogError("QuitOnTermination::QuitOnTermination", "No pipe for termination signals");
        return;
    }
    m_Notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(m_Notifier, &QSocketNotifier::activated, this, &QuitOnTermination::quitApplication);

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

QuitOnTermination::~QuitOnTermination()
{
    if (!m_Notifier)
        return;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
}

void QuitOnTermination::quitApplication()
{
    char byte = 0;
    while (::read(wakePipe[0], &byte, 1) > 0) {
    }
    QCoreApplication::quit();
}
