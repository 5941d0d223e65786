#pragma once

#include <QObject>
#include <QString>

#include <string_view>

// Packs the bytes of `text` big-endian into 32 bits: "QVRN" has 'Q' as its top byte.
constexpr quint32 fourCharCode(std::string_view text)
{
    quint32 code = 0;
    for (char c : text)
        code = (code << 8) + static_cast<unsigned char>(c);
    return code;
}

// Identity of the one global hot key, Control+Space.
struct GlobalHotKeyID
{
    quint32 signature = 0;
    quint32 id = 0;
};

inline constexpr GlobalHotKeyID quorvinHotKeyID {fourCharCode("QVRN"), 1};

// A system-wide Control+Space. Backends emit `activated` on the GUI thread for every press.
// Registration failures are not errors for the caller: the application runs on without it.
class GlobalHotKey : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts registering Control+Space under `identity`; may complete asynchronously.
    virtual void registerHotKey(GlobalHotKeyID identity) = 0;
    // Releases the key; safe to call when nothing is registered.
    virtual void unregisterHotKey() = 0;
    virtual bool isRegistered() const = 0;

Q_SIGNALS:
    void activated(GlobalHotKeyID identity);
    // Registration did not succeed; `reason` says why in a few words, for the user.
    void registrationFailed(const QString &reason);
};

Q_DECLARE_METATYPE(GlobalHotKeyID)
