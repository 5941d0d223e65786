#include "views/URLCardVisual.h"

#include <QPainter>
#include <QPainterPath>

#include "thumbnails/VideoThumbnailDownload.h"
#include "thumbnails/YouTube.h"
#include "views/PaintHelpers.h"
#include "views/SymbolPainter.h"

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
    m_download = new VideoThumbnailDownload(thumbnail->toQUrl(), this);
    connect(m_download, &VideoThumbnailDownload::finished, this,
            [this, download = m_download](const QImage &image) {
                if (download != m_download)
                    return;
                m_download->deleteLater();
                m_download = nullptr;
                if (image.isNull()) {
                    m_didFail = true;
                } else {
                    m_loadedImage = image;
                    m_pixmap = QPixmap::fromImage(image);
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

void URLCardVisual::paint(QPainter &p, const QRectF &rect, const TavloUrl &url, const QPixmap &image,
                          bool didFail, const QPalette &palette, qreal imageOpacity)
{
    const bool isVideo = YouTube::isYouTubeURL(url);
    const QColor primary = palette.color(QPalette::WindowText);
    const QColor secondary = withAlpha(primary, 0.55);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(rect, 12, 12);
    p.setClipPath(clip, Qt::IntersectClip);
    p.fillPath(clip, withAlpha(primary, 0.035));

    // Symbol, text and (while loading) the bar, stacked and centred with 5 between them.
    const bool showBar = isVideo && !didFail && image.isNull();
    const QFont textFont = pixelFont(p.font(), 8.5, QFont::DemiBold);
    const qreal textHeight = QFontMetricsF(textFont).height();
    const qreal stackHeight = 20 + 5 + textHeight + (showBar ? 5 + 3 : 0);
    qreal y = rect.center().y() - stackHeight / 2;
    SymbolPainter::paint(p, QRectF(rect.left(), y, rect.width(), 20),
                         isVideo ? QStringLiteral("play.rectangle.fill") : QStringLiteral("link"), 20,
                         isVideo ? QColor(Qt::red) : secondary);
    y += 25;
    p.setFont(textFont);
    p.setPen(secondary);
    const QRectF textRect(rect.left() + 5, y, rect.width() - 10, textHeight);
    const QString text = QFontMetricsF(textFont).elidedText(placeholderText(url, isVideo, didFail),
                                                            Qt::ElideRight, textRect.width());
    p.drawText(textRect, Qt::AlignCenter, text);
    y += textHeight + 5;
    if (showBar) {
        const QRectF bar(rect.center().x() - 11, y, 22, 3);
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(primary, 0.1));
        p.drawRoundedRect(bar, 1.5, 1.5);
        p.setBrush(withAlpha(primary, 0.24));
        p.drawRoundedRect(QRectF(rect.center().x() - 4, y, 8, 3), 1.5, 1.5);
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
        const QRectF badge(rect.right() - 5 - 24, rect.bottom() - 5 - 18, 24, 18);
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
