// The loader's side of the shared-memory block: one locked accessor per field, and a watcher thread that
// turns a raised request and a written result into signals.
#pragma once

#include "ipc/ProgrammerBlock.h"

#include <QMutex>
#include <QSharedMemory>
#include <QString>
#include <QThread>
#include <atomic>

class KZ_SharedMemSocked : public QThread
{
    Q_OBJECT
public:
    // Joins the block under Key, or creates it when there is none, and starts the watcher.
    explicit KZ_SharedMemSocked(const QString &Key);
    // Stops the watcher, withdraws a pending request and detaches.
    ~KZ_SharedMemSocked() override;

    void setStatusDebugMonitor(bool Status);
    bool isStatusDebugMonitorSet();
    bool isStatusProgrammingRequestSet();
    void setStatusZelvanConnection(bool Status);
    void setProgrammingResult(int Result);
    // Empty when there is no block or the field holds no NUL-terminated path.
    QString getPath2Hexfile();
    // Names longer than the field are cut at a character boundary.
    void setNameOfConnectedDevice(const QString &Name);

signals:
    void SIGNAL_ProgrammingRequestPendig();
    void SIGNAL_ProgrammingFinished(qint16 eResult);

protected:
    void run() override;

private:
    void joinOrCreate();
    void checkBlock();
    // Runs access on the block under its lock; false (after an error line tagged Tag) when it cannot.
    template <typename Access> bool accessBlock(const char *Tag, Access access);

    QSharedMemory m_SharedMemory;
    ProgrammerBlock *m_pBlock;
    std::atomic<bool> m_LocalStatusDebugMonitor;
    quint8 m_LastRequest;
    qint32 m_LastResult;
    QString m_Key;
    std::atomic<bool> m_ThreadRun;
    // Serialises the GUI thread's accessors and the watcher on m_SharedMemory (see BlockLock).
    QMutex m_ThreadMutex;
};
