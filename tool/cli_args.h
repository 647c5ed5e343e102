#pragma once

#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace tw::tool {

/// Parses what follows a verb into app, with program as the first argument. nullopt when the
/// arguments were taken; otherwise the exit status CLI11 chose (0 after --help).
inline std::optional<int> parseVerbArguments(CLI::App& app, const std::string& program,
                                             const std::vector<std::string>& args)
{
    std::vector<const char*> argv{program.c_str()};
    for (const auto& arg : args)
        argv.push_back(arg.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return std::nullopt;
}

} // namespace tw::tool
