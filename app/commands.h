// The subcommands of `varnolt`. Each adds itself to the application and returns the
// action to run when it was chosen.
#pragma once

#include <CLI/CLI.hpp>

#include <chrono>
#include <functional>
#include <string>

#include "base/error.h"

namespace varnolt::cli {

// The chosen subcommand's work and how main words what it throws: a SettingError is
// a usage error ("varnolt NAME: ...", exit 2), any other failure gets the system's
// message for `task` (exit 1).
struct Action {
  std::string name;
  Task task = Task::kConversion;
  std::function<int()> run;
};

void AddPointCommand(CLI::App& app, Action& action);
void AddCorrectCommand(CLI::App& app, Action& action);
void AddFitCommand(CLI::App& app, Action& action);
void AddImportCommand(CLI::App& app, Action& action);
// `started`: when the command began, from which a conversion's elapsed time counts.
void AddConvertCommand(CLI::App& app, Action& action,
                       std::chrono::system_clock::time_point started);

}  // namespace varnolt::cli
