#pragma once

#include <vector>

#include <QString>

namespace tw::sim {

/// One target of an audio redirection: SOUNDCARD="default", PORT="n" or FILE="path".
struct RedirectTarget
{
    QString kind;
    QString value;
};

/// Parses the value of ALTER CALL ... SET_INPUT / SET_OUTPUT / SET_CAPTURE_MIC: targets of
/// the form KIND="value" joined by ", ", or nothing at all (no target). A value ends at the
/// quote that is followed by the end or by ", " and the next KIND=", so a path may hold
/// commas and spaces. False for anything else.
bool parseRedirectValue(const QString& text, std::vector<RedirectTarget>* targets);

} // namespace tw::sim
