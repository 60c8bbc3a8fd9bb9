// The bootloader conversation: convert, sync, Get ID, global erase, Write Memory block by block, restart.
#include "firmware/BootloaderStateMachine.h"

#include "app/log/Log.h"
#include "firmware/BootloaderLink.h"
#include "firmware/BootloaderProtocol.h"
#include "firmware/IntelHexConverter.h"

namespace {
constexpr char HandlerTag[] = "KZ_SI_USBXpressDev::WriteFirmware_Handler";
constexpr char DestructorTag[] = "KZ_SI_USBXpressDev::~KZ_SI_USBXpressDev";
} // namespace

BootloaderStateMachine::BootloaderStateMachine(BootloaderLink &Link) : m_Link(Link) {}

BootloaderStateMachine::~BootloaderStateMachine()
{
    if (m_BinFile.isOpen()) {
        m_BinFile.close();
        LogStatus(DestructorTag, "Close Binary Firmware File");
    }
    if (m_HexInFile.isOpen()) {
        m_HexInFile.close();
        LogStatus(DestructorTag, "Close Hex Firmware File");
    }
}

void BootloaderStateMachine::start(const QString &Path2HexFile)
{
    if (isActive()) {
        // The running update keeps its own finish; this request gets its refusal at once.
        postRed(QStringLiteral("Bootloader Fail -> Update already running!!"));
        m_Link.reportFirmwareWriteFinish(-1);
        return;
    }
    if (!m_Link.isOpen()) {
        postRed(QStringLiteral("Bootloader Fail -> Device not connected!!"));
        m_eFwState = SM_FW_Idle;
    } else if (!QFile::exists(Path2HexFile)) {
        postRed(QStringLiteral("Hex-File not found under-> \"%1\"").arg(Path2HexFile));
        m_eFwState = SM_FW_Idle;
    } else {
        m_Link.PostConsoleMessage(QStringLiteral("<br>Bootloader Start!!"));
        m_Path2HexFile = Path2HexFile;
        m_HexInFile.setFileName(Path2HexFile);
        m_s16Retry = -1;
        m_u16TimeOut = 0;
        m_eFwState = SM_FW_ConvertHexFile;
    }
    // Publishes the members above to the worker thread, which ends a refused start on its next pass.
    m_BootloaderActive.store(true, std::memory_order_release);
}

void BootloaderStateMachine::cutOff()
{
    postRed(QStringLiteral("Bootloader Fail -> disconnect µC during write firmware!!"));
    m_eFwState = SM_FW_Idle;
    finish(-1, false);
}

void BootloaderStateMachine::WriteFirmware_Handler()
{
    if (m_Path2HexFile.isEmpty()) {
        postRed(QStringLiteral("Bootloader Fail -> invalid file path!!"));
        finish(-1, false);
        return;
    }
    if (m_u16TimeOut != 0)
        --m_u16TimeOut;

    switch (m_eFwState) {
    case SM_FW_Idle:
        failureEnd();
        break;
    case SM_FW_ConvertHexFile:
        convertHexFile();
        break;
    case SM_FW_EnterBootloaderSend:
        enterBootloaderSend();
        break;
    case SM_FW_EnterBootloaderReceive:
        enterBootloaderReceive();
        break;
    case SM_FW_GetDeviceIDSend:
        getDeviceIdSend();
        break;
    case SM_FW_GetDeviceIDReceive:
        getDeviceIdReceive();
        break;
    case SM_FW_EraseSend:
        sendCommand(BootloaderProtocol::CmdErase);
        m_u16TimeOut = BootloaderProtocol::CommandWaitPasses;
        m_eFwState = SM_FW_EraseReceive;
        break;
    case SM_FW_EraseReceive:
        eraseReceive(SM_FW_GlobalEraseSend, "SM_FW_EraseReceive");
        break;
    case SM_FW_GlobalEraseSend:
        send({BootloaderProtocol::GlobalEraseCode, BootloaderProtocol::GlobalEraseChecksum});
        m_u16TimeOut = BootloaderProtocol::CommandWaitPasses;
        m_eFwState = SM_FW_GlobalEraseReceive;
        break;
    case SM_FW_GlobalEraseReceive:
        eraseReceive(SM_FW_WriteFileInit, "SM_FW_GlobalEraseReceive");
        break;
    case SM_FW_WriteFileInit:
        writeFileInit();
        break;
    case SM_FW_WriteFileSendCMD:
        sendCommand(BootloaderProtocol::CmdWriteMemory);
        m_u16TimeOut = BootloaderProtocol::CommandWaitPasses;
        m_eFwState = SM_FW_WriteFileReceiveCMD;
        break;
    case SM_FW_WriteFileReceiveCMD:
        writeFileReceive(SM_FW_WriteFileSendAddr, "SM_FW_WriteFileReceiveCMD", "SM_FW_WriteFileReceiveCMD");
        break;
    case SM_FW_WriteFileSendAddr:
        writeFileSendAddr();
        break;
    case SM_FW_WriteFileReceiveAddr:
        writeFileReceive(SM_FW_WriteFileSendData, "SM_FW_WriteFileReceiveAddr", "SM_FW_WriteFileReceiveAddr");
        break;
    case SM_FW_WriteFileSendData:
        writeFileSendData();
        break;
    case SM_FW_WriteFileReceiveData:
        writeFileReceiveData();
        break;
    case SM_FW_WriteFileFinish:
        writeFileFinish();
        break;
    default:
        fail(QStringLiteral("Bootloader Fail -> invalid State %1").arg(qint32(m_eFwState)));
        break;
    }
}

// The step that meets a failure shows it; the next step performs the failure end in SM_FW_Idle.
void BootloaderStateMachine::fail(const QString &Message)
{
    postRed(Message);
    m_eFwState = SM_FW_Idle;
}

void BootloaderStateMachine::postRed(const QString &Message)
{
    m_Link.PostConsoleMessage(QStringLiteral("\x1b[31m") + Message + QStringLiteral("\x1b[0m"));
}

void BootloaderStateMachine::send(std::initializer_list<quint8> Bytes)
{
    const QByteArray frame(reinterpret_cast<const char *>(Bytes.begin()), int(Bytes.size()));
    m_Link.sendData(frame.constData(), quint16(frame.size()));
}

void BootloaderStateMachine::sendCommand(quint8 Code)
{
    send({Code, BootloaderProtocol::complement(Code)});
}

bool BootloaderStateMachine::takeByte(quint8 *Byte)
{
    return m_Link.RxLength() > 0 && m_Link.ReadRxByte(Byte) == 1;
}

void BootloaderStateMachine::dropWaitingBytes()
{
    quint8 byte = 0;
    while (takeByte(&byte))
        LogStatus(HandlerTag, "KILL Byte!");
}

void BootloaderStateMachine::armRetries()
{
    if (m_s16Retry == -1)
        m_s16Retry = BootloaderProtocol::Retries;
}

// The finish is reported last, once the machine is idle again, so that the next start it may prompt is
// never taken for one that overlaps this update.
void BootloaderStateMachine::finish(qint8 Result, bool RestartBoard)
{
    if (RestartBoard)
        m_Link.SetBootModeZelvan(false);
    m_BootloaderActive.store(false, std::memory_order_release);
    m_Link.reportFirmwareWriteFinish(Result);
}

void BootloaderStateMachine::failureEnd()
{
    dropWaitingBytes();
    postRed(QStringLiteral("Bootloader IDEL -> set this->m_BootloaderActive = false"));
    finish(-1, true);
}

void BootloaderStateMachine::convertHexFile()
{
    const qint8 result = convertHexFileToImage(&m_HexInFile, &m_BinFile);
    if (result != 1) {
        fail(QStringLiteral("Bootloader Fail -> ErrorCode %1").arg(result));
    } else if (m_BinFile.size() == 0) {
        // Nothing to write: refuse before the flash is erased.
        fail(QStringLiteral("Bootloader Fail -> Hex-File holds no data!!"));
    } else {
        m_eFwState = SM_FW_EnterBootloaderSend;
    }
}

void BootloaderStateMachine::enterBootloaderSend()
{
    m_Link.SetBootModeZelvan(true);
    m_Link.flushBuffers();
    send({BootloaderProtocol::Sync});
    m_u16TimeOut = BootloaderProtocol::SyncWaitPasses;
    armRetries();
    m_eFwState = SM_FW_EnterBootloaderReceive;
}

void BootloaderStateMachine::enterBootloaderReceive()
{
    quint8 byte = 0;
    if (takeByte(&byte) && byte == BootloaderProtocol::Ack) {
        m_s16Retry = -1;
        m_eFwState = SM_FW_GetDeviceIDSend;
        return;
    }
    if (!waitRanOut())
        return;
    if (m_s16Retry > 0) {
        --m_s16Retry;
        m_eFwState = SM_FW_EnterBootloaderSend;
    } else {
        fail(QStringLiteral("Bootloader Fail -> EnterBootloader Time Error"));
    }
}

void BootloaderStateMachine::getDeviceIdSend()
{
    m_Link.flushBuffers();
    sendCommand(BootloaderProtocol::CmdGetId);
    m_u16TimeOut = BootloaderProtocol::CommandWaitPasses;
    armRetries();
    m_eFwState = SM_FW_GetDeviceIDReceive;
}

void BootloaderStateMachine::getDeviceIdReceive()
{
    if (m_Link.RxLength() >= BootloaderProtocol::GetIdReplyLength) {
        quint8 byte = 0;
        takeByte(&byte);
        if (byte != BootloaderProtocol::Ack) {
            // A stray byte before the reply: the next step looks at the byte behind it.
            LogError(HandlerTag, "SM_FW_GetDeviceIDSend ACK1 miss");
            return;
        }
        quint8 count = 0;
        takeByte(&count);
        quint16 id = 0;
        // The reply carries count + 1 ID bytes, most significant first; the last two form the product ID.
        for (int i = 0; i < int(quint8(count + 1)); ++i) {
            if (!takeByte(&byte))
                break;
            id = quint16(id * 256 + byte);
        }
        if (id == BootloaderProtocol::SupportedProductId) {
            if (!takeByte(&byte) || byte != BootloaderProtocol::Ack) {
                LogError(HandlerTag, "SM_FW_GetDeviceIDSend ACK2 miss");
                m_eFwState = SM_FW_Idle;
                return;
            }
            m_eFwState = SM_FW_EraseSend;
            return;
        }
        // The reply's closing ACK: left in the ring it would be read as the start of the next reply.
        takeByte(&byte);
        if (m_s16Retry > 0) {
            --m_s16Retry;
            m_eFwState = SM_FW_GetDeviceIDSend;
        } else {
            fail(QString::asprintf("Bootloader Fail -> STM32 ID: 0x%04x not supported", id));
        }
        return;
    }
    if (!waitRanOut())
        return;
    quint8 byte = 0;
    if (takeByte(&byte) && byte == BootloaderProtocol::Nack)
        LogError(HandlerTag, "SM_FW_GetDeviceIDSend NACK");
    fail(QStringLiteral("Bootloader Fail -> Time Error SM_FW_GetDeviceIDReceive %1 Bytes")
             .arg(m_Link.RxLength()));
}

void BootloaderStateMachine::eraseReceive(FwState Next, const char *TimeErrorState)
{
    quint8 byte = 0;
    if (takeByte(&byte) && byte == BootloaderProtocol::Ack) {
        m_eFwState = Next;
        return;
    }
    if (!waitRanOut())
        return;
    if (takeByte(&byte) && byte == BootloaderProtocol::Nack)
        LogError(HandlerTag, "SM_FW_GetDeviceIDSend NACK");
    fail(QStringLiteral("Bootloader Fail -> Time Error %1").arg(QLatin1String(TimeErrorState)));
}

void BootloaderStateMachine::writeFileInit()
{
    if (!m_BinFile.isOpen()) {
        fail(QStringLiteral("Bootloader Fail -> invalid State %1").arg(qint32(m_eFwState)));
        return;
    }
    const qint64 size = m_BinFile.size();
    m_u32FlashAddress = BootloaderProtocol::FlashBase;
    m_u32BytesLeft = quint32(size);
    m_u16BlocksLeft = quint16((size + BootloaderProtocol::BlockSize - 1) / BootloaderProtocol::BlockSize);
    m_Link.PostConsoleMessage(QStringLiteral("Write Firmware File:"));
    m_Link.PostConsoleText(QStringLiteral("\n*"), false);
    m_eFwState = SM_FW_WriteFileSendCMD;
}

void BootloaderStateMachine::writeFileReceive(FwState Next, const char *NackState, const char *TimeErrorState)
{
    quint8 byte = 0;
    if (takeByte(&byte)) {
        if (byte == BootloaderProtocol::Ack) {
            m_eFwState = Next;
            return;
        }
        if (byte == BootloaderProtocol::Nack) {
            LogError(HandlerTag, "%s -> Get NACK %d", NackState, m_u16BlocksLeft);
            m_eFwState = SM_FW_Idle;
            return;
        }
    }
    if (waitRanOut())
        fail(QStringLiteral("Bootloader Fail -> Time Error %1").arg(QLatin1String(TimeErrorState)));
}

void BootloaderStateMachine::writeFileSendAddr()
{
    const quint8 address[4] = {quint8(m_u32FlashAddress >> 24), quint8(m_u32FlashAddress >> 16),
                               quint8(m_u32FlashAddress >> 8), quint8(m_u32FlashAddress)};
    send({address[0], address[1], address[2], address[3],
          quint8(address[0] ^ address[1] ^ address[2] ^ address[3])});
    m_u16TimeOut = BootloaderProtocol::CommandWaitPasses;
    m_eFwState = SM_FW_WriteFileReceiveAddr;
}

void BootloaderStateMachine::writeFileSendData()
{
    const int length = int(qMin<quint32>(m_u32BytesLeft, BootloaderProtocol::BlockSize));
    const QByteArray data = m_BinFile.read(length);
    if (data.size() != length) {
        fail(QStringLiteral("Bootloader Fail -> image file unreadable"));
        return;
    }
    QByteArray frame;
    frame.reserve(length + 2);
    quint8 checksum = quint8(length - 1);
    frame.append(char(checksum));
    for (char byte : data)
        checksum ^= quint8(byte);
    frame.append(data);
    frame.append(char(checksum));
    m_Link.sendData(frame.constData(), quint16(frame.size()));
    m_u32BytesLeft -= quint32(length);
    m_u32FlashAddress += quint32(length);
    m_u16TimeOut = BootloaderProtocol::DataWaitPasses;
    m_eFwState = SM_FW_WriteFileReceiveData;
}

void BootloaderStateMachine::writeFileReceiveData()
{
    quint8 byte = 0;
    if (takeByte(&byte)) {
        if (byte == BootloaderProtocol::Ack) {
            --m_u16BlocksLeft;
            m_Link.PostConsoleText(QStringLiteral("*"), false);
            m_eFwState = m_u16BlocksLeft > 0 ? SM_FW_WriteFileSendCMD : SM_FW_WriteFileFinish;
            return;
        }
        if (byte == BootloaderProtocol::Nack) {
            LogError(HandlerTag, "SM_FW_WriteFileReceiveData -> Get NACK %d", m_u16BlocksLeft);
            m_eFwState = SM_FW_Idle;
            return;
        }
    }
    if (waitRanOut())
        fail(QStringLiteral("Bootloader Fail -> Time Error SM_FW_WriteFileReceiveData"));
}

void BootloaderStateMachine::writeFileFinish()
{
    m_Link.PostConsoleMessage(QString());
    dropWaitingBytes();
    m_eFwState = SM_FW_Idle;
    finish(1, true);
}
