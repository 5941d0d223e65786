#pragma once

#include <QObject>

#include "model/TavloItem.h"

// The process-wide "orientation changed" notification. The command that flips
// the layout calls setOrientation(); the panel listens to resize and re-place
// itself, the card to re-lay itself out.
class TavloOrientationNotifier : public QObject
{
    Q_OBJECT

public:
    static TavloOrientationNotifier &instance();

    // Stores the orientation under "Quorvin.Orientation", then announces it.
    void setOrientation(TavloOrientation orientation);

Q_SIGNALS:
    void orientationDidChange(TavloOrientation orientation);
    // The same announcement with the stored raw value ("horizontal" or
    // "vertical").
    void orientationDidChangeRaw(const QString &rawValue);

private:
    TavloOrientationNotifier() = default;
};
