#include "app/QuorvinApp.h"

#include <QApplication>
#include <QPointer>

#include "app/AppDelegate.h"
#include "app/SingleInstance.h"
#include "app/TavloPanel.h"
#include "app/UnixSignalWatcher.h"
#include "platform/GlobalHotKey.h"

#ifdef QUORVIN_HAVE_CONTENT_VIEW
#include "model/TavloStore.h"
#include "views/ContentView.h"
#include "views/TavloItemListView.h"
#endif
#ifdef QUORVIN_HAVE_ORIENTATION_NOTIFIER
#include "views/TavloOrientationNotifier.h"
#endif
#ifdef QUORVIN_HAVE_ITEM_HOOKS
#include "views/TavloItemHooks.h"
#endif
#ifdef QUORVIN_HAVE_PREVIEW
#include "preview/TavloPreviewWindowController.h"
#endif
#ifdef QUORVIN_HAVE_ABOUT
#include "about/AboutCardView.h"
#include "about/AboutWindowController.h"
#endif
#ifdef QUORVIN_HAVE_SNIPPETS
#include "snippets/TextSnippetWindowController.h"
#endif

QuorvinApp::QuorvinApp(const DesktopSession &session, std::unique_ptr<SingleInstance> instance)
    : m_instance(std::move(instance)), m_signals(std::make_unique<UnixSignalWatcher>())
{
#ifdef QUORVIN_HAVE_ABOUT
    QApplication::setWindowIcon(AboutCardView::applicationIcon());
#endif
    AppDelegate::Environment environment;
    environment.hotKey = createGlobalHotKey(session);

#ifdef QUORVIN_HAVE_CONTENT_VIEW
    auto contentView = std::make_shared<QPointer<ContentView>>();
    environment.makeContent = [this, contentView]() -> QWidget * {
        auto *view = new ContentView;
        *contentView = view;
        connect(view, &ContentView::quitRequested, qApp, &QuorvinApp::quit, Qt::QueuedConnection);
#ifdef QUORVIN_HAVE_ABOUT
        connect(view, &ContentView::aboutRequested, this, [this] {
            if (TavloPanel *panel = m_delegate->tavloPanel())
                AboutWindowController::shared().showAbout(panel->isVisible() ? panel->frameGeometry()
                                                                             : QRect());
        });
#endif
        return view;
    };
    environment.drainPendingWrites = [contentView] {
        if (*contentView && (*contentView)->store())
            (*contentView)->store()->waitForPendingWrites();
    };
#endif

#ifdef QUORVIN_HAVE_ORIENTATION_NOTIFIER
    environment.observeOrientation = [](QObject *context, std::function<void(TavloOrientation)> apply) {
        return connect(&TavloOrientationNotifier::instance(), &TavloOrientationNotifier::orientationDidChange,
                       context, std::move(apply));
    };
#endif

#ifdef QUORVIN_HAVE_ABOUT
    environment.auxiliary.isAboutVisible = [] {
        return AboutWindowController::shared().isShown();
    };
    environment.auxiliary.closeAbout = [] {
        AboutWindowController::shared().close();
    };
#endif
#ifdef QUORVIN_HAVE_PREVIEW
    environment.auxiliary.isPreviewVisible = [] {
        return TavloPreviewWindowController::shared().isShown();
    };
    environment.auxiliary.closePreview = [] {
        TavloPreviewWindowController::shared().close();
    };
#endif

    m_delegate = std::make_unique<AppDelegate>(std::move(environment));
#ifdef QUORVIN_HAVE_CONTENT_VIEW
    connect(m_delegate.get(), &AppDelegate::hotKeyUnavailable, this, [contentView](const QString &notice) {
        if (*contentView)
            (*contentView)->showNotice(notice);
    });
#endif

#ifdef QUORVIN_HAVE_ITEM_HOOKS
    TavloItemHooks &hooks = TavloItemHooks::instance();
#ifdef QUORVIN_HAVE_PREVIEW
    hooks.showPreview = [](const TavloItem &item, std::function<void()> onOpen) {
        TavloPreviewWindowController::shared().showPreview(item, std::move(onOpen));
    };
#endif
#ifdef QUORVIN_HAVE_SNIPPETS
    hooks.openSnippet = [](const RichTextPayload &payload, std::function<void(const RichText &)> updateText) {
        TextSnippetWindowController::shared().openSnippet(payload, std::move(updateText));
    };
#endif
#endif

    if (m_instance) {
        connect(m_instance.get(), &SingleInstance::toggleRequested, m_delegate.get(),
                &AppDelegate::toggleTavlo);
    }
    connect(m_signals.get(), &UnixSignalWatcher::terminationRequested, qApp, &QuorvinApp::quit);
    connect(qApp, &QCoreApplication::aboutToQuit, m_delegate.get(), &AppDelegate::applicationWillTerminate);
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
#if defined(QUORVIN_HAVE_CONTENT_VIEW) && defined(QUORVIN_HAVE_PREVIEW)
    if (TavloPanel *panel = m_delegate->tavloPanel()) {
        if (auto *view = qobject_cast<ContentView *>(panel->content())) {
            TavloPreviewWindowController &preview = TavloPreviewWindowController::shared();
            connect(&preview, &TavloPreviewWindowController::selectedItemIDChanged, view->itemListView(),
                    &TavloItemListView::setSelectedItemID);
        }
    }
#endif
#ifdef QUORVIN_HAVE_PREVIEW
    QPointer<TavloPanel> panel = m_delegate->tavloPanel();
    TavloPreviewWindowController::shared().setTavloPanelFrameProvider(
        [panel] { return panel && panel->isVisible() ? panel->frameGeometry() : QRect(); });
#endif
}
