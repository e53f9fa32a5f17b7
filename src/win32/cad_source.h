// The drawing Convert takes its entities from: the CAD host attached to, when one is
// registered, else a DXF file the user opens (every model-space entity, and the
// kinds the settings' include= line adds).
#pragma once

#include <memory>
#include <string>

#include "cad/entity.h"
#include "form/actions.h"
#include "run/run.h"

namespace varnolt::win32 {

// Where the run's prompts go: the CAD host's command line when one is attached,
// else collected so that the window can show how the run ended.
class SourceReporter : public RunReporter {
 public:
  void Prompt(const std::string& text) override;
  void Progress(int64_t done, int64_t total) override;
  void Warning(const RunWarning& warning) override;
  void Converting(int familyIndex, int64_t i, int64_t count) override;

  void Forward(std::unique_ptr<RunReporter> target) { target_ = std::move(target); }
  bool forwarding() const { return target_ != nullptr; }
  const std::string& lastPrompt() const { return last_; }
  void Reset() {
    target_.reset();
    last_.clear();
  }

 private:
  std::unique_ptr<RunReporter> target_;
  std::string last_;
};

// True when `progId` (empty: any the session knows) names a registered CAD host that
// this build can attach to.
bool CadHostAvailable(const std::string& progId);

// Attaches to the CAD host `progId` (empty: the settings' cad_progid= line, else the
// hosts the session knows), its prompts then going to its command line and the
// drawing it exports read with the kinds the settings include; or asks for a DXF
// drawing through `host` when no host is registered. Throws Error, or
// form::Abandoned after showing the system's own text when attaching failed; null
// when the user chose no drawing.
std::unique_ptr<EntitySource> AttachSource(form::FormHost& host, const std::string& progId,
                                           SourceReporter& reporter);

}  // namespace varnolt::win32
