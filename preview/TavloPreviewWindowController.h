#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QUuid>

#include <functional>
#include <memory>

#include "model/TavloItem.h"

#include "widgetkit/FloatingToolPanel.h"
class GlobalMouseMonitor;
class LargePreviewLoader;

// Owns the "Preview" panel: shows the preview of one item just above the tavlo panel (below when
// there is no room), and closes it on the first mouse press outside it, in this application or
// another, on Escape, its close button and "Open". Publishes which item is previewed so the cells
// can outline it.
class TavloPreviewWindowController : public QObject
{
    Q_OBJECT

public:
    static constexpr int panelWidth = 520;
    static constexpr int panelHeight = 390;
    // Gap between the preview and the tavlo panel.
    static constexpr int panelGap = 10;

    // New content takes its large pictures from `loader`, which outlives this controller.
    explicit TavloPreviewWindowController(LargePreviewLoader &loader, QObject *parent = nullptr);
    ~TavloPreviewWindowController() override;

    // Shows, or shows again, the preview of `item`; `onOpen` opens the item and runs after the
    // window has closed when the user presses "Open". The content is rebuilt on every call.
    void showPreview(const TavloItem &item, std::function<void()> onOpen);
    void close();

    // The previewed item; null when no preview is shown.
    QUuid selectedItemID() const { return m_selectedItemID; }
    bool isShown() const;

    // The tavlo panel's frame in global coordinates, or a null rectangle when it is not visible.
    void setTavloPanelFrameProvider(std::function<QRect()> provider);

    // The panel, once the first preview has made it.
    FloatingToolPanel *panel() const { return m_panel; }
    // Whether presses in other applications are seen directly (X11) or only through the
    // application losing the activation (elsewhere).
    bool seesOtherApplicationsPresses() const;

Q_SIGNALS:
    void selectedItemIDChanged(const QUuid &id);
    // The panel appeared or went away, by whatever route.
    void shownChanged(bool shown);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ensurePanel();
    void setSelectedItemID(const QUuid &id);
    void installClickMonitors();
    void removeClickMonitors();
    bool belongsToPanel(QObject *object) const;
    QPoint placement(const QSize &frameSize) const;

    QUuid m_selectedItemID;
    QPointer<FloatingToolPanel> m_panel;
    std::function<QRect()> m_frameProvider;
    std::unique_ptr<GlobalMouseMonitor> m_globalMonitor;
    bool m_localMonitorInstalled = false;
    LargePreviewLoader *m_loader;
    bool m_shown = false;
};
