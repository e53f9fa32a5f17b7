// varnolt convert: a DXF drawing to one KML document.
#include "commands.h"

namespace varnolt::cli {

void AddConvertCommand(CLI::App& app, Action& action) {
  (void)app;
  (void)action;
}

}  // namespace varnolt::cli
