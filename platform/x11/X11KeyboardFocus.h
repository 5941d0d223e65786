#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

class QWindow;

// The keyboard for a panel that is never given it when it appears, but takes it when clicked:
// the window that had the keyboard before (another application's) gets it back when the panel
// hides. Follows the window manager's active window, or the input focus where none runs. X11
// only; elsewhere every call does nothing.
class X11KeyboardFocus : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    static X11KeyboardFocus &instance();

    // Notes the window that has the keyboard now, unless it is one of ours.
    void rememberFocusedWindow();
    // Gives `window` the keyboard, as a click in it asks for.
    void take(QWindow *window);
    // When one of our windows has the keyboard, hands it to the remembered window if that is
    // still on screen.
    void handBack();

    // The remembered window, 0 when none.
    quint32 previousWindow() const { return m_previous; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    X11KeyboardFocus();
    bool isOurs(quint32 window) const;
    void note(quint32 window);
    quint32 activeWindow() const;

    quint32 m_previous = 0;
    quint32 m_activeAtom = 0;
    quint32 m_root = 0;
};
