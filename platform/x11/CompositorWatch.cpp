#include "platform/x11/CompositorWatch.h"
#include "platform/x11/X11Connection.h"

#include <QBitmap>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <xcb/xcb.h>

#include <X11/Xlib.h>

#include <cstdlib>

namespace {

constexpr int checkIntervalMs = 3000;

// Keeps one window's mask in step with its size and with the compositor coming and going.
class WindowShaper : public QObject
{
public:
    WindowShaper(QWidget *window, std::function<QPainterPath(const QWidget *)> outline)
        : QObject(window), m_window(window), m_outline(std::move(outline))
    {
        window->installEventFilter(this);
        connect(&CompositorWatch::instance(), &CompositorWatch::compositingChanged, this,
                &WindowShaper::apply);
        apply();
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Resize)
            apply();
        return false;
    }

    void apply()
    {
        if (!m_window)
            return;
        if (CompositorWatch::instance().isCompositing()) {
            if (!m_window->mask().isEmpty())
                m_window->clearMask();
            return;
        }
        QBitmap mask(m_window->size());
        mask.fill(Qt::color0);
        QPainter painter(&mask);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::color1);
        painter.drawPath(m_outline(m_window));
        painter.end();
        m_window->setMask(mask);
    }

private:
    QPointer<QWidget> m_window;
    std::function<QPainterPath(const QWidget *)> m_outline;
};

} // namespace

CompositorWatch &CompositorWatch::instance()
{
    static CompositorWatch *watch = new CompositorWatch;
    return *watch;
}

CompositorWatch::CompositorWatch()
{
    m_compositing = query();
    if (!X11Connection::qt())
        return;
    m_timer.setInterval(checkIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &CompositorWatch::recheck);
    m_timer.start();
}

void CompositorWatch::recheck()
{
    const bool compositing = query();
    if (compositing == m_compositing)
        return;
    m_compositing = compositing;
    Q_EMIT compositingChanged(compositing);
}

bool CompositorWatch::query() const
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c || !x11->display())
        return true;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(x11->display()));
    auto *atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, quint16(name.size()), name.constData()), nullptr);
    if (!atom)
        return true;
    auto *owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
    std::free(atom);
    if (!owner)
        return true;
    const bool owned = owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

void CompositorWatch::shapeWhenNotComposited(QWidget *window,
                                             std::function<QPainterPath(const QWidget *)> outline)
{
    if (window && outline)
        new WindowShaper(window, std::move(outline));
}
