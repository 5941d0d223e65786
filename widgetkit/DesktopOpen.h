#pragma once

#include <QString>
#include <QUrl>

#include "model/TavloItem.h"

// Handing items to the desktop, for every window that has an Open button.
namespace DesktopOpen {

// A stored link as a QUrl, read leniently as it was stored.
QUrl linkUrl(const TavloUrl &url);

// Opens a file in its default application or a link in the browser; text items are not opened here.
// Stored links may carry any scheme; only web pages are handed to the desktop.
bool isOpenableLink(const TavloUrl &url);
void openWithDesktop(const TavloItem &item);
// Asks the file manager to show the file selected; opens its folder when no file manager answers.
void showInFileManager(const QString &path);

} // namespace DesktopOpen
