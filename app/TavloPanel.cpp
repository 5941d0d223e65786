#include "app/TavloPanel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QVBoxLayout>

#include "platform/DesktopBackends.h"
#include "platform/x11/X11KeyboardFocus.h"
#include "widgetkit/PanelMetrics.h"

TavloPanel::TavloPanel(QSize size, QWidget *parent)
    : QWidget(parent,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint)
{
    setObjectName(QStringLiteral("TavloPanel"));
    setWindowTitle(QStringLiteral("Quorvin"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(size);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Shown without the keyboard; a press anywhere in the panel takes it, so its keys work.
    qApp->installEventFilter(this);
    // Without a compositor only the card's own rounded outline is drawn, not a black frame around it.
    cutToOutlineWithoutCompositor(this, [](const QWidget *panel) {
        QPainterPath card;
        card.addRoundedRect(QRectF(panel->rect())
                                .adjusted(PanelMetrics::cardInset, PanelMetrics::cardInset,
                                          -PanelMetrics::cardInset, -PanelMetrics::cardInset),
                            PanelMetrics::cardCornerRadius, PanelMetrics::cardCornerRadius);
        return card;
    });
}

bool TavloPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->window() == this && !isActiveWindow())
        X11KeyboardFocus::instance().take(windowHandle());
    return QWidget::eventFilter(watched, event);
}

void TavloPanel::setContent(QWidget *content)
{
    if (m_content == content)
        return;
    if (m_content) {
        layout()->removeWidget(m_content);
        m_content->deleteLater();
    }
    m_content = content;
    if (content)
        layout()->addWidget(content);
}

void TavloPanel::setPanelGeometry(const QRect &geometry)
{
    setFixedSize(geometry.size());
    move(geometry.topLeft());
}

void TavloPanel::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    Q_EMIT moved(pos());
}

void TavloPanel::showEvent(QShowEvent *event)
{
    // Window managers drop these states when a window is withdrawn, so set them before every map.
    if (!event->spontaneous())
        applyFloatingPanelHints(windowHandle());
    QWidget::showEvent(event);
}

void TavloPanel::closeEvent(QCloseEvent *event)
{
    // Hidden with the hot key, never closed; a window manager's close request is refused.
    if (event->spontaneous())
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void TavloPanel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_drag.begin(this, event->globalPosition().toPoint());
    event->accept();
}

void TavloPanel::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_drag.follow(event->globalPosition().toPoint())) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    event->accept();
}

void TavloPanel::mouseReleaseEvent(QMouseEvent *event)
{
    m_drag.end();
    QWidget::mouseReleaseEvent(event);
}
