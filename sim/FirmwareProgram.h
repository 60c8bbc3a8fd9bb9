// The firmware the simulated STM32 runs from its flash: a banner naming the image, then debug lines.
#pragma once

#include "sim/Stm32Program.h"

#include <QByteArray>
#include <functional>

// Output, all with the console's colour markers and CR LF line ends:
// - a banner, shortly after the start, that names the identification found in the image;
// - one debug line every debugIntervalMs;
// - in flood mode instead numbered lines back to back, as many as 115200 baud 8N1 carries.
// Every line passes the line encoder: none sends it as serial text; another can wrap it (TLV frames).
// The firmware sends and expects 115200 baud 8N1 and ignores what it receives.
class FirmwareProgram : public Stm32Program
{
public:
    using LineEncoder = std::function<QByteArray(const QByteArray &line)>;

    struct Settings
    {
        int debugIntervalMs = 1000;
        bool flood = false;
        LineEncoder encoder;
    };

    // Time from the release of RESET to the banner (clock start-up and initialisation).
    static constexpr qint64 StartUpNs = 2'000'000;
    // The identification when an image has no valid "ZELVAN-FW:" marker.
    static constexpr char UnknownIdentification[] = "unknown";
    static constexpr int MaxIdentificationLength = 63;

    FirmwareProgram(const QByteArray &identification, const Settings &settings, qint64 startNs);

    // The printable text (at most 63 characters, ended by NUL) after the first valid marker in the image.
    static QByteArray identificationOf(const QByteArray &image);
    static QByteArray bannerText(const QByteArray &identification);
    static QByteArray debugLine(quint32 number, qint64 uptimeMs);
    static QByteArray floodLine(quint32 number);

    const QByteArray &identification() const { return m_Identification; }
    void setSettings(const Settings &settings, qint64 nowNs);

    UartFormat uartFormat() const override;
    void receive(quint8 byte, bool lineSettingMatches, qint64 nowNs) override;
    qint64 nextOutputNs() const override;
    QByteArray takeOutput(qint64 nowNs) override;

private:
    QByteArray encode(const QByteArray &line) const;

    const QByteArray m_Identification;
    Settings m_Settings;
    const qint64 m_StartNs;
    bool m_BannerSent = false;
    quint32 m_LineNumber = 0;
    qint64 m_NextLineNs;
    qint64 m_FloodStartNs = 0;
    qint64 m_FloodBytes = 0;
};
