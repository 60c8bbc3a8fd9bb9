// Colour markers ESC [ 32m / 31m / 33m / 34m open a font colour, ESC [ 0m closes it; other text is Latin-1.
#include "app/ConsoleMarkup.h"

#include "app/log/Log.h"

#include <cstring>

namespace {

constexpr char Escape = 0x1B;

struct ColourMarker
{
    const char *code;
    const char *html;
};

constexpr ColourMarker ColourMarkers[] = {
    {"32m", "<font color=\"Green\">"},
    {"31m", "<font color=\"Red\">"},
    {"33m", "<font color=\"Orange\">"},
    {"34m", "<font color=\"Blue\">"},
};
constexpr char EndMarker[] = "0m";
constexpr char EndColour[] = "</font>";

bool startsWith(const char *text, int length, const char *prefix)
{
    const int prefixLength = int(std::strlen(prefix));
    return length >= prefixLength && std::memcmp(text, prefix, size_t(prefixLength)) == 0;
}

} // namespace

QString consoleTextToHtml(const char *Text, int Length, ConsoleInsertion Insertion)
{
    QString html;
    html.reserve(Length + Length / 4);
    bool colourOpen = false;
    for (int i = 0; i < Length; ++i) {
        const char byte = Text[i];
        if (byte == Escape && i + 1 < Length && Text[i + 1] == '[') {
            const char *marker = Text + i + 2;
            const int markerLength = Length - i - 2;
            bool handled = false;
            for (const ColourMarker &colour : ColourMarkers) {
                if (startsWith(marker, markerLength, colour.code)) {
                    if (colourOpen)
                        html += QLatin1String(EndColour);
                    html += QLatin1String(colour.html);
                    colourOpen = true;
                    i += 4;
                    handled = true;
                    break;
                }
            }
            if (!handled && startsWith(marker, markerLength, EndMarker)) {
                html += QLatin1String(EndColour);
                colourOpen = false;
                i += 3;
            }
            // An unknown marker loses only its ESC; the rest is shown as text.
            continue;
        }
        if (byte == '\n') {
            if (Insertion == ConsoleInsertion::ContinueLast)
                LogStatus("ZelvanFirmwareLoader::insertDebugText", "NL");
            if (i != Length - 1)
                html += QLatin1String("<br>");
            continue;
        }
        if (byte == '\r' && Insertion == ConsoleInsertion::ContinueLast) {
            LogStatus("ZelvanFirmwareLoader::insertDebugText", "LR");
            continue;
        }
        html += QChar(uchar(byte));
    }
    return html;
}
