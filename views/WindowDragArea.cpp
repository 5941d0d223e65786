#include "views/WindowDragArea.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "views/ContentViewStyle.h"

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
        // The window manager takes over the pointer; no release reaches us
        // afterwards.
        if (handle && handle->startSystemMove()) {
            stopTracking();
            return;
        }
    }
    m_startingMouseLocation = event->globalPosition().toPoint();
    m_startingWindowOrigin = top->pos();
}

void WindowDragArea::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    QWidget *top = window();
    if (!top || !m_startingMouseLocation || !m_startingWindowOrigin)
        return;
    const QPoint delta = event->globalPosition().toPoint() - *m_startingMouseLocation;
    top->move(*m_startingWindowOrigin + delta);
}

void WindowDragArea::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    stopTracking();
}

void WindowDragArea::stopTracking()
{
    m_startingMouseLocation.reset();
    m_startingWindowOrigin.reset();
}

void WindowDragArea::paintEvent(QPaintEvent *)
{
    if (!m_showsCapsule)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ContentViewStyle::color(palette(), ContentViewStyle::Tone::primary, 0.16));
    const QRectF capsule(QPointF(0, 0), QSizeF(34, 4));
    painter.drawRoundedRect(capsule.translated(QPointF(width() - 34, height() - 4) / 2), 2, 2);
}
