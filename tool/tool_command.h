#pragma once

#include <string>
#include <vector>

namespace tw::tool {

/// One top-level verb of tellwick-tool ("records", "audio", "mail"). Each verb lives in its
/// own *_command.cpp and registers itself at start-up, so verbs are added without touching
/// the dispatcher.
struct ToolCommand
{
    const char* name;
    const char* summary;
    /// args holds what follows the verb; returns the process exit status.
    int (*run)(const std::vector<std::string>& args);
};

void registerCommand(const ToolCommand& command);
const std::vector<ToolCommand>& registeredCommands();

struct ToolCommandRegistrar
{
    explicit ToolCommandRegistrar(const ToolCommand& command) { registerCommand(command); }
};

} // namespace tw::tool
