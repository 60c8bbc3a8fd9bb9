// Parsing of the virtual board list.
#include "sim/VirtualBoardList.h"

#include "usb/bridge/BridgeDefs.h"

QList<VirtualBoardSpec> parseVirtualBoards(const QString &text, QStringList *errors)
{
    QList<VirtualBoardSpec> boards;
    if (text.trimmed().isEmpty())
        return boards;
    const QStringList entries = text.split(QLatin1Char(','));
    for (int i = 0; i < entries.size(); ++i) {
        const QString entry = entries.at(i).trimmed();
        const int equals = entry.indexOf(QLatin1Char('='));
        VirtualBoardSpec board;
        board.serialNumber = (equals < 0 ? entry : entry.left(equals)).trimmed();
        board.description =
            equals < 0 ? QString::fromLatin1(DefaultVirtualDescription) : entry.mid(equals + 1).trimmed();
        if (board.serialNumber.isEmpty()) {
            errors->append(QStringLiteral("entry %1 (\"%2\") has no serial number").arg(i + 1).arg(entry));
            continue;
        }
        if (board.serialNumber.toUtf8().size() >= Bridge::ProductStringSize ||
            board.description.toUtf8().size() >= Bridge::ProductStringSize) {
            errors->append(QStringLiteral("entry %1 is longer than %2 bytes")
                               .arg(i + 1)
                               .arg(Bridge::ProductStringSize - 1));
            continue;
        }
        boards.append(board);
    }
    return boards;
}
