// The DataType codes of SIGNAL_newDataAvailable: which of the worker's rings holds the new bytes.
#pragma once

#include <QtGlobal>

namespace ConsoleDataType {

constexpr quint8 Received = 0; // m_RxRing: raw bytes from the board in serial mode
constexpr quint8 Messages = 1; // m_MsgRing: the worker's own console messages
constexpr quint8 Decoded = 2;  // m_DecodedRing: text decoded from TLV frames

} // namespace ConsoleDataType
