// The demo firmware of the simulated STM32: banner, periodic debug lines, flood.
#include "sim/FirmwareProgram.h"

#include <cstdio>

namespace {

constexpr char Marker[] = "ZELVAN-FW:";
constexpr qint64 NsPerMs = 1'000'000;
constexpr int FloodLineLength = 64;

bool isPrintable(char c)
{
    return c >= 0x20 && c <= 0x7E;
}

} // namespace

FirmwareProgram::FirmwareProgram(const QByteArray &identification, const Settings &settings, qint64 startNs)
    : m_Identification(identification), m_Settings(settings), m_StartNs(startNs),
      m_NextLineNs(startNs + qint64(settings.debugIntervalMs) * NsPerMs)
{
    if (m_Settings.flood)
        m_FloodStartNs = startNs + StartUpNs;
}

QByteArray FirmwareProgram::identificationOf(const QByteArray &image)
{
    const int markerLength = int(sizeof Marker) - 1;
    for (int at = image.indexOf(Marker); at >= 0; at = image.indexOf(Marker, at + 1)) {
        const int textStart = at + markerLength;
        int end = textStart;
        while (end < image.size() && end - textStart <= MaxIdentificationLength && isPrintable(image.at(end)))
            ++end;
        const int length = end - textStart;
        if (end < image.size() && image.at(end) == '\0' && length > 0 && length <= MaxIdentificationLength)
            return image.mid(textStart, length);
    }
    return QByteArray(UnknownIdentification);
}

QByteArray FirmwareProgram::bannerText(const QByteArray &identification)
{
    return "\x1b[34m*** Zelvan board ***\x1b[0m\r\n\x1b[32mFirmware " + identification +
           " started\x1b[0m\r\n";
}

QByteArray FirmwareProgram::debugLine(quint32 number, qint64 uptimeMs)
{
    char line[128];
    const unsigned adc = (number * 2654435761u) >> 20;
    if (number % 10 == 0) {
        std::snprintf(line, sizeof line, "\x1b[33m[%8lld ms] warning: supply %u.%02u V\x1b[0m\r\n",
                      static_cast<long long>(uptimeMs), 3u, adc % 100u);
    } else {
        std::snprintf(line, sizeof line, "[%8lld ms] tick %u adc=0x%03x temp=%u.%u C\r\n",
                      static_cast<long long>(uptimeMs), number, adc, 20u + adc % 10u, adc % 7u);
    }
    return QByteArray(line);
}

QByteArray FirmwareProgram::floodLine(quint32 number)
{
    char line[FloodLineLength + 1];
    std::snprintf(line, sizeof line, "flood %010u %-45.45s\r\n", number,
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return QByteArray(line, FloodLineLength);
}

void FirmwareProgram::setSettings(const Settings &settings, qint64 nowNs)
{
    if (settings.flood && !m_Settings.flood) {
        m_FloodStartNs = qMax(nowNs, m_StartNs + StartUpNs);
        m_FloodBytes = 0;
    }
    if (settings.debugIntervalMs != m_Settings.debugIntervalMs || (m_Settings.flood && !settings.flood))
        m_NextLineNs = nowNs + qint64(settings.debugIntervalMs) * NsPerMs;
    m_Settings = settings;
}

UartFormat FirmwareProgram::uartFormat() const
{
    return UartFormat{Bridge::BoardBaudRate, Bridge::LineControl8N1};
}

void FirmwareProgram::receive(quint8, bool, qint64) {}

qint64 FirmwareProgram::nextOutputNs() const
{
    if (!m_BannerSent)
        return m_StartNs + StartUpNs;
    if (m_Settings.flood)
        return m_FloodStartNs + uartFormat().wireTimeNs(m_FloodBytes);
    return m_NextLineNs;
}

QByteArray FirmwareProgram::takeOutput(qint64 nowNs)
{
    QByteArray output;
    while (nextOutputNs() <= nowNs) {
        if (!m_BannerSent) {
            m_BannerSent = true;
            output += encode(bannerText(m_Identification));
        } else if (m_Settings.flood) {
            const QByteArray line = encode(floodLine(m_LineNumber++));
            // An encoder that yields nothing must not stop the clock of the flood.
            m_FloodBytes += qMax(1, line.size());
            output += line;
        } else {
            const qint64 uptimeMs = (m_NextLineNs - m_StartNs) / NsPerMs;
            output += encode(debugLine(++m_LineNumber, uptimeMs));
            m_NextLineNs += qMax<qint64>(1, m_Settings.debugIntervalMs) * NsPerMs;
        }
    }
    return output;
}

QByteArray FirmwareProgram::encode(const QByteArray &line) const
{
    return m_Settings.encoder ? m_Settings.encoder(line) : line;
}
