#include "cad_command.h"

#include <memory>

#include "base/error.h"
#include "base/paths.h"
#include "cad/autocad.h"
#include "options.h"
#include "run/cad_reporter.h"

namespace varnolt::cli {

int ConvertCadSelection(const std::string& progId, const std::string& output,
                        const Settings& settings, RunReporter& terminal,
                        std::chrono::system_clock::time_point started) {
  RunOptions options;
  options.started = started;
  OutputDocument document(PathFromUtf8(output));
  std::unique_ptr<CadSession> session;
  try {
    session = ConnectCad(progId);
  } catch (const CadConnectError& e) {
    // The system's words alone do not say which host was looked for.
    throw Error(ErrorKind::kGeneral,
                "cannot attach to or start the CAD host '" + progId + "': " + e.what());
  }
  CadPromptReporter reporter(*session, &terminal);
  RunConversion(*session, settings, document, reporter, options);
  return kExitOk;
}

}  // namespace varnolt::cli
