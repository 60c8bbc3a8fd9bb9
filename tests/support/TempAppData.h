// A fresh, empty application-data folder for one test: Qt's test-mode locations under a temporary home.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

// While an instance lives, QStandardPaths answers with test-mode folders below a new temporary home
// folder, so the application-data folder (QStandardPaths::AppDataLocation) does not exist yet.
// Create one per test function; the previous home and test mode come back when it is destroyed.
class TempAppData
{
public:
    TempAppData()
        : m_PreviousHome(qgetenv("HOME")), m_HadHome(qEnvironmentVariableIsSet("HOME")),
          m_PreviousTestMode(QStandardPaths::isTestModeEnabled())
    {
        qputenv("HOME", QFile::encodeName(m_Home.path()));
        QStandardPaths::setTestModeEnabled(true);
    }
    ~TempAppData()
    {
        QStandardPaths::setTestModeEnabled(m_PreviousTestMode);
        if (m_HadHome)
            qputenv("HOME", m_PreviousHome);
        else
            qunsetenv("HOME");
    }
    TempAppData(const TempAppData &) = delete;
    TempAppData &operator=(const TempAppData &) = delete;

    bool isValid() const { return m_Home.isValid(); }
    // The folder the program uses for its settings; not created by this fixture.
    QString appDataPath() const
    {
        return QStandardPaths::standardLocations(QStandardPaths::AppDataLocation).value(0);
    }

private:
    QTemporaryDir m_Home;
    const QByteArray m_PreviousHome;
    const bool m_HadHome;
    const bool m_PreviousTestMode;
};
