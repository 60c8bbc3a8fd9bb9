// One conversion of a HEX file into its flash image, kept in memory.
#include "bench/ImageOfHexFile.h"

#include "firmware/IntelHexConverter.h"

#include <QFile>
#include <QTemporaryFile>

QByteArray imageOfHexFile(const QString &path, QString *error)
{
    QFile hexFile(path);
    QTemporaryFile imageFile;
    const qint8 result = convertHexFileToImage(&hexFile, &imageFile);
    if (result != HexConversion::Success) {
        *error = QStringLiteral("%1 does not convert (code %2)").arg(path).arg(result);
        return QByteArray();
    }
    return imageFile.readAll();
}
