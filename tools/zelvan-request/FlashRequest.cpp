// One flash request through the shared-memory block, step by step as the loader's watcher expects it:
// path and flag 1, wait for a non-zero result, flag 0.
#include "tools/zelvan-request/FlashRequest.h"

#include "ipc/BlockLock.h"
#include "ipc/BlockText.h"
#include "ipc/ProgrammerBlock.h"

#include <QThread>

namespace {
constexpr unsigned long PollIntervalMs = 10;
// How long a result left over from the previous request may take to be cleared by the loader.
constexpr int IdleWaitMs = 3000;
} // namespace

std::atomic<bool> FlashRequest::s_Interrupted{false};

FlashRequest::FlashRequest(const QString &key) : m_Memory(key) {}

bool FlashRequest::fits(const QString &path)
{
    const QByteArray utf8 = path.toUtf8();
    return utf8.size() < Path2HexfileSize && !utf8.contains('\0');
}

ExitCode FlashRequest::start(const QString &absolutePath, QDeadlineTimer deadline, QString *message)
{
    const ExitCode code = attach(message);
    return code == ExitWritten ? raise(absolutePath, deadline, message) : code;
}

ExitCode FlashRequest::finish(QDeadlineTimer deadline, QString *message)
{
    const ExitCode code = awaitResult(deadline, message);
    withdraw();
    return code;
}

ExitCode FlashRequest::attach(QString *message)
{
    // Only a running loader creates the block; a block made here would never be answered.
    if (!m_Memory.attach(QSharedMemory::ReadWrite)) {
        *message = m_Memory.error() == QSharedMemory::NotFound
                       ? QStringLiteral("no running loader found (no shared-memory block \"%1\"); start "
                                        "zelvan-loader first")
                             .arg(m_Memory.key())
                       : QStringLiteral("cannot attach to the shared-memory block \"%1\": %2")
                             .arg(m_Memory.key(), m_Memory.errorString());
        return ExitNoLoader;
    }
    if (m_Memory.size() < static_cast<int>(sizeof(ProgrammerBlock))) {
        *message =
            QStringLiteral("the shared-memory block \"%1\" has %2 bytes instead of %3; it is not a loader's")
                .arg(m_Memory.key())
                .arg(m_Memory.size())
                .arg(sizeof(ProgrammerBlock));
        return ExitNoLoader;
    }
    return ExitWritten;
}

ExitCode FlashRequest::raise(const QString &absolutePath, QDeadlineTimer deadline, QString *message)
{
    auto *block = static_cast<ProgrammerBlock *>(m_Memory.data());
    const QDeadlineTimer idleDeadline(qMin<qint64>(deadline.remainingTime(), IdleWaitMs));
    for (;;) {
        {
            BlockLock lock(m_Memory);
            if (!lock.isLocked()) {
                *message =
                    QStringLiteral("cannot lock the shared-memory block: %1").arg(m_Memory.errorString());
                return ExitNoLoader;
            }
            if (block->StatusDebugMonitor == 0) {
                *message = QStringLiteral("no running loader serves the shared-memory block \"%1\"")
                               .arg(m_Memory.key());
                return ExitNoLoader;
            }
            if (block->StatusProgrammingRequest != RequestNone) {
                *message = QStringLiteral("another flash request is pending at the loader");
                return ExitBusy;
            }
            // A result is cleared by the loader once it has seen the previous request withdrawn; raised
            // before that, the old result would be taken for the answer to this request.
            if (block->ProgrammingResult == ResultNone) {
                bool terminated = false;
                m_Device =
                    BlockText::load(block->NameOfConnectedDevice, NameOfConnectedDeviceSize, &terminated);
                m_Connected = block->StatusZelvanConnection != 0;
                BlockText::store(block->Path2Hexfile, Path2HexfileSize, absolutePath.toUtf8());
                block->StatusProgrammingRequest = RequestPending;
                return ExitWritten;
            }
        }
        if (idleDeadline.hasExpired()) {
            *message = QStringLiteral("the loader has not cleared the result of the previous request");
            return ExitBusy;
        }
        if (s_Interrupted) {
            *message = QStringLiteral("interrupted");
            return ExitInterrupted;
        }
        QThread::msleep(PollIntervalMs);
    }
}

ExitCode FlashRequest::awaitResult(QDeadlineTimer deadline, QString *message)
{
    const auto *block = static_cast<const ProgrammerBlock *>(m_Memory.constData());
    for (;;) {
        qint32 result = ResultNone;
        bool served = true;
        bool pending = true;
        {
            BlockLock lock(m_Memory);
            if (lock.isLocked()) {
                result = block->ProgrammingResult;
                served = block->StatusDebugMonitor != 0;
                pending = block->StatusProgrammingRequest == RequestPending;
            }
        }
        if (result == ResultSuccess) {
            *message = QStringLiteral("the loader wrote the file into the board%1").arg(quotedBoardName());
            return ExitWritten;
        }
        if (result == ResultFailure) {
            *message =
                m_Connected
                    ? QStringLiteral("the loader could not write the file into the board%1 (the "
                                     "loader's console tells why)")
                          .arg(quotedBoardName())
                    : QStringLiteral("the loader could not write the file: no board was connected to it");
            return ExitWriteFailed;
        }
        if (result != ResultNone) {
            *message = QStringLiteral("the loader answered with the unknown result %1").arg(result);
            return ExitWriteFailed;
        }
        // A loader that ends clears its mark and withdraws the request it has not answered.
        if (!served || !pending) {
            *message = QStringLiteral("the loader ended before it answered");
            return ExitNoLoader;
        }
        if (deadline.hasExpired()) {
            *message = QStringLiteral("no answer from the loader in time; the request is withdrawn");
            return ExitTimeout;
        }
        if (s_Interrupted) {
            *message = QStringLiteral("interrupted; the request is withdrawn");
            return ExitInterrupted;
        }
        QThread::msleep(PollIntervalMs);
    }
}

QString FlashRequest::quotedBoardName() const
{
    return m_Device.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(m_Device);
}

void FlashRequest::withdraw()
{
    auto *block = static_cast<ProgrammerBlock *>(m_Memory.data());
    // Withdrawn even if the lock failed: a request left pending would block every later one.
    BlockLock lock(m_Memory);
    block->StatusProgrammingRequest = RequestNone;
}
