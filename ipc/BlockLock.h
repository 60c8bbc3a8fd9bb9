// Scoped exclusive access to the shared-memory block, for one check or one field.
#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QSharedMemory>

class BlockLock
{
public:
    // QSharedMemory::lock() returns at once when the same object is already locked, whichever thread
    // holds it, so threads that share one QSharedMemory object pass a mutex to exclude each other first.
    explicit BlockLock(QSharedMemory &memory, QMutex *threadMutex = nullptr)
        : m_ThreadGuard(threadMutex), m_Memory(memory), m_Locked(memory.lock())
    {
    }
    ~BlockLock()
    {
        if (m_Locked)
            m_Memory.unlock();
    }
    BlockLock(const BlockLock &) = delete;
    BlockLock &operator=(const BlockLock &) = delete;

    bool isLocked() const { return m_Locked; }

private:
    QMutexLocker m_ThreadGuard;
    QSharedMemory &m_Memory;
    const bool m_Locked;
};
