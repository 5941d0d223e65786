#include "widgetkit/URLCardVisual.h"

#include <QPainter>
#include <QPainterPath>

#include "thumbnails/VideoThumbnailCache.h"
#include "thumbnails/VideoThumbnailDownload.h"
#include "thumbnails/YouTube.h"
#include "widgetkit/PanelStyle.h"
#include "widgetkit/SymbolPainter.h"

URLCardVisual::URLCardVisual(const TavloUrl &url, QWidget *parent) : QWidget(parent)
{
    m_fade.setDuration(220);
    m_fade.setEasingCurve(QEasingCurve::OutCubic);
    m_fade.setStartValue(0.0);
    m_fade.setEndValue(1.0);
    connect(&m_fade, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
    setUrl(url);
}

URLCardVisual::~URLCardVisual()
{
    delete m_download;
}

void URLCardVisual::setUrl(const TavloUrl &url)
{
    if (url == m_url && (m_download || !m_loadedImage.isNull() || m_didFail || !m_isVideo))
        return;
    m_url = url;
    startLoading();
}

void URLCardVisual::startLoading()
{
    delete m_download;
    m_loadedImage = QImage();
    m_pixmap = QPixmap();
    m_didFail = false;
    m_isVideo = YouTube::isYouTubeURL(m_url);
    update();
    Q_EMIT loadStateChanged();
    // Ordinary links load nothing; a video link without an id keeps its loading look.
    const std::optional<TavloUrl> thumbnail = YouTube::youTubeThumbnailURL(m_url);
    if (!m_isVideo || !thumbnail)
        return;
    const QString videoId = YouTube::youTubeVideoID(m_url).value_or(QString());
    if (const QImage known = VideoThumbnailCache::find(videoId, qRound(height() * devicePixelRatioF()));
        !known.isNull()) {
        m_loadedImage = known;
        m_pixmap = QPixmap::fromImage(known);
        Q_EMIT loadStateChanged();
        return;
    }
    m_download = new VideoThumbnailDownload(thumbnail->toQUrl(), this);
    connect(m_download, &VideoThumbnailDownload::finished, this,
            [this, download = m_download, videoId](const QImage &image) {
                if (download != m_download)
                    return;
                m_download->deleteLater();
                m_download = nullptr;
                if (image.isNull()) {
                    m_didFail = true;
                } else {
                    m_loadedImage = image;
                    m_pixmap = QPixmap::fromImage(image);
                    VideoThumbnailCache::insert(videoId, image);
                    m_fade.start();
                }
                update();
                Q_EMIT loadStateChanged();
            });
}

QString URLCardVisual::placeholderText(const TavloUrl &url, bool isVideo, bool didFail)
{
    if (isVideo)
        return didFail ? QStringLiteral("YouTube") : QStringLiteral("Loading video");
    const QString host = url.host();
    return host.isEmpty() ? QStringLiteral("Link") : host;
}

URLCardVisual::CardLayout URLCardVisual::cardLayout(const QRectF &rect, bool isVideo, bool showBar,
                                                    qreal textHeight)
{
    CardLayout layout;
    // The stack is centred in the card; a video card keeps it clear of the play badge in the
    // corner, closing the gaps between its parts when room is short.
    qreal top = rect.top();
    qreal bottom = rect.bottom();
    if (isVideo) {
        layout.badge = QRectF(rect.right() - 5 - 24, rect.bottom() - 5 - 18, 24, 18);
        top += 3;
        bottom = layout.badge.top() - 2;
    }
    const qreal fixed = 20 + textHeight + (showBar ? 3 : 0);
    const int gaps = showBar ? 2 : 1;
    const qreal gap = std::clamp((bottom - top - fixed) / gaps, 2.0, 5.0);
    qreal y = (top + bottom) / 2 - (fixed + gaps * gap) / 2;
    layout.symbol = QRectF(rect.left(), y, rect.width(), 20);
    y += 20 + gap;
    layout.text = QRectF(rect.left() + 5, y, rect.width() - 10, textHeight);
    y += textHeight + gap;
    if (showBar)
        layout.bar = QRectF(rect.center().x() - 11, y, 22, 3);
    return layout;
}

void URLCardVisual::paint(QPainter &p, const QRectF &rect, const TavloUrl &url, const QPixmap &image,
                          bool didFail, const QPalette &palette, qreal imageOpacity)
{
    const bool isVideo = YouTube::isYouTubeURL(url);
    const QColor primary = palette.color(QPalette::WindowText);
    const QColor secondary = PanelStyle::withAlpha(primary, PanelStyle::secondaryAlpha);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(rect, 12, 12);
    p.setClipPath(clip, Qt::IntersectClip);
    p.fillPath(clip, PanelStyle::withAlpha(primary, 0.035));

    const bool showBar = isVideo && !didFail && image.isNull();
    const QFont textFont = PanelStyle::pixelFont(p.font(), 8.5, QFont::DemiBold);
    const CardLayout layout = cardLayout(rect, isVideo, showBar, QFontMetricsF(textFont).height());
    SymbolPainter::paint(p, layout.symbol,
                         isVideo ? QStringLiteral("play.rectangle.fill") : QStringLiteral("link"), 20,
                         isVideo ? QColor(Qt::red) : secondary);
    p.setFont(textFont);
    p.setPen(secondary);
    const QString text = QFontMetricsF(textFont).elidedText(placeholderText(url, isVideo, didFail),
                                                            Qt::ElideRight, layout.text.width());
    p.drawText(layout.text, Qt::AlignCenter, text);
    if (showBar) {
        p.setPen(Qt::NoPen);
        p.setBrush(PanelStyle::withAlpha(primary, 0.1));
        p.drawRoundedRect(layout.bar, 1.5, 1.5);
        p.setBrush(PanelStyle::withAlpha(primary, 0.24));
        p.drawRoundedRect(QRectF(layout.bar.center().x() - 4, layout.bar.top(), 8, 3), 1.5, 1.5);
    }

    if (!image.isNull() && imageOpacity > 0) {
        // Scaled to fill: the card crops what does not fit.
        const QSizeF source = image.deviceIndependentSize();
        const qreal scale = std::max(rect.width() / source.width(), rect.height() / source.height());
        const QSizeF drawn = source * scale;
        p.setOpacity(imageOpacity);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(QRectF(rect.center().x() - drawn.width() / 2, rect.center().y() - drawn.height() / 2,
                            drawn.width(), drawn.height()),
                     image, QRectF(QPointF(0, 0), image.size()));
        p.setOpacity(1.0);
    }

    if (isVideo) {
        const QRectF &badge = layout.badge;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, qRound(0.58 * 255)));
        p.drawRoundedRect(badge, 5, 5);
        SymbolPainter::paint(p, badge.translated(1, 0), QStringLiteral("play.fill"), 8, Qt::white);
    }
    p.restore();
}

void URLCardVisual::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const qreal opacity =
        m_fade.state() == QAbstractAnimation::Running ? m_fade.currentValue().toReal() : 1.0;
    paint(p, QRectF(rect()), m_url, m_pixmap, m_didFail, palette(), opacity);
}
