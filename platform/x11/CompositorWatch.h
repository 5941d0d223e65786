#pragma once

#include <QObject>
#include <QPainterPath>
#include <QTimer>

#include <functional>

class QWidget;

// Whether a compositing manager runs, so translucent windows really are translucent. On X11 that
// is an owner of the _NET_WM_CM_S<screen> selection, checked again every few seconds since one may
// start or stop while we run; other platforms always composite.
class CompositorWatch : public QObject
{
    Q_OBJECT

public:
    static CompositorWatch &instance();

    bool isCompositing() const { return m_compositing; }
    // Checks now instead of at the next tick.
    void recheck();

    // Without a compositor the transparent pixels of `window` show black, so it is cut to
    // `outline` (in window coordinates, asked again on every resize) until one appears.
    static void shapeWhenNotComposited(QWidget *window, std::function<QPainterPath(const QWidget *)> outline);

Q_SIGNALS:
    void compositingChanged(bool compositing);

private:
    CompositorWatch();
    bool query() const;

    bool m_compositing = true;
    QTimer m_timer;
};
