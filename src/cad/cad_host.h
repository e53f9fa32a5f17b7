// What every platform knows of the live CAD host, though only Windows can drive it:
// the automation class names the session looks for unless told another.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/ascii.h"

namespace varnolt {

struct CadHostClass {
  std::string_view progId;  // the automation class name it registers
  std::string_view name;    // how messages name the host
};

// AutoCAD, then the compatible hosts that register the same object model under their
// own names, in the order the session tries them: attached to the first that runs,
// else the first registered is started.
inline constexpr CadHostClass kCadHosts[] = {
    {"AutoCAD.Application", "AutoCAD"},
    {"ZWCAD.Application", "ZWCAD"},
    {"GStarCAD.Application", "GstarCAD"},
    {"Gcad.Application", "GstarCAD"},
    {"BricscadApp.AcadApplication", "BricsCAD"},
};

// The class names to try: the one the user chose (--cad-progid, the settings file's
// cad_progid= line), else every name of kCadHosts in order.
inline std::vector<std::string> CadClassesToTry(const std::string& chosen) {
  if (!chosen.empty()) return {chosen};
  std::vector<std::string> all;
  for (const CadHostClass& host : kCadHosts) all.emplace_back(host.progId);
  return all;
}

// How messages name the host registered as `progId`: the table's name for one of its
// classes or a versioned one ("AutoCAD.Application.24"), else the class name itself.
inline std::string CadHostName(std::string_view progId) {
  for (const CadHostClass& host : kCadHosts) {
    if (EqualsIgnoringAsciiCase(progId.substr(0, host.progId.size()), host.progId) &&
        (progId.size() == host.progId.size() || progId[host.progId.size()] == '.')) {
      return std::string(host.name);
    }
  }
  return std::string(progId);
}

}  // namespace varnolt
