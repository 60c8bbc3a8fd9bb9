// The eleven operations of the bridge library, as the virtual bridge counts, records and faults them.
#pragma once

enum class BridgeOperation
{
    GetNumDevices,
    GetProductString,
    Open,
    Close,
    Read,
    Write,
    CheckRxQueue,
    FlushBuffers,
    SetBaudRate,
    SetLineControl,
    WriteLatch
};
constexpr int BridgeOperationCount = int(BridgeOperation::WriteLatch) + 1;
