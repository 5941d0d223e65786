#include "preview/TavloLargeFilePreview.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "preview/LargePreviewLoader.h"
#include "widgetkit/PanelStyle.h"

namespace {
constexpr int picturePadding = 18;
}

TavloLargeFilePreview::TavloLargeFilePreview(const TavloUrl &url, QWidget *parent, LargePreviewLoader *loader)
    : QWidget(parent), m_url(url), m_loader(loader)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);

    m_placeholder = new QWidget(this);
    auto *stack = new QVBoxLayout(m_placeholder);
    stack->setSpacing(12);
    stack->addStretch();
    stack->addWidget(PanelStyle::symbolLabel(QStringLiteral("doc"), 42), 0, Qt::AlignHCenter);
    auto *caption = new QLabel(QStringLiteral("Preparing Preview…"), m_placeholder);
    caption->setFont(PanelStyle::captionFont());
    PanelStyle::setTextColor(caption, PanelStyle::color(palette(), PanelStyle::Tone::secondary));
    stack->addWidget(caption, 0, Qt::AlignHCenter);
    stack->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_placeholder);
}

void TavloLargeFilePreview::setUrl(const TavloUrl &url)
{
    if (url == m_url)
        return;
    m_url = url;
    m_image = QImage();
    m_scaled = QPixmap();
    m_placeholder->show();
    update();
    request();
}

void TavloLargeFilePreview::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    request();
}

void TavloLargeFilePreview::request()
{
    const QString key = LargePreviewLoader::cacheKey(m_url);
    if (!m_loader || key == m_requestedKey)
        return;
    m_requestedKey = key;
    m_loader->image(m_url, this, [this, key](const QImage &image) {
        // A late delivery for a URL this view no longer shows is dropped.
        if (key != m_requestedKey)
            return;
        m_image = image;
        m_scaled = QPixmap();
        m_placeholder->setVisible(image.isNull());
        update();
        Q_EMIT imageDelivered();
    });
}

QRect TavloLargeFilePreview::pictureRect() const
{
    const QRect area = rect().adjusted(picturePadding, picturePadding, -picturePadding, -picturePadding);
    if (m_image.isNull() || area.isEmpty())
        return {};
    QSize fitted = m_image.size().scaled(area.size(), Qt::KeepAspectRatio);
    fitted = fitted.expandedTo(QSize(1, 1));
    return QRect(QPoint(area.x() + (area.width() - fitted.width()) / 2,
                        area.y() + (area.height() - fitted.height()) / 2),
                 fitted);
}

void TavloLargeFilePreview::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_scaled = QPixmap();
}

void TavloLargeFilePreview::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    const QRect target = pictureRect();
    if (target.isEmpty())
        return;
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = target.size() * ratio;
    // Scale once per size instead of resampling 1200 pixels on every paint.
    if (m_scaled.isNull() || m_scaled.size() != pixels) {
        m_scaled =
            QPixmap::fromImage(m_image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_scaled.setDevicePixelRatio(ratio);
    }
    QPainter painter(this);
    painter.drawPixmap(target.topLeft(), m_scaled);
}
