#pragma once

#include <QSize>

#include "model/TavloItem.h"

// The tavlo panel's measures, for the window that holds the card and for the card it draws.
namespace PanelMetrics {

// The window is larger than the card by this much on every side, room for the card's shadow.
inline constexpr int cardInset = 12;
inline constexpr int cardCornerRadius = 22;

// 1040 x 188, or 220 x 700 when vertical.
constexpr QSize cardSize(TavloOrientation orientation)
{
    return orientation == TavloOrientation::vertical ? QSize(220, 700) : QSize(1040, 188);
}

// 1064 x 212, or 244 x 724 when vertical.
constexpr QSize panelSize(TavloOrientation orientation)
{
    return cardSize(orientation) + QSize(2 * cardInset, 2 * cardInset);
}

} // namespace PanelMetrics
