// The subcommands of `varnolt`. Each adds itself to the application and returns the
// action to run when it was chosen.
#pragma once

#include <CLI/CLI.hpp>

#include <chrono>
#include <functional>

namespace varnolt::cli {

using Action = std::function<int()>;

void AddPointCommand(CLI::App& app, Action& action);
void AddCorrectCommand(CLI::App& app, Action& action);
void AddFitCommand(CLI::App& app, Action& action);
// `started`: when the command began, from which a conversion's elapsed time counts.
void AddConvertCommand(CLI::App& app, Action& action,
                       std::chrono::system_clock::time_point started);

}  // namespace varnolt::cli
