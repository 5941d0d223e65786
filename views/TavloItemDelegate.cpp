#include "views/TavloItemDelegate.h"

#include <QEasingCurve>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QTextLayout>

#include "model/LocalFileName.h"
#include "thumbnails/PictureFunctions.h"
#include "thumbnails/TavloThumbnailLoader.h"
#include "thumbnails/VideoThumbnailCache.h"
#include "thumbnails/VideoThumbnailDownload.h"
#include "thumbnails/YouTube.h"
#include "views/TavloItemCell.h"
#include "views/TavloItemListModel.h"
#include "views/TavloItemListView.h"
#include "widgetkit/PanelStyle.h"
#include "widgetkit/SymbolPainter.h"
#include "widgetkit/URLCardVisual.h"

namespace {

// Scaled to fill a square tile and cropped to it, once, so painting is a plain blit.
QPixmap tilePixmap(const QImage &image, qreal dpr)
{
    if (image.isNull())
        return {};
    const int side = qRound(TavloItemCell::tileSide * dpr);
    const QImage filled = image.scaled(side, side, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QImage cropped = filled.copy((filled.width() - side) / 2, (filled.height() - side) / 2, side, side);
    QPixmap pixmap = QPixmap::fromImage(cropped);
    pixmap.setDevicePixelRatio(dpr);
    return pixmap;
}

} // namespace

TavloCellVisuals::TavloCellVisuals(QObject *parent) : QObject(parent)
{
    m_fadeTimer.setInterval(16);
    connect(&m_fadeTimer, &QTimer::timeout, this, [this] {
        bool fading = false;
        for (auto it = m_links.begin(); it != m_links.end(); ++it) {
            if (!it->fadeClock.isValid())
                continue;
            if (it->fadeClock.elapsed() >= fadeMilliseconds)
                it->fadeClock.invalidate();
            else
                fading = true;
            Q_EMIT changed(it.key());
        }
        if (!fading)
            m_fadeTimer.stop();
    });
}

TavloCellVisuals::~TavloCellVisuals()
{
    clear();
}

const TavloCellVisuals::FilePicture &TavloCellVisuals::filePicture(const QUuid &id, const QString &path,
                                                                   qreal dpr)
{
    FilePicture &picture = m_files[id];
    if (picture.path != path) {
        picture = FilePicture {path, {}, {}};
    }
    const QString key = TavloThumbnailLoader::cacheKey(path);
    // Missing files are never sent to the loader; one request per path while the state lives.
    if (!m_loader || picture.requestedKey == key || path.isEmpty() || !QFileInfo::exists(key))
        return picture;
    picture.requestedKey = key;
    m_loader->thumbnail(
        key, this,
        [this, id, key, dpr](const QImage &image) {
            const auto found = m_files.find(id);
            if (found == m_files.end() || found->requestedKey != key)
                return; // a late delivery for a path this cell no longer shows
            found->pixmap = tilePixmap(image, dpr);
            Q_EMIT changed(id);
        },
        qRound(TavloItemCell::tileSide * dpr));
    return picture;
}

const TavloCellVisuals::LinkPicture &TavloCellVisuals::linkPicture(const QUuid &id, const TavloUrl &url,
                                                                   qreal dpr)
{
    LinkPicture &picture = m_links[id];
    if (picture.url != url.absoluteString()) {
        delete picture.download;
        picture = LinkPicture {};
        picture.url = url.absoluteString();
    }
    if (picture.started)
        return picture;
    picture.started = true;
    if (!YouTube::isYouTubeURL(url))
        return picture;
    const std::optional<TavloUrl> thumbnail = YouTube::youTubeThumbnailURL(url);
    if (!thumbnail)
        return picture; // stays in its loading look
    const QString videoId = YouTube::youTubeVideoID(url).value_or(QString());
    const int side = qRound(TavloItemCell::tileSide * dpr);
    if (const QImage known = VideoThumbnailCache::find(videoId, side); !known.isNull()) {
        picture.pixmap = QPixmap::fromImage(known);
        return picture;
    }
    auto *download = new VideoThumbnailDownload(thumbnail->toQUrl(), this);
    picture.download = download;
    connect(download, &VideoThumbnailDownload::finished, this,
            [this, id, download, videoId, side](const QImage &image) {
                download->deleteLater();
                const auto found = m_links.find(id);
                if (found == m_links.end() || found->download != download)
                    return;
                found->download = nullptr;
                if (image.isNull()) {
                    found->didFail = true;
                } else {
                    // Kept at the size the card shows it, filling the tile; the card crops the rest.
                    const QImage scaled =
                        image.scaled(side, side, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
                    VideoThumbnailCache::insert(videoId, scaled);
                    found->pixmap = QPixmap::fromImage(scaled);
                    found->fadeClock.start();
                    if (!m_fadeTimer.isActive())
                        m_fadeTimer.start();
                }
                Q_EMIT changed(id);
            });
    return picture;
}

qreal TavloCellVisuals::imageOpacity(const LinkPicture &picture)
{
    if (!picture.fadeClock.isValid())
        return 1.0;
    const qreal progress = std::min<qreal>(1.0, qreal(picture.fadeClock.elapsed()) / fadeMilliseconds);
    return QEasingCurve(QEasingCurve::OutCubic).valueForProgress(progress);
}

void TavloCellVisuals::forget(const QUuid &id)
{
    m_files.remove(id);
    if (const auto found = m_links.find(id); found != m_links.end()) {
        delete found->download;
        m_links.erase(found);
    }
}

void TavloCellVisuals::forgetAllExcept(const QSet<QUuid> &keep)
{
    for (auto it = m_files.begin(); it != m_files.end();) {
        if (keep.contains(it.key()))
            ++it;
        else
            it = m_files.erase(it);
    }
    for (auto it = m_links.begin(); it != m_links.end();) {
        if (keep.contains(it.key())) {
            ++it;
        } else {
            delete it->download;
            it = m_links.erase(it);
        }
    }
}

void TavloCellVisuals::clear()
{
    for (LinkPicture &picture : m_links)
        delete picture.download;
    m_links.clear();
    m_files.clear();
}

TavloItemDelegate::TavloItemDelegate(TavloItemListView *view, TavloCellVisuals *visuals)
    : QStyledItemDelegate(view), m_view(view), m_visuals(visuals)
{ }

QSize TavloItemDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return m_view->cellSize();
}

void TavloItemDelegate::paintTile(QPainter &p, const QRect &tile, const TavloItem &item, bool hovering,
                                  qreal dpr) const
{
    const QPalette &palette = m_view->palette();
    const QColor primary = palette.color(QPalette::WindowText);
    const QColor secondary = PanelStyle::withAlpha(primary, PanelStyle::secondaryAlpha);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(tile), 12, 12);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(shape, PanelStyle::withAlpha(primary, hovering ? 0.1 : 0.055));
    p.setClipPath(shape);

    if (const auto *file = std::get_if<FileItemKind>(&item.kind)) {
        const QString path = file->url.toLocalFile();
        const bool available = localFileExists(path);
        const TavloCellVisuals::FilePicture &picture = m_visuals->filePicture(item.id, path, dpr);
        p.setOpacity(available ? 1.0 : 0.45);
        if (available && !picture.pixmap.isNull()) {
            p.drawPixmap(tile.topLeft(), picture.pixmap);
        } else {
            // Kind tile, or the missing tile when nothing exists at the path.
            const QRectF inner = QRectF(tile).adjusted(8, 8, -8, -8);
            QPainterPath innerShape;
            innerShape.addRoundedRect(inner, 12, 12);
            p.fillPath(innerShape, PanelStyle::withAlpha(primary, 0.1));
            const QString symbol =
                available ? fallbackSymbolName(path) : QStringLiteral("questionmark.square.dashed");
            SymbolPainter::paint(p, inner, symbol, 26, secondary);
        }
        p.setOpacity(1.0);
        if (!available) {
            const QRectF warning(tile.left() + 5, tile.bottom() + 1 - 5 - 17, 17, 17);
            SymbolPainter::paint(p, warning, QStringLiteral("exclamationmark.triangle.fill"), 15,
                                 QColor(255, 149, 0));
        }
    } else if (const auto *text = std::get_if<TextItemKind>(&item.kind)) {
        p.fillPath(shape, PanelStyle::withAlpha(primary, 0.025));
        const QRectF content = QRectF(tile).adjusted(5, 5, -5, -5);
        const QFont font = PanelStyle::pixelFont(m_view->font(), 8.5, QFont::Medium);
        const QFontMetricsF metrics(font);
        const qreal textHeight = metrics.lineSpacing() * 2;
        const qreal stack = 18 + 4 + textHeight;
        const qreal top = content.center().y() - stack / 2;
        SymbolPainter::paint(p, QRectF(content.left(), top, content.width(), 18),
                             QStringLiteral("text.quote"), 18, secondary);
        p.setFont(font);
        p.setPen(secondary);
        const QRectF textRect(content.left() + 5, top + 22, content.width() - 10, textHeight);
        // Two centred lines at most; the second is elided.
        const QString tileText = TavloItemCell::snippetTileText(text->payload.plainText.left(400));
        QTextLayout layout(tileText, font);
        QTextOption option(Qt::AlignHCenter);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        QStringList lines;
        for (int i = 0; i < 2; ++i) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(textRect.width());
            lines.append(
                i == 1 ? metrics.elidedText(tileText.mid(line.textStart()), Qt::ElideRight, textRect.width())
                       : tileText.mid(line.textStart(), line.textLength()).trimmed());
        }
        layout.endLayout();
        for (int i = 0; i < lines.size(); ++i)
            p.drawText(QRectF(textRect.left(), textRect.top() + i * metrics.lineSpacing(), textRect.width(),
                              metrics.lineSpacing()),
                       Qt::AlignHCenter | Qt::AlignTop, lines.at(i));
    } else {
        const auto &link = std::get<UrlItemKind>(item.kind);
        const TavloCellVisuals::LinkPicture &picture = m_visuals->linkPicture(item.id, link.url, dpr);
        URLCardVisual::paint(p, QRectF(tile), link.url, picture.pixmap, picture.didFail, palette,
                             TavloCellVisuals::imageOpacity(picture));
    }
    p.restore();
}

void TavloItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    const TavloItem item = index.data(TavloItemListModel::ItemRole).value<TavloItem>();
    const QRect cell = option.rect;
    const QRect tile = TavloItemCell::tileRect(cell);
    const bool hovering = m_view->hoveredRow() == index.row();
    const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    QPainter &p = *painter;

    paintTile(p, tile, item, hovering, dpr);

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette &palette = m_view->palette();
    if (!m_view->selectedItemID().isNull() && m_view->selectedItemID() == item.id) {
        QColor accent = palette.color(QPalette::Highlight);
        accent.setAlphaF(0.75f);
        p.setPen(QPen(accent, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(tile).adjusted(1, 1, -1, -1), 11, 11);
    }

    if (hovering) {
        const QRect button = TavloItemCell::removeButtonRect(tile);
        const QRectF circle(button.center().x() + 0.5 - 9, button.center().y() + 0.5 - 9, 18, 18);
        const QColor dim(0, 0, 0, qRound(0.3 * 255));
        const QColor red(255, 59, 48);
        const qreal t = m_removeHighlight;
        const QColor fill = QColor::fromRgbF(dim.redF() + (red.redF() - dim.redF()) * float(t),
                                             dim.greenF() + (red.greenF() - dim.greenF()) * float(t),
                                             dim.blueF() + (red.blueF() - dim.blueF()) * float(t),
                                             dim.alphaF() + (red.alphaF() - dim.alphaF()) * float(t));
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawEllipse(circle);
        SymbolPainter::paint(p, circle, QStringLiteral("xmark"), 9, Qt::white);
    }

    const QFont titleFont =
        PanelStyle::pixelFont(m_view->font(), TavloItemCell::titlePixelSize, QFont::Normal);
    const QFontMetrics metrics(titleFont);
    const QRect title = TavloItemCell::titleRect(cell, metrics.height());
    p.setFont(titleFont);
    p.setPen(palette.color(QPalette::WindowText));
    p.drawText(title, Qt::AlignHCenter | Qt::AlignTop,
               metrics.elidedText(TavloItemCell::displayTitle(item), Qt::ElideMiddle, title.width()));
    p.restore();
}
