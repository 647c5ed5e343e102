#include "ui/ui_log.h"

#include <string>

#include <QtGlobal>

namespace tw {
namespace {

UiLogSink& logSink()
{
    static UiLogSink sink;
    return sink;
}

UiTraceSink& traceSink()
{
    static UiTraceSink sink;
    return sink;
}

} // namespace

void setUiLogSinks(UiLogSink log, UiTraceSink trace)
{
    logSink() = std::move(log);
    traceSink() = std::move(trace);
}

void uiLog(std::string_view text)
{
    if (logSink())
        logSink()(text);
    else
        qWarning("%s", std::string(text).c_str());
}

void uiTrace(int level, std::string_view text)
{
    if (traceSink())
        traceSink()(level, text);
}

} // namespace tw
