// varnolt point: the longitude and latitude texts of plane points, as a converter
// writes them.
#include <iostream>
#include <memory>
#include <string>

#include "base/error.h"
#include "commands.h"
#include "convert/methods_settings.h"
#include "geodesy/angles.h"
#include "geodesy/methods.h"
#include "geodesy/projection.h"
#include "options.h"
#include "text/numtext.h"

namespace varnolt::cli {
namespace {

struct PointCommand {
  SettingsOptions settings;
  std::string x, y;

  int Run() {
    if (const std::string conflict = settings.Conflict(); !conflict.empty()) {
      std::cerr << "varnolt point: " << conflict << "\n";
      return kExitUsage;
    }
    const Settings s = settings.Effective();
    const DatumParameters datum = DatumParametersOfSettings(s);
    std::shared_ptr<const ProjectionMethods> methods = MethodsOfSettings(s);
    std::unique_ptr<Projector> projector;
    try {
      projector = std::make_unique<Projector>(datum, ReadLeadingNumber(s.Text2),
                                              ReadLeadingNumber(s.Text5),
                                              ReadLeadingNumber(s.Text6));
    } catch (const Error& e) {
      // The angle's message alone does not say which setting it was.
      PrintFailure(FailureMessage(Task::kConversion, e.kind()),
                   std::string("central meridian (--meridian, 中央子午线): ") + e.what());
      return kExitFailure;
    }
    if (methods) projector->UseMethods(std::move(methods));
    const int code = Points(*projector);
    WarnAboutZoneMeridian(*projector, s);
    return code;
  }

  // A zone number read from the eastings whose meridian is not the one in the settings.
  static void WarnAboutZoneMeridian(const Projector& projector, const Settings& s) {
    const ProjectionMethods* methods = projector.methods();
    if (methods == nullptr || methods->SeenZone() == 0) return;
    const double pi = projector.datum().pi;
    const double zoneMeridian = ZoneMeridian(methods->SeenZone()).value_or(0);
    // The projector was made from this meridian: it reads.
    const double setting = R_D1_Value(D_R_Value(ReadLeadingNumber(s.Text2), pi), pi);
    if (setting == zoneMeridian) return;
    std::cerr << "varnolt: warning: the eastings carry zone " << methods->SeenZone()
              << ", whose central meridian " << GeneralText(zoneMeridian)
              << " degrees was used instead of the setting's " << GeneralText(setting)
              << " (中央子午线, Text2: \"" << s.Text2 << "\")\n";
  }

  int Points(const Projector& p) {
    const Projector* projector = &p;
    if (!x.empty() || !y.empty()) {
      double X = 0, Y = 0;
      if (!ParseNumber(x, X) || !ParseNumber(y, Y)) {
        std::cerr << "varnolt point: X and Y must be numbers (got '" << x << "' '" << y
                  << "')\n";
        return kExitUsage;
      }
      return Answer(*projector, X, Y, "") ? kExitOk : kExitFailure;
    }
    // Batch mode: one "X Y" pair a line on stdin, one answer a line on stdout.
    std::string line;
    long lineNo = 0;
    while (std::getline(std::cin, line)) {
      ++lineNo;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      size_t first = line.find_first_not_of(" \t");
      if (first == std::string::npos) continue;
      std::string_view rest(line);
      rest.remove_prefix(first);
      size_t sep = rest.find_first_of(" \t,");
      double X = 0, Y = 0;
      if (sep == std::string_view::npos || !ParseNumber(rest.substr(0, sep), X) ||
          !ParseNumber(TrimSeparator(rest.substr(sep)), Y)) {
        PrintFailure(FailureMessage(Task::kCorrection, ErrorKind::kGeneral),
                     "stdin line " + std::to_string(lineNo) + ": expected \"X Y\" (northing, "
                     "easting), got \"" + line + "\"");
        return kExitFailure;
      }
      if (!Answer(*projector, X, Y, "stdin line " + std::to_string(lineNo) + ": ")) {
        return kExitFailure;
      }
    }
    return kExitOk;
  }

  static std::string_view TrimSeparator(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == ',')) {
      s.remove_prefix(1);
    }
    return s;
  }

  static bool Answer(const Projector& projector, double X, double Y, const std::string& where) {
    std::string out;
    try {
      projector.AppendLonLat(out, X, Y);
    } catch (const Error& e) {
      PrintFailure(FailureMessage(Task::kConversion, e.kind()), where + e.what());
      return false;
    }
    out += '\n';
    std::cout << out << std::flush;
    return true;
  }
};

}  // namespace

void AddPointCommand(CLI::App& app, Action& action) {
  auto cmd = std::make_shared<PointCommand>();
  CLI::App* sub = app.add_subcommand(
      "point",
      "Print the longitude and latitude of a plane point as \"LON,LAT\", exactly as a\n"
      "conversion writes them (datum, central meridian and corrections from the settings,\n"
      "or the coordinate system and method options below). X is the northing, Y the\n"
      "easting with the 500 000 m false easting (and the zone number with --zone auto). Without X and Y, reads \"X Y\" pairs from stdin, one a line, and answers\n"
      "one line each.");
  sub->add_option("X", cmd->x, "Northing in metres");
  sub->add_option("Y", cmd->y, "Easting in metres, with the false easting");
  cmd->settings.Add(*sub, true);
  sub->callback([cmd, &action] {
    action = {"point", Task::kConversion, [cmd] { return cmd->Run(); }};
  });
}

}  // namespace varnolt::cli
