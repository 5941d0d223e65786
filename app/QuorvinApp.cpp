#include "app/QuorvinApp.h"

#include <QApplication>
#include <QMimeData>
#include <QPointer>

#include "about/AboutCardView.h"
#include "about/AboutWindowController.h"
#include "app/AppDelegate.h"
#include "app/SingleInstance.h"
#include "app/TavloPanel.h"
#include "app/UnixSignalWatcher.h"
#include "ingest/TavloIngest.h"
#include "model/TavloStore.h"
#include "platform/DesktopBackends.h"
#include "platform/Settings.h"
#include "platform/x11/X11Clipboard.h"
#include "preview/LargePreviewLoader.h"
#include "preview/TavloPreviewWindowController.h"
#include "snippets/TextSnippetWindowController.h"
#include "thumbnails/TavloThumbnailLoader.h"
#include "views/ContentView.h"
#include "views/TavloItemListView.h"

namespace {

// Paste through a connection of our own with short budgets: the menu asks once for TARGETS, a
// paste reads one format of each kind it can use.
ContentView::ClipboardProbe x11ClipboardProbe()
{
    constexpr qsizetype maxBytes = 256 * 1024 * 1024;
    ContentView::ClipboardProbe probe;
    probe.formats = []() -> std::optional<QStringList> {
        const X11Clipboard::Reply reply = X11Clipboard::targets(300);
        if (reply.status == X11Clipboard::Status::noAnswer)
            return std::nullopt;
        return X11Clipboard::mimeFormats(reply.targets);
    };
    probe.read = [](const QStringList &wanted) -> std::optional<QList<std::pair<QString, QByteArray>>> {
        const X11Clipboard::Reply offer = X11Clipboard::targets(1000);
        if (offer.status == X11Clipboard::Status::noAnswer)
            return std::nullopt;
        const QStringList offered = X11Clipboard::mimeFormats(offer.targets);
        QStringList chosen;
        bool rich = false; // one rich text format is enough
        for (const QString &format : wanted) {
            const bool isRich =
                format.contains(QLatin1String("rtf")) || format.contains(QLatin1String("richtext"));
            if (offered.contains(format) && !(isRich && rich)) {
                chosen << format;
                rich = rich || isRich;
            }
        }
        for (const char *text : {"text/plain;charset=utf-8", "text/plain", "text/plain;charset=ISO-8859-1"}) {
            if (offered.contains(QLatin1String(text))) {
                chosen << QLatin1String(text);
                break;
            }
        }
        QList<std::pair<QString, QByteArray>> content;
        for (const QString &format : std::as_const(chosen)) {
            const X11Clipboard::Reply reply =
                X11Clipboard::read(X11Clipboard::targetFor(format, offer.targets), 3000, maxBytes);
            if (reply.status == X11Clipboard::Status::noAnswer)
                return std::nullopt;
            if (reply.status == X11Clipboard::Status::answered)
                content.append({format, reply.data});
        }
        return content;
    };
    return probe;
}

} // namespace

QuorvinApp::QuorvinApp(const DesktopSession &session, std::unique_ptr<SingleInstance> instance)
    : m_settings(std::make_unique<Settings>()), m_instance(std::move(instance)),
      m_signals(std::make_unique<UnixSignalWatcher>())
{
    QApplication::setWindowIcon(AboutCardView::applicationIcon());

    AppDelegate::Environment environment;
    environment.hotKey = createGlobalHotKey(session);
    environment.settings = m_settings.get();
    m_delegate = std::make_unique<AppDelegate>(std::move(environment));

    // The store takes the data main() began decoding before Qt started, but only once the
    // panel is built: until then the loading thread and the window work side by side.
    m_store = std::make_unique<TavloStore>(TavloStore::LoadLater {});
    m_ingest = std::make_unique<TavloIngest>(*m_store);
    m_thumbnails = std::make_unique<TavloThumbnailLoader>();
    m_largePreviews = std::make_unique<LargePreviewLoader>();
    m_preview = std::make_unique<TavloPreviewWindowController>(*m_largePreviews);
    m_about = std::make_unique<AboutWindowController>();
    m_snippets = std::make_unique<TextSnippetWindowController>();
    m_snippets->setSettings(m_settings.get());

    if (m_instance) {
        connect(m_instance.get(), &SingleInstance::toggleRequested, m_delegate.get(),
                &AppDelegate::toggleTavlo);
        m_instance->setRequestHandler(
            [this](const QByteArray &command, const QByteArray &payload, const SingleInstance::Reply &reply) {
                reply(handleRequest(command, payload));
            });
    }
    connect(m_signals.get(), &UnixSignalWatcher::terminationRequested, qApp, &QuorvinApp::quit);
    connect(qApp, &QCoreApplication::aboutToQuit, m_delegate.get(), &AppDelegate::shutDown);
}

QuorvinApp::~QuorvinApp()
{
    if (m_delegate)
        m_delegate->shutDown();
}

void QuorvinApp::start()
{
    m_contentView = new ContentView(*m_store, *m_ingest, *m_settings, m_thumbnails.get());
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        m_contentView->setClipboardProbe(x11ClipboardProbe());
    connectWindows();
    m_delegate->startUp(m_contentView, [this] { m_store->finishLoading(); });
}

// Every route between the windows, and from them to the store.
void QuorvinApp::connectWindows()
{
    ContentView *content = m_contentView;
    TavloItemListView *items = content->itemListView();
    AppDelegate *delegate = m_delegate.get();

    // The header's commands and what the user must be told.
    connect(content, &ContentView::quitRequested, qApp, &QuorvinApp::quit, Qt::QueuedConnection);
    connect(content, &ContentView::aboutRequested, m_about.get(),
            [this] { m_about->showAbout(visiblePanelFrame()); });
    connect(delegate, &AppDelegate::hotKeyUnavailable, content, &ContentView::showNotice);

    // A click on a cell previews it beside the panel; "Open" there opens it as a double click does.
    m_preview->setTavloPanelFrameProvider([this] { return visiblePanelFrame(); });
    connect(items, &TavloItemListView::previewRequested, m_preview.get(),
            [this, items](const TavloItem &item) {
                QPointer<TavloItemListView> list(items);
                m_preview->showPreview(item, [list, id = item.id] {
                    if (list)
                        list->openItem(id);
                });
            });
    connect(m_preview.get(), &TavloPreviewWindowController::selectedItemIDChanged, items,
            &TavloItemListView::setSelectedItemID);

    // Text items open in snippet windows, whose edits go back to the store.
    connect(items, &TavloItemListView::snippetRequested, m_snippets.get(),
            [this](const QUuid &id, const RichTextPayload &payload) {
                QPointer<TavloStore> store(m_store.get());
                m_snippets->openSnippet(payload, [store, id](const RichText &text) {
                    if (store)
                        store->updateItemText(id, text);
                });
            });

    // Hiding the panel closes About and the preview; Escape closes the one on screen.
    connect(delegate, &AppDelegate::aboutCloseRequested, m_about.get(), &AboutWindowController::close);
    connect(delegate, &AppDelegate::previewCloseRequested, m_preview.get(),
            &TavloPreviewWindowController::close);
    connect(m_about.get(), &AboutWindowController::shownChanged, delegate, &AppDelegate::setAboutShown);
    connect(m_preview.get(), &TavloPreviewWindowController::shownChanged, delegate,
            &AppDelegate::setPreviewShown);

    // Shutdown ends with every change of the store on disk.
    connect(delegate, &AppDelegate::shutDownFinished, m_store.get(),
            [this] { m_store->waitForPendingWrites(); });
}

QRect QuorvinApp::visiblePanelFrame() const
{
    const TavloPanel *panel = m_delegate ? m_delegate->tavloPanel() : nullptr;
    return panel && panel->isVisible() ? panel->frameGeometry() : QRect();
}

// Items added from the command line take the drop rules: a URI list of files and links, or a text
// (a link alone becomes a link item).
QByteArray QuorvinApp::handleRequest(const QByteArray &command, const QByteArray &payload)
{
    if (!m_contentView)
        return "error the panel is not ready";
    QMimeData data;
    if (command == "add")
        data.setData(QStringLiteral("text/uri-list"), payload);
    else if (command == "add-text")
        data.setData(QStringLiteral("text/plain;charset=utf-8"), payload);
    else
        return "error unknown request";
    return m_ingest->handleDrop(&data) ? "ok" : "error nothing to add";
}

void QuorvinApp::quit()
{
    // Not QCoreApplication::quit(): that first asks every window to close, and the panel refuses.
    QCoreApplication::exit(0);
}
