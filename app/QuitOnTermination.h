// Ends the event loop on SIGINT or SIGTERM, so that an interrupted loader still saves its settings and
// clears its mark in the shared-memory block on the way out.
#pragma once

#include <QObject>

class QSocketNotifier;

class QuitOnTermination : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnTermination(QObject *parent = nullptr);
    ~QuitOnTermination() override;

private:
    void quitApplication();

    QSocketNotifier *m_Notifier = nullptr;
};
