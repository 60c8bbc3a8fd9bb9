// Bytes, command codes, limits and waits of the STM32 USART system bootloader protocol, shared by the
// firmware update and by the simulated bootloader.
#pragma once

#include <QtGlobal>

namespace BootloaderProtocol {

// Frame bytes.
constexpr quint8 Sync = 0x7F; // first byte after reset; the bootloader measures the baud rate on it
constexpr quint8 Ack = 0x79;
constexpr quint8 Nack = 0x1F;

// Command codes; on the wire every command is followed by its complement.
constexpr quint8 CmdGet = 0x00;
constexpr quint8 CmdGetVersion = 0x01;
constexpr quint8 CmdGetId = 0x02;
constexpr quint8 CmdReadMemory = 0x11;
constexpr quint8 CmdGo = 0x21;
constexpr quint8 CmdWriteMemory = 0x31;
constexpr quint8 CmdErase = 0x43;

constexpr quint8 complement(quint8 byte)
{
    return quint8(byte ^ 0xFF);
}

// Erase argument that erases the whole flash: the code and its checksum (its complement).
constexpr quint8 GlobalEraseCode = 0xFF;
constexpr quint8 GlobalEraseChecksum = complement(GlobalEraseCode);

// The only product the loader writes: STM32F10x medium density.
constexpr quint16 SupportedProductId = 0x0410;

// Get ID reply for a single product ID: ACK, N = 1, the two ID bytes, ACK.
constexpr int GetIdReplyLength = 5;

// Largest payload of one Write Memory or Read Memory frame, and the image's block length.
constexpr int BlockSize = 256;
constexpr quint32 FlashBase = 0x08000000;

// Waits of the update, counted in passes of the device thread loop (at least 1 ms each).
constexpr quint16 SyncWaitPasses = 100;
constexpr quint16 CommandWaitPasses = 1000; // every command, the address frame and the erase
constexpr quint16 DataWaitPasses = 5000;    // one data block
// Attempts after the first for the sync byte and for Get ID.
constexpr qint16 Retries = 5;

} // namespace BootloaderProtocol
