#pragma once

#include <functional>
#include <string_view>

namespace tw {

/// Where the windows write their event-log and trace lines. The application shell points
/// these at its event log and trace channel; until it does, lines go to Qt's warning output
/// (log) or nowhere (trace). UI thread only.
using UiLogSink = std::function<void(std::string_view text)>;
using UiTraceSink = std::function<void(int level, std::string_view text)>;

void setUiLogSinks(UiLogSink log, UiTraceSink trace);
void uiLog(std::string_view text);
void uiTrace(int level, std::string_view text);

} // namespace tw
