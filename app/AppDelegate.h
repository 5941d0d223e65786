#pragma once

#include <QObject>
#include <QPointer>
#include <QPropertyAnimation>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

#include "app/PanelPlacement.h"
#include "app/PanelToggle.h"
#include "model/TavloItem.h"
#include "platform/GlobalHotKey.h"

class Settings;
class TavloPanel;

// Owns the panel and every process-wide hook (global hot key, local key monitor, orientation
// observer); runs the start-up and shutdown sequences; shows, hides and places the panel. The
// About and preview windows are reached through signals: hiding the panel and Escape ask them to
// close, and they report when they appear or go away.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    struct Environment
    {
        // Null: no global hot key on this desktop.
        std::unique_ptr<GlobalHotKey> hotKey;
        // The orientation and the remembered position; null: horizontal, nothing remembered.
        Settings *settings = nullptr;
        std::function<qint64()> uptimeNs = &PanelToggle::systemUptimeNs;
        std::function<PanelPlacement::Layout()> screenLayout;
    };

    explicit AppDelegate(Environment environment, QObject *parent = nullptr);
    ~AppDelegate() override;

    // Start-up: panel around `content` (which it takes over), placement, orientation observer,
    // hot key, key monitor, fade-in. `beforeShow` runs once the panel is built, right before it
    // first shows.
    void startUp(QWidget *content = nullptr, const std::function<void()> &beforeShow = {});
    // Shutdown: removes the hooks and writes a pending position, then announces shutDownFinished.
    // Runs once.
    void shutDown();

    // What Escape closes depends on which of these is on screen.
    void setAboutShown(bool shown) { m_aboutShown = shown; }
    void setPreviewShown(bool shown) { m_previewShown = shown; }

    void toggleTavlo();
    void showTavlo();
    void hideTavlo();
    void applyOrientation(TavloOrientation orientation);
    void savePanelPosition();

    TavloPanel *tavloPanel() const { return m_tavloPanel.get(); }
    bool isTavloShown() const { return m_isTavloShown; }
    GlobalHotKey *hotKey() const { return m_hotKey.get(); }

    // The screens, primary screen and mouse position as Qt reports them now.
    static PanelPlacement::Layout currentScreenLayout();

    // What the user is told when Control+Space cannot be had, and what to do instead.
    static QString hotKeyNotice(const QString &reason);

Q_SIGNALS:
    // The fade-out finished and the panel is off screen.
    void tavloHidden();
    // Control+Space could not be registered; emitted once, after one line on stderr.
    void hotKeyUnavailable(const QString &notice);
    // Hiding the panel closes both; Escape closes About first, then the preview.
    void aboutCloseRequested();
    void previewCloseRequested();
    // The hooks are gone; what the process still has to write can be waited for now.
    void shutDownFinished();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createTavloPanel(QWidget *content);
    void applyInitialPosition();
    void installOrientationObserver();
    void registerHotKey();
    void installLocalKeyMonitor();
    void handleHotKeyEvent();
    void movePanelTo(const QRect &geometry);
    void onPanelMoved(QPoint topLeft);
    void writePosition(QPoint topLeft);
    void flushPositionWrite();

    Environment m_environment;
    std::unique_ptr<TavloPanel> m_tavloPanel;
    std::unique_ptr<GlobalHotKey> m_hotKey;
    bool m_hotKeyFailureReported = false;
    bool m_localKeyMonitorInstalled = false;
    std::optional<QMetaObject::Connection> m_orientationObserver;
    bool m_isTavloShown = false;
    PanelToggle::Debouncer m_debouncer;
    bool m_isSettingInitialPosition = false;
    bool m_terminated = false;
    bool m_aboutShown = false;
    bool m_previewShown = false;

    // Where the program last put the panel; the window system echoes such moves back later.
    std::optional<QPoint> m_programmaticOrigin;
    std::optional<QPoint> m_pendingPosition;
    bool m_pendingFromMove = false;
    QTimer m_positionWriteTimer;

    QPropertyAnimation *m_fadeIn = nullptr;
    QPropertyAnimation *m_fadeOut = nullptr;
};
