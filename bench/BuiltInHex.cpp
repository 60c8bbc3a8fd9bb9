// Copy of the built-in HEX file for the benchmarks.
#include "bench/BuiltInHex.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

QString writeBuiltInHex(const QTemporaryDir &folder, QString *error)
{
    const QString resource = QString::fromLatin1(BuiltInHexResource);
    const QString path = folder.filePath(QFileInfo(resource).fileName());
    if (!folder.isValid() || !QFile::copy(resource, path)) {
        *error = QStringLiteral("cannot write %1 into a temporary folder").arg(resource);
        return QString();
    }
    return path;
}
