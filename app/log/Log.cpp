// Diagnostic log lines with ANSI colours, composed on the stack without heap allocation.
#include "app/log/Log.h"

#include <QMessageLogger>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr int LineBufferSize = 2048;
constexpr char ProgramTag[] = "FileLoader";
constexpr char ColourReset[] = "\x1b[0m";

// snprintf reports the length it wanted; clamp it to what actually stands in the buffer.
int clampedLength(int written, int capacity)
{
    if (written < 0)
        return 0;
    return written < capacity ? written : capacity - 1;
}

void emitLine(const char *line)
{
    QMessageLogger(nullptr, 0, nullptr).debug("%s", line);
}

} // namespace

void LogStatus(const char *Tag, const char *Format, ...)
{
    char line[LineBufferSize];
    int used = clampedLength(std::snprintf(line, sizeof line, "STATUS[\x1b[32m%s\x1b[0m]->%s: ", ProgramTag, Tag),
                             LineBufferSize);
    va_list args;
    va_start(args, Format);
    std::vsnprintf(line + used, sizeof line - used, Format, args);
    va_end(args);
    emitLine(line);
}

void LogError(const char *Tag, const char *Format, ...)
{
    char line[LineBufferSize];
    // The reset sequence and the terminating zero are kept free so that a cut line still ends uncoloured.
    constexpr int reserved = sizeof ColourReset;
    constexpr int textCapacity = LineBufferSize - reserved + 1;
    int used = clampedLength(
        std::snprintf(line, textCapacity, "\x1b[31mERROR[\x1b[32m%s\x1b[31m]->%s: ", ProgramTag, Tag), textCapacity);
    va_list args;
    va_start(args, Format);
    used += clampedLength(std::vsnprintf(line + used, textCapacity - used, Format, args), textCapacity - used);
    va_end(args);
    std::snprintf(line + used, sizeof line - used, "%s", ColourReset);
    emitLine(line);
}
