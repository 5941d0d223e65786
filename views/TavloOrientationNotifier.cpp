#include "views/TavloOrientationNotifier.h"

#include "platform/Defaults.h"

TavloOrientationNotifier &TavloOrientationNotifier::instance()
{
    // Lives until exit; receivers disconnect themselves when they are destroyed.
    static auto *notifier = new TavloOrientationNotifier;
    return *notifier;
}

void TavloOrientationNotifier::setOrientation(TavloOrientation orientation)
{
    const QString raw = orientationRawValue(orientation);
    {
        const auto settings = Defaults::open();
        settings->setValue(QStringLiteral("Quorvin.Orientation"), raw);
        Defaults::flush(*settings);
    }
    Q_EMIT orientationDidChange(orientation);
    Q_EMIT orientationDidChangeRaw(raw);
}
