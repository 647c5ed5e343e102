#pragma once

#include <functional>
#include <string>

#include <QWidget>

#include "platform/event_loop.h"
#include "ui/skin_bitmap.h"

namespace tw {

/// The start-up splash: the skin's "splash.bmp" as a borderless window of the bitmap's size,
/// centred on the screen and in front. It closes itself once the application's main window
/// exists: 500 ms after it is shown it starts asking, then asks every 100 ms. A bitmap that
/// is not the skin's BMP form leaves the splash empty. UI thread only; the loop outlives it.
class CSplashWnd : public QWidget, private TimerClient
{
public:
    static constexpr int kTimerId = 1;
    static constexpr std::chrono::milliseconds kFirstCheck{500};
    static constexpr std::chrono::milliseconds kCheckPeriod{100};

    /// mainWindowExists is asked on each check.
    CSplashWnd(EventLoop& loop, std::function<bool()> mainWindowExists,
               const std::string& version = {});
    ~CSplashWnd() override;

    /// Shows the splash centred and in front, and starts the first check.
    void Start();
    bool IsEmpty() const { return m_bitmap.IsEmpty(); }
    bool IsClosed() const { return m_closed; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void onTimer(int id) override;

    EventLoop& m_loop;
    std::function<bool()> m_exists;
    CSkinBitmap m_bitmap;
    QString m_version;
    bool m_firstCheck = true;
    bool m_closed = false;
};

} // namespace tw
