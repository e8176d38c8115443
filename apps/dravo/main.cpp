// dravo: run the image and signal blocks from the command line.
#include <CLI/CLI.hpp>
#include <iostream>

#include "commands.h"
#include "dravo/host/engine.h"
#include "errors.h"
#include "report.h"

namespace {

using namespace dravo::cli;

struct CommandEntry {
    const char* name;
    const char* summary;
    CommandDefiner define;
};

// One line per command; the order is the order of `dravo --help`.
const CommandEntry kCommands[] = {
    {"blocks", "list the blocks found, with one line each", defineBlocksCommand},
    {"describe", "dialog parameters (index, name, default, choices), ports", defineDescribeCommand},
    {"run", "simulate a block on arrays and images", defineRunCommand},
    {"demo", "the main job on a built-in image", defineDemoCommand},
    {"codegen", "generate C code for a configured block", defineCodegenCommand},
    {"sil", "generate, compile, run and compare with simulation", defineSilCommand},
    {"model", "run or check a model file: several blocks connected", defineModelCommand},
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"dravo: image and signal blocks on arrays and images"};
    app.require_subcommand(1);
    app.footer(
        "Run 'dravo COMMAND --help' for a command's options and examples.\n"
        "Exit status: 0 success, 1 an error of the block, the host or a file, 2 a usage error.");
    std::vector<CommandAction> actions(std::size(kCommands));
    std::vector<CLI::App*> commands;
    for (size_t i = 0; i < std::size(kCommands); ++i) {
        CLI::App* sub = app.add_subcommand(kCommands[i].name, kCommands[i].summary);
        kCommands[i].define(*sub, actions[i]);
        commands.push_back(sub);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // A mistyped command name would otherwise read "A subcommand is required".
        bool anyCommand = false;
        for (auto* c : commands)
            anyCommand = anyCommand || c->parsed();
        if (!anyCommand && argc > 1 && argv[1][0] != '-') {
            std::string names;
            for (const auto& c : kCommands)
                names += (names.empty() ? "" : ", ") + std::string(c.name);
            reportError("unknown command '" + std::string(argv[1]) + "'; commands: " + names, msg::kUsage);
        } else {
            reportError(e.what(), msg::kUsage);
        }
        return kExitUsage;
    }
    for (size_t i = 0; i < commands.size(); ++i) {
        if (!commands[i]->parsed()) continue;
        try {
            return actions[i]();
        } catch (const UsageError& e) {
            reportError(e.what(), e.messageClass());
            return kExitUsage;
        } catch (const ToolError& e) {
            reportError(e.what(), e.messageClass());
            return kExitFailure;
        } catch (const dravo::host::BlockError& e) {
            reportError(e.text(), e.messageClass());
            return kExitFailure;
        } catch (const std::bad_alloc&) {
            reportError("out of memory", msg::kOutOfMemory);
            return kExitFailure;
        } catch (const std::exception& e) {
            reportError(e.what(), "");
            return kExitFailure;
        }
    }
    return kExitUsage;
}
