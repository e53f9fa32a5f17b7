// `varnolt convert --cad`, the live CAD session, behind one seam: the host runs only
// on Windows (cad_command_win.cpp); elsewhere the command says so
// (cad_command_posix.cpp).
#pragma once

#include <chrono>
#include <string>

#include "cad/dxf.h"
#include "run/run.h"
#include "settings/settings.h"

namespace varnolt::cli {

// What the user picks in the running CAD host `progId` (empty: the settings' cad_progid=
// line, else the hosts the session knows; started when none runs), converted to
// `output`, which is created before the host is asked anything. The drawing the host
// exports is read with `limits` (the kinds the settings include). The prompts go to
// the host's command line and on to `terminal`; the elapsed time counts from
// `started`. Returns the exit code. Throws Error; a failed connection names the
// classes tried.
int ConvertCadSelection(const std::string& progId, const std::string& output,
                        const Settings& settings, const DxfLimits& limits,
                        RunReporter& terminal, std::chrono::system_clock::time_point started);

}  // namespace varnolt::cli
