#pragma once

#include <QStringList>

namespace tw::sim {

/// Runs "skype-sim ctl VERB ARGS..." against the running substitute; returns the exit code.
int runCtl(const QStringList& args);

} // namespace tw::sim
