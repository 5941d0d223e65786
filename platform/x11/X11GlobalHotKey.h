#pragma once

#include <QAbstractNativeEventFilter>
#include <QList>

#include "platform/GlobalHotKey.h"

struct xcb_connection_t;

// Control+Space as a passive key grab on the root window of Qt's own X connection, once for
// every combination of the lock modifiers so Num Lock, Caps Lock or Scroll Lock do not defeat it.
// Works on the xcb platform only; elsewhere registration fails.
class X11GlobalHotKey : public GlobalHotKey, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit X11GlobalHotKey(QObject *parent = nullptr);
    ~X11GlobalHotKey() override;

    void registerHotKey() override;
    void unregisterHotKey() override;
    bool isRegistered() const override { return !m_grabbedModifiers.isEmpty(); }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    // Every modifier state to grab: Control plus each subset of the given lock masks (zero masks,
    // i.e. locks without a modifier bit, are skipped). Sorted, without duplicates.
    static QList<quint16> grabModifierStates(quint16 control, QList<quint16> lockMasks);

private:
    xcb_connection_t *m_connection = nullptr;
    quint32 m_root = 0;
    quint8 m_keycode = 0;
    quint16 m_lockMask = 0;
    QList<quint16> m_grabbedModifiers;
    bool m_keyDown = false;
};
