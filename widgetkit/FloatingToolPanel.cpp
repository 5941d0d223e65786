#include "widgetkit/FloatingToolPanel.h"

#include <QCloseEvent>
#include <QKeySequence>
#include <QMoveEvent>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/DesktopBackends.h"

FloatingToolPanel::FloatingToolPanel(const QString &title, const QSize &contentSize, QWidget *parent)
    : QWidget(parent,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                  | Qt::WindowCloseButtonHint)
{
    setWindowTitle(title);
    setFixedSize(contentSize);
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // A window shortcut, so Escape works whichever child holds the focus.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void FloatingToolPanel::setContent(QWidget *content)
{
    if (m_content == content)
        return;
    if (m_content) {
        m_content->hide();
        layout()->removeWidget(m_content);
        m_content->deleteLater();
    }
    m_content = content;
    if (content)
        layout()->addWidget(content);
}

QSize FloatingToolPanel::frameSizeForPlacement() const
{
    const QSize frame = frameGeometry().size();
    return frame.isValid() && frame != QSize(0, 0) ? frame : size();
}

void FloatingToolPanel::present(Placer placer)
{
    m_placer = std::move(placer);
    m_placedFrameSize = frameSizeForPlacement();
    move(m_placer(m_placedFrameSize));
    const bool wasVisible = isVisible();
    if (!wasVisible) {
        // On every desktop and out of the taskbar, like the tavlo panel it belongs to.
        winId();
        applyFloatingPanelHints(windowHandle());
    }
    show();
    if (wasVisible)
        raise(); // a newly shown window is already on top
    // The window manager decorates the first showing asynchronously; its frame is known only then.
    if (!wasVisible)
        QTimer::singleShot(120, this, [this] { placeAgainIfFrameChanged(); });
}

void FloatingToolPanel::placeAgainIfFrameChanged()
{
    if (!isVisible() || !m_placer)
        return;
    const QSize frame = frameSizeForPlacement();
    if (frame != m_placedFrameSize) {
        m_placedFrameSize = frame;
        move(m_placer(frame));
    }
}

void FloatingToolPanel::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // Reparenting into the frame moves the window; on a busy desktop that comes after the timer.
    if (event->spontaneous())
        placeAgainIfFrameChanged();
}

void FloatingToolPanel::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}
