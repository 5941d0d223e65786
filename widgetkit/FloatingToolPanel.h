#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

// A titled, closable, always-on-top tool window of a fixed content size that never takes the
// keyboard focus when it appears. The preview and About panels are made from it; each is created
// once and reused, so closing only hides it.
class FloatingToolPanel : public QWidget
{
    Q_OBJECT

public:
    // Given the panel's frame size, returns the frame's top-left corner in global coordinates.
    using Placer = std::function<QPoint(const QSize &frameSize)>;

    FloatingToolPanel(const QString &title, const QSize &contentSize, QWidget *parent = nullptr);

    // Replaces the content; the previous content is hidden at once and deleted later, so it may
    // be the one whose button handler is running.
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

    // Places the panel with `placer` and shows it in front without activating it. The placement
    // is repeated once the window manager has added its frame, whose size is not known before.
    void present(Placer placer);

    // The frame size used for placement: the frame once known, else the content size.
    QSize frameSizeForPlacement() const;

Q_SIGNALS:
    // The window was closed by the user (close button, Escape) or by close().
    void closed();

protected:
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void placeAgainIfFrameChanged();

    QPointer<QWidget> m_content;
    Placer m_placer;
    QSize m_placedFrameSize;
};
