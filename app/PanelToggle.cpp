#include "app/PanelToggle.h"

#include <time.h>

namespace PanelToggle {

qint64 systemUptimeNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

KeyAction keyAction(int key, Qt::KeyboardModifiers modifiers, bool aboutVisible, bool previewVisible)
{
    if (key == Qt::Key_Space && modifiers.testFlag(Qt::ControlModifier))
        return KeyAction::swallow;
    if (key == Qt::Key_Escape) {
        if (aboutVisible)
            return KeyAction::closeAbout;
        if (previewVisible)
            return KeyAction::closePreview;
    }
    return KeyAction::pass;
}

} // namespace PanelToggle
