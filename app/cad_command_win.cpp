#include "cad_command.h"

#include <memory>

#include "base/paths.h"
#include "cad/autocad.h"
#include "options.h"
#include "run/cad_reporter.h"
#include "settings/conversion_options.h"

namespace varnolt::cli {

int ConvertCadSelection(const std::string& progId, const std::string& output,
                        const Settings& settings, const DxfLimits& limits,
                        RunReporter& terminal, std::chrono::system_clock::time_point started) {
  RunOptions options;
  options.started = started;
  OutputDocument document(PathFromUtf8(output));
  const std::string chosen = progId.empty() ? ReadConversionOptions(settings).cadProgId : progId;
  std::unique_ptr<CadSession> session = ConnectCad(chosen);
  session->ReadWith(limits);
  CadPromptReporter reporter(*session, &terminal);
  RunConversion(*session, settings, document, reporter, options);
  return kExitOk;
}

}  // namespace varnolt::cli
