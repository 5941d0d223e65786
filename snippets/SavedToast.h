#pragma once

#include <QPointer>
#include <QWidget>

// The short "Saved <name>" notice over a snippet window: it ignores the mouse, never takes focus,
// fades in, stays a moment, fades out and deletes itself.
class SavedToast : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize toastSize {260, 48};
    static constexpr int fadeInMs = 120;
    static constexpr int holdMs = 1350;
    static constexpr int fadeOutMs = 180;

    // Shows the toast centred over `host`, 52 pixels below its top edge. Returns it, or null
    // when there is no host.
    static SavedToast *show(QWidget *host, const QString &fileName);

    const QString &message() const { return m_message; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    SavedToast(QWidget *host, const QString &fileName);
    void fadeOut();

    QString m_message;
};
