#include "views/TavloItemListView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDrag>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "richtext/PlainToolTip.h"
#include "views/TavloItemCell.h"
#include "views/TavloItemDelegate.h"
#include "views/TavloItemListModel.h"
#include "widgetkit/DesktopOpen.h"
#include "widgetkit/SymbolPainter.h"

namespace {

// Cells kept with their pictures on either side of the visible ones.
constexpr int visualsMargin = 24;
constexpr int listInset = 2;

int titleLineHeight(const QFont &base)
{
    QFont font = base;
    font.setPixelSize(qRound(TavloItemCell::titlePixelSize));
    return QFontMetrics(font).height();
}

} // namespace

TavloItemListView::TavloItemListView(QWidget *parent)
    : QListView(parent), m_model(new TavloItemListModel(this)), m_visuals(new TavloCellVisuals(this))
{
    m_delegate = new TavloItemDelegate(this, m_visuals);
    setModel(m_model);
    setItemDelegate(m_delegate);
    setViewMode(QListView::ListMode);
    setMovement(QListView::Static);
    setWrapping(false);
    setUniformItemSizes(true);
    setLayoutMode(QListView::SinglePass);
    setSpacing(0);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(QStringLiteral("QListView { background: transparent; }"));

    m_clickTimer.setSingleShot(true);
    connect(&m_clickTimer, &QTimer::timeout, this, [this] {
        const QUuid id = m_pendingClickID;
        m_pendingClickID = QUuid();
        previewItem(id);
    });

    m_removeAnimation.setDuration(100);
    m_removeAnimation.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_removeAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_delegate->setRemoveHighlight(value.toReal());
        if (m_hoveredRow >= 0)
            viewport()->update(removeButtonRect(m_hoveredRow));
    });

    m_pruneTimer.setSingleShot(true);
    m_pruneTimer.setInterval(250);
    connect(&m_pruneTimer, &QTimer::timeout, this, &TavloItemListView::pruneVisuals);

    connect(m_visuals, &TavloCellVisuals::changed, this, [this](const QUuid &id) {
        const int row = m_model->rowForID(id);
        if (row >= 0)
            viewport()->update(visualRect(m_model->index(row)));
        Q_EMIT cellVisualChanged(id);
    });
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                for (int row = first; row <= last; ++row)
                    m_visuals->forget(m_model->itemAt(row).id);
            });
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, m_visuals, &TavloCellVisuals::clear);
    // Rows shift under the pointer; hover is recomputed from where it is now.
    auto refreshHover = [this] {
        updateHover(viewport()->mapFromGlobal(QCursor::pos()));
    };
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, refreshHover, Qt::QueuedConnection);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, refreshHover, Qt::QueuedConnection);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { setHover(-1, false); });

    applyOrientation();
}

TavloItemListView::~TavloItemListView()
{
    delete m_renamePrompt;
}

void TavloItemListView::setThumbnailLoader(TavloThumbnailLoader *loader)
{
    m_visuals->setThumbnailLoader(loader);
}

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
    if (m_orientation == orientation)
        return;
    m_orientation = orientation;
    applyOrientation();
}

void TavloItemListView::applyOrientation()
{
    setFlow(m_orientation == TavloOrientation::horizontal ? QListView::LeftToRight : QListView::TopToBottom);
    updateCellGeometry();
}

QSize TavloItemListView::cellSize() const
{
    const int height = TavloItemCell::cellHeight(titleLineHeight(font()));
    if (m_orientation == TavloOrientation::horizontal)
        return {TavloItemCell::titleWidth + TavloItemCell::cellSpacing, height};
    return {std::max(TavloItemCell::titleWidth, viewport()->width()), height + TavloItemCell::cellSpacing};
}

void TavloItemListView::updateCellGeometry()
{
    const QSize size = cellSize();
    if (gridSize() != size)
        setGridSize(size);
}

void TavloItemListView::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    updateCellGeometry();
}

void TavloItemListView::setSelectedItemID(const QUuid &id)
{
    if (m_selectedItemID == id)
        return;
    const int oldRow = m_model->rowForID(m_selectedItemID);
    m_selectedItemID = id;
    const int newRow = m_model->rowForID(id);
    if (oldRow >= 0)
        viewport()->update(visualRect(m_model->index(oldRow)));
    if (newRow >= 0)
        viewport()->update(visualRect(m_model->index(newRow)));
}

QRect TavloItemListView::visualRect(const QModelIndex &index) const
{
    const QRect grid = QListView::visualRect(index);
    if (!grid.isValid())
        return grid;
    // A grid cell ends with the spacing to the next one; the list keeps a small inset on every side.
    if (m_orientation == TavloOrientation::horizontal)
        return QRect(grid.left() + listInset, grid.top(), TavloItemCell::titleWidth, grid.height());
    return QRect(grid.left() + listInset, grid.top() + listInset, grid.width() - 2 * listInset,
                 grid.height() - TavloItemCell::cellSpacing);
}

void TavloItemListView::updateGeometries()
{
    QListView::updateGeometries();
    // The content ends with the inset, not with a full spacing after the last cell.
    QScrollBar *bar =
        m_orientation == TavloOrientation::horizontal ? horizontalScrollBar() : verticalScrollBar();
    if (m_model->rowCount() > 0 && bar->maximum() > 0)
        bar->setMaximum(std::max(0, bar->maximum() - (TavloItemCell::cellSpacing - 2 * listInset)));
}

QRect TavloItemListView::tileRect(int row) const
{
    if (row < 0 || row >= m_model->rowCount())
        return {};
    return TavloItemCell::tileRect(visualRect(m_model->index(row)));
}

QRect TavloItemListView::removeButtonRect(int row) const
{
    const QRect tile = tileRect(row);
    return tile.isNull() ? QRect() : TavloItemCell::removeButtonRect(tile);
}

int TavloItemListView::rowAtTile(const QPoint &pos) const
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return -1;
    return tileRect(index.row()).contains(pos) ? index.row() : -1;
}

TavloItem TavloItemListView::itemForID(const QUuid &id, bool *found) const
{
    const int row = m_model->rowForID(id);
    *found = row >= 0;
    return row >= 0 ? m_model->itemAt(row) : TavloItem();
}

// --- Actions

void TavloItemListView::previewItem(const QUuid &id)
{
    bool found = false;
    const TavloItem item = itemForID(id, &found);
    if (found)
        Q_EMIT previewRequested(item);
}

void TavloItemListView::openItem(const QUuid &id)
{
    bool found = false;
    const TavloItem item = itemForID(id, &found);
    if (!found)
        return;
    if (item.isFile()) {
        if (TavloItemCell::isFileAvailable(item)) {
            DesktopOpen::openWithDesktop(item);
        } else {
            Q_EMIT previewRequested(item); // the preview explains that the file is unavailable
        }
    } else if (const auto *text = std::get_if<TextItemKind>(&item.kind)) {
        Q_EMIT snippetRequested(id, text->payload);
    } else {
        DesktopOpen::openWithDesktop(item);
    }
}

void TavloItemListView::removeItem(const QUuid &id)
{
    if (m_store)
        m_store->removeItem(id);
}

void TavloItemListView::beginRename(const QUuid &id)
{
    bool found = false;
    const TavloItem item = itemForID(id, &found);
    if (!found)
        return;
    delete m_renamePrompt;

    auto *dialog = new QDialog(window());
    dialog->setObjectName(QStringLiteral("renamePrompt"));
    dialog->setWindowTitle(TavloItemCell::renamePromptTitle(item));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(dialog);
    auto *heading = new QLabel(TavloItemCell::renamePromptTitle(item), dialog);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    heading->setFont(headingFont);
    layout->addWidget(heading);
    layout->addWidget(new QLabel(QStringLiteral("Give this Tavlo item a short label."), dialog));
    auto *field = new QLineEdit(TavloItemCell::renameDraft(item), dialog);
    field->setObjectName(QStringLiteral("renameField"));
    field->setPlaceholderText(QStringLiteral("Title"));
    field->selectAll();
    layout->addWidget(field);
    auto *buttons = new QDialogButtonBox(dialog);
    QPushButton *cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    QPushButton *save = buttons->addButton(QStringLiteral("Save"), QDialogButtonBox::AcceptRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    save->setObjectName(QStringLiteral("saveButton"));
    save->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QPointer<TavloStore> store = m_store;
    connect(dialog, &QDialog::accepted, this, [store, id, field] {
        // Trimming and "blank means no title" are the store's rules.
        if (store)
            store->renameItem(id, field->text());
    });
    m_renamePrompt = dialog;
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
    field->setFocus();
}

QMenu *TavloItemListView::createContextMenu(const QUuid &id, QWidget *parent)
{
    bool found = false;
    const TavloItem item = itemForID(id, &found);
    auto *menu = new QMenu(parent);
    if (!found)
        return menu;
    QPointer<TavloItemListView> self(this);
    auto onSelf = [self](auto action) {
        return [self, action] {
            if (self)
                action(self.data());
        };
    };
    if (item.isFile()) {
        const QString path = TavloItemCell::filePath(item);
        if (TavloItemCell::isFileAvailable(item)) {
            menu->addAction(QStringLiteral("Open"), menu, [item] { DesktopOpen::openWithDesktop(item); });
            menu->addAction(QStringLiteral("Show in File Manager"), menu,
                            [path] { DesktopOpen::showInFileManager(path); });
        } else {
            QAction *label = menu->addAction(QStringLiteral("File Unavailable"));
            label->setIcon(
                QIcon(SymbolPainter::pixmap(QStringLiteral("exclamationmark.triangle"), 16,
                                            palette().color(QPalette::WindowText), devicePixelRatioF())));
            label->setEnabled(false);
        }
    } else if (item.isText()) {
        menu->addAction(QStringLiteral("Open"), menu,
                        onSelf([id](TavloItemListView *v) { v->openItem(id); }));
        menu->addAction(QStringLiteral("Copy"), menu, [item] { TavloItemCell::copyToClipboard(item); });
        menu->addAction(QStringLiteral("Rename\u2026"), menu,
                        onSelf([id](TavloItemListView *v) { v->beginRename(id); }));
    } else {
        menu->addAction(QStringLiteral("Open URL"), menu, [item] { DesktopOpen::openWithDesktop(item); })
            ->setEnabled(DesktopOpen::isOpenableLink(std::get<UrlItemKind>(item.kind).url));
        menu->addAction(QStringLiteral("Copy URL"), menu, [item] { TavloItemCell::copyToClipboard(item); });
        menu->addAction(QStringLiteral("Rename\u2026"), menu,
                        onSelf([id](TavloItemListView *v) { v->beginRename(id); }));
    }
    menu->addSeparator();
    menu->addAction(QStringLiteral("Remove from Tavlo"), menu,
                    onSelf([id](TavloItemListView *v) { v->removeItem(id); }));
    return menu;
}

// --- Events

void TavloItemListView::setHover(int row, bool removeHovered)
{
    if (row != m_hoveredRow) {
        const int old = m_hoveredRow;
        m_hoveredRow = row;
        // The remove button appears and goes at once; only its colour change is animated.
        m_removeAnimation.stop();
        m_removeHovered = false;
        m_delegate->setRemoveHighlight(0);
        if (old >= 0 && old < m_model->rowCount())
            viewport()->update(visualRect(m_model->index(old)).adjusted(-4, -4, 4, 4));
        if (row >= 0)
            viewport()->update(visualRect(m_model->index(row)).adjusted(-4, -4, 4, 4));
    }
    if (removeHovered != m_removeHovered) {
        m_removeHovered = removeHovered;
        m_removeAnimation.stop();
        m_removeAnimation.setStartValue(removeHovered ? 0.0 : 1.0);
        m_removeAnimation.setEndValue(removeHovered ? 1.0 : 0.0);
        m_removeAnimation.start();
    }
}

void TavloItemListView::updateHover(const QPoint &pos)
{
    if (!viewport()->rect().contains(pos)) {
        setHover(-1, false);
        return;
    }
    // The remove button pokes out of its tile, so it is tested before the cell under the pointer.
    if (m_hoveredRow >= 0 && m_hoveredRow < m_model->rowCount()
        && removeButtonRect(m_hoveredRow).contains(pos)) {
        setHover(m_hoveredRow, true);
        return;
    }
    const QModelIndex index = indexAt(pos);
    setHover(index.isValid() ? index.row() : -1, false);
}

bool TavloItemListView::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Leave:
        setHover(-1, false);
        break;
    case QEvent::ToolTip: {
        auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        if (!index.isValid()) {
            QToolTip::hideText();
            return true;
        }
        const TavloItem item = m_model->itemAt(index.row());
        const bool available = item.isFile() && TavloItemCell::isFileAvailable(item);
        QToolTip::showText(help->globalPos(), plainToolTip(TavloItemCell::helpText(item, available)),
                           viewport(), visualRect(index));
        return true;
    }
    default:
        break;
    }
    return QListView::viewportEvent(event);
}

void TavloItemListView::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    m_dragStarted = false;
    m_pressedID = QUuid();
    m_pressOnTile = false;
    m_pressOnRemove = false;
    if (event->button() != Qt::LeftButton)
        return;
    updateHover(pos);
    if (m_hoveredRow >= 0 && removeButtonRect(m_hoveredRow).contains(pos)) {
        m_pressOnRemove = true;
        m_pressedID = m_model->itemAt(m_hoveredRow).id;
        return;
    }
    // Clicks belong to the tile; a drag may start anywhere in the cell, title included.
    const QModelIndex index = indexAt(pos);
    if (!index.isValid() || !visualRect(index).contains(pos))
        return;
    m_pressOnTile = tileRect(index.row()).contains(pos);
    m_pressedID = m_model->itemAt(index.row()).id;
    m_pressPos = pos;
}

void TavloItemListView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    updateHover(pos);
    if (!(event->buttons() & Qt::LeftButton) || m_pressedID.isNull() || m_pressOnRemove || m_dragStarted)
        return;
    if ((pos - m_pressPos).manhattanLength() < QApplication::startDragDistance())
        return;
    const int row = m_model->rowForID(m_pressedID);
    if (row < 0)
        return;
    m_dragStarted = true;
    m_clickTimer.stop();
    m_pendingClickID = QUuid();
    startItemDrag(row);
}

void TavloItemListView::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const QUuid id = m_pressedID;
    const bool onTile = m_pressOnTile;
    const bool onRemove = m_pressOnRemove;
    const bool dragged = m_dragStarted;
    const bool afterDoubleClick = m_doubleClicked;
    m_pressedID = QUuid();
    m_pressOnTile = m_pressOnRemove = m_dragStarted = m_doubleClicked = false;
    if (event->button() != Qt::LeftButton || id.isNull() || dragged || afterDoubleClick)
        return;
    const int row = m_model->rowForID(id);
    if (row < 0)
        return;
    if (onRemove) {
        if (removeButtonRect(row).contains(pos))
            removeItem(id);
        return;
    }
    if (onTile && tileRect(row).contains(pos)) {
        // A single click previews only once it cannot become a double click.
        m_pendingClickID = id;
        m_clickTimer.start(QApplication::doubleClickInterval());
    }
}

void TavloItemListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    if (m_hoveredRow >= 0 && removeButtonRect(m_hoveredRow).contains(pos)) {
        // A quick second click on the remove button is just another press of it.
        mousePressEvent(event);
        return;
    }
    m_clickTimer.stop();
    m_pendingClickID = QUuid();
    const int row = rowAtTile(pos);
    if (row < 0)
        return;
    m_doubleClicked = true;
    m_pressedID = m_model->itemAt(row).id;
    openItem(m_pressedID);
}

void TavloItemListView::leaveEvent(QEvent *event)
{
    setHover(-1, false);
    QListView::leaveEvent(event);
}

void TavloItemListView::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid()) {
        event->ignore(); // the card's own menu ("Paste") takes it
        return;
    }
    m_clickTimer.stop();
    QMenu *menu = createContextMenu(m_model->itemAt(index.row()).id, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

void TavloItemListView::wheelEvent(QWheelEvent *event)
{
    if (m_orientation == TavloOrientation::horizontal) {
        // An ordinary mouse wheel scrolls the row sideways.
        const QPoint delta = event->pixelDelta().isNull() ? event->angleDelta() / 2 : event->pixelDelta();
        const int step = std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y();
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - step);
        event->accept();
        return;
    }
    QListView::wheelEvent(event);
}

void TavloItemListView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy) && m_hoveredRow >= 0) {
        TavloItemCell::copyToClipboard(m_model->itemAt(m_hoveredRow));
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void TavloItemListView::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    updateHover(viewport()->mapFromGlobal(QCursor::pos()));
    // Not restarted while scrolling goes on: a long scroll would otherwise keep every picture it
    // passed until it stops.
    if (!m_pruneTimer.isActive())
        m_pruneTimer.start();
}

QPair<int, int> TavloItemListView::visibleRowRange() const
{
    const int count = m_model->rowCount();
    if (count == 0)
        return {0, -1};
    const QSize cell = gridSize().isValid() ? gridSize() : cellSize();
    const bool horizontal = m_orientation == TavloOrientation::horizontal;
    const int extent = std::max(1, horizontal ? cell.width() : cell.height());
    const int offset = horizontal ? horizontalOffset() : verticalOffset();
    const int length = horizontal ? viewport()->width() : viewport()->height();
    const int first = std::clamp(offset / extent, 0, count - 1);
    const int last = std::clamp((offset + length) / extent, 0, count - 1);
    return {first, last};
}

void TavloItemListView::pruneVisuals()
{
    const auto [first, last] = visibleRowRange();
    if (m_visuals->size() <= (last - first + 1) + 2 * visualsMargin)
        return;
    QSet<QUuid> keep;
    const int from = std::max(0, first - visualsMargin);
    const int to = std::min(m_model->rowCount() - 1, last + visualsMargin);
    for (int row = from; row <= to; ++row)
        keep.insert(m_model->itemAt(row).id);
    m_visuals->forgetAllExcept(keep);
}

void TavloItemListView::startItemDrag(int row)
{
    const TavloItem item = m_model->itemAt(row);
    auto *drag = new QDrag(this);
    drag->setMimeData(TavloItemCell::dragMimeData(item));
    const qreal dpr = devicePixelRatioF();
    QPixmap image(QSize(TavloItemCell::tileSide, TavloItemCell::tileSide) * dpr);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        m_delegate->paintTile(painter, QRect(0, 0, TavloItemCell::tileSide, TavloItemCell::tileSide), item,
                              false, dpr);
    }
    drag->setPixmap(image);
    drag->setHotSpot(m_pressPos - tileRect(row).topLeft());
    executeDrag(drag);
}

void TavloItemListView::executeDrag(QDrag *drag)
{
    // Qt deletes the drag itself: on X11 the receiver fetches the data after exec() has returned.
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}
