// The boards a running program plugs into its virtual bridge, as ZELVAN_VIRTUAL_BOARDS names them.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct VirtualBoardSpec
{
    QString serialNumber;
    QString description;
};

constexpr char DefaultVirtualSerialNumber[] = "ZV000001";
constexpr char DefaultVirtualDescription[] = "Zelvan Mini";

// "SERIAL[=DESCRIPTION],..." with blanks around the parts ignored; a board without a description is a
// "Zelvan Mini". An entry without a serial number, or a text longer than a product string holds (255
// bytes of UTF-8), is left out with a message in *errors; the other entries are kept. An empty text
// names no board.
QList<VirtualBoardSpec> parseVirtualBoards(const QString &text, QStringList *errors);
