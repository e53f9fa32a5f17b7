// The names the user gives the content beyond the seven families (`--include
// blocks,points`, the settings file's include= line), and the words for what a
// drawing left out.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cad/entity.h"

namespace varnolt {

// "blocks,points,ellipses,splines,fitted,hatches,solids", "all", or "none" / empty
// for nothing, in any order and case, blanks allowed. nullopt for an unknown name.
std::optional<unsigned> ParseIncludeList(std::string_view text);

// The list that ParseIncludeList reads back: "all", "" for nothing, or the names in
// the order above.
std::string IncludeListText(unsigned bits);

// Every name ParseIncludeList takes, for messages and --help.
inline constexpr std::string_view kIncludeNames =
    "blocks, points, ellipses, splines, fitted, hatches, solids, all";

// What a skipped DXF kind ("INSERT", "POLYLINE (fitted)", ...) is called, and the
// include bit that would convert it (0 when nothing does).
struct KindWords {
  std::string english;  // plural: "block references"
  std::string chinese;  // "块参照"
  unsigned include = 0;
};
KindWords WordsForKind(std::string_view dxfKind);

}  // namespace varnolt
