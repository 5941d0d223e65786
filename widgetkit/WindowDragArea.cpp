#include "widgetkit/WindowDragArea.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "widgetkit/PanelStyle.h"

void WindowDrag::begin(QWidget *window, QPoint globalMouse)
{
    m_window = window;
    m_startMouse = globalMouse;
    m_startOrigin = window ? window->pos() : QPoint();
}

bool WindowDrag::follow(QPoint globalMouse)
{
    if (!isActive())
        return false;
    m_window->move(m_startOrigin + globalMouse - *m_startMouse);
    return true;
}

void WindowDrag::end()
{
    m_startMouse.reset();
    m_window.clear();
}

WindowDragArea::WindowDragArea(QWidget *parent) : QWidget(parent)
{
    setToolTip(QStringLiteral("Drag Quorvin"));
    setAttribute(Qt::WA_NoMousePropagation);
    setAutoFillBackground(false);
}

void WindowDragArea::setShowsCapsule(bool shows)
{
    if (m_showsCapsule == shows)
        return;
    m_showsCapsule = shows;
    update();
}

void WindowDragArea::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    QWidget *top = window();
    if (!top || !top->isWindow())
        return;
    if (m_systemMoveEnabled) {
        QWindow *handle = top->windowHandle();
        // The window manager takes over the pointer; no release reaches us afterwards.
        if (handle && handle->startSystemMove()) {
            m_drag.end();
            return;
        }
    }
    m_drag.begin(top, event->globalPosition().toPoint());
}

void WindowDragArea::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    m_drag.follow(event->globalPosition().toPoint());
}

void WindowDragArea::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    m_drag.end();
}

void WindowDragArea::paintEvent(QPaintEvent *)
{
    if (!m_showsCapsule)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(PanelStyle::color(palette(), PanelStyle::Tone::primary, 0.16));
    const QRectF capsule(QPointF(0, 0), QSizeF(34, 4));
    painter.drawRoundedRect(capsule.translated(QPointF(width() - 34, height() - 4) / 2), 2, 2);
}
