#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include "model/TavloUrl.h"

class LargePreviewLoader;

// The content area for an existing regular file: a placeholder until the large picture of the
// file arrives, then the picture scaled to fit. A file with no picture, or a view without a
// loader, keeps the placeholder.
class TavloLargeFilePreview : public QWidget
{
    Q_OBJECT

public:
    explicit TavloLargeFilePreview(const TavloUrl &url, QWidget *parent = nullptr,
                                   LargePreviewLoader *loader = nullptr);

    void setUrl(const TavloUrl &url);
    TavloUrl url() const { return m_url; }
    QImage image() const { return m_image; }
    bool isShowingPlaceholder() const { return m_image.isNull(); }

Q_SIGNALS:
    // A delivery was accepted (null when there was no picture).
    void imageDelivered();

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void request();
    QRect pictureRect() const;

    TavloUrl m_url;
    QImage m_image;
    QString m_requestedKey;
    QPixmap m_scaled; // the picture at its current on-screen size
    LargePreviewLoader *m_loader = nullptr;
    QWidget *m_placeholder;
};
