#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <optional>

// Moves a window by the distance the mouse travelled since the press, always from the positions
// at the press, so rounding never accumulates. The window's own move events report each new
// position, so whoever saves the position needs nothing from here.
class WindowDrag
{
public:
    void begin(QWidget *window, QPoint globalMouse);
    // Moves the window; false when no drag is under way.
    bool follow(QPoint globalMouse);
    void end();
    bool isActive() const { return m_startMouse.has_value() && m_window; }

private:
    QPointer<QWidget> m_window;
    std::optional<QPoint> m_startMouse;
    QPoint m_startOrigin;
};

// The panel has no title bar: pressing on this strip and dragging moves the whole window. The
// window manager does the move where it can (it then also constrains it like any window move);
// without one the window is moved here by a WindowDrag.
class WindowDragArea : public QWidget
{
    Q_OBJECT

public:
    explicit WindowDragArea(QWidget *parent = nullptr);

    // The small capsule that marks the handle; the strip stays draggable without it.
    void setShowsCapsule(bool shows);
    bool showsCapsule() const { return m_showsCapsule; }

    // False forces the manual move even where the window manager could move the window.
    void setSystemMoveEnabled(bool enabled) { m_systemMoveEnabled = enabled; }

    bool isTracking() const { return m_drag.isActive(); }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    WindowDrag m_drag;
    bool m_showsCapsule = false;
    bool m_systemMoveEnabled = true;
};
