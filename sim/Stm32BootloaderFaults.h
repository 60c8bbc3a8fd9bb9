// Scripted misbehaviour of the simulated STM32 system bootloader, for tests of the loader's error paths.
#pragma once

#include "firmware/BootloaderProtocol.h"

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

struct Stm32BootloaderFaults
{
    // The points of the protocol at which the bootloader answers. A step is reached when its bytes have
    // arrived complete with a right complement or checksum, before the bootloader acts on them:
    // Sync the 0x7F after reset; Get, GetVersion, GetId their command pair; then per command its command
    // pair and its frames: Read Memory (address, N and its complement), Go (address), Write Memory
    // (address, data), Erase (the global erase code or the page list).
    enum class Step
    {
        Sync,
        Get,
        GetVersion,
        GetId,
        ReadCommand,
        ReadAddress,
        ReadLength,
        GoCommand,
        GoAddress,
        WriteCommand,
        WriteAddress,
        WriteData,
        EraseCommand,
        EraseList,
    };
    static constexpr int StepCount = int(Step::EraseList) + 1;

    enum class Reaction
    {
        Nack,          // answer NACK instead and do nothing; the bootloader waits for a new command
        Silence,       // answer nothing and do nothing; the bootloader waits for a new command
                       // (at Sync: it stays unsynchronised, as a chip that missed the sync byte)
        GarbageBefore, // send `garbage` first, then answer and act as usual
    };

    struct Rule
    {
        Step step = Step::Sync;
        // 1 for the first time the step is reached, 2 for the second, ...; 0 for every time. Steps are
        // counted from the moment the faults are set, across resets, so "the 3rd WriteData" is the third
        // data block of a write and "Sync, 1, Silence" makes the second reset answer.
        int occurrence = 0;
        Reaction reaction = Reaction::Nack;
        QByteArray garbage; // for GarbageBefore
    };

    // The first rule that matches a step's occurrence applies; steps without a rule behave normally.
    QVector<Rule> rules;
    // Product ID answered by Get ID.
    quint16 productId = BootloaderProtocol::SupportedProductId;
};
