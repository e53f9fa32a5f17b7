// The subcommands of `varnolt`. Each adds itself to the application and returns the
// action to run when it was chosen.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace varnolt::cli {

using Action = std::function<int()>;

void AddPointCommand(CLI::App& app, Action& action);
void AddCorrectCommand(CLI::App& app, Action& action);
void AddConvertCommand(CLI::App& app, Action& action);

}  // namespace varnolt::cli
