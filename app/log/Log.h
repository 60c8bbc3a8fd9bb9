// Diagnostic log: one status or error line per call on Qt's debug output, for developers only.
#pragma once

// Both functions take printf-style formats and may be called from any thread. A line that does not
// fit the fixed line buffer is cut at its end; an error line always keeps its closing colour reset.
void LogStatus(const char *Tag, const char *Format, ...) __attribute__((format(printf, 2, 3)));
void LogError(const char *Tag, const char *Format, ...) __attribute__((format(printf, 2, 3)));
