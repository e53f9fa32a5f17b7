// varnolt fit: the four-parameter plane fit from a control-point file.
#include <iostream>
#include <memory>
#include <string>

#include "base/error.h"
#include "base/paths.h"
#include "calc/fit.h"
#include "commands.h"
#include "geodesy/methods.h"
#include "options.h"
#include "settings/conversion_options.h"
#include "text/numtext.h"

namespace varnolt::cli {
namespace {

struct FitCommand {
  SettingsOptions settings;
  std::string input;
  bool save = false;

  int Run() {
    if (const std::string conflict = settings.Conflict(); !conflict.empty()) {
      std::cerr << "varnolt fit: " << conflict << "\n";
      return kExitUsage;
    }
    const Settings s = settings.Effective();
    FitPlane plane;
    plane.meridianPacked = ReadLeadingNumber(s.Text2);
    plane.zoneInEastings = ReadConversionOptions(s).zoneInEastings;
    const FitResult result = RunFit(plane, PathFromUtf8(input));
    std::cout << result.text << std::flush;
    std::cerr << "varnolt: fit written to " << Utf8(FitPath(PathFromUtf8(input))) << "\n";
    if (save) {
      // Only the parameters are stored; the method is chosen with --transform.
      Settings stored = settings.Stored();
      stored.SetExtra("four_parameter", SimilarityText(result.similarity));
      stored.SetExtra("four_parameter_meridian", GeneralText(result.meridian));
      SaveCalculatorSettings(settings.Path(), stored);
      std::cerr << "varnolt: the four parameters saved to " << Utf8(settings.Path())
                << "; convert with --transform four-parameter to use them\n";
    }
    return kExitOk;
  }
};

}  // namespace

void AddFitCommand(CLI::App& app, Action& action) {
  auto cmd = std::make_shared<FitCommand>();
  CLI::App* sub = app.add_subcommand(
      "fit",
      "Fit a four-parameter plane similarity (two shifts, scale, rotation) from control\n"
      "points, the file format of 'varnolt correct'. The known WGS 84 positions are\n"
      "projected onto the Gauss-Krueger plane of WGS 84 with the same central meridian,\n"
      "and the drawing's (Y, X) are fitted to them by least squares (two points fit\n"
      "exactly). Writes the parameters, each point's residual in metres and 'RMS <value> m'\n"
      "beside the input as NAME_四参数.txt and prints them. Compare the RMS with the one\n"
      "'varnolt correct' prints to choose the method.");
  sub->add_option("POINTS", cmd->input, "Control-point file")->required();
  sub->add_flag("--save", cmd->save,
                "Store the parameters in the settings file (extra line four_parameter=)");
  cmd->settings.AddForFit(*sub);
  sub->callback([cmd, &action] {
    action = {"fit", Task::kCorrection, [cmd] { return cmd->Run(); }};
  });
}

}  // namespace varnolt::cli
