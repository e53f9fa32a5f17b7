#include "cad_command.h"

#include <iostream>

#include "base/error.h"
#include "options.h"

namespace varnolt::cli {

int ConvertCadSelection(const std::string&, const std::string&, const Settings&,
                        const DxfLimits&, RunReporter&, std::chrono::system_clock::time_point) {
  std::cerr << "varnolt convert: --cad works only on Windows, where the CAD host runs; "
               "here convert a DXF file instead\n";
  return kExitUsage;
}

bool CadSessionAvailable() { return false; }

std::unique_ptr<CadModelSpace> ConnectCadModelSpace(const std::string&, const Settings&) {
  throw Error(ErrorKind::kUnsupported, "the live CAD session works only on Windows");
}

}  // namespace varnolt::cli
