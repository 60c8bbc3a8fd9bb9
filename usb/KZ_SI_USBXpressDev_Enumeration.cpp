// Device enumeration of the worker: the list of plugged boards, refreshed by the loop.
#include "usb/KZ_SI_USBXpressDev.h"

#include "app/log/Log.h"
#include "usb/bridge/BridgeStatusName.h"

#include <QMetaMethod>
#include <QMutexLocker>
#include <algorithm>

qint16 KZ_SI_USBXpressDev::getNumUSBdevs()
{
    quint32 count = 0;
    const Bridge::Status status = m_Library.getNumDevices(&count);
    if (status == Bridge::Success)
        return qint16(qMin<quint32>(count, 0x7FFF));
    if (Bridge::isOneOf(status, {Bridge::InvalidParameter, Bridge::DeviceNotFound}))
        LogError("KZ_SI_USBXpressDev::getNumUSBdevs", "%s", bridgeStatusName(status));
    return -1;
}

int KZ_SI_USBXpressDev::getDeviceInfo(quint16 DeviceNumber, DeviceInfo &Info)
{
    Info.DeviceIndex = DeviceNumber;
    const struct
    {
        quint32 option;
        QString *text;
    } strings[] = {{Bridge::ProductDescription, &Info.Description},
                   {Bridge::ProductSerialNumber, &Info.SerialNumber}};
    for (const auto &string : strings) {
        char buffer[Bridge::ProductStringSize] = {};
        const Bridge::Status status = m_Library.getProductString(DeviceNumber, buffer, string.option);
        if (status == Bridge::Success) {
            // A back end that forgets the NUL cannot make the text run past the buffer.
            *string.text = QString::fromUtf8(buffer, int(qstrnlen(buffer, sizeof buffer)));
        } else if (Bridge::isOneOf(status, {Bridge::InvalidParameter, Bridge::DeviceNotFound})) {
            LogError("KZ_SI_USBXpressDev::getDeviceInfo", "%s", bridgeStatusName(status));
            return -1;
        } else {
            string.text->clear();
        }
    }
    return 1;
}

void KZ_SI_USBXpressDev::fillListOfDevice()
{
    const char *tag = "KZ_SI_USBXpressDev::fillListOfDevice";
    // The refresh works on a copy and publishes it whole; this thread is the list's only writer.
    QList<DeviceInfo> list = m_DeviceList;
    const qint16 count = getNumUSBdevs();
    for (DeviceInfo &entry : list)
        entry.Present = false;

    for (qint16 number = 0; number < count; ++number) {
        DeviceInfo probe;
        if (getDeviceInfo(quint16(number), probe) != 1)
            break;
        auto found = std::find_if(list.begin(), list.end(), [&](const DeviceInfo &entry) {
            return entry.SerialNumber == probe.SerialNumber;
        });
        if (found != list.end()) {
            found->Present = true;
            found->DeviceIndex = quint16(number);
        } else {
            LogStatus(tag, "Add Device Index");
            probe.Present = true;
            list.append(probe);
            m_DeviceListChanged = true;
        }
    }

    // The open board is followed by its serial number: device numbers shift when a board with a lower
    // number goes, so the number it was opened with may name another board by now.
    bool boardOpen = false;
    QString openSerialNumber;
    {
        QMutexLocker connection(&m_ConnectionLock);
        boardOpen = m_DeviceOpen;
        openSerialNumber = m_OpenSerialNumber;
    }
    bool openBoardVanished = false;
    for (int position = 0; position < list.size();) {
        if (list.at(position).Present) {
            ++position;
            continue;
        }
        if (boardOpen && list.at(position).SerialNumber == openSerialNumber)
            openBoardVanished = true;
        LogStatus(tag, "Remove Device Index %d", position);
        list.removeAt(position);
        m_DeviceListChanged = true;
    }
    {
        QMutexLocker guard(&m_DeviceListLock);
        m_DeviceList = list;
    }

    if (openBoardVanished) {
        bool closed = false;
        {
            QMutexLocker connection(&m_ConnectionLock);
            // Only if that board is still the open one: the GUI may have closed it meanwhile.
            if (m_DeviceOpen && m_OpenSerialNumber == openSerialNumber)
                closeLocked(&closed);
        }
        if (closed)
            emit SIGNAL_connectionClosed();
    }
    // The thread starts in the constructor, so the first refresh can run before the owner has connected
    // to the signal; a change nobody has heard of is then announced by the next refresh.
    static const QMetaMethod listSignal =
        QMetaMethod::fromSignal(&KZ_SI_USBXpressDev::SIGNAL_newDeviceListAvailable);
    if (m_DeviceListChanged && isSignalConnected(listSignal)) {
        emit SIGNAL_newDeviceListAvailable();
        m_DeviceListChanged = false;
    }
}

QStringList KZ_SI_USBXpressDev::getDeviceList()
{
    QList<DeviceInfo> list;
    {
        QMutexLocker guard(&m_DeviceListLock);
        list = m_DeviceList;
    }
    QStringList names;
    for (const DeviceInfo &entry : list)
        names.append(entry.Description + QStringLiteral(" [0x") + entry.SerialNumber + QStringLiteral("]"));
    return names;
}
