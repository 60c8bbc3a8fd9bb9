// The built-in firmware file that the benchmarks work on, taken from the program's resources.
#pragma once

#include <QString>

class QTemporaryDir;

constexpr char BuiltInHexResource[] = ":/hex/TessunFix_1_0_31.hex";

// Writes the built-in HEX file into the folder, as the loader's firmware folder holds it. Its path, or
// an empty text with the reason in *error (also when the program does not link the resources).
QString writeBuiltInHex(const QTemporaryDir &folder, QString *error);
