// Bounded UTF-8 text fields of the shared-memory block: every field holds its text and a NUL within its
// own size, so neither side ever reads or writes past a field.
#pragma once

#include <QByteArray>
#include <QString>

namespace BlockText {

// The UTF-8 form of text, cut to at most capacity - 1 bytes (room for the NUL) at a character boundary,
// so a multi-byte sequence is never split.
QByteArray fitUtf8(const QString &text, int capacity);

// Copies utf8 and its NUL into field and zeroes the rest. Returns false, leaving field unchanged, when
// utf8 does not fit with its NUL or holds a NUL of its own.
bool store(char *field, int capacity, const QByteArray &utf8);

// Reads field up to its NUL. ok becomes false (and the result empty) when there is no NUL in the field.
QString load(const char *field, int capacity, bool *ok);

} // namespace BlockText
