// The content beyond the seven families that the user may include (`--include
// blocks,points`, the settings file's include= line), as bits and as the names the
// user gives them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnolt {

// Without any, a drawing reads and converts exactly as it always has.
enum IncludeKind : unsigned {
  kIncludeBlocks = 1u << 0,    // INSERT and MINSERT exploded, ATTRIB, DIMENSION
  kIncludePoints = 1u << 1,    // POINT
  kIncludeEllipses = 1u << 2,  // ELLIPSE
  kIncludeSplines = 1u << 3,   // SPLINE
  kIncludeFitted = 1u << 4,    // curve- and spline-fitted 2D POLYLINE
  kIncludeHatches = 1u << 5,   // HATCH
  kIncludeSolids = 1u << 6,    // SOLID, TRACE, 3DFACE
  // "all": the seven kinds above, as it has always meant. The kinds below came later
  // and are named one by one, so that a settings file's include=all writes what it
  // wrote before.
  kIncludeAll = (1u << 7) - 1,
  kIncludeMeshes = 1u << 7,   // polygon and polyface meshes (POLYLINE)
  kIncludeLeaders = 1u << 8,  // LEADER, MULTILEADER
  kIncludeFrames = 1u << 9,   // IMAGE, WIPEOUT
};

// "blocks,points,ellipses,splines,fitted,hatches,solids,meshes,leaders,frames", "all"
// (the first seven), or "none" / empty for nothing, in any order and case, blanks
// allowed. nullopt for an unknown name, which `unknown` (when given) is then set to.
std::optional<unsigned> ParseIncludeList(std::string_view text,
                                         std::string_view* unknown = nullptr);

// The list that ParseIncludeList reads back: "" for nothing, else the names in the
// order above, "all" standing for the first seven ("all,frames").
std::string IncludeListText(unsigned bits);

// Every name ParseIncludeList takes, for messages and --help.
inline constexpr std::string_view kIncludeNames =
    "blocks, points, ellipses, splines, fitted, hatches, solids, all (these seven), meshes, "
    "leaders, frames";

}  // namespace varnolt
