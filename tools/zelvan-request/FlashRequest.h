// The requesting program's side of the shared-memory block: raise one flash request at a running
// loader, wait for its result and withdraw the request again.
#pragma once

#include "tools/zelvan-request/ExitCode.h"

#include <QDeadlineTimer>
#include <QSharedMemory>
#include <QString>
#include <atomic>

class FlashRequest
{
public:
    explicit FlashRequest(const QString &key);

    // Attaches to a running loader's block and raises the request for absolutePath, which must fit the
    // block (see fits()). Anything but ExitWritten means no request was raised; message says why.
    ExitCode start(const QString &absolutePath, QDeadlineTimer deadline, QString *message);
    // After a successful start: waits for the loader's result, then withdraws the request.
    ExitCode finish(QDeadlineTimer deadline, QString *message);
    // The board the loader was connected to when the request was raised.
    bool isBoardConnected() const { return m_Connected; }
    QString boardName() const { return m_Device; }

    // Whether path fits the block's path field with its NUL.
    static bool fits(const QString &path);

    // Set from a signal handler: the wait ends and the request is withdrawn.
    static std::atomic<bool> s_Interrupted;

private:
    ExitCode attach(QString *message);
    ExitCode raise(const QString &absolutePath, QDeadlineTimer deadline, QString *message);
    ExitCode awaitResult(QDeadlineTimer deadline, QString *message);
    void withdraw();
    QString quotedBoardName() const;

    QSharedMemory m_Memory;
    QString m_Device;
    bool m_Connected = false;
};
