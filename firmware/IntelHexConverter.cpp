// Intel HEX to raw flash image: format test, record by record parsing, placement by address.
#include "firmware/IntelHexConverter.h"

#include "app/log/Log.h"
#include "firmware/FlashImageBuilder.h"
#include "firmware/IntelHexRecord.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryFile>

namespace {

constexpr char LogTag[] = "KZ_SI_USBXpressDev::ConvertHex2BinFile";
constexpr char StartCode = ':';
constexpr int FormatTestLines = 3;
constexpr qint64 FormatTestLineLimit = 100;
// readLine delivers at most 49 characters: a record of 18 data bytes with CR LF still fits.
constexpr qint64 RecordLineLimit = 50;

bool looksLikeHexFile(QFile *hexFile)
{
    bool allStartWithStartCode = true;
    for (int i = 0; i < FormatTestLines; ++i) {
        const QByteArray line = hexFile->readLine(FormatTestLineLimit);
        if (!line.startsWith(StartCode))
            allStartWithStartCode = false;
    }
    return allStartWithStartCode;
}

bool prepareImageFile(QTemporaryFile *imageFile)
{
    if (imageFile->isOpen())
        return imageFile->resize(0) && imageFile->seek(0);
    return imageFile->open();
}

// Where the data of the following records go: extended linear address records set the upper 16 bits,
// extended segment address records a base that the 16-bit offset wraps within.
class RecordAddressing
{
public:
    bool apply(const IntelHexRecord &record)
    {
        if (record.data.size() != 2)
            return false;
        const quint32 value = quint32(quint8(record.data.at(0))) << 8 | quint8(record.data.at(1));
        m_Segmented = record.type == IntelHexRecord::ExtendedSegmentAddress;
        m_Base = m_Segmented ? value << 4 : value << 16;
        return true;
    }

    quint32 addressOf(quint16 offset, int index) const
    {
        if (m_Segmented)
            return m_Base + ((offset + quint32(index)) & 0xFFFF);
        return m_Base + offset + quint32(index);
    }

private:
    quint32 m_Base = 0;
    bool m_Segmented = false;
};

// Parses the records and places their data; returns a result code and logs what went wrong.
qint8 buildImage(QFile *hexFile, FlashImageBuilder *image)
{
    RecordAddressing addressing;
    qint64 bytesLeft = hexFile->size();
    int lineNumber = 0;
    while (bytesLeft > 0) {
        const QByteArray line = hexFile->readLine(RecordLineLimit);
        ++lineNumber;
        IntelHexRecord record;
        switch (record.parse(line)) {
        case IntelHexRecord::Parse::Ok:
            break;
        case IntelHexRecord::Parse::NoStartCode:
            LogError(LogTag, "Startcode missing");
            return HexConversion::BadRecord;
        case IntelHexRecord::Parse::TooShort:
            LogError(LogTag, "Record too short in line %d", lineNumber);
            return HexConversion::BadRecord;
        case IntelHexRecord::Parse::TooLong:
            LogError(LogTag, "Characters after the checksum in line %d", lineNumber);
            return HexConversion::BadRecord;
        case IntelHexRecord::Parse::BadDigit:
            LogError(LogTag, "Invalid hex digit in line %d", lineNumber);
            return HexConversion::BadRecord;
        case IntelHexRecord::Parse::BadChecksum:
            LogError(LogTag, "Wrong Checksum CAL: 0x%02x DataRead 0x%02x missing", record.computedChecksum,
                     record.checksum);
            return HexConversion::BadChecksum;
        }

        switch (record.type) {
        case IntelHexRecord::Data:
            for (int i = 0; i < record.data.size(); ++i) {
                const quint32 address = addressing.addressOf(record.address, i);
                switch (image->place(address, record.data.at(i))) {
                case FlashImageBuilder::Placement::Placed:
                    break;
                case FlashImageBuilder::Placement::OutOfRange:
                    LogError(LogTag, "Data outside flash at 0x%08x in line %d", address, lineNumber);
                    return HexConversion::OutOfRange;
                case FlashImageBuilder::Placement::Overlap:
                    LogError(LogTag, "Address 0x%08x written twice in line %d", address, lineNumber);
                    return HexConversion::Overlap;
                }
            }
            break;
        case IntelHexRecord::EndOfFile:
            return HexConversion::Success; // whatever follows is not read
        case IntelHexRecord::ExtendedSegmentAddress:
        case IntelHexRecord::ExtendedLinearAddress:
            if (!addressing.apply(record)) {
                LogError(LogTag, "Address record malformed in line %d", lineNumber);
                return HexConversion::BadRecord;
            }
            break;
        default:
            break; // start addresses and unknown types carry nothing for the flash
        }
        bytesLeft -= line.size();
    }
    return HexConversion::Success;
}

bool writeImage(QTemporaryFile *imageFile, const QByteArray &image)
{
    return imageFile->write(image) == image.size() && imageFile->flush() && imageFile->seek(0);
}

void discardImage(QTemporaryFile *imageFile)
{
    imageFile->resize(0);
    imageFile->close();
}

} // namespace

qint8 convertHexFileToImage(QFile *hexFile, QTemporaryFile *imageFile)
{
    if (hexFile == nullptr)
        return HexConversion::FileMissing;
    hexFile->close();
    if (!hexFile->exists())
        return HexConversion::FileMissing;
    LogStatus(LogTag, "Path: %s", qPrintable(hexFile->fileName()));
    const auto closeHexFile = qScopeGuard([hexFile] { hexFile->close(); });
    if (!hexFile->open(QIODevice::ReadOnly))
        return HexConversion::FileUnreadable;
    if (!looksLikeHexFile(hexFile) || !hexFile->seek(0))
        return HexConversion::NotHexFile;
    if (imageFile == nullptr || !prepareImageFile(imageFile))
        return HexConversion::ImageFileError;

    FlashImageBuilder image(HexConversion::ImageFirstAddress, HexConversion::ImageLastAddress);
    const qint8 result = buildImage(hexFile, &image);
    if (result != HexConversion::Success) {
        discardImage(imageFile);
        return result;
    }
    if (!writeImage(imageFile, image.image())) {
        LogError(LogTag, "Image file write failed");
        discardImage(imageFile);
        return HexConversion::ImageFileError;
    }
    LogStatus(LogTag, "HexFileSize: %d kB; BinFileSize %d kB", int(hexFile->size() / 1024),
              int(image.image().size() / 1024));
    return HexConversion::Success;
}
