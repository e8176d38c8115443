// The commands of `dravo`. Each command file defines its options on the subcommand it is given and
// sets `action` to what runs once the command line has been parsed. Actions return the exit status
// and may throw UsageError, ToolError or host::BlockError; main turns those into messages.
#pragma once

#include <functional>

namespace CLI {
class App;
}

namespace dravo::cli {

using CommandAction = std::function<int()>;
using CommandDefiner = void (*)(CLI::App& command, CommandAction& action);

void defineBlocksCommand(CLI::App& command, CommandAction& action);
void defineDescribeCommand(CLI::App& command, CommandAction& action);
void defineRunCommand(CLI::App& command, CommandAction& action);
void defineDemoCommand(CLI::App& command, CommandAction& action);
void defineCodegenCommand(CLI::App& command, CommandAction& action);
void defineSilCommand(CLI::App& command, CommandAction& action);
void defineModelCommand(CLI::App& command, CommandAction& action);

}  // namespace dravo::cli
