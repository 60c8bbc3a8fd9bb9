// Collects the diagnostic log lines written while it lives, in the short form "ERROR TLV_Handler: text".
#pragma once

#include <QRegularExpression>
#include <QStringList>
#include <QtGlobal>

class LogCapture
{
public:
    // A capture that only counts suits streams that write hundreds of thousands of lines.
    explicit LogCapture(bool keepLines = true)
    {
        s_lines.clear();
        s_count = 0;
        s_keepLines = keepLines;
        m_previous = qInstallMessageHandler(handler);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Colours dropped and the decoder's class tag shortened to the method; other lines stay as written.
    QStringList lines() const
    {
        static const QRegularExpression colour(QStringLiteral("\x1b\\[\\d+m"));
        static const QRegularExpression decoderLine(
            QStringLiteral("^(ERROR|STATUS)\\[FileLoader\\]->KZ_Debug_TLV_Server::(\\w+): (.*)$"));
        QStringList result;
        for (QString line : s_lines) {
            line.remove(colour);
            result.append(line.replace(decoderLine, QStringLiteral("\\1 \\2: \\3")));
        }
        return result;
    }

    QStringList linesContaining(const QString &text) const { return lines().filter(text); }
    int count() const { return s_count; }
    void clear()
    {
        s_lines.clear();
        s_count = 0;
    }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        ++s_count;
        if (s_keepLines)
            s_lines.append(message);
    }

    inline static QStringList s_lines;
    inline static int s_count = 0;
    inline static bool s_keepLines = true;
    QtMessageHandler m_previous;
};
