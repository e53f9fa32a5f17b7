#include "win32/cad_source.h"

#include "cad/autocad.h"
#include "cad/dxf.h"
#include "run/cad_reporter.h"
#include "settings/conversion_options.h"

namespace varnolt::win32 {

void SourceReporter::Prompt(const std::string& text) {
  last_ = text;
  if (target_) target_->Prompt(text);
}
void SourceReporter::Progress(int64_t done, int64_t total) {
  if (target_) target_->Progress(done, total);
}
void SourceReporter::Warning(const RunWarning& warning) {
  if (target_) target_->Warning(warning);
}
void SourceReporter::Converting(int familyIndex, int64_t i, int64_t count) {
  if (target_) target_->Converting(familyIndex, i, count);
}

namespace {

// Read with the kinds the settings include, which are checked before a drawing is
// asked for.
std::unique_ptr<EntitySource> AttachDrawingFile(form::FormHost& host) {
  DxfLimits limits;
  limits.include = IncludedKinds(host.CurrentSettings());
  const auto path = host.OpenFileName(form::kOpenDrawingTitle, form::OpenDrawingFilters());
  if (!path || path->empty()) return nullptr;
  return std::make_unique<DxfSource>(*path, limits);
}

}  // namespace

bool CadHostAvailable(const std::string& progId) { return CadRegistered(progId); }

std::unique_ptr<EntitySource> AttachSource(form::FormHost& host, const std::string& chosen,
                                           SourceReporter& reporter) {
  // The settings' lines were checked before the output was asked for.
  const ConversionOptions options = ReadConversionOptions(host.CurrentSettings());
  const std::string progId = chosen.empty() ? options.cadProgId : chosen;
  if (CadRegistered(progId)) {
    std::unique_ptr<CadSession> session;
    try {
      session = ConnectCad(progId);
    } catch (const CadConnectError& e) {
      std::string tried;
      for (const std::string& name : e.tried()) tried += (tried.empty() ? "" : "、") + name;
      host.ShowMessage(MessageIcon::kCritical, "", e.systemText() + "\n（已尝试 " + tried + "）",
                       e.what());
      throw form::Abandoned();
    }
    // The exported drawing is read with the kinds the options include.
    DxfLimits limits;
    limits.include = options.include;
    session->ReadWith(limits);
    // The session lives on the heap: the reporter's reference outlives the move.
    reporter.Forward(std::make_unique<CadPromptReporter>(*session));
    return session;
  }
  return AttachDrawingFile(host);
}

}  // namespace varnolt::win32
