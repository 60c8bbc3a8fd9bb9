// Attaching to the shared-memory block, detaching from it, and the locked field accessors.
#include "ipc/KZ_SharedMemSocked.h"

#include "app/log/Log.h"
#include "ipc/BlockLock.h"
#include "ipc/BlockText.h"

#include <cstring>

namespace {
constexpr char ConstructorTag[] = "KZ_SharedMemSocked::KZ_SharedMemSocked";
constexpr char DestructorTag[] = "KZ_SharedMemSocked::~KZ_SharedMemSocked";
constexpr int BlockSize = static_cast<int>(sizeof(ProgrammerBlock));
} // namespace

KZ_SharedMemSocked::KZ_SharedMemSocked(const QString &Key)
    : QThread(nullptr), m_SharedMemory(), m_pBlock(nullptr), m_LocalStatusDebugMonitor(false),
      m_LastRequest(0), m_LastResult(0), m_Key(Key), m_ThreadRun(true)
{
    m_SharedMemory.setKey(m_Key);
    joinOrCreate();
    start();
}

KZ_SharedMemSocked::~KZ_SharedMemSocked()
{
    m_ThreadRun = false;
    wait();
    if (!m_pBlock)
        return;
    {
        // Withdrawn even if the lock failed: a request left pending would only stall its requester.
        BlockLock lock(m_SharedMemory, &m_ThreadMutex);
        if (m_pBlock->StatusProgrammingRequest != RequestNone) {
            m_pBlock->StatusProgrammingRequest = RequestNone;
            LogError(DestructorTag, "Kill Pending");
        }
    }
    m_pBlock = nullptr;
    m_SharedMemory.detach();
    LogStatus(DestructorTag, "Detach SharedMemory");
}

void KZ_SharedMemSocked::joinOrCreate()
{
    // Attach and create are two steps, so a requesting program may create the block in between: then the
    // create fails with AlreadyExists and a second attach joins its block.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_SharedMemory.attach(QSharedMemory::ReadWrite)) {
            LogStatus(ConstructorTag, "Join Sharedmemory %d Bytes", m_SharedMemory.size());
            if (m_SharedMemory.size() < BlockSize) {
                LogError(ConstructorTag, "Sharedmemory too small: %d Bytes instead of %d",
                         m_SharedMemory.size(), BlockSize);
                m_SharedMemory.detach();
                return;
            }
            m_pBlock = static_cast<ProgrammerBlock *>(m_SharedMemory.data());
            return;
        }
        if (m_SharedMemory.create(BlockSize, QSharedMemory::ReadWrite)) {
            LogStatus(ConstructorTag, "Create Sharedmemory %d Bytes", m_SharedMemory.size());
            m_pBlock = static_cast<ProgrammerBlock *>(m_SharedMemory.data());
            BlockLock lock(m_SharedMemory);
            // A new block is zero-filled by the system already; clearing it all states the idle block.
            std::memset(static_cast<void *>(m_pBlock), 0, sizeof(ProgrammerBlock));
            return;
        }
        if (m_SharedMemory.error() != QSharedMemory::AlreadyExists)
            break;
    }
    LogError(ConstructorTag, "Unabel to create Sharedmomory");
}

template <typename Access> bool KZ_SharedMemSocked::accessBlock(const char *Tag, Access access)
{
    if (!m_pBlock) {
        LogError(Tag, "Sharedmemory not set!");
        return false;
    }
    BlockLock lock(m_SharedMemory, &m_ThreadMutex);
    if (!lock.isLocked()) {
        LogError(Tag, "Unable to lock Sharedmemory: %s", qUtf8Printable(m_SharedMemory.errorString()));
        return false;
    }
    access(*m_pBlock);
    return true;
}

void KZ_SharedMemSocked::setStatusDebugMonitor(bool Status)
{
    if (accessBlock("KZ_SharedMemSocked::setStatusDebugMonitor",
                    [Status](ProgrammerBlock &block) { block.StatusDebugMonitor = Status ? 1 : 0; }))
        m_LocalStatusDebugMonitor = Status;
}

bool KZ_SharedMemSocked::isStatusDebugMonitorSet()
{
    bool set = false;
    accessBlock("KZ_SharedMemSocked::isStatusDebugMonitorSet",
                [&set](const ProgrammerBlock &block) { set = block.StatusDebugMonitor != 0; });
    return set;
}

bool KZ_SharedMemSocked::isStatusProgrammingRequestSet()
{
    bool set = false;
    accessBlock("KZ_SharedMemSocked::isStatusProgrammingRequestSet",
                [&set](const ProgrammerBlock &block) { set = block.StatusProgrammingRequest != 0; });
    return set;
}

void KZ_SharedMemSocked::setStatusZelvanConnection(bool Status)
{
    accessBlock("KZ_SharedMemSocked::setStatusZelvanConnection",
                [Status](ProgrammerBlock &block) { block.StatusZelvanConnection = Status ? 1 : 0; });
}

void KZ_SharedMemSocked::setProgrammingResult(int Result)
{
    accessBlock("KZ_SharedMemSocked::setProgrammingResult",
                [Result](ProgrammerBlock &block) { block.ProgrammingResult = Result; });
}

QString KZ_SharedMemSocked::getPath2Hexfile()
{
    constexpr char tag[] = "KZ_SharedMemSocked::getPath2Hexfile";
    QString path;
    bool terminated = true;
    accessBlock(tag, [&](const ProgrammerBlock &block) {
        path = BlockText::load(block.Path2Hexfile, Path2HexfileSize, &terminated);
    });
    // A path without its end is not guessed at: the write it was meant for then fails on the empty path.
    if (!terminated)
        LogError(tag, "Path2Hexfile without end");
    return path;
}

void KZ_SharedMemSocked::setNameOfConnectedDevice(const QString &Name)
{
    constexpr char tag[] = "KZ_SharedMemSocked::setNameOfConnectedDevice";
    const QByteArray fitted = BlockText::fitUtf8(Name, NameOfConnectedDeviceSize);
    if (accessBlock(tag,
                    [&fitted](ProgrammerBlock &block) {
                        BlockText::store(block.NameOfConnectedDevice, NameOfConnectedDeviceSize, fitted);
                    }) &&
        fitted.size() < Name.toUtf8().size())
        LogError(tag, "Name cut to %d Bytes", fitted.size());
}
