// Writes a HEX file into the STM32 through its USART system bootloader, one small step per worker pass.
#pragma once

#include <QFile>
#include <QString>
#include <QTemporaryFile>
#include <atomic>

class BootloaderLink;

class BootloaderStateMachine
{
public:
    enum FwState : qint32
    {
        SM_FW_Idle = 0,
        SM_FW_ConvertHexFile = 1,
        SM_FW_EnterBootloaderSend = 2,
        SM_FW_EnterBootloaderReceive = 3,
        SM_FW_GetDeviceIDSend = 4,
        SM_FW_GetDeviceIDReceive = 5,
        SM_FW_EraseSend = 6,
        SM_FW_EraseReceive = 7,
        SM_FW_GlobalEraseSend = 8,
        SM_FW_GlobalEraseReceive = 9,
        SM_FW_WriteFileInit = 10,
        SM_FW_WriteFileSendCMD = 11,
        SM_FW_WriteFileReceiveCMD = 12,
        SM_FW_WriteFileSendAddr = 13,
        SM_FW_WriteFileReceiveAddr = 14,
        SM_FW_WriteFileSendData = 15,
        SM_FW_WriteFileReceiveData = 16,
        SM_FW_WriteFileFinish = 17,
    };

    explicit BootloaderStateMachine(BootloaderLink &Link);
    ~BootloaderStateMachine();

    // GUI thread. Every call is answered by exactly one finish report: at once when an update is already
    // running, otherwise by the worker thread's next steps.
    void start(const QString &Path2HexFile);
    // Worker thread, once per pass while active and the device is open.
    void WriteFirmware_Handler();
    // Worker thread: the device went away while an update was active.
    void cutOff();
    bool isActive() const { return m_BootloaderActive.load(std::memory_order_acquire); }

private:
    void fail(const QString &Message);
    void postRed(const QString &Message);
    void send(std::initializer_list<quint8> Bytes);
    void sendCommand(quint8 Code);
    bool takeByte(quint8 *Byte);
    void dropWaitingBytes();
    void armRetries();
    bool waitRanOut() const { return m_u16TimeOut == 0; }
    void finish(qint8 Result, bool RestartBoard);

    void failureEnd();
    void convertHexFile();
    void enterBootloaderSend();
    void enterBootloaderReceive();
    void getDeviceIdSend();
    void getDeviceIdReceive();
    void eraseReceive(FwState Next, const char *TimeErrorState);
    void writeFileInit();
    void writeFileReceive(FwState Next, const char *NackState, const char *TimeErrorState);
    void writeFileSendAddr();
    void writeFileSendData();
    void writeFileReceiveData();
    void writeFileFinish();

    BootloaderLink &m_Link;
    std::atomic<bool> m_BootloaderActive{false};
    QString m_Path2HexFile;
    quint16 m_u16TimeOut = 0;
    qint16 m_s16Retry = -1;
    QFile m_HexInFile;
    QTemporaryFile m_BinFile;
    quint16 m_u16BlocksLeft = 0;
    quint32 m_u32BytesLeft = 0;
    quint32 m_u32FlashAddress = 0;
    FwState m_eFwState = SM_FW_Idle;
};
