// The words for what a drawing left out, by DXF kind, for the summary after a run.
#pragma once

#include <string>
#include <string_view>

#include "cad/entity.h"

namespace varnolt {

// What a skipped DXF kind ("INSERT", "POLYLINE (fitted)", ...) is called, and the
// include bit that would convert it (0 when nothing does).
struct KindWords {
  std::string english;   // plural: "block references"
  std::string chinese;   // "块参照"
  unsigned include = 0;
  std::string singular;  // "block reference"
};
KindWords WordsForKind(std::string_view dxfKind);

}  // namespace varnolt
