// The watcher thread of the shared-memory block: one check of the request flag and the result per pass.
#include "ipc/KZ_SharedMemSocked.h"

#include "app/log/Log.h"
#include "ipc/BlockLock.h"

namespace {
constexpr char RunTag[] = "KZ_SharedMemSocked::run";
constexpr unsigned long PassSleepMs = 1;
// The finish signal reports only that a result arrived; its argument is always this value.
constexpr qint16 FinishedSignalValue = -1;
} // namespace

void KZ_SharedMemSocked::run()
{
    LogStatus(RunTag, "Thread Start");
    while (m_ThreadRun) {
        if (m_pBlock)
            checkBlock();
        msleep(PassSleepMs);
    }
    LogStatus(RunTag, "Thread END");
}

void KZ_SharedMemSocked::checkBlock()
{
    bool requestRaised = false;
    bool resultArrived = false;
    {
        BlockLock lock(m_SharedMemory, &m_ThreadMutex);
        if (!lock.isLocked())
            return;
        const quint8 request = m_pBlock->StatusProgrammingRequest;
        if (request != m_LastRequest) {
            m_LastRequest = request;
            if (request == RequestPending) {
                requestRaised = true;
            } else if (m_LocalStatusDebugMonitor) {
                // The requesting program has withdrawn its request: back to idle for the next one.
                m_LastResult = ResultNone;
                m_pBlock->ProgrammingResult = ResultNone;
                LogStatus(RunTag, "Set to Idel-Mode");
            }
        }
        const qint32 result = m_pBlock->ProgrammingResult;
        if (result != ResultNone && result != m_LastResult) {
            m_LastResult = result;
            resultArrived = true;
            LogStatus(RunTag, "Send SIGNAL Prog Finished");
        }
    }
    // Emitted after the lock is released, so that a receiver that calls an accessor cannot deadlock.
    if (requestRaised)
        emit SIGNAL_ProgrammingRequestPendig();
    if (resultArrived)
        emit SIGNAL_ProgrammingFinished(FinishedSignalValue);
}
