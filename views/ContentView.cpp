#include "views/ContentView.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSemaphore>
#include <QThreadPool>
#include <QToolButton>
#include <QToolTip>
#include <QVariantAnimation>

#include "ingest/TavloIngest.h"
#include "model/TavloStore.h"
#include "platform/SaveStatus.h"
#include "platform/Settings.h"
#include "views/ContentViewParts.h"
#include "views/TavloItemListView.h"
#include "widgetkit/PanelCard.h"
#include "widgetkit/PanelMetrics.h"
#include "widgetkit/PanelStyle.h"
#include "widgetkit/SymbolPainter.h"
#include "widgetkit/WindowDragArea.h"

using PanelStyle::Tone;

namespace {

constexpr int dropAnimationMs = 150;
constexpr int orientationAnimationMs = 180;
// Longest tavlo name a menu entry or a dialog title shows before eliding, in
// pixels.
constexpr int longestShownName = 420;

QString shownName(const QString &name, const QFontMetrics &metrics)
{
    QString flat = name;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return metrics.elidedText(flat, Qt::ElideRight, longestShownName);
}

// Menu texts treat "&" as a mnemonic marker; a tavlo name is shown as typed.
QString menuText(const QString &text)
{
    QString escaped = text;
    return escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

ContentView::ContentView(TavloStore &store, TavloIngest &ingest, Settings &settings,
                         TavloThumbnailLoader *thumbnails, QWidget *parent)
    : QWidget(parent), m_store(&store), m_ingest(&ingest), m_settings(settings),
      m_orientation(settings.orientation())
{
    // A tool tip tells why a drop or paste added nothing, without taking the keyboard.
    connect(m_ingest, &TavloIngest::refused, this, [this](const QString &message) {
        QToolTip::showText(mapToGlobal(rect().center()), message, this, QRect(), 6000);
    });
    setAcceptDrops(true);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);

    m_content = new QWidget(this);
    m_contentLayout = new QVBoxLayout(m_content);
    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_contentLayout->setSpacing(12);

    m_contentLayout->addStretch(0);
    buildHeader();

    m_emptyState = new TavloEmptyState(m_content);
    m_itemList = new TavloItemListView(m_content);
    m_itemList->setStore(m_store);
    m_itemList->setThumbnailLoader(thumbnails);
    m_itemList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_itemList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_itemList->setFrameShape(QFrame::NoFrame);

    m_contentLayout->addWidget(m_emptyState);
    m_contentLayout->addWidget(m_itemList);
    m_contentLayout->addStretch(0);

    m_tavloMenu = new QMenu(this);
    m_orientationMenu = new QMenu(QStringLiteral("Orientation"), this);
    m_contextMenu = new QMenu(this);
    connect(m_tavloMenu, &QMenu::aboutToShow, this, &ContentView::fillTavloMenu);

    m_dropAnimation = new QVariantAnimation(this);
    m_dropAnimation->setDuration(dropAnimationMs);
    m_dropAnimation->setEasingCurve(PanelStyle::easeOut());
    connect(m_dropAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_dropProgress = value.toReal();
        m_emptyState->setHighlight(m_dropProgress, m_dropTargeted);
        update();
    });

    m_orientationAnimation = new QVariantAnimation(this);
    m_orientationAnimation->setDuration(orientationAnimationMs);
    m_orientationAnimation->setEasingCurve(PanelStyle::easeInOut());
    m_orientationAnimation->setStartValue(0.0);
    m_orientationAnimation->setEndValue(1.0);
    connect(m_orientationAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_orientationProgress = value.toReal();
        layoutCard();
        update();
    });

    connect(m_store, &TavloStore::itemsChanged, this, &ContentView::refreshItems);
    connect(m_store, &TavloStore::tavlosChanged, this, &ContentView::refreshTitle);
    connect(m_store, &TavloStore::activeTavloIDChanged, this, &ContentView::refreshTitle);
    connect(&m_settings, &Settings::changed, this, [this](Settings::Key key) {
        if (key == Settings::Key::orientation)
            onOrientationAnnounced(m_settings.orientation());
    });

    m_cardFrom = PanelMetrics::cardSize(m_orientation);
    applyOrientation();
    refreshTitle();
    refreshItems();
    resize(PanelMetrics::panelSize(m_orientation));
}

ContentView::~ContentView() = default;

QSize ContentView::sizeHint() const
{
    return PanelMetrics::panelSize(m_orientation);
}

bool ContentView::acceptsMimeData(const QMimeData *mime)
{
    if (!mime)
        return false;
    if (mime->hasUrls() || mime->hasImage() || mime->hasHtml() || mime->hasText())
        return true;
    static const QStringList exact = {
        QStringLiteral("text/uri-list"),  QStringLiteral("application/x-qt-image"),
        QStringLiteral("text/x-moz-url"), QStringLiteral("_NETSCAPE_URL"),
        QStringLiteral("text/rtf"),       QStringLiteral("application/rtf"),
        QStringLiteral("text/richtext"),  QStringLiteral("text/html"),
    };
    const QStringList formats = mime->formats();
    for (const QString &format : formats) {
        if (exact.contains(format, Qt::CaseInsensitive)
            || format.startsWith(QLatin1String("image/"), Qt::CaseInsensitive)
            || format.startsWith(QLatin1String("text/plain"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

void ContentView::buildHeader()
{
    auto *header = new QWidget(m_content);
    m_headerLayout = new QVBoxLayout(header);
    m_headerLayout->setContentsMargins(0, 0, 0, 0);

    m_dragArea = new WindowDragArea(header);
    m_headerLayout->addWidget(m_dragArea);

    m_titleRowLayout = new QHBoxLayout;
    m_titleRowLayout->setSpacing(10);
    m_headerLayout->addLayout(m_titleRowLayout);

    auto *titleColumn = new QVBoxLayout;
    titleColumn->setSpacing(1);
    titleColumn->setContentsMargins(0, 0, 0, 0);
    m_menuButton = new TavloMenuButton(header);
    m_countLabel = new ToneLabel(PanelStyle::captionFont(), Tone::secondary, header);
    titleColumn->addWidget(m_menuButton, 0, Qt::AlignLeft);
    titleColumn->addWidget(m_countLabel, 0, Qt::AlignLeft);
    m_titleRowLayout->addLayout(titleColumn, 1);
    m_titleRowLayout->addStretch(0);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_saveWarning = new QLabel(header);
    m_saveWarning->setObjectName(QStringLiteral("saveWarning"));
    m_saveWarning->setPixmap(SymbolPainter::pixmap(QStringLiteral("exclamationmark.triangle"), 14,
                                                   QColor(0xE8, 0x8A, 0x1A), devicePixelRatioF()));
    m_saveWarning->setFixedSize(18, 28);
    m_saveWarning->setAlignment(Qt::AlignCenter);
    buttons->addWidget(m_saveWarning);
    m_aboutButton =
        new CardIconButton(QStringLiteral("info.circle"), QStringLiteral("About Quorvin"), header);
    m_clearButton = new CardIconButton(QStringLiteral("trash"), QStringLiteral("Clear Tavlo"), header);
    buttons->addWidget(m_aboutButton);
    buttons->addWidget(m_clearButton);
    m_titleRowLayout->addLayout(buttons);
    m_titleRowLayout->setAlignment(buttons, Qt::AlignVCenter);

    m_contentLayout->addWidget(header);

    connect(m_menuButton, &QAbstractButton::clicked, this, [this] {
        fillTavloMenu();
        m_tavloMenu->popup(m_menuButton->mapToGlobal(QPoint(0, m_menuButton->height() + 2)));
    });
    connect(m_aboutButton, &QAbstractButton::clicked, this, &ContentView::aboutRequested);
    connect(m_clearButton, &QAbstractButton::clicked, this, &ContentView::clearTavlo);
    connect(&SaveStatus::instance(), &SaveStatus::changed, this, &ContentView::updateSaveWarning);
    updateSaveWarning();
}

void ContentView::updateSaveWarning()
{
    const QString message = SaveStatus::instance().message();
    m_saveWarning->setToolTip(message);
    m_saveWarning->setAccessibleName(message);
    m_saveWarning->setVisible(!message.isEmpty());
}

void ContentView::applyOrientation()
{
    const bool vertical = m_orientation == TavloOrientation::vertical;

    m_headerLayout->setSpacing(vertical ? 7 : 4);
    m_headerLayout->setAlignment(m_dragArea, vertical ? Qt::AlignHCenter : Qt::Alignment());
    m_dragArea->setShowsCapsule(vertical);
    if (vertical) {
        m_dragArea->setFixedSize(54, 12);
    } else {
        m_dragArea->setMinimumWidth(0);
        m_dragArea->setMaximumWidth(QWIDGETSIZE_MAX);
        m_dragArea->setFixedHeight(10);
        m_dragArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    m_titleRowLayout->setContentsMargins(vertical ? 4 : 0, 0, vertical ? 4 : 0, 0);

    m_emptyState->setOrientation(m_orientation);
    m_itemList->setOrientation(m_orientation);
    if (vertical) {
        m_itemList->setMinimumHeight(0);
        m_itemList->setMaximumHeight(QWIDGETSIZE_MAX);
        m_itemList->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    } else {
        m_itemList->setFixedHeight(100);
        m_itemList->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    // Horizontal: the stack is centred in the card (the empty state is shorter
    // than the list); vertical: the item area takes every remaining pixel.
    const int around = vertical ? 0 : 1;
    const int lastIndex = m_contentLayout->count() - 1;
    m_contentLayout->setStretch(1, 0);
    m_contentLayout->setStretch(0, around);
    m_contentLayout->setStretch(lastIndex, around);
    m_contentLayout->setStretchFactor(m_emptyState, vertical ? 1 : 0);
    m_contentLayout->setStretchFactor(m_itemList, vertical ? 1 : 0);
    m_content->updateGeometry();
    layoutCard();
    update();
}

void ContentView::setOrientation(TavloOrientation orientation)
{
    if (orientation == m_orientation)
        return;
    // Switch first, so the announcement below finds this view already in its new
    // layout.
    onOrientationAnnounced(orientation);
    m_settings.setOrientation(orientation);
}

void ContentView::onOrientationAnnounced(TavloOrientation orientation)
{
    if (orientation == m_orientation)
        return;
    m_cardFrom = cardRect().size();
    m_orientation = orientation;
    applyOrientation();
    if (isWindow())
        resize(PanelMetrics::panelSize(orientation));
    else
        updateGeometry();
    m_orientationAnimation->stop();
    m_orientationProgress = 0;
    m_orientationAnimation->start();
    layoutCard();
}

QRectF ContentView::cardRect() const
{
    const QSizeF target = PanelMetrics::cardSize(m_orientation);
    const qreal p = m_orientationProgress;
    QSizeF size(m_cardFrom.width() + (target.width() - m_cardFrom.width()) * p,
                m_cardFrom.height() + (target.height() - m_cardFrom.height()) * p);
    // While the window has not caught up with the new orientation the card stays
    // inside it.
    size = size.boundedTo(QSizeF(qMax(0, width() - 2 * PanelMetrics::cardInset),
                                 qMax(0, height() - 2 * PanelMetrics::cardInset)));
    const QPointF center = QRectF(rect()).center();
    return QRectF(center - QPointF(size.width() / 2, size.height() / 2), size);
}

void ContentView::layoutCard()
{
    const QRectF inner = cardRect().adjusted(18, 14, -18, -14);
    m_content->setGeometry(inner.toRect());
    layoutNotice();
}

void ContentView::showNotice(const QString &text)
{
    if (!m_notice) {
        // Over the top of the item area, so the card keeps its layout.
        m_notice = new QFrame(this);
        m_notice->setObjectName(QStringLiteral("notice"));
        m_notice->setAutoFillBackground(true);
        m_notice->setFrameShape(QFrame::StyledPanel);
        auto *row = new QHBoxLayout(m_notice);
        row->setContentsMargins(10, 6, 4, 6);
        row->setSpacing(6);
        m_noticeLabel = new QLabel(m_notice);
        m_noticeLabel->setTextFormat(Qt::PlainText);
        m_noticeLabel->setWordWrap(true);
        m_noticeLabel->setFont(PanelStyle::captionFont());
        row->addWidget(m_noticeLabel, 1);
        auto *close = new QToolButton(m_notice);
        close->setText(QStringLiteral("✕"));
        close->setAutoRaise(true);
        close->setToolTip(QStringLiteral("Dismiss"));
        close->setAccessibleName(QStringLiteral("Dismiss"));
        row->addWidget(close, 0, Qt::AlignTop);
        m_noticeClose = close;
        connect(close, &QToolButton::clicked, m_notice, &QWidget::hide);
    }
    m_noticeLabel->setText(text);
    m_notice->show();
    m_notice->raise();
    layoutNotice();
}

QString ContentView::noticeText() const
{
    return m_notice && !m_notice->isHidden() ? m_noticeLabel->text() : QString();
}

void ContentView::layoutNotice()
{
    if (!m_notice || m_notice->isHidden())
        return;
    const QRect inner = m_content->geometry();
    const int top = inner.top() + m_headerLayout->geometry().bottom() + 4;
    const int height = std::min(m_notice->heightForWidth(inner.width()), inner.bottom() - top);
    m_notice->setGeometry(inner.left(), top, inner.width(), std::max(0, height));
}

void ContentView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutCard();
}

void ContentView::refreshTitle()
{
    m_menuButton->setText(m_store->activeTavloName());
    m_menuButton->setAccessibleName(m_store->activeTavloName());
    m_menuButton->updateGeometry();
}

void ContentView::refreshItems()
{
    const qsizetype count = m_store->items().size();
    m_countLabel->setText(countText());
    const bool empty = count == 0;
    m_clearButton->setVisible(!empty);
    m_emptyState->setVisible(empty);
    m_itemList->setVisible(!empty);
}

QString ContentView::titleText() const
{
    return m_store->activeTavloName();
}

QString ContentView::countText() const
{
    const long long count = m_store->items().size();
    return QString::asprintf("%lld", count) + QStringLiteral(" item")
        + (count == 1 ? QString() : QStringLiteral("s"));
}

bool ContentView::isShowingEmptyState() const
{
    return !m_emptyState->isHidden();
}

bool ContentView::isClearButtonShown() const
{
    return !m_clearButton->isHidden();
}

void ContentView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        update();
}

void ContentView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A dialog must not float on screen for a panel that is gone; hiding counts as cancelling.
    closeDialog();
    setDropTargeted(false);
}

void ContentView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    m_card.paint(painter, cardRect(), palette(), m_dropProgress);
}

void ContentView::setDropTargeted(bool targeted)
{
    if (m_dropTargeted == targeted)
        return;
    m_dropTargeted = targeted;
    m_dropAnimation->stop();
    m_dropAnimation->setStartValue(m_dropProgress);
    m_dropAnimation->setEndValue(targeted ? 1.0 : 0.0);
    m_dropAnimation->start();
    m_emptyState->setHighlight(m_dropProgress, m_dropTargeted);
    update();
    Q_EMIT dropTargetedChanged(targeted);
}

bool ContentView::isOwnDrag(const QDropEvent *event) const
{
    // An item dragged out of this card and let go over it would come back as a
    // duplicate.
    const auto *source = qobject_cast<const QWidget *>(event->source());
    return source && (source == this || isAncestorOf(source));
}

void ContentView::dragEnterEvent(QDragEnterEvent *event)
{
    if (isOwnDrag(event) || !acceptsMimeData(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setDropTargeted(true);
}

void ContentView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!m_dropTargeted) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void ContentView::dragLeaveEvent(QDragLeaveEvent *event)
{
    event->accept();
    setDropTargeted(false);
}

void ContentView::dropEvent(QDropEvent *event)
{
    setDropTargeted(false);
    const bool taken =
        !isOwnDrag(event) && acceptsMimeData(event->mimeData()) && m_ingest->handleDrop(event->mimeData());
    if (taken) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

namespace {

// One thread, so pastes read the clipboard one after another, in the order they were made.
QThreadPool &clipboardPool()
{
    static auto *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}

} // namespace

bool ContentView::canPaste() const
{
    return m_ingest->canPaste();
}

void ContentView::paste()
{
    const ClipboardProbe &probe = m_clipboardProbe;
    if (!probe.read) {
        m_ingest->pasteFromClipboard();
        return;
    }
    QPointer<ContentView> self(this);
    clipboardPool().start([self, read = probe.read] {
        auto content = read(TavloIngest::pasteFormats());
        QMetaObject::invokeMethod(
            qApp,
            [self, content = std::move(content)] {
                if (!self)
                    return;
                if (!content) {
                    QToolTip::showText(self->mapToGlobal(self->rect().center()),
                                       QString::fromLatin1(clipboardSilentText), self);
                    return;
                }
                QMimeData data;
                for (const auto &[format, bytes] : *content)
                    data.setData(format, bytes);
                self->m_ingest->pasteFromMimeData(data);
            },
            Qt::QueuedConnection);
    });
}

QMenu *ContentView::cardContextMenu()
{
    m_contextMenu->clear();
    m_contextMenu->setToolTipsVisible(true);
    QAction *pasteAction = m_contextMenu->addAction(QStringLiteral("Paste"));
    connect(pasteAction, &QAction::triggered, this, &ContentView::paste);
    const ClipboardProbe &probe = m_clipboardProbe;
    if (!probe.formats) {
        pasteAction->setEnabled(canPaste());
        return m_contextMenu;
    }
    // A live owner answers within a few milliseconds; one that does not answer by then gets the
    // menu anyway, and Paste is set when (or if) its answer comes.
    struct Answer
    {
        QSemaphore ready;
        std::optional<QStringList> formats;
    };
    auto answer = std::make_shared<Answer>();
    QPointer<QAction> action(pasteAction);
    const auto apply = [action, answer] {
        if (!action)
            return;
        action->setEnabled(answer->formats && TavloIngest::canPaste(*answer->formats));
        action->setToolTip(answer->formats ? QString() : QString::fromLatin1(clipboardSilentText));
    };
    pasteAction->setEnabled(false);
    clipboardPool().start([answer, apply, formats = probe.formats] {
        answer->formats = formats();
        answer->ready.release();
        QMetaObject::invokeMethod(qApp, apply, Qt::QueuedConnection);
    });
    if (answer->ready.tryAcquire(1, 100))
        apply();
    return m_contextMenu;
}

void ContentView::contextMenuEvent(QContextMenuEvent *event)
{
    cardContextMenu()->popup(event->globalPos());
    event->accept();
}

QMenu *ContentView::tavloMenu()
{
    fillTavloMenu();
    return m_tavloMenu;
}

void ContentView::fillTavloMenu()
{
    m_tavloMenu->clear();
    m_orientationMenu->clear();
    const QFontMetrics metrics(m_tavloMenu->font());

    const QUuid active = m_store->activeTavloID();
    for (const StoredTavloDefinition &tavlo : m_store->tavlos()) {
        QAction *action = m_tavloMenu->addAction(menuText(shownName(tavlo.name, metrics)));
        // Only the active entry is checkable, so the others show no indicator at
        // all.
        if (tavlo.id == active) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        const QUuid id = tavlo.id;
        connect(action, &QAction::triggered, this, [this, id] { m_store->selectTavlo(id); });
    }
    m_tavloMenu->addSeparator();
    connect(m_tavloMenu->addAction(QStringLiteral("New Tavlo\u2026")), &QAction::triggered, this,
            &ContentView::showNewTavloDialog);
    connect(m_tavloMenu->addAction(QStringLiteral("Rename Tavlo\u2026")), &QAction::triggered, this,
            &ContentView::showRenameTavloDialog);
    if (m_store->tavlos().size() >= 2) {
        connect(m_tavloMenu->addAction(QStringLiteral("Delete Tavlo\u2026")), &QAction::triggered, this,
                &ContentView::showDeleteTavloDialog);
    }
    m_tavloMenu->addSeparator();

    const auto addOrientation = [this](const QString &text, TavloOrientation orientation) {
        QAction *action = m_orientationMenu->addAction(text);
        if (orientation == m_orientation) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        connect(action, &QAction::triggered, this, [this, orientation] { setOrientation(orientation); });
    };
    addOrientation(QStringLiteral("Horizontal"), TavloOrientation::horizontal);
    addOrientation(QStringLiteral("Vertical"), TavloOrientation::vertical);
    m_tavloMenu->addMenu(m_orientationMenu);
    m_tavloMenu->addSeparator();
    connect(m_tavloMenu->addAction(QStringLiteral("Quit Quorvin")), &QAction::triggered, this,
            &ContentView::quitRequested);
}

QDialog *ContentView::openDialog() const
{
    return m_dialog;
}

void ContentView::clearTavlo()
{
    m_store->clearActiveTavlo();
}

void ContentView::closeDialog()
{
    if (m_dialog) {
        QDialog *dialog = m_dialog;
        m_dialog = nullptr;
        dialog->disconnect(this);
        dialog->reject();
        dialog->deleteLater();
    }
    m_showingNewTavlo = m_showingRenameTavlo = m_showingDeleteTavlo = false;
}

void ContentView::showNewTavloDialog()
{
    showNameDialog(true);
}

void ContentView::showRenameTavloDialog()
{
    showNameDialog(false);
}

void ContentView::showNameDialog(bool creating)
{
    closeDialog();
    m_tavloNameDraft = creating ? QString() : m_store->activeTavloName();
    (creating ? m_showingNewTavlo : m_showingRenameTavlo) = true;

    auto *dialog = new QDialog(this, Qt::Dialog | Qt::WindowStaysOnTopHint);
    dialog->setObjectName(creating ? QStringLiteral("newTavloDialog") : QStringLiteral("renameTavloDialog"));
    dialog->setWindowTitle(creating ? QStringLiteral("New Tavlo") : QStringLiteral("Rename Tavlo"));
    dialog->setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(dialog);

    auto *heading = new QLabel(dialog->windowTitle(), dialog);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    heading->setFont(headingFont);
    layout->addWidget(heading);
    if (creating) {
        auto *message = new QLabel(QStringLiteral("Create a separate working set."), dialog);
        message->setObjectName(QStringLiteral("message"));
        layout->addWidget(message);
    }

    auto *field = new QLineEdit(dialog);
    field->setObjectName(QStringLiteral("nameField"));
    field->setPlaceholderText(QStringLiteral("Tavlo name"));
    field->setMaxLength(qMax<qsizetype>(32767, m_tavloNameDraft.size()));
    field->setText(m_tavloNameDraft);
    field->setMinimumWidth(260);
    connect(field, &QLineEdit::textChanged, this, [this](const QString &text) { m_tavloNameDraft = text; });
    layout->addWidget(field);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    auto *confirm = new QPushButton(creating ? QStringLiteral("Create") : QStringLiteral("Save"), dialog);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    confirm->setObjectName(QStringLiteral("confirmButton"));
    cancel->setAutoDefault(false);
    confirm->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(confirm);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    connect(confirm, &QPushButton::clicked, dialog, &QDialog::accept);
    connect(dialog, &QDialog::finished, this, [this, dialog, creating](int result) {
        if (m_dialog != dialog)
            return;
        m_dialog = nullptr;
        m_showingNewTavlo = m_showingRenameTavlo = false;
        dialog->deleteLater();
        // The store trims the name and decides what a blank one means.
        if (result == QDialog::Accepted) {
            if (creating)
                m_store->createTavlo(m_tavloNameDraft);
            else
                m_store->renameActiveTavlo(m_tavloNameDraft);
        }
    });

    m_dialog = dialog;
    dialog->open();
    dialog->activateWindow();
    field->setFocus();
    field->selectAll();
}

void ContentView::showDeleteTavloDialog()
{
    closeDialog();
    // The command is offered only with two or more tavlos; the store refuses the
    // last one anyway.
    if (m_store->tavlos().size() < 2)
        return;
    m_showingDeleteTavlo = true;

    auto *box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("deleteTavloDialog"));
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setTextFormat(Qt::PlainText);
    const QString title = QStringLiteral("Delete \u201C")
        + shownName(m_store->activeTavloName(), box->fontMetrics()) + QStringLiteral("\u201D?");
    box->setWindowTitle(title);
    box->setText(title);
    box->setInformativeText(QStringLiteral("Its Tavlo items will be removed."));
    QPushButton *remove = box->addButton(QStringLiteral("Delete Tavlo"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    remove->setObjectName(QStringLiteral("confirmButton"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    // Enter must not delete a whole tavlo by accident.
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);

    connect(box, &QMessageBox::finished, this, [this, box, remove] {
        if (m_dialog != box)
            return;
        m_dialog = nullptr;
        m_showingDeleteTavlo = false;
        box->deleteLater();
        if (box->clickedButton() == remove)
            m_store->deleteActiveTavlo();
    });

    m_dialog = box;
    box->open();
    box->activateWindow();
}
