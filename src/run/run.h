// The conversion run: the picked entities of a source, the settings and an output
// path in; one KML document out, written whole or not at all.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cad/entity.h"
#include "ui/settings.h"

namespace varnolt {

// Where the run's prompts go: the command line prints them, the window shows them.
class RunReporter {
 public:
  virtual ~RunReporter() = default;
  // A command-line prompt, exactly as the system words it, without the line ending.
  virtual void Prompt(const std::string& text) = 0;
  // Progress through the families: `done` of `total` entities converted.
  virtual void Progress(int64_t done, int64_t total) { (void)done; (void)total; }
  // Something that does not stop the run but that the user should know.
  virtual void Warning(const std::string& text) { (void)text; }
};

struct RunResult {
  int64_t entities = 0;  // Placemarks written
  int64_t points = 0;    // coordinate tuples written
  int64_t seconds = 0;   // whole seconds elapsed
};

// Converts what `source.SelectOnScreen()` picks into the KML document at `output`
// (a name ending in ".kmz" gets the same document zipped as doc.kml). Throws Error;
// on failure an earlier file at `output` is untouched and no partial file is left.
// Saving the settings is the caller's business (the window and the command line
// differ there).
RunResult RunConversion(EntitySource& source, const Settings& settings,
                        const std::filesystem::path& output, RunReporter& reporter);

}  // namespace varnolt
