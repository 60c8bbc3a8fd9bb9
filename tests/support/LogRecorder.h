// Records the diagnostic log lines written while it lives, from any thread, without their colours.
#pragma once

#include <QStringList>
#include <QtGlobal>

// One recorder at a time. Lines read "ERROR[FileLoader]->Class::method: text" or "STATUS[...]...".
class LogRecorder
{
public:
    LogRecorder();
    ~LogRecorder();
    LogRecorder(const LogRecorder &) = delete;
    LogRecorder &operator=(const LogRecorder &) = delete;

    QStringList lines() const;
    // Lines that contain the text.
    int count(const QString &text) const;
    void clear();

private:
    QtMessageHandler m_Previous;
};
