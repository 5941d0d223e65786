#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

#include "model/TavloUrl.h"

// Raw images that arrive without a file (a screenshot pasted from a browser, an image dragged
// out of a document) are written to the clippings folder and added as file items.
namespace Clippings {

// $XDG_DATA_HOME/Quorvin/Clippings.
QString folder();

// "png", "jpg" or "tiff" by the bytes' signature; nothing for bytes that are none of these.
std::optional<QString> imageExtension(QByteArrayView bytes);

// Writes `bytes` atomically as "Tavlo Image XXXXXXXX.<ext>" with owner-only permissions in
// `folder` (created owner-only when missing) and returns the file's path. The extension
// follows the bytes, not the type the sender claimed. Never replaces an existing file.
// Fails on bytes that are no PNG, JPEG or TIFF, or when nothing can be written.
std::optional<QString> saveImageFile(const QByteArray &bytes, const QString &folder);

// The same in the clippings folder, as a file URL.
std::optional<TavloUrl> saveClippingImage(const QByteArray &bytes);

} // namespace Clippings
