#pragma once

#include <QPoint>
#include <QWidget>

#include <optional>

// The panel has no title bar: pressing on this strip and dragging moves the
// whole window by the distance the mouse travelled. The window manager does the
// move where it can (it then also constrains it like any window move); without
// one the window is moved here, always from the positions at the press, so
// rounding never accumulates. The window's own move events report each new
// position, so whoever saves the position needs nothing from this class.
class WindowDragArea : public QWidget
{
    Q_OBJECT

public:
    explicit WindowDragArea(QWidget *parent = nullptr);

    // The small capsule that marks the handle; the strip stays draggable without
    // it.
    void setShowsCapsule(bool shows);
    bool showsCapsule() const { return m_showsCapsule; }

    // False forces the manual move even where the window manager could move the
    // window.
    void setSystemMoveEnabled(bool enabled) { m_systemMoveEnabled = enabled; }

    bool isTracking() const { return m_startingMouseLocation.has_value(); }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void stopTracking();

    std::optional<QPoint> m_startingMouseLocation;
    std::optional<QPoint> m_startingWindowOrigin;
    bool m_showsCapsule = false;
    bool m_systemMoveEnabled = true;
};
