#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

#include <memory>

#include "platform/DesktopSession.h"

class AboutWindowController;
class AppDelegate;
class Settings;
class ContentView;
class LargePreviewLoader;
class SingleInstance;
class TavloIngest;
class TavloPreviewWindowController;
class TavloStore;
class TavloThumbnailLoader;
class TextSnippetWindowController;
class UnixSignalWatcher;

// The application as a whole: creates the store, the ingest, the picture loaders and every window,
// hands each view what it uses and connects the routes between windows. Ties "Quit Quorvin",
// SIGTERM/SIGINT and second launches to the delegate.
class QuorvinApp : public QObject
{
    Q_OBJECT

public:
    QuorvinApp(const DesktopSession &session, std::unique_ptr<SingleInstance> instance);
    ~QuorvinApp() override;

    // Builds the main view, connects the windows and shows the panel.
    void start();
    // Ends the event loop; the shutdown sequence runs from aboutToQuit.
    static void quit();
    AppDelegate *delegate() const { return m_delegate.get(); }
    // A request from another launch ("add", "add-text"); returns the reply line.
    QByteArray handleRequest(const QByteArray &command, const QByteArray &payload);

private:
    void connectWindows();
    // The tavlo panel's frame while it is on screen, else a null rectangle.
    QRect visiblePanelFrame() const;

    // Declared in the order they are made; the windows go before the data they show, and the
    // settings last of all.
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<TavloStore> m_store;
    std::unique_ptr<TavloIngest> m_ingest;
    std::unique_ptr<TavloThumbnailLoader> m_thumbnails;
    std::unique_ptr<LargePreviewLoader> m_largePreviews;
    std::unique_ptr<TavloPreviewWindowController> m_preview;
    std::unique_ptr<AboutWindowController> m_about;
    std::unique_ptr<TextSnippetWindowController> m_snippets;
    std::unique_ptr<AppDelegate> m_delegate;
    QPointer<ContentView> m_contentView;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<UnixSignalWatcher> m_signals;
};
