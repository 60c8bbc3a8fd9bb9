// Lifetime of the settings object: finding the application-data folder, opening Settings.xml for the
// whole run, and the values held in memory between the read at start and the write at the end.
#include "settings/KZ_XML_Settings.h"

#include "app/log/Log.h"
#include "settings/SettingsNames.h"

#include <QDir>
#include <QStandardPaths>

namespace {
constexpr char ConstructorTag[] = "KZ_XML_Settings::KZ_XML_Settings";
constexpr char DestructorTag[] = "KZ_XML_Settings::~KZ_XML_Settings";
} // namespace

KZ_XML_Settings::KZ_XML_Settings() : m_DebugComMode(0)
{
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
    if (!locations.isEmpty())
        m_AppDataPath = locations.first();

    // Without a folder the file names below would point into the root of the file system, so nothing is
    // opened or copied then.
    if (!m_AppDataPath.isEmpty()) {
        if (!QDir(m_AppDataPath).exists()) {
            LogStatus(ConstructorTag, "create Folder \"%s\"", qUtf8Printable(m_AppDataPath));
            // The parent folders may be missing too on a fresh account (e.g. ~/.local/share).
            QDir().mkpath(m_AppDataPath);
        }
        m_SettingsFile.setFileName(m_AppDataPath + QLatin1String(SettingsNames::SettingsFile));
        m_SettingsFile.open(QIODevice::ReadWrite);
    }
    if (!m_SettingsFile.isOpen())
        LogError(ConstructorTag, "Unable to open settings file");

    m_DebugComMode = 0;
    m_PathHexFile.clear();
    m_UsbDevName.clear();
    readXMLFile();

    if (!m_AppDataPath.isEmpty())
        provideTessunHexFile();
    else
        LogError(ConstructorTag, "Unable to open Tessun hex file");
}

KZ_XML_Settings::~KZ_XML_Settings()
{
    if (m_SettingsFile.isOpen()) {
        writeXMLFile();
        LogStatus(DestructorTag, "Close File");
        m_SettingsFile.close();
    }
}

QString KZ_XML_Settings::getPathHexFile() const
{
    return m_PathHexFile;
}

void KZ_XML_Settings::setPathHexFile(const QString &PathHexFile)
{
    m_PathHexFile = PathHexFile;
}

QString KZ_XML_Settings::getUsbDevName() const
{
    return m_UsbDevName;
}

void KZ_XML_Settings::setUsbDevName(const QString &UsbDevName)
{
    m_UsbDevName = UsbDevName;
}

void KZ_XML_Settings::setDebugComMode(const quint32 &DebugComMode)
{
    m_DebugComMode = DebugComMode;
}
