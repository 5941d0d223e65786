#pragma once

#include <QRect>
#include <QString>

#include "model/TavloItem.h"

class QMimeData;

// What one item cell shows and does, independent of how the list paints it: its geometry, the
// texts derived from the item, the data it hands to drags and the clipboard, and the desktop
// actions (open, show in the file manager).
namespace TavloItemCell {

constexpr int tileSide = 68;
constexpr int titleWidth = 100;
constexpr int tileTitleSpacing = 6;
constexpr int cellTopInset = 4; // room for the remove button poking out of the tile
constexpr int cellSpacing = 12;
constexpr int removeButtonFrame = 26;
constexpr int removeButtonCircle = 18;
constexpr qreal titlePixelSize = 10.5;

QRect tileRect(const QRect &cellRect);
QRect removeButtonRect(const QRect &tileRect);
QRect titleRect(const QRect &cellRect, int lineHeight);
int cellHeight(int lineHeight);

// The local path of a file item; empty for other kinds.
QString filePath(const TavloItem &item);
// Whether a file or folder exists at a file item's path now (asked afresh on every call).
bool isFileAvailable(const TavloItem &item);

// The first non-empty line of `plainText` as it stands, or "Text".
QString firstLineTitle(const QString &plainText);
QString displayTitle(const TavloItem &item);
QString helpText(const TavloItem &item, bool fileAvailable);
// The text the rename prompt starts with.
QString renameDraft(const TavloItem &item);
QString renamePromptTitle(const TavloItem &item);
// The snippet tile's text: every line feed and tab becomes one space.
QString snippetTileText(const QString &plainText);

// The data a drag out of the cell carries. Caller owns it.
QMimeData *dragMimeData(const TavloItem &item);
// The data "Copy" and "Copy URL" put on the clipboard. Caller owns it.
QMimeData *copyMimeData(const TavloItem &item);
void copyToClipboard(const TavloItem &item);

} // namespace TavloItemCell
