// Thread-safe recording of the diagnostic log.
#include "tests/support/LogRecorder.h"

#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>

namespace {

QMutex recordLock;
QStringList recorded;

void record(QtMsgType, const QMessageLogContext &, const QString &message)
{
    static const QRegularExpression colour(QStringLiteral("\x1b\\[\\d+m"));
    QString line = message;
    line.remove(colour);
    QMutexLocker lock(&recordLock);
    recorded.append(line);
}

} // namespace

LogRecorder::LogRecorder()
{
    clear();
    m_Previous = qInstallMessageHandler(record);
}

LogRecorder::~LogRecorder()
{
    qInstallMessageHandler(m_Previous);
}

QStringList LogRecorder::lines() const
{
    QMutexLocker lock(&recordLock);
    return recorded;
}

int LogRecorder::count(const QString &text) const
{
    return lines().filter(text).size();
}

void LogRecorder::clear()
{
    QMutexLocker lock(&recordLock);
    recorded.clear();
}
