#include "about/AboutWindowController.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "about/AboutCardView.h"
#include "widgetkit/AuxiliaryPanelPlacement.h"
#include "widgetkit/FloatingToolPanel.h"

AboutWindowController::AboutWindowController(QObject *parent) : QObject(parent) { }

AboutWindowController::~AboutWindowController()
{
    delete m_panel;
}

bool AboutWindowController::isShown() const
{
    return m_panel && m_panel->isVisible();
}

void AboutWindowController::showAbout(const QRect &panelFrame)
{
    if (!m_panel) {
        m_panel = new FloatingToolPanel(QStringLiteral("About Quorvin"),
                                        QSize(AboutCardView::cardWidth, AboutCardView::cardHeight));
        m_panel->setObjectName(QStringLiteral("AboutPanel"));
        m_panel->installEventFilter(this);
        m_panel->setContent(new AboutCardView);
    }
    m_panel->present([panelFrame](const QSize &frameSize) {
        QList<QRect> screens;
        for (QScreen *screen : QGuiApplication::screens())
            screens.append(screen->availableGeometry());
        QScreen *primary = QGuiApplication::primaryScreen();
        const QRect primaryArea = primary ? primary->availableGeometry() : QRect();
        if (!panelFrame.isValid()) {
            QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
            return AuxiliaryPanelPlacement::centeredOrigin(
                frameSize, screen ? screen->availableGeometry() : primaryArea);
        }
        const QRect bounds = AuxiliaryPanelPlacement::boundsForAnchor(panelFrame, screens, primaryArea);
        return AuxiliaryPanelPlacement::originBeside(panelFrame, frameSize, bounds, panelGap);
    });
}

void AboutWindowController::close()
{
    if (m_panel)
        m_panel->hide();
}

bool AboutWindowController::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show || type == QEvent::Hide) && watched == m_panel && isShown() != m_shown) {
        m_shown = !m_shown;
        Q_EMIT shownChanged(m_shown);
    }
    return false;
}
