#pragma once

#include <memory>

#include "ui/side_panel.h"

namespace tw {

/// Skype's main window on X11: the first managed top-level window whose WM_CLASS names
/// "skype" (instance or class, any case), its frame included. Null where the display
/// server gives no such access (Wayland, offscreen): docking then does nothing.
std::unique_ptr<SkypeWindowAccess> MakeSkypeWindowAccess();

} // namespace tw
