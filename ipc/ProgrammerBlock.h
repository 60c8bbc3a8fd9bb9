// Byte layout of the shared-memory block through which a requesting program asks the loader to flash a
// HEX file, and the values its fields take. Both programs map this struct onto the same 312 bytes.
#pragma once

#include <QtGlobal>
#include <cstddef>

// The name both programs attach under.
constexpr char ProgrammerBlockKey[] = "KZ_ZelvanProgrammer";

constexpr int Path2HexfileSize = 150;
constexpr int NameOfConnectedDeviceSize = 153;

// StatusProgrammingRequest: only this value raises a request; any other clears it.
constexpr quint8 RequestNone = 0;
constexpr quint8 RequestPending = 1;

// ProgrammingResult
constexpr qint32 ResultNone = 0;
constexpr qint32 ResultSuccess = 1;
constexpr qint32 ResultFailure = -1;

#pragma pack(push, 1)
struct ProgrammerBlock
{
    quint8 StatusDebugMonitor;       // 1 while a loader runs (written by the loader)
    quint8 StatusProgrammingRequest; // written by the requesting program
    quint8 Reserved[2];
    qint32 ProgrammingResult;            // written by the loader, little-endian
    quint8 StatusZelvanConnection;       // 1 while a board is connected
    char Path2Hexfile[Path2HexfileSize]; // UTF-8, NUL-terminated, from the requesting program
    char NameOfConnectedDevice[NameOfConnectedDeviceSize]; // UTF-8, NUL-terminated, from the loader
};
#pragma pack(pop)

static_assert(offsetof(ProgrammerBlock, StatusDebugMonitor) == 0, "ProgrammerBlock layout");
static_assert(offsetof(ProgrammerBlock, StatusProgrammingRequest) == 1, "ProgrammerBlock layout");
static_assert(offsetof(ProgrammerBlock, ProgrammingResult) == 4, "ProgrammerBlock layout");
static_assert(offsetof(ProgrammerBlock, StatusZelvanConnection) == 8, "ProgrammerBlock layout");
static_assert(offsetof(ProgrammerBlock, Path2Hexfile) == 9, "ProgrammerBlock layout");
static_assert(offsetof(ProgrammerBlock, NameOfConnectedDevice) == 159, "ProgrammerBlock layout");
static_assert(sizeof(ProgrammerBlock) == 312, "ProgrammerBlock layout");
static_assert(sizeof(qint32) == 4 && Q_BYTE_ORDER == Q_LITTLE_ENDIAN,
              "the block stores its result as a native little-endian 32-bit integer");
