// Conversion of an Intel HEX file into the raw flash image that the bootloader writes from the flash base.
#pragma once

#include "firmware/IntelHexRecord.h"

#include <QtGlobal>

class QFile;
class QTemporaryFile;

// Result codes of convertHexFileToImage.
namespace HexConversion {
constexpr qint8 Success = 1;         // image complete, open and rewound
constexpr qint8 FileMissing = -1;    // the HEX file does not exist
constexpr qint8 FileUnreadable = -2; // the HEX file cannot be opened for reading
constexpr qint8 NotHexFile = -3;     // one of the first three lines does not begin with ':'
constexpr qint8 ImageFileError = -4; // the image file cannot be opened or written
constexpr qint8 BadRecord = -5;      // no start code, wrong length for its count, a non-hex digit,
                                     // or an address record without two data bytes
constexpr qint8 BadChecksum = -6;    // a record's checksum is wrong
constexpr qint8 OutOfRange = -7;     // data outside ImageFirstAddress..ImageLastAddress
constexpr qint8 Overlap = -8;        // two records write the same address

// Byte n of the image belongs at ImageFirstAddress + n; data may lie anywhere in this 1 MiB window.
constexpr quint32 ImageFirstAddress = 0x08000000;
constexpr quint32 ImageLastAddress = 0x080FFFFF;
} // namespace HexConversion

// Reads the HEX file (file name set, not open) and writes the image into imageFile: every data byte at
// its address (extended linear and extended segment address records honoured), gaps inside the image
// filled with 0xFF. The image file is opened on first use and truncated and reused afterwards; on
// success it is left open at offset 0. After a record-level failure (-5 to -8) or a failed write it is
// empty and closed; after any other failure it is left as it was. The HEX file is closed on return.
// Record-level failures are written to the diagnostic log.
qint8 convertHexFileToImage(QFile *hexFile, QTemporaryFile *imageFile);
