#pragma once

namespace tw {

/// What the link tells the rest of the application. Implemented by the application shell
/// (tests implement it to watch). Every call comes on the UI thread.
class SkypeLinkHost
{
public:
    virtual ~SkypeLinkHost() = default;

    /// The attached client speaks a protocol older than 7: the user has been told, now close
    /// the program the orderly way (as closing the main window does).
    virtual void requestExit() = 0;
    /// A client attached: the side panel may dock beside Skype's main window.
    virtual void skypeAttached() {}
    /// A call's recording or hold state changed: refresh what shows GetActiveCallState.
    virtual void callStateChanged() {}
    /// Contact names or statuses changed: redraw the lists that show them.
    virtual void contactsChanged() {}
    /// Skype's menu item "acc1" or "acc2" was chosen: show the side panel, in front.
    virtual void showSidePanel() {}
    /// A call was placed at the user's request: show Skype's main window, in front.
    virtual void showSkypeMainWindow() {}
};

} // namespace tw
