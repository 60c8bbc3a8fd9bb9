// One board of the device worker's list: its product strings and where the library last saw it.
#pragma once

#include <QString>
#include <QtGlobal>

struct DeviceInfo
{
    QString Description;
    QString SerialNumber; // the identity of an entry
    quint16 DeviceIndex = 0;
    bool Present = false;
};
