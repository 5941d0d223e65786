#include "views/TavloItemCell.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include "model/LocalFileName.h"
#include "widgetkit/DesktopOpen.h"

namespace TavloItemCell {

namespace {

void addFileFormats(QMimeData *data, const QString &path)
{
    const QUrl url = localFileQUrl(path);
    data->setUrls({url});
    // File managers paste this as a copy of the file.
    data->setData(QStringLiteral("x-special/gnome-copied-files"), "copy\n" + url.toEncoded());
    data->setText(path);
}

void addLinkFormats(QMimeData *data, const UrlItemKind &link)
{
    const QUrl url = DesktopOpen::linkUrl(link.url);
    if (url.isValid())
        data->setUrls({url});
    // text/x-moz-url is UTF-16: the URL, a line feed, the title.
    const QString mozUrl = link.url.absoluteString() + u'\n' + link.title.value_or(QString());
    data->setData(QStringLiteral("text/x-moz-url"),
                  QByteArray(reinterpret_cast<const char *>(mozUrl.utf16()), mozUrl.size() * 2));
    data->setText(link.url.absoluteString());
}

void addTextFormats(QMimeData *data, const RichTextPayload &payload)
{
    // Rich text first, so receivers that take the first format they know get the formatting.
    if (!payload.rtfData.isEmpty()) {
        data->setData(QStringLiteral("text/rtf"), payload.rtfData);
        data->setData(QStringLiteral("application/rtf"), payload.rtfData);
    }
    data->setText(payload.plainText);
}

} // namespace

QRect tileRect(const QRect &cellRect)
{
    return QRect(cellRect.left() + (cellRect.width() - tileSide) / 2, cellRect.top() + cellTopInset, tileSide,
                 tileSide);
}

QRect removeButtonRect(const QRect &tile)
{
    // Framed 26 x 26 at the tile's top-trailing corner, 2 beyond it on both edges.
    return QRect(tile.left() + tile.width() + 2 - removeButtonFrame, tile.top() - 2, removeButtonFrame,
                 removeButtonFrame);
}

QRect titleRect(const QRect &cellRect, int lineHeight)
{
    const QRect tile = tileRect(cellRect);
    return QRect(cellRect.left() + (cellRect.width() - titleWidth) / 2, tile.bottom() + 1 + tileTitleSpacing,
                 titleWidth, lineHeight);
}

int cellHeight(int lineHeight)
{
    return cellTopInset + tileSide + tileTitleSpacing + lineHeight + 2;
}

QString filePath(const TavloItem &item)
{
    if (const auto *file = std::get_if<FileItemKind>(&item.kind))
        return file->url.toLocalFile();
    return {};
}

bool isFileAvailable(const TavloItem &item)
{
    const QString path = filePath(item);
    return localFileExists(path);
}

QString firstLineTitle(const QString &plainText)
{
    for (const QString &piece : plainText.split(u'\n', Qt::SkipEmptyParts))
        return piece;
    return QStringLiteral("Text");
}

QString displayTitle(const TavloItem &item)
{
    if (const auto *file = std::get_if<FileItemKind>(&item.kind)) {
        const QString path = QDir::cleanPath(file->url.toLocalFile());
        const QString name = QFileInfo(path).fileName();
        return name.isEmpty() ? path : name;
    }
    if (const auto *text = std::get_if<TextItemKind>(&item.kind)) {
        if (text->title && !text->title->isEmpty())
            return *text->title;
        return firstLineTitle(text->payload.plainText);
    }
    const auto &link = std::get<UrlItemKind>(item.kind);
    if (link.title && !link.title->isEmpty())
        return *link.title;
    const QString host = link.url.host();
    return host.isEmpty() ? QStringLiteral("Link") : host;
}

QString helpText(const TavloItem &item, bool fileAvailable)
{
    if (item.isFile()) {
        const QString path = filePath(item);
        return fileAvailable ? path : QStringLiteral("File unavailable:\n") + path;
    }
    if (const auto *text = std::get_if<TextItemKind>(&item.kind)) {
        // A tool tip of a whole book would stall the panel while Qt lays it out.
        constexpr qsizetype shown = 1000;
        const QString &plain = text->payload.plainText;
        return QStringLiteral("Double-click to open:\n")
            + (plain.size() > shown ? plain.first(shown) + QChar(0x2026) : plain);
    }
    return QStringLiteral("Double-click to open:\n") + std::get<UrlItemKind>(item.kind).url.absoluteString();
}

QString renameDraft(const TavloItem &item)
{
    if (const std::optional<QString> title = item.title(); title && !title->isEmpty())
        return *title;
    if (const auto *text = std::get_if<TextItemKind>(&item.kind))
        return firstLineTitle(text->payload.plainText);
    if (const auto *link = std::get_if<UrlItemKind>(&item.kind)) {
        const QString host = link->url.host();
        return host.isEmpty() ? QStringLiteral("Link") : host;
    }
    return {};
}

QString renamePromptTitle(const TavloItem &item)
{
    if (item.isText())
        return QStringLiteral("Rename Snippet");
    if (item.isUrl())
        return QStringLiteral("Rename Link");
    return QStringLiteral("Rename");
}

QString snippetTileText(const QString &plainText)
{
    QString text = plainText;
    text.replace(u'\n', u' ');
    text.replace(u'\t', u' ');
    return text;
}

QMimeData *dragMimeData(const TavloItem &item)
{
    auto *data = new QMimeData;
    if (const auto *file = std::get_if<FileItemKind>(&item.kind)) {
        const QString path = file->url.toLocalFile();
        data->setUrls({localFileQUrl(path)});
        data->setText(path);
    } else if (const auto *text = std::get_if<TextItemKind>(&item.kind)) {
        addTextFormats(data, text->payload);
    } else {
        addLinkFormats(data, std::get<UrlItemKind>(item.kind));
    }
    return data;
}

QMimeData *copyMimeData(const TavloItem &item)
{
    auto *data = new QMimeData;
    if (const auto *file = std::get_if<FileItemKind>(&item.kind))
        addFileFormats(data, file->url.toLocalFile());
    else if (const auto *text = std::get_if<TextItemKind>(&item.kind))
        addTextFormats(data, text->payload);
    else
        addLinkFormats(data, std::get<UrlItemKind>(item.kind));
    return data;
}

void copyToClipboard(const TavloItem &item)
{
    if (QClipboard *clipboard = QGuiApplication::clipboard()) {
        clipboard->clear();
        clipboard->setMimeData(copyMimeData(item));
    }
}

} // namespace TavloItemCell
