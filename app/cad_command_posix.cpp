#include "cad_command.h"

#include <iostream>

#include "options.h"

namespace varnolt::cli {

int ConvertCadSelection(const std::string&, const std::string&, const Settings&,
                        const DxfLimits&, RunReporter&, std::chrono::system_clock::time_point) {
  std::cerr << "varnolt convert: --cad works only on Windows, where the CAD host runs; "
               "here convert a DXF file instead\n";
  return kExitUsage;
}

}  // namespace varnolt::cli
