#pragma once

#include <functional>

#include "model/TavloItem.h"
#include "richtext/RichText.h"

// Process-wide entry points that item cells call for things they do not own (the preview window,
// snippet windows). The application fills them once at start-up; an empty member means "not
// available" and the cell does nothing.
struct TavloItemHooks
{
    // Shows the preview for `item`; `onOpen` performs the cell's open action (double click).
    std::function<void(const TavloItem &item, std::function<void()> onOpen)> showPreview;
    // Opens a new snippet window; every edit is passed to `updateText`.
    std::function<void(const RichTextPayload &payload, std::function<void(const RichText &)> updateText)>
        openSnippet;

    static TavloItemHooks &instance();
};
