#include "views/TavloItemListView.h"

#include <QDialog>
#include <QDrag>
#include <QMenu>

#include "model/TavloStore.h"
#include "views/TavloItemListModel.h"

TavloItemListView::TavloItemListView(QWidget *parent)
    : QListView(parent), m_model(new TavloItemListModel(this))
{
    setModel(m_model);
    applyOrientation();
}

TavloItemListView::~TavloItemListView() = default;

void TavloItemListView::setStore(TavloStore *store)
{
    m_store = store;
    m_model->setStore(store);
}

TavloStore *TavloItemListView::store() const
{
    return m_store;
}

void TavloItemListView::setOrientation(TavloOrientation orientation)
{
    m_orientation = orientation;
    applyOrientation();
}

void TavloItemListView::setSelectedItemID(const QUuid &id)
{
    m_selectedItemID = id;
    viewport()->update();
}

QRect TavloItemListView::tileRect(int) const
{
    return {};
}

QRect TavloItemListView::removeButtonRect(int) const
{
    return {};
}

void TavloItemListView::previewItem(const QUuid &) { }
void TavloItemListView::openItem(const QUuid &) { }

void TavloItemListView::removeItem(const QUuid &id)
{
    if (m_store)
        m_store->removeItem(id);
}

void TavloItemListView::beginRename(const QUuid &) { }

QMenu *TavloItemListView::createContextMenu(const QUuid &, QWidget *parent)
{
    return new QMenu(parent);
}

QSize TavloItemListView::cellSize() const
{
    return {100, 90};
}

void TavloItemListView::executeDrag(QDrag *drag)
{
    drag->exec(Qt::CopyAction);
}

bool TavloItemListView::viewportEvent(QEvent *event)
{
    return QListView::viewportEvent(event);
}

void TavloItemListView::mousePressEvent(QMouseEvent *event)
{
    QListView::mousePressEvent(event);
}

void TavloItemListView::mouseMoveEvent(QMouseEvent *event)
{
    QListView::mouseMoveEvent(event);
}

void TavloItemListView::mouseReleaseEvent(QMouseEvent *event)
{
    QListView::mouseReleaseEvent(event);
}

void TavloItemListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QListView::mouseDoubleClickEvent(event);
}

void TavloItemListView::leaveEvent(QEvent *event)
{
    QListView::leaveEvent(event);
}

void TavloItemListView::contextMenuEvent(QContextMenuEvent *event)
{
    QListView::contextMenuEvent(event);
}

void TavloItemListView::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
}

void TavloItemListView::applyOrientation()
{
    setFlow(m_orientation == TavloOrientation::horizontal ? QListView::LeftToRight : QListView::TopToBottom);
}
