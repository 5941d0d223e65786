#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

#include "model/TavloItem.h"
#include "widgetkit/PanelCard.h"

class Settings;
class QDialog;
class QHBoxLayout;
class QAbstractButton;
class QFrame;
class QLabel;
class QMenu;
class QMimeData;
class QVariantAnimation;
class QVBoxLayout;
class TavloEmptyState;
class TavloIngest;
class TavloItemListView;
class TavloMenuButton;
class TavloStore;
class TavloThumbnailLoader;
class QAction;
class ToneLabel;
class CardIconButton;
class QLabel;
class WindowDragArea;

// The whole content of the tavlo panel: a rounded translucent card with the
// header (drag handle, tavlo menu, item count, About and Clear buttons) above
// the item list or, for an empty tavlo, an invitation to drop something. The
// whole card takes drops and offers "Paste". It shows and changes the store it
// is given and hands drops and pastes to the given ingest; both outlive it.
//
// The hosting window needs Qt::WA_TranslucentBackground for the area around the
// card to show through; the card itself is painted here.
class ContentView : public QWidget
{
    Q_OBJECT

public:
    // Without a thumbnail loader, file cells keep their symbol tiles. The orientation is read from
    // `settings` and the orientation command stores it there.
    ContentView(TavloStore &store, TavloIngest &ingest, Settings &settings,
                TavloThumbnailLoader *thumbnails = nullptr, QWidget *parent = nullptr);
    ~ContentView() override;

    // The panel's size that fits the card of an orientation exactly.
    // Does a drag offering `mime` carry anything the card takes?
    static bool acceptsMimeData(const QMimeData *mime);

    TavloStore *store() const { return m_store; }
    TavloIngest *ingest() const { return m_ingest; }
    TavloItemListView *itemListView() const { return m_itemList; }

    TavloOrientation orientation() const { return m_orientation; }
    // The orientation command: a change re-lays the card out and stores the new
    // orientation in the settings, which announce it. The current orientation
    // changes nothing.
    void setOrientation(TavloOrientation orientation);

    bool isDropTargeted() const { return m_dropTargeted; }
    // The title, count and empty-state text as they are shown now.
    QString titleText() const;
    QString countText() const;
    bool isShowingEmptyState() const;
    bool isClearButtonShown() const;
    TavloEmptyState *emptyState() const { return m_emptyState; }

    // The tavlo menu and the card's context menu, each filled for the current
    // state. The menu button and right clicks show these same menus.
    QMenu *tavloMenu();
    QMenu *cardContextMenu();

    // The commands behind the tavlo menu and the header buttons.
    void showNewTavloDialog();
    void showRenameTavloDialog();
    void showDeleteTavloDialog();
    void clearTavlo();

    // The dialog that is open now, if any, and the text of the name field in New
    // and Rename.
    QDialog *openDialog() const;
    QString tavloNameDraft() const { return m_tavloNameDraft; }
    bool isShowingNewTavlo() const { return m_showingNewTavlo; }
    bool isShowingRenameTavlo() const { return m_showingRenameTavlo; }
    bool isShowingDeleteTavlo() const { return m_showingDeleteTavlo; }

    // Runs the paste command (what the "Paste" entry does).
    void paste();
    bool canPaste() const;

    // Another application's clipboard asked off the GUI thread, with a time budget, so that an
    // owner that stopped answering cannot freeze the panel (the X11 adapter fills this in).
    // Both run on a worker thread and give nothing when the owner did not answer. Without a
    // probe, Qt's clipboard is asked directly.
    struct ClipboardProbe
    {
        std::function<std::optional<QStringList>()> formats;
        std::function<std::optional<QList<std::pair<QString, QByteArray>>>(const QStringList &wanted)> read;
    };
    void setClipboardProbe(ClipboardProbe probe) { m_clipboardProbe = std::move(probe); }
    static constexpr const char *clipboardSilentText = "The clipboard is not answering";

    QSize sizeHint() const override;

    // A message for the user under the header, until its close button is pressed.
    void showNotice(const QString &text);
    // The notice on show, empty when there is none.
    QString noticeText() const;
    QAbstractButton *noticeCloseButton() const { return m_noticeClose; }

Q_SIGNALS:
    void aboutRequested();
    void quitRequested();
    void dropTargetedChanged(bool targeted);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildHeader();
    void applyOrientation();
    void refreshTitle();
    void refreshItems();
    void setDropTargeted(bool targeted);
    void layoutCard();
    void layoutNotice();
    QRectF cardRect() const;
    void fillTavloMenu();
    void showNameDialog(bool creating);
    void closeDialog();
    void onOrientationAnnounced(TavloOrientation orientation);
    bool isOwnDrag(const QDropEvent *event) const;

    TavloStore *m_store = nullptr;
    TavloIngest *m_ingest = nullptr;
    ClipboardProbe m_clipboardProbe;

    QWidget *m_content = nullptr;
    QVBoxLayout *m_contentLayout = nullptr;
    QVBoxLayout *m_headerLayout = nullptr;
    QHBoxLayout *m_titleRowLayout = nullptr;
    WindowDragArea *m_dragArea = nullptr;
    TavloMenuButton *m_menuButton = nullptr;
    ToneLabel *m_countLabel = nullptr;
    CardIconButton *m_aboutButton = nullptr;
    CardIconButton *m_clearButton = nullptr;
    QLabel *m_saveWarning = nullptr; // shown while something could not be written
    void updateSaveWarning();
    TavloEmptyState *m_emptyState = nullptr;
    TavloItemListView *m_itemList = nullptr;
    QMenu *m_tavloMenu = nullptr;
    QFrame *m_notice = nullptr;
    QLabel *m_noticeLabel = nullptr;
    QAbstractButton *m_noticeClose = nullptr;
    QMenu *m_contextMenu = nullptr;
    QMenu *m_orientationMenu = nullptr;

    bool m_dropTargeted = false;
    qreal m_dropProgress = 0;
    QVariantAnimation *m_dropAnimation = nullptr;

    Settings &m_settings;
    TavloOrientation m_orientation = TavloOrientation::horizontal;
    // The card size the orientation animation starts from, and how far it has
    // come.
    QSizeF m_cardFrom;
    qreal m_orientationProgress = 1;
    QVariantAnimation *m_orientationAnimation = nullptr;

    bool m_showingNewTavlo = false;
    bool m_showingRenameTavlo = false;
    bool m_showingDeleteTavlo = false;
    QString m_tavloNameDraft;
    QPointer<QDialog> m_dialog;

    PanelCard m_card;
};
