// Drains the device worker's rings when it signals, the way the main window does, and keeps the bytes.
#pragma once

#include <QByteArray>
#include <QObject>

class KZ_SI_USBXpressDev;

// Lives in the thread that handles the worker's signals (queued from the loop). Per DataType it takes
// the ring's length once and then that many bytes, stopping at a failed take.
class WorkerConsole : public QObject
{
    Q_OBJECT

public:
    explicit WorkerConsole(KZ_SI_USBXpressDev &worker);

    QByteArray received; // DataType 0
    QByteArray messages; // DataType 1
    QByteArray decoded;  // DataType 2
    int signalCount[3] = {};
    // Bytes a length promised that the ring then did not hand out.
    int shortTakes = 0;

private slots:
    void drain(quint8 dataType);

private:
    KZ_SI_USBXpressDev &m_Worker;
};
