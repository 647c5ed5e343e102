#include "ui/dock_geometry.h"

namespace tw {

DockPlacement DockUnderSkype(DockRect skype, const DockRect& workArea, int panelHeight)
{
    const DockRect original = skype;
    if (skype.left < 0) {
        const int shift = -skype.left;
        skype.left += shift;
        skype.right += shift;
    }
    if (skype.top < 0) {
        const int shift = -skype.top;
        skype.top += shift;
        skype.bottom += shift;
    }
    if (skype.right > workArea.right) {
        const int excess = skype.right - workArea.right;
        if (skype.left > excess) {
            skype.left -= excess;
            skype.right -= excess;
        } else {
            skype.right = workArea.right;
        }
    }
    if (skype.bottom > workArea.bottom - panelHeight) {
        const int lift = panelHeight + (skype.bottom - workArea.bottom);
        if (skype.top > lift) {
            skype.top -= lift;
            skype.bottom -= lift;
        } else {
            skype.bottom = workArea.bottom - panelHeight;
        }
    }
    DockPlacement placement;
    placement.skype = skype;
    placement.skypeMoved = !(skype == original);
    placement.panel = {skype.left, skype.bottom};
    return placement;
}

DockPoint InitialPanelPosition(int left, int top, int screenWidth, int screenHeight, int panelWidth,
                               int panelHeight)
{
    if (left == -1 && top == -1)
        return {(screenWidth - panelWidth) / 2, (screenHeight - panelHeight) / 2};
    DockPoint p{left < 0 ? 0 : left, top < 0 ? 0 : top};
    if (p.x + panelWidth > screenWidth)
        p.x = screenWidth - panelWidth;
    if (p.y + panelHeight > screenHeight)
        p.y = screenHeight - panelHeight;
    return p;
}

} // namespace tw
