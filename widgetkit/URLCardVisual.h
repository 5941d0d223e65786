#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

#include "model/TavloUrl.h"

class QPainter;
class VideoThumbnailDownload;

// The card of a link item: a quiet placeholder with a link symbol and the host, or for a YouTube
// video link the video's thumbnail (fetched on show) with a play badge. Painting is shared with the
// item cells, which keep their own load state; this widget is the standalone form (the preview).
class URLCardVisual : public QWidget
{
    Q_OBJECT

public:
    explicit URLCardVisual(const TavloUrl &url = {}, QWidget *parent = nullptr);
    ~URLCardVisual() override;

    void setUrl(const TavloUrl &url);
    TavloUrl url() const { return m_url; }

    bool isVideo() const { return m_isVideo; }
    bool isLoading() const { return m_isVideo && !m_didFail && m_loadedImage.isNull(); }
    bool didFail() const { return m_didFail; }
    QImage loadedImage() const { return m_loadedImage; }

    QSize sizeHint() const override { return {68, 68}; }

    // The line under the symbol: the host (or "Link") for ordinary links; "Loading video" or,
    // after a failure, "YouTube" for video links.
    static QString placeholderText(const TavloUrl &url, bool isVideo, bool didFail);
    // Where the parts of the card go: the symbol, the text line, the loading bar (if shown) and the
    // play badge of a video card (empty otherwise).
    struct CardLayout
    {
        QRectF symbol, text, bar, badge;
    };
    static CardLayout cardLayout(const QRectF &rect, bool isVideo, bool showBar, qreal textHeight);
    // Paints the whole card into `rect`. `imageOpacity` fades the thumbnail in.
    static void paint(QPainter &painter, const QRectF &rect, const TavloUrl &url, const QPixmap &image,
                      bool didFail, const QPalette &palette, qreal imageOpacity = 1.0);

Q_SIGNALS:
    void loadStateChanged();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void startLoading();

    TavloUrl m_url;
    bool m_isVideo = false;
    bool m_didFail = false;
    QImage m_loadedImage;
    QPixmap m_pixmap;
    QPointer<VideoThumbnailDownload> m_download;
    QVariantAnimation m_fade;
};
