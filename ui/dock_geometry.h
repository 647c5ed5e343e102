#pragma once

namespace tw {

/// A screen rectangle with exclusive right and bottom edges (right = left + width).
struct DockRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const DockRect&, const DockRect&) = default;
};

struct DockPoint
{
    int x = 0;
    int y = 0;
    friend bool operator==(const DockPoint&, const DockPoint&) = default;
};

/// Where the side panel hangs under Skype's main window, and where Skype's window must go
/// first so that the panel fits on the work area.
struct DockPlacement
{
    DockRect skype;          ///< Skype's window after the corrections
    bool skypeMoved = false; ///< the corrections changed it: move Skype's window there
    DockPoint panel;         ///< the panel's top-left corner: Skype's bottom-left corner
};

/// Skype's window is shifted onto the screen when its left or top edge is negative, pulled
/// in (or cut back) at the work area's right edge, and lifted (or shortened) so that a panel
/// of panelHeight fits between its bottom edge and the work area's bottom. Pure arithmetic.
DockPlacement DockUnderSkype(DockRect skype, const DockRect& workArea, int panelHeight);

/// The panel's first position from the stored "SPanel" left and top: both -1 centres it on
/// the screen; otherwise a negative coordinate becomes 0 and a panel reaching past the
/// right or bottom edge is moved in to end at that edge.
DockPoint InitialPanelPosition(int left, int top, int screenWidth, int screenHeight, int panelWidth,
                               int panelHeight);

} // namespace tw
