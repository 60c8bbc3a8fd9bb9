// The flash image of a HEX file, converted as the firmware update converts it.
#pragma once

#include <QByteArray>
#include <QString>

// The image, or an empty array with the reason in *error.
QByteArray imageOfHexFile(const QString &path, QString *error);
