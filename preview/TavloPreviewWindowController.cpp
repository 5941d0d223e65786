#include "preview/TavloPreviewWindowController.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "platform/DesktopBackends.h"
#include "preview/TavloPreviewContent.h"
#include "widgetkit/AuxiliaryPanelPlacement.h"
#include "widgetkit/FloatingToolPanel.h"

TavloPreviewWindowController::TavloPreviewWindowController(LargePreviewLoader &loader, QObject *parent)
    : QObject(parent), m_loader(&loader)
{ }

TavloPreviewWindowController::~TavloPreviewWindowController()
{
    removeClickMonitors();
    delete m_panel;
}

bool TavloPreviewWindowController::isShown() const
{
    return m_panel && m_panel->isVisible();
}

void TavloPreviewWindowController::setTavloPanelFrameProvider(std::function<QRect()> provider)
{
    m_frameProvider = std::move(provider);
}

bool TavloPreviewWindowController::seesOtherApplicationsPresses() const
{
    if (!m_globalMonitor)
        return QGuiApplication::platformName() == QLatin1String("xcb");
    return m_globalMonitor->mechanism() == GlobalMouseMonitor::Mechanism::X11RawEvents;
}

void TavloPreviewWindowController::showPreview(const TavloItem &item, std::function<void()> onOpen)
{
    setSelectedItemID(item.id);
    ensurePanel();
    auto *content = new TavloPreviewContent(item, std::move(onOpen), nullptr, m_loader);
    connect(content, &TavloPreviewContent::closeRequested, this, &TavloPreviewWindowController::close);
    m_panel->setContent(content);
    m_panel->present([this](const QSize &frameSize) { return placement(frameSize); });
    removeClickMonitors();
    installClickMonitors();
}

void TavloPreviewWindowController::close()
{
    removeClickMonitors();
    setSelectedItemID(QUuid());
    if (m_panel)
        m_panel->hide();
}

void TavloPreviewWindowController::ensurePanel()
{
    if (m_panel)
        return;
    m_panel = new FloatingToolPanel(QStringLiteral("Preview"), QSize(panelWidth, panelHeight));
    m_panel->setObjectName(QStringLiteral("TavloPreviewPanel"));
    m_panel->installEventFilter(this);
    // The close button and Escape: the panel stays for the next preview.
    connect(m_panel, &FloatingToolPanel::closed, this, [this] {
        removeClickMonitors();
        setSelectedItemID(QUuid());
    });
}

void TavloPreviewWindowController::setSelectedItemID(const QUuid &id)
{
    if (id == m_selectedItemID)
        return;
    m_selectedItemID = id;
    Q_EMIT selectedItemIDChanged(id);
}

QPoint TavloPreviewWindowController::placement(const QSize &frameSize) const
{
    QList<QRect> screens;
    for (QScreen *screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    QScreen *primary = QGuiApplication::primaryScreen();
    const QRect primaryArea = primary ? primary->availableGeometry() : QRect();
    const QRect anchor = m_frameProvider ? m_frameProvider() : QRect();
    if (!anchor.isValid()) {
        QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
        const QRect area = screen ? screen->availableGeometry() : primaryArea;
        return AuxiliaryPanelPlacement::centeredOrigin(frameSize, area);
    }
    const QRect bounds = AuxiliaryPanelPlacement::boundsForAnchor(anchor, screens, primaryArea);
    return AuxiliaryPanelPlacement::originBeside(anchor, frameSize, bounds, panelGap);
}

void TavloPreviewWindowController::installClickMonitors()
{
    qApp->installEventFilter(this);
    m_localMonitorInstalled = true;
    if (!m_globalMonitor) {
        m_globalMonitor = createGlobalMouseMonitor();
        // Deferred like every other close of a foreign press: the press itself is not ours.
        connect(m_globalMonitor.get(), &GlobalMouseMonitor::outsidePress, this,
                &TavloPreviewWindowController::close, Qt::QueuedConnection);
    }
    m_globalMonitor->setEnabled(true);
}

void TavloPreviewWindowController::removeClickMonitors()
{
    if (m_globalMonitor)
        m_globalMonitor->setEnabled(false);
    if (m_localMonitorInstalled) {
        qApp->removeEventFilter(this);
        m_localMonitorInstalled = false;
    }
}

bool TavloPreviewWindowController::belongsToPanel(QObject *object) const
{
    if (!m_panel)
        return false;
    QWidget *widget = qobject_cast<QWidget *>(object);
    if (!widget) {
        // Window-level delivery comes first; find the widget that owns the window.
        auto *window = qobject_cast<QWindow *>(object);
        if (!window)
            return false;
        for (QWidget *topLevel : QApplication::topLevelWidgets()) {
            if (topLevel->windowHandle() == window) {
                widget = topLevel;
                break;
            }
        }
    }
    // Walk across window boundaries too, so the text's context menu counts as the panel's.
    for (; widget; widget = widget->parentWidget()) {
        if (widget == m_panel)
            return true;
    }
    return false;
}

bool TavloPreviewWindowController::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show || type == QEvent::Hide) && watched == m_panel && isShown() != m_shown) {
        m_shown = !m_shown;
        Q_EMIT shownChanged(m_shown);
    }
    if (type == QEvent::MouseButtonPress || type == QEvent::NonClientAreaMouseButtonPress) {
        const auto *press = static_cast<QMouseEvent *>(event);
        if ((press->button() == Qt::LeftButton || press->button() == Qt::RightButton)
            && !belongsToPanel(watched))
            close(); // the press still goes on to its target
    }
    return false;
}
