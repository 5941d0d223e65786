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
#include "platform/x11/X11Clipboard.h"
#include "preview/TavloPreviewWindowController.h"
#include "snippets/TextSnippetWindowController.h"
#include "views/ContentView.h"
#include "views/TavloItemHooks.h"
#include "views/TavloItemListView.h"
#include "views/TavloOrientationNotifier.h"

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
    : m_instance(std::move(instance)), m_signals(std::make_unique<UnixSignalWatcher>())
{
    QApplication::setWindowIcon(AboutCardView::applicationIcon());
    AppDelegate::Environment environment;
    environment.hotKey = createGlobalHotKey(session);

    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        ContentView::setClipboardProbe(x11ClipboardProbe());
    auto contentView = std::make_shared<QPointer<ContentView>>();
    environment.makeContent = [this, contentView]() -> QWidget * {
        auto *view = new ContentView;
        *contentView = view;
        connect(view, &ContentView::quitRequested, qApp, &QuorvinApp::quit, Qt::QueuedConnection);
        connect(view, &ContentView::aboutRequested, this, [this] {
            if (TavloPanel *panel = m_delegate->tavloPanel())
                AboutWindowController::shared().showAbout(panel->isVisible() ? panel->frameGeometry()
                                                                             : QRect());
        });
        return view;
    };
    // Items added from the command line take the drop rules: a URI list of files and links, or
    // a text (a link alone becomes a link item).
    m_requests = [contentView](const QByteArray &command, const QByteArray &payload) -> QByteArray {
        if (!*contentView || !(*contentView)->ingest())
            return "error the panel is not ready";
        QMimeData data;
        if (command == "add")
            data.setData(QStringLiteral("text/uri-list"), payload);
        else if (command == "add-text")
            data.setData(QStringLiteral("text/plain;charset=utf-8"), payload);
        else
            return "error unknown request";
        return (*contentView)->ingest()->handleDrop(&data) ? "ok" : "error nothing to add";
    };
    environment.drainPendingWrites = [contentView] {
        if (*contentView && (*contentView)->store())
            (*contentView)->store()->waitForPendingWrites();
    };

    environment.observeOrientation = [](QObject *context, std::function<void(TavloOrientation)> apply) {
        return connect(&TavloOrientationNotifier::instance(), &TavloOrientationNotifier::orientationDidChange,
                       context, std::move(apply));
    };

    environment.auxiliary.isAboutVisible = [] {
        return AboutWindowController::shared().isShown();
    };
    environment.auxiliary.closeAbout = [] {
        AboutWindowController::shared().close();
    };
    environment.auxiliary.isPreviewVisible = [] {
        return TavloPreviewWindowController::shared().isShown();
    };
    environment.auxiliary.closePreview = [] {
        TavloPreviewWindowController::shared().close();
    };

    m_delegate = std::make_unique<AppDelegate>(std::move(environment));
    connect(m_delegate.get(), &AppDelegate::hotKeyUnavailable, this, [contentView](const QString &notice) {
        if (*contentView)
            (*contentView)->showNotice(notice);
    });

    TavloItemHooks &hooks = TavloItemHooks::instance();
    hooks.showPreview = [](const TavloItem &item, std::function<void()> onOpen) {
        TavloPreviewWindowController::shared().showPreview(item, std::move(onOpen));
    };
    hooks.openSnippet = [](const RichTextPayload &payload, std::function<void(const RichText &)> updateText) {
        TextSnippetWindowController::shared().openSnippet(payload, std::move(updateText));
    };

    if (m_instance) {
        connect(m_instance.get(), &SingleInstance::toggleRequested, m_delegate.get(),
                &AppDelegate::toggleTavlo);
        m_instance->setRequestHandler(
            [this](const QByteArray &command, const QByteArray &payload, const SingleInstance::Reply &reply) {
                reply(handleRequest(command, payload));
            });
    }
    connect(m_signals.get(), &UnixSignalWatcher::terminationRequested, qApp, &QuorvinApp::quit);
    connect(qApp, &QCoreApplication::aboutToQuit, m_delegate.get(), &AppDelegate::applicationWillTerminate);
}

QByteArray QuorvinApp::handleRequest(const QByteArray &command, const QByteArray &payload)
{
    return m_requests ? m_requests(command, payload) : QByteArray("error unknown request");
}

QuorvinApp::~QuorvinApp()
{
    if (m_delegate)
        m_delegate->applicationWillTerminate();
}

void QuorvinApp::quit()
{
    // Not QCoreApplication::quit(): that first asks every window to close, and the panel refuses.
    QCoreApplication::exit(0);
}

void QuorvinApp::start()
{
    m_delegate->applicationDidFinishLaunching();
    if (TavloPanel *panel = m_delegate->tavloPanel()) {
        if (auto *view = qobject_cast<ContentView *>(panel->content())) {
            TavloPreviewWindowController &preview = TavloPreviewWindowController::shared();
            connect(&preview, &TavloPreviewWindowController::selectedItemIDChanged, view->itemListView(),
                    &TavloItemListView::setSelectedItemID);
        }
    }
    QPointer<TavloPanel> panel = m_delegate->tavloPanel();
    TavloPreviewWindowController::shared().setTavloPanelFrameProvider(
        [panel] { return panel && panel->isVisible() ? panel->frameGeometry() : QRect(); });
}
