// Exit codes of zelvan-request, for scripts that call it.
#pragma once

enum ExitCode : int
{
    ExitWritten = 0,     // the loader wrote the file into the board
    ExitWriteFailed = 1, // the loader tried and failed (or answered with an unknown result)
    ExitUsage = 2,       // bad options, file missing, or a path that does not fit the block
    ExitNoLoader = 3,    // no block, or no running loader marks it (or it ended meanwhile)
    ExitTimeout = 4,     // no result within the time limit
    ExitBusy = 5,        // another request is pending or not yet cleared
    ExitInterrupted = 6, // stopped by SIGINT or SIGTERM
};
