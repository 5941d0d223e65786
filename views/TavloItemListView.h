#pragma once

#include <QDialog>
#include <QListView>
#include <QPointer>
#include <QTimer>
#include <QUuid>
#include <QVariantAnimation>

#include <memory>

#include "model/TavloItem.h"
#include "model/TavloStore.h"

class QDrag;
class QMenu;
class TavloItemListModel;
class TavloItemDelegate;
class TavloCellVisuals;
class TavloThumbnailLoader;

// The scrolling row (horizontal) or column (vertical) of item cells of the main view. Cells are
// painted by a delegate; each cell previews on click, opens on double click, drags out, shows a
// remove button on hover, a tooltip, a per-kind context menu and a rename prompt. Store changes
// (remove, rename, text edits) go to the TavloStore given with setStore().
class TavloItemListView : public QListView
{
    Q_OBJECT

public:
    explicit TavloItemListView(QWidget *parent = nullptr);
    ~TavloItemListView() override;

    void setStore(TavloStore *store);
    TavloStore *store() const;
    void setThumbnailLoader(TavloThumbnailLoader *loader);
    TavloItemListModel *itemModel() const { return m_model; }

    void setOrientation(TavloOrientation orientation);
    TavloOrientation orientation() const { return m_orientation; }

    // The item shown in the preview window gets an accent outline; a null id clears it.
    void setSelectedItemID(const QUuid &id);
    QUuid selectedItemID() const { return m_selectedItemID; }

    // Cell geometry in viewport coordinates, for the row's current position.
    QRect tileRect(int row) const;
    QRect removeButtonRect(int row) const;
    int hoveredRow() const { return m_hoveredRow; }
    bool isRemoveHovered() const { return m_removeHovered; }

    // The cell actions, by item id; unknown ids are ignored.
    void previewItem(const QUuid &id);
    void openItem(const QUuid &id);
    void removeItem(const QUuid &id);
    void beginRename(const QUuid &id);
    // The menu of the item's kind, built for the file system as it is now. Caller owns it.
    QMenu *createContextMenu(const QUuid &id, QWidget *parent = nullptr);
    // The open rename prompt, if any.
    QDialog *renamePrompt() const { return m_renamePrompt; }

    QSize cellSize() const;
    // The cell's own rectangle, without the spacing that follows it.
    QRect visualRect(const QModelIndex &index) const override;

Q_SIGNALS:
    // A cell's visual changed (a picture arrived); mostly of interest to tests.
    void cellVisualChanged(const QUuid &id);
    // A click on a cell, or opening a file that is gone (the preview says why).
    void previewRequested(const TavloItem &item);
    // Opening a text item; its edits go back through the store's updateItemText.
    void snippetRequested(const QUuid &id, const RichTextPayload &payload);

protected:
    // Runs the drag; the default executes it. Tests replace it to inspect the data.
    virtual void executeDrag(QDrag *drag);

    bool viewportEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;

private:
    void updateHover(const QPoint &pos);
    void setHover(int row, bool removeHovered);
    void applyOrientation();
    void startItemDrag(int row);
    void updateCellGeometry();
    void pruneVisuals();
    QPair<int, int> visibleRowRange() const;
    int rowAtTile(const QPoint &pos) const;
    TavloItem itemForID(const QUuid &id, bool *found) const;

    TavloItemListModel *m_model = nullptr;
    TavloItemDelegate *m_delegate = nullptr;
    TavloCellVisuals *m_visuals = nullptr;
    QPointer<TavloStore> m_store;
    TavloOrientation m_orientation = TavloOrientation::horizontal;
    QUuid m_selectedItemID;
    int m_hoveredRow = -1;
    bool m_removeHovered = false;

    // Press tracking: a press on a tile becomes a click, a double click or a drag.
    QUuid m_pressedID;
    QPoint m_pressPos;
    bool m_pressOnTile = false;
    bool m_pressOnRemove = false;
    bool m_dragStarted = false;
    QUuid m_pendingClickID;
    QTimer m_clickTimer;

    QPointer<QDialog> m_renamePrompt;
    QVariantAnimation m_removeAnimation;
    QTimer m_pruneTimer;
    bool m_doubleClicked = false;
};
