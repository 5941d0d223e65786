#pragma once

#include <QString>

// How the panel lays out its items: a wide strip or a tall column.
enum class TavloOrientation { horizontal, vertical };

inline QString orientationRawValue(TavloOrientation orientation)
{
    return orientation == TavloOrientation::vertical ? QStringLiteral("vertical")
                                                     : QStringLiteral("horizontal");
}

// Anything but "vertical" (exactly) is horizontal, so a damaged value still gives a usable panel.
inline TavloOrientation orientationFromRawValue(const QString &raw)
{
    return raw == QLatin1String("vertical") ? TavloOrientation::vertical : TavloOrientation::horizontal;
}
