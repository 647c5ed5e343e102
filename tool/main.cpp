#include <cstdio>
#include <cstring>

#include "tool/tool_command.h"

namespace tw::tool {

namespace {
std::vector<ToolCommand>& commands()
{
    static std::vector<ToolCommand> list;
    return list;
}
} // namespace

void registerCommand(const ToolCommand& command)
{
    commands().push_back(command);
}

const std::vector<ToolCommand>& registeredCommands()
{
    return commands();
}

} // namespace tw::tool

namespace {
void usage(std::FILE* out)
{
    std::fprintf(out, "usage: tellwick-tool <command> [arguments]\n\ncommands:\n");
    for (const auto& command : tw::tool::registeredCommands())
        std::fprintf(out, "  %-10s %s\n", command.name, command.summary);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    for (const auto& command : tw::tool::registeredCommands()) {
        if (std::strcmp(command.name, argv[1]) == 0)
            return command.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "tellwick-tool: unknown command '%s'\n", argv[1]);
    usage(stderr);
    return 2;
}
