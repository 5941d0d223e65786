#pragma once

#include <QPoint>
#include <QWidget>

#include "widgetkit/WindowDragArea.h"

// The one floating panel: frameless, translucent, above other windows, on every desktop, never
// in the taskbar, and never taking the keyboard when it is shown; a click in it takes it. It is
// never closed, only shown and hidden. Its content fills it exactly.
class TavloPanel : public QWidget
{
    Q_OBJECT

public:
    explicit TavloPanel(QSize size, QWidget *parent = nullptr);

    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

    // Changes the fixed size and the position in one step.
    void setPanelGeometry(const QRect &geometry);

Q_SIGNALS:
    // The window's top-left corner changed, whoever moved it.
    void moved(QPoint topLeft);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // Dragging the background (what the content leaves unhandled) moves the panel.
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QWidget *m_content = nullptr;
    WindowDrag m_drag;
};
