// Options every subcommand shares: which settings file, and per-call overrides of
// each of the ten settings.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace varnolt::cli {

class SettingsOptions {
 public:
  // Adds --settings and the overrides to `app`; with `methods`, also the choices of
  // coordinate system and method (--crs, --zone, --transform, --helmert, ...).
  void Add(CLI::App& app, bool methods = false);

  // Adds only what the plane fit reads: --settings, --meridian, --crs and --zone.
  void AddForFit(CLI::App& app);

  // Options that contradict each other or cannot be read: the message of a usage
  // error, empty when there is none.
  std::string Conflict() const;

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
  std::optional<std::string> crs_, zone_, transform_, helmert_, helmertConvention_,
      outputDatum_;

  void AddCrsAndZone(CLI::App& app);
};

// Exit codes: 0 done, 1 the work failed, 2 the command line was wrong.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Saves the settings of a calculator (correct, fit --save): to it a settings file that
// cannot be written is "anything else", not the file access of its own files.
// Throws Error(kGeneral).
void SaveCalculatorSettings(const std::filesystem::path& path, const Settings& settings);

// "4G", "500M", "64K" or a plain byte count, more than 0 and below 2^64 bytes: the
// size limits of --max-file-size. Empty for anything else.
std::optional<uint64_t> ParseSize(const std::string& text);

// Each input's output: in `outputDir` or beside the input, named after it with
// `extension` (".kml"). Empty, after a usage message of `varnolt COMMAND`, when two
// inputs would write the same file. `relatives`, when given, holds each input's path
// under OUTDIR (a folder converted with --recursive is mirrored there).
std::optional<std::vector<std::filesystem::path>> OutputsNamedAfter(
    const std::vector<std::string>& inputs, const std::string& outputDir,
    const char* extension, const char* command,
    const std::vector<std::filesystem::path>* relatives = nullptr);

// Whether two paths name the same file (an output that would overwrite its input).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// --cad-progid, in the "Live CAD session" group of --cad.
void AddCadProgIdOption(CLI::App& app, std::string& progId);

// Prints the system's message and the detail line to stderr.
void PrintFailure(const std::string& message, const std::string& detail);

}  // namespace varnolt::cli
