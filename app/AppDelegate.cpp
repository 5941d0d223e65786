#include "app/AppDelegate.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QScreen>

#include <cstdio>

#include "app/TavloPanel.h"
#include "platform/Settings.h"
#include "platform/x11/X11KeyboardFocus.h"
#include "widgetkit/PanelMetrics.h"
#include "widgetkit/PanelStyle.h"

AppDelegate::AppDelegate(Environment environment, QObject *parent)
    : QObject(parent), m_environment(std::move(environment))
{
    if (!m_environment.screenLayout)
        m_environment.screenLayout = &AppDelegate::currentScreenLayout;
    if (!m_environment.uptimeNs)
        m_environment.uptimeNs = &PanelToggle::systemUptimeNs;
    // Drags report a move per mouse event; the defaults file is rewritten at most this often.
    m_positionWriteTimer.setSingleShot(true);
    m_positionWriteTimer.setInterval(250);
    connect(&m_positionWriteTimer, &QTimer::timeout, this, &AppDelegate::flushPositionWrite);
}

AppDelegate::~AppDelegate()
{
    shutDown();
}

PanelPlacement::Layout AppDelegate::currentScreenLayout()
{
    PanelPlacement::Layout layout;
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (QScreen *screen : screens) {
        layout.screens.append({screen->geometry(), screen->availableGeometry()});
        if (screen == QGuiApplication::primaryScreen())
            layout.primary = int(layout.screens.size() - 1);
    }
    layout.mouse = QCursor::pos();
    return layout;
}

void AppDelegate::startUp(QWidget *content, const std::function<void()> &beforeShow)
{
    createTavloPanel(content);
    installOrientationObserver();
    registerHotKey();
    installLocalKeyMonitor();
    if (beforeShow)
        beforeShow();
    showTavlo();
}

void AppDelegate::shutDown()
{
    if (m_terminated)
        return;
    m_terminated = true;
    if (m_hotKey) {
        m_hotKey->unregisterHotKey();
        disconnect(m_hotKey.get(), nullptr, this, nullptr);
    }
    if (m_localKeyMonitorInstalled && qApp)
        qApp->removeEventFilter(this);
    if (m_orientationObserver)
        disconnect(*m_orientationObserver);
    m_positionWriteTimer.stop();
    flushPositionWrite();
    if (m_environment.settings)
        m_environment.settings->waitForWrites();
    Q_EMIT shutDownFinished();
}

void AppDelegate::createTavloPanel(QWidget *content)
{
    const QSize size = PanelMetrics::panelSize(m_environment.settings ? m_environment.settings->orientation()
                                                                      : TavloOrientation::horizontal);
    m_tavloPanel = std::make_unique<TavloPanel>(size);
    if (content)
        m_tavloPanel->setContent(content);
    connect(m_tavloPanel.get(), &TavloPanel::moved, this, &AppDelegate::onPanelMoved);

    m_fadeIn = new QPropertyAnimation(m_tavloPanel.get(), "windowOpacity", this);
    m_fadeIn->setDuration(PanelToggle::fadeInMs);
    m_fadeIn->setEasingCurve(PanelStyle::easeOut());
    m_fadeOut = new QPropertyAnimation(m_tavloPanel.get(), "windowOpacity", this);
    m_fadeOut->setDuration(PanelToggle::fadeOutMs);
    m_fadeOut->setEasingCurve(PanelStyle::easeIn());
    connect(m_fadeOut, &QPropertyAnimation::finished, this, [this] {
        if (!m_isTavloShown && m_tavloPanel) {
            m_tavloPanel->hide();
            Q_EMIT tavloHidden();
        }
        if (m_tavloPanel)
            m_tavloPanel->setWindowOpacity(1.0);
    });

    applyInitialPosition();
}

void AppDelegate::applyInitialPosition()
{
    if (!m_tavloPanel)
        return;
    m_isSettingInitialPosition = true;
    const std::optional<QPoint> saved =
        m_environment.settings ? m_environment.settings->panelPosition() : std::nullopt;
    const QSize size = m_tavloPanel->size();
    const QPoint origin = PanelPlacement::initialOrigin(saved, size, m_environment.screenLayout());
    movePanelTo(QRect(origin, size));
    m_isSettingInitialPosition = false;
}

void AppDelegate::installOrientationObserver()
{
    Settings *settings = m_environment.settings;
    if (!settings)
        return;
    m_orientationObserver = connect(settings, &Settings::changed, this, [this, settings](Settings::Key key) {
        if (key == Settings::Key::orientation)
            applyOrientation(settings->orientation());
    });
}

void AppDelegate::registerHotKey()
{
    m_hotKey = std::move(m_environment.hotKey);
    if (!m_hotKey)
        return;
    connect(m_hotKey.get(), &GlobalHotKey::activated, this, &AppDelegate::handleHotKeyEvent);
    connect(m_hotKey.get(), &GlobalHotKey::registrationFailed, this, [this](const QString &reason) {
        if (m_hotKeyFailureReported)
            return;
        m_hotKeyFailureReported = true;
        const QString notice = hotKeyNotice(reason);
        std::fprintf(stderr, "quorvin: %s\n", qPrintable(notice));
        std::fflush(stderr);
        Q_EMIT hotKeyUnavailable(notice);
    });
    m_hotKey->registerHotKey();
}

QString AppDelegate::hotKeyNotice(const QString &reason)
{
    QString text = reason;
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text
        + QStringLiteral(", so Control+Space does not show or hide Quorvin. Bind the command "
                         "\"quorvin\" to a shortcut in your desktop's keyboard settings instead: "
                         "each run shows or hides the panel.");
}

void AppDelegate::handleHotKeyEvent()
{
    // Never toggle inside the backend's event handling.
    QMetaObject::invokeMethod(this, &AppDelegate::toggleTavlo, Qt::QueuedConnection);
}

void AppDelegate::installLocalKeyMonitor()
{
    if (!qApp)
        return;
    qApp->installEventFilter(this);
    m_localKeyMonitorInstalled = true;
}

bool AppDelegate::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    // Key events reach the window first and then each widget up the parent chain; acting on the
    // widget deliveries alone keeps one press from closing two windows.
    if (!watched->isWidgetType())
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const auto action = PanelToggle::keyAction(key->key(), key->modifiers(), m_aboutShown, m_previewShown);
    if (type == QEvent::ShortcutOverride) {
        // Claim Control+Space so no shortcut of a view fires; the key press is then swallowed.
        if (action == PanelToggle::KeyAction::swallow) {
            event->accept();
            return true;
        }
        return false;
    }
    switch (action) {
    case PanelToggle::KeyAction::pass:
        return false;
    case PanelToggle::KeyAction::swallow:
        return true;
    case PanelToggle::KeyAction::closeAbout:
        Q_EMIT aboutCloseRequested();
        return true;
    case PanelToggle::KeyAction::closePreview:
        Q_EMIT previewCloseRequested();
        return true;
    }
    return false;
}

void AppDelegate::toggleTavlo()
{
    if (!m_tavloPanel)
        return;
    if (!m_debouncer.accept(m_environment.uptimeNs()))
        return;
    if (m_isTavloShown)
        hideTavlo();
    else
        showTavlo();
}

void AppDelegate::showTavlo()
{
    if (!m_tavloPanel)
        return;
    m_isTavloShown = true;
    // Showing never takes the keyboard; note who has it, to give it back after a click here.
    X11KeyboardFocus::instance().rememberFocusedWindow();
    m_fadeOut->stop();
    m_fadeIn->stop();
    m_tavloPanel->setWindowOpacity(0.0);
    m_tavloPanel->show();
    m_tavloPanel->raise();
    m_fadeIn->setStartValue(0.0);
    m_fadeIn->setEndValue(1.0);
    m_fadeIn->start();
}

void AppDelegate::hideTavlo()
{
    Q_EMIT aboutCloseRequested();
    Q_EMIT previewCloseRequested();
    if (!m_tavloPanel || !m_isTavloShown)
        return;
    m_isTavloShown = false;
    X11KeyboardFocus::instance().handBack();
    m_fadeIn->stop();
    m_fadeOut->stop();
    m_fadeOut->setStartValue(m_tavloPanel->windowOpacity());
    m_fadeOut->setEndValue(0.0);
    m_fadeOut->start();
}

void AppDelegate::applyOrientation(TavloOrientation orientation)
{
    if (!m_tavloPanel)
        return;
    const QRect frame = PanelPlacement::resizedAroundCentre(
        m_tavloPanel->geometry(), PanelMetrics::panelSize(orientation), m_environment.screenLayout());
    m_isSettingInitialPosition = true;
    movePanelTo(frame);
    m_isSettingInitialPosition = false;
    writePosition(frame.topLeft());
}

void AppDelegate::movePanelTo(const QRect &geometry)
{
    m_programmaticOrigin = geometry.topLeft();
    m_tavloPanel->setPanelGeometry(geometry);
}

void AppDelegate::onPanelMoved(QPoint topLeft)
{
    if (m_isSettingInitialPosition)
        return;
    // Our own moves come back from the window system after the guard is lowered.
    if (m_programmaticOrigin && *m_programmaticOrigin == topLeft)
        return;
    savePanelPosition();
}

void AppDelegate::savePanelPosition()
{
    if (m_isSettingInitialPosition || !m_tavloPanel)
        return;
    // An explicit save still waiting keeps its say; the position is the newer one either way.
    m_pendingFromMove = !m_pendingPosition || m_pendingFromMove;
    m_pendingPosition = m_tavloPanel->pos();
    if (!m_positionWriteTimer.isActive())
        m_positionWriteTimer.start();
}

void AppDelegate::writePosition(QPoint topLeft)
{
    m_pendingPosition = topLeft;
    m_pendingFromMove = false;
    m_positionWriteTimer.stop();
    flushPositionWrite();
}

void AppDelegate::flushPositionWrite()
{
    if (!m_pendingPosition)
        return;
    if (m_pendingFromMove && m_tavloPanel) {
        // A window manager that reparents the panel reports passing positions; only a panel that
        // comes to rest away from where we put it has been moved by the user.
        if (m_programmaticOrigin && m_tavloPanel->pos() == *m_programmaticOrigin) {
            m_pendingPosition.reset();
            return;
        }
        m_programmaticOrigin.reset();
        m_pendingPosition = m_tavloPanel->pos();
    }
    const QPoint position = *m_pendingPosition;
    m_pendingPosition.reset();
    if (m_environment.settings)
        m_environment.settings->setPanelPosition(position);
}
