// The firmware folder beside Settings.xml and the copy of the built-in Tessun firmware in it, which the
// firmware update reads like any other HEX file.
#include "settings/KZ_XML_Settings.h"

#include "app/log/Log.h"
#include "settings/SettingsNames.h"

#include <QDir>

namespace {
constexpr char ConstructorTag[] = "KZ_XML_Settings::KZ_XML_Settings";
} // namespace

QString KZ_XML_Settings::getPath2TessunHexFile() const
{
    return m_AppDataPath + QLatin1String(SettingsNames::FirmwareFolder) + QLatin1Char('/') +
           QLatin1String(SettingsNames::TessunHexFile);
}

void KZ_XML_Settings::provideTessunHexFile()
{
    using namespace SettingsNames;
    const QString folder = m_AppDataPath + QLatin1String(FirmwareFolder);
    if (!QDir(folder).exists()) {
        LogStatus(ConstructorTag, "create Folder \"%s/firmware\"", qUtf8Printable(m_AppDataPath));
        QDir().mkpath(folder);
    }

    // A file that is present is used as it is, even if the user changed it.
    m_TessunHexFile.setFileName(getPath2TessunHexFile());
    if (m_TessunHexFile.exists())
        return;

    LogError(ConstructorTag, "Tessun HexFile not exist");
    if (!m_TessunHexFile.open(QIODevice::ReadWrite)) {
        LogError(ConstructorTag, "Unable to open Tessun hex file");
        return;
    }
    // Any failure from here on removes the new file: left empty or cut short it would count as present
    // at every later start and never be copied again.
    m_ResourceHexFile.setFileName(QString::asprintf(ResourceFormat, TessunHexFile));
    if (!m_ResourceHexFile.open(QIODevice::ReadOnly)) {
        LogError(ConstructorTag, "Unable to open Temp hex file");
        m_TessunHexFile.remove();
        return;
    }
    const QByteArray content = m_ResourceHexFile.readAll();
    m_ResourceHexFile.close();
    if (m_TessunHexFile.write(content) != content.size() || !m_TessunHexFile.flush()) {
        LogError(ConstructorTag, "Unable to write Tessun hex file: %s",
                 qUtf8Printable(m_TessunHexFile.errorString()));
        m_TessunHexFile.remove();
        return;
    }
    m_TessunHexFile.close();
    LogStatus(ConstructorTag, "Create New Tessun Hex File");
}
