// varnolt: converts Gauss-Krueger CAD drawings to KML, and the tools around it.
#include <CLI/CLI.hpp>

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/platform.h"
#include "commands.h"
#include "options.h"
#include "settings/conversion_options.h"

int main(int argc, char** argv) {
  const auto started = std::chrono::system_clock::now();
  varnolt::PrepareCommandLineProcess();
  // Every argument as UTF-8, whatever the platform hands over.
  std::vector<std::string> args = varnolt::Utf8Arguments(argc, argv);
  std::vector<char*> utf8argv;
  for (std::string& a : args) utf8argv.push_back(a.data());
  utf8argv.push_back(nullptr);
  CLI::App app(
      "Varnolt: CAD drawings on the Beijing 1954 / Xi'an 1980 / CGCS2000 Gauss-Krueger plane\n"
      "to KML for Google Earth, the ways toward WGS 84 (corrections, plane fit, seven\n"
      "parameters), and the way back from KML, KMZ, GPX and GeoJSON to DXF.",
      "varnolt");
  app.set_version_flag("--version", "varnolt 1.1");
  app.require_subcommand(1);
  // Options begin with "-" on every platform: on Windows "/x" stays a path.
  app.allow_windows_style_options(false);
  app.footer(
      "Settings come from Varnolt.ini beside the program (when that folder is not writable:\n"
      "~/.config/varnolt/Varnolt.ini on Linux, %APPDATA%\\Varnolt\\Varnolt.ini on Windows);\n"
      "every subcommand takes --settings FILE and per-call overrides. Run\n"
      "'varnolt SUBCOMMAND --help' for details. Exit codes: 0 done, 1 failed, 2 usage.");

  varnolt::cli::Action action;
  varnolt::cli::AddConvertCommand(app, action, started);
  varnolt::cli::AddPointCommand(app, action);
  varnolt::cli::AddCorrectCommand(app, action);
  varnolt::cli::AddFitCommand(app, action);
  varnolt::cli::AddImportCommand(app, action);

  try {
    app.parse(static_cast<int>(args.size()), utf8argv.data());
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? varnolt::cli::kExitOk : varnolt::cli::kExitUsage;
  }
  if (!action.run) return varnolt::cli::kExitUsage;
  // The one place where what a subcommand throws becomes a message and an exit code.
  try {
    return action.run();
  } catch (const varnolt::SettingError& e) {
    std::cerr << "varnolt " << action.name << ": " << e.what() << "\n";
    return varnolt::cli::kExitUsage;
  } catch (const varnolt::Error& e) {
    varnolt::cli::PrintFailure(varnolt::FailureMessage(action.task, e.kind()), e.what());
    return varnolt::cli::kExitFailure;
  } catch (const std::exception& e) {
    // Out of memory and the like are "anything else" to the user.
    varnolt::cli::PrintFailure(varnolt::FailureMessage(action.task, varnolt::ErrorKind::kGeneral),
                               e.what());
    return varnolt::cli::kExitFailure;
  }
}
