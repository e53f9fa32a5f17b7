// What every platform knows of the live CAD host, though only Windows can drive it:
// the automation class name the session looks for unless told another.
#pragma once

namespace varnolt {

inline constexpr char kCadProgId[] = "AutoCAD.Application";

}  // namespace varnolt
