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

bool CadSessionAvailable() { return true; }

namespace {

class SessionModelSpace : public CadModelSpace {
 public:
  explicit SessionModelSpace(std::unique_ptr<CadSession> session) : session_(std::move(session)) {}
  std::string Describe() const override { return session_->Describe(); }
  void Add(const std::vector<Layer>& layers, const std::vector<Entity>& entities,
           const std::function<void(size_t, size_t)>& progress) override {
    session_->AddToModelSpace(layers, entities, progress);
  }

 private:
  std::unique_ptr<CadSession> session_;
};

}  // namespace

std::unique_ptr<CadModelSpace> ConnectCadModelSpace(const std::string& progId,
                                                    const Settings& settings) {
  const std::string chosen = progId.empty() ? ReadConversionOptions(settings).cadProgId : progId;
  return std::make_unique<SessionModelSpace>(ConnectCad(chosen));
}

}  // namespace varnolt::cli
