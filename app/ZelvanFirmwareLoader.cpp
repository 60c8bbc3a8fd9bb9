// Construction and destruction of the main window controller, and the window's own slots.
#include "app/ZelvanFirmwareLoader.h"

#include "app/log/Log.h"
#include "ipc/KZ_SharedMemSocked.h"
#include "settings/KZ_XML_Settings.h"
#include "ui_ZelvanFirmwareLoader.h"
#include "usb/KZ_SI_USBXpressDev.h"

#include <QErrorMessage>
#include <QFileInfo>

namespace {
constexpr char ConstructorTag[] = "ZelvanFirmwareLoader::ZelvanFirmwareLoader";
constexpr char SharedMemoryKey[] = "KZ_ZelvanProgrammer";
constexpr int ConsoleBlockLimit = 200;
constexpr int ConsoleIntervalMs = 50;
} // namespace

ZelvanFirmwareLoader::ZelvanFirmwareLoader(QWidget *parent, BridgeLibrary &Library)
    : QMainWindow(parent), ui(new Ui::ZelvanFirmwareLoader), m_pUsbDev(nullptr), m_pSettings(nullptr),
      m_pSharedMem(nullptr)
{
    ui->setupUi(this);
    connect(ui->m_lProgTitile, &KZ_MainToolBar::SIGNAL_window_pos_change, this,
            &ZelvanFirmwareLoader::SLOT_window_pos_change);
    LogStatus(ConstructorTag, "Start Programm");

    m_pSettings = new KZ_XML_Settings();
    m_pUsbDev = new KZ_SI_USBXpressDev(Library);
    m_pSharedMem = new KZ_SharedMemSocked(QString::fromLatin1(SharedMemoryKey));

    if (m_pSharedMem->isStatusDebugMonitorSet()) {
        // Not modal: this instance starts up and runs beside the other one.
        auto *dialog = new QErrorMessage(this);
        dialog->showMessage(tr("A instance is allready run"));
    }
    m_pSharedMem->setStatusDebugMonitor(true);

    connect(m_pUsbDev, &KZ_SI_USBXpressDev::SIGNAL_newDataAvailable, this,
            &ZelvanFirmwareLoader::SLOT_newDataAvailable);
    connect(m_pUsbDev, &KZ_SI_USBXpressDev::SIGNAL_newDeviceListAvailable, this,
            &ZelvanFirmwareLoader::SLOT_newDeviceListAvailable);
    connect(m_pUsbDev, &KZ_SI_USBXpressDev::SIGNAL_connectionClosed, this,
            &ZelvanFirmwareLoader::SLOT_connectionClosed);
    connect(this, &ZelvanFirmwareLoader::SIGNAL_StartFirmwareUpdate, m_pUsbDev,
            &KZ_SI_USBXpressDev::SLOT_StartFirmwareUpdate);
    connect(m_pUsbDev, &KZ_SI_USBXpressDev::SIGNAL_FirmwareWriteFinish, this,
            &ZelvanFirmwareLoader::SLOT_FirmwareWriteFinish);
    connect(m_pSharedMem, &KZ_SharedMemSocked::SIGNAL_ProgrammingRequestPendig, this,
            &ZelvanFirmwareLoader::SLOT_ProgrammingRequestPendig);
    connect(m_pSharedMem, &KZ_SharedMemSocked::SIGNAL_ProgrammingFinished, this,
            &ZelvanFirmwareLoader::SLOT_ProgrammingFinished);

    setFixedSize(width(), height());
    setWindowFlags(Qt::FramelessWindowHint);

    ui->m_lConnectSymbol->hide();
    ui->m_lConnectText->hide();

    const QString savedHexPath = m_pSettings->getPathHexFile();
    if (!savedHexPath.isEmpty()) {
        LogStatus(ConstructorTag, "SetHexPath");
        showHexFile(savedHexPath);
    } else {
        m_HexFilePath = QString();
    }

    ui->m_pTEconsole->clear();
    ui->m_pTEconsole->document()->setMaximumBlockCount(ConsoleBlockLimit);
    ui->m_pTEconsole->setReadOnly(true);

    connect(&m_ConsoleTimer, &QTimer::timeout, this, &ZelvanFirmwareLoader::SLOT_PrintConsole);
    m_ConsoleTimer.start(ConsoleIntervalMs);
}

ZelvanFirmwareLoader::~ZelvanFirmwareLoader()
{
    m_pSharedMem->setStatusDebugMonitor(false);
    delete ui;
    delete m_pUsbDev;
    delete m_pSettings;
    delete m_pSharedMem;
}

void ZelvanFirmwareLoader::on_m_pBclose_clicked()
{
    close();
}

void ZelvanFirmwareLoader::SLOT_window_pos_change(int DeltaX, int DeltaY)
{
    // The title bar hands over the new absolute position of the window's top-left corner.
    move(DeltaX, DeltaY);
}

void ZelvanFirmwareLoader::showHexFile(const QString &Path)
{
    m_HexFilePath = Path;
    if (m_pUsbDev->isOpen())
        ui->m_pBWriteFirmware->setEnabled(true);
    ui->m_pBCloseHexFile->setEnabled(true);
    ui->m_lProgTitile->setText(QStringLiteral("Zelvan FileLoader - ") + QFileInfo(Path).fileName());
}
