#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUuid>
#include <QVariantAnimation>

#include "model/TavloItem.h"

class TavloItemListView;
class TavloThumbnailLoader;
class VideoThumbnailDownload;

// The pictures of the cells on screen: file thumbnails from the loader and video thumbnails of link
// cards. A picture is requested the first time a cell is painted, so off-screen cells cost nothing;
// state of cells far off screen is dropped (and a running download cancelled).
class TavloCellVisuals : public QObject
{
    Q_OBJECT

public:
    struct FilePicture
    {
        QString path; // the file the picture belongs to
        QString requestedKey; // guard against late deliveries for an older path
        QPixmap pixmap; // scaled to fill the tile
    };
    struct LinkPicture
    {
        QString url;
        bool started = false;
        bool didFail = false;
        QPixmap pixmap;
        QPointer<VideoThumbnailDownload> download;
        QElapsedTimer fadeClock; // runs while a freshly downloaded picture fades in
    };
    static constexpr int fadeMilliseconds = 220;

    explicit TavloCellVisuals(QObject *parent = nullptr);
    ~TavloCellVisuals() override;

    // Where file pictures come from; without one, file cells keep their symbol tile.
    void setThumbnailLoader(TavloThumbnailLoader *loader) { m_loader = loader; }

    // The file cell's picture, requesting it when the file exists and no request is out yet.
    const FilePicture &filePicture(const QUuid &id, const QString &path, qreal devicePixelRatio);
    // The link cell's state, starting the video thumbnail download on first use unless the picture
    // was downloaded before.
    const LinkPicture &linkPicture(const QUuid &id, const TavloUrl &url, qreal devicePixelRatio);
    // How far the picture has faded in, 0 to 1.
    static qreal imageOpacity(const LinkPicture &picture);

    void forget(const QUuid &id);
    void forgetAllExcept(const QSet<QUuid> &keep);
    void clear();
    int size() const { return int(m_files.size() + m_links.size()); }

Q_SIGNALS:
    void changed(const QUuid &id);

private:
    TavloThumbnailLoader *m_loader = nullptr;
    QHash<QUuid, FilePicture> m_files;
    QHash<QUuid, LinkPicture> m_links;
    qreal m_devicePixelRatio = 1.0;
    QTimer m_fadeTimer;
};

// Paints the cells of a TavloItemListView.
class TavloItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    TavloItemDelegate(TavloItemListView *view, TavloCellVisuals *visuals);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Paints the tile alone (the drag image).
    void paintTile(QPainter &painter, const QRect &tile, const TavloItem &item, bool hovering,
                   qreal dpr) const;

    // Progress of the remove button's colour change, 0 (dim) to 1 (red).
    void setRemoveHighlight(qreal value) { m_removeHighlight = value; }

private:
    TavloItemListView *m_view;
    TavloCellVisuals *m_visuals;
    qreal m_removeHighlight = 0;
};
