// Options every subcommand shares: which settings file, and per-call overrides of
// each of the ten settings.
#pragma once

#include <CLI/CLI.hpp>

#include <filesystem>
#include <optional>
#include <string>

#include "settings/settings.h"

namespace varnolt::cli {

class SettingsOptions {
 public:
  // Adds --settings and the overrides to `app`.
  void Add(CLI::App& app);

  // The settings file named by --settings, or the default one.
  std::filesystem::path Path() const;

  // The file's settings (defaults when it is missing or unreadable).
  Settings Stored() const;

  // Stored() with this call's overrides applied.
  Settings Effective() const;

 private:
  std::string file_;
  std::optional<std::string> datum_;
  std::optional<std::string> meridian_, latCorrection_, lonCorrection_;
  std::optional<std::string> segment_, arcSegments_, width_, arcChord_;
  bool arcs_ = false, noArcs_ = false;
};

// Exit codes: 0 done, 1 the work failed, 2 the command line was wrong.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Prints the system's message and the detail line to stderr.
void PrintFailure(const std::string& message, const std::string& detail);

}  // namespace varnolt::cli
