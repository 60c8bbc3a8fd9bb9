// Reading and writing Settings.xml: the file is read once at start and replaced once at the end.
#include "settings/KZ_XML_Settings.h"

#include "app/log/Log.h"
#include "settings/SettingsNames.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {
constexpr char ReadTag[] = "KZ_XML_Settings::readXMLFile";
constexpr char WriteTag[] = "KZ_XML_Settings::writeXMLFile";
constexpr int WriterIndent = 4;

void logValue(const char *Element, const QString &Value)
{
    LogStatus(ReadTag, "SE: %s->\"%s\"", Element, qUtf8Printable(Value));
}
} // namespace

void KZ_XML_Settings::readXMLFile()
{
    if (!m_SettingsFile.isOpen()) {
        LogError(ReadTag, "File not open!");
        return;
    }
    // A file that is empty or not well-formed stops the reader; what was read before that is kept.
    QXmlStreamReader reader(&m_SettingsFile);
    reader.readNext();
    while (!reader.atEnd()) {
        if (reader.isStartElement() && reader.name() == QLatin1String(SettingsNames::RootElement))
            readSettingsElement(reader);
        reader.readNext();
    }
}

void KZ_XML_Settings::readSettingsElement(QXmlStreamReader &Reader)
{
    using namespace SettingsNames;
    // The first end tag that is not a value's own ends the scan, also that of an unknown element, so
    // values after an unknown element are not read.
    while (!Reader.atEnd()) {
        if (Reader.isEndElement())
            return;
        if (Reader.isStartElement()) {
            const QStringRef name = Reader.name();
            if (name == QLatin1String(PathHexFileElement)) {
                m_PathHexFile = Reader.readElementText();
                logValue(PathHexFileElement, m_PathHexFile);
            } else if (name == QLatin1String(UsbDevNameElement)) {
                m_UsbDevName = Reader.readElementText();
                logValue(UsbDevNameElement, m_UsbDevName);
            } else if (name == QLatin1String(DebugComModeElement)) {
                // toUInt accepts surrounding blanks and gives 0 for a text that is not a number.
                m_DebugComMode = Reader.readElementText().toUInt(nullptr, 10);
                logValue(DebugComModeElement, QString::asprintf(DebugComModeFormat, m_DebugComMode));
            }
        }
        Reader.readNext();
    }
}

void KZ_XML_Settings::writeXMLFile()
{
    using namespace SettingsNames;
    LogStatus(WriteTag, "Write Content");
    if (!m_SettingsFile.isOpen()) {
        LogError(WriteTag, "File not open!");
        return;
    }
    QString document;
    QXmlStreamWriter writer(&document);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(WriterIndent);
    writer.writeStartDocument();
    writer.writeStartElement(QLatin1String(RootElement));
    writer.writeTextElement(QLatin1String(PathHexFileElement), m_PathHexFile);
    writer.writeTextElement(QLatin1String(UsbDevNameElement), m_UsbDevName);
    writer.writeTextElement(QLatin1String(DebugComModeElement),
                            QString::asprintf(DebugComModeFormat, m_DebugComMode));
    writer.writeEndElement();
    writer.writeEndDocument();

    const QByteArray content = document.toUtf8();
    const bool written = m_SettingsFile.resize(0) && m_SettingsFile.seek(0) &&
                         m_SettingsFile.write(content) == content.size() && m_SettingsFile.flush();
    if (!written)
        LogError(WriteTag, "Unable to write settings file: %s", qUtf8Printable(m_SettingsFile.errorString()));
}
