// The user's settings kept in Settings.xml in the application-data folder, and the firmware folder beside
// it that holds a copy of the built-in Tessun firmware.
#pragma once

#include <QFile>
#include <QString>
#include <QtGlobal>

class QXmlStreamReader;

class KZ_XML_Settings
{
public:
    // Opens and reads Settings.xml (creating the folder and an empty file on the first start) and copies
    // the built-in firmware into the firmware folder if it is missing there.
    KZ_XML_Settings();
    // Replaces the content of Settings.xml with the values held now.
    ~KZ_XML_Settings();
    KZ_XML_Settings(const KZ_XML_Settings &) = delete;
    KZ_XML_Settings &operator=(const KZ_XML_Settings &) = delete;

    QString getPathHexFile() const;
    void setPathHexFile(const QString &PathHexFile);
    QString getUsbDevName() const;
    void setUsbDevName(const QString &UsbDevName);
    // 0: serial text, 1: TLV frames. Stored and written back; not applied at start.
    void setDebugComMode(const quint32 &DebugComMode);
    // The built-in firmware file in the firmware folder; only builds the path.
    QString getPath2TessunHexFile() const;

private:
    void readXMLFile();
    void readSettingsElement(QXmlStreamReader &Reader);
    void writeXMLFile();
    void provideTessunHexFile();

    QString m_AppDataPath;
    QFile m_SettingsFile;
    QFile m_TessunHexFile;
    QFile m_ResourceHexFile;
    QString m_PathHexFile;
    QString m_UsbDevName;
    quint32 m_DebugComMode;
};
