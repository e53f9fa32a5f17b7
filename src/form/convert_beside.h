// Explorer's context-menu verb on a drawing ("转换为 KML (Varnolt)"): the whole
// drawing converted to a KML document beside it, named after it, with the saved
// settings, and the words of the box that shows how it went. No window is needed.
#pragma once

#include <filesystem>
#include <string>

namespace varnolt::form {

struct BesideOutcome {
  bool ok = false;
  std::string title;  // "转换完成", or "错误" for a failure
  // What went right (the document, its Placemarks, what was left out) or the
  // system's message for the failure with the drawing and what failed where.
  std::string text;
};

// Converts every model-space entity of `drawing` (and the kinds the settings'
// include= line adds) into the drawing's name with ".kml", read with the settings of
// `settingsPath`, which is not written. An earlier document is replaced only when
// the new one is complete.
BesideOutcome ConvertBeside(const std::filesystem::path& drawing,
                            const std::filesystem::path& settingsPath);

}  // namespace varnolt::form
