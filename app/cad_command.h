// `varnolt convert --cad` and `varnolt import --cad`, the live CAD session, behind one
// seam: the host runs only on Windows (cad_command_win.cpp); elsewhere the commands
// say so (cad_command_posix.cpp).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cad/dxf.h"
#include "cad/entity.h"
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

// Whether this build can drive a CAD host: on Windows only.
bool CadSessionAvailable();

// The running CAD host's model space, which an import adds its drawings to.
class CadModelSpace {
 public:
  virtual ~CadModelSpace() = default;
  // "AutoCAD: site.dwg", for messages.
  virtual std::string Describe() const = 0;
  // Adds the layers the host's drawing lacks and the entities, in order; `progress`
  // hears after each entity. Throws Error.
  virtual void Add(const std::vector<Layer>& layers, const std::vector<Entity>& entities,
                   const std::function<void(size_t added, size_t total)>& progress) = 0;
};

// Attaches to the CAD host `progId` (empty: the settings' cad_progid= line, else the
// hosts the session knows; started when none runs). Throws Error; a failed connection
// names the classes tried; without CadSessionAvailable(), Error(kUnsupported).
std::unique_ptr<CadModelSpace> ConnectCadModelSpace(const std::string& progId,
                                                    const Settings& settings);

}  // namespace varnolt::cli
