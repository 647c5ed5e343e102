#pragma once

#include <QColor>

namespace tw {

/// The fixed surface of the filter and control panels: the skin's button faces are drawn on
/// it, so it does not follow the desktop palette and reads the same on light and dark ones.
inline QColor PanelColour()
{
    return QColor(0x1a, 0x20, 0x29);
}

} // namespace tw
