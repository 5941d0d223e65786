#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

#include "widgetkit/FloatingToolPanel.h"

// Keeps the one "About Quorvin" panel: made on the first showAbout, then placed beside the tavlo
// panel and shown again on every later one.
class AboutWindowController : public QObject
{
    Q_OBJECT

public:
    static constexpr int panelGap = 12;

    explicit AboutWindowController(QObject *parent = nullptr);
    ~AboutWindowController() override;

    // `panelFrame` is the tavlo panel's frame in global coordinates; a null rectangle (no visible
    // tavlo panel) centres the About panel on the screen.
    void showAbout(const QRect &panelFrame);
    void close();

    FloatingToolPanel *panel() const { return m_panel; }
    bool isShown() const;

Q_SIGNALS:
    // The panel appeared or went away, by whatever route.
    void shownChanged(bool shown);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<FloatingToolPanel> m_panel;
    bool m_shown = false;
};
