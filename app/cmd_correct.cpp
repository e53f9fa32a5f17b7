// varnolt correct: latitude and longitude corrections from a control-point file.
#include <iostream>
#include <memory>
#include <string>

#include "base/error.h"
#include "base/paths.h"
#include "calc/correction.h"
#include "commands.h"
#include "options.h"
#include "text/numtext.h"

namespace varnolt::cli {
namespace {

struct CorrectCommand {
  SettingsOptions settings;
  std::string input;
  bool save = false;

  int Run() {
    const CorrectionResult result = RunCorrection(settings.Effective(), PathFromUtf8(input));
    // After the table, what the constant shift leaves at the points, to compare with
    // the RMS of `varnolt fit`.
    std::cout << result.table << "RMS " << FixedText(result.rms, 4) << " m\r\n" << std::flush;
    std::cerr << "varnolt: result table written to " << Utf8(ResultPath(PathFromUtf8(input)))
              << "\n";
    if (save) {
      // Only the corrections change; overrides given for this call stay unsaved.
      Settings stored = settings.Stored();
      stored.Text5 = FixedText(result.latAverage, 5);
      stored.Text6 = FixedText(result.lonAverage, 5);
      SaveCalculatorSettings(settings.Path(), stored);
      std::cerr << "varnolt: corrections " << stored.Text5 << " (latitude) and " << stored.Text6
                << " (longitude) saved to " << Utf8(settings.Path()) << "\n";
    }
    return kExitOk;
  }
};

}  // namespace

void AddCorrectCommand(CLI::App& app, Action& action) {
  auto cmd = std::make_shared<CorrectCommand>();
  CLI::App* sub = app.add_subcommand(
      "correct",
      "Derive the latitude and longitude corrections toward WGS 84 from control points.\n"
      "POINTS is a text file (UTF-8 or GB18030), one point a line: identifier, X (northing),\n"
      "Y (easting with false easting), known WGS 84 latitude and longitude as packed\n"
      "ddd.mmss, separated by blanks or tabs; lines starting with ;; are comments.\n"
      "Writes the table of per-point corrections (minutes) and their averages beside the\n"
      "input as NAME_计算结果.txt and prints it. The settings file is not changed unless\n"
      "--save is given.");
  sub->add_option("POINTS", cmd->input, "Control-point file")->required();
  sub->add_flag("--save", cmd->save,
                "Store the two averages as the new corrections in the settings file");
  cmd->settings.Add(*sub);
  sub->callback([cmd, &action] {
    action = {"correct", Task::kCorrection, [cmd] { return cmd->Run(); }};
  });
}

}  // namespace varnolt::cli
