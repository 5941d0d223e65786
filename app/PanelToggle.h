#pragma once

#include <QtCore/qnamespace.h>
#include <QtGlobal>

// Timing of the show/hide toggle and the decisions of the local key monitor.
namespace PanelToggle {

// A toggle is accepted only when strictly more than this has passed since the last accepted one.
inline constexpr qint64 debounceNs = 220'000'000;
inline constexpr int fadeInMs = 120;
inline constexpr int fadeOutMs = 100;

// Time since boot (CLOCK_MONOTONIC), so the first press after launch is never debounced.
qint64 systemUptimeNs();

class Debouncer
{
public:
    // True, and remembers `nowNs`, when the toggle at `nowNs` is to run.
    bool accept(qint64 nowNs)
    {
        if (nowNs - m_lastToggleNs <= debounceNs)
            return false;
        m_lastToggleNs = nowNs;
        return true;
    }
    qint64 lastToggleNs() const { return m_lastToggleNs; }

private:
    qint64 m_lastToggleNs = 0;
};

enum class KeyAction {
    pass, // deliver the event as it is
    swallow, // nobody in the application sees it
    closeAbout, // close the About window, then swallow
    closePreview, // close the preview, then swallow
};

// For every key press and release the application receives. Control+Space (with any further
// modifiers) belongs to the global hot key; Escape closes the About window first, then the preview.
KeyAction keyAction(int key, Qt::KeyboardModifiers modifiers, bool aboutVisible, bool previewVisible);

} // namespace PanelToggle
