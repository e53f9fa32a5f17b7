// The live CAD session on Windows: the host's application object found through its
// class name (attached when it runs, started otherwise), driven by late binding
// only, and read as an entity source over what the user picks on its screen.
#pragma once

#ifndef _WIN32
#error "cad/autocad.h is for Windows builds only"
#endif

#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/cad_host.h"
#include "cad/entity.h"

struct IDispatch;

namespace varnolt {

// True when the class name is registered on this machine (CLSIDFromProgID succeeds).
bool CadRegistered(const std::string& progId = kCadProgId);

// Neither attaching nor starting worked: a general failure whose what() is the
// system's own text for the HRESULT (FormatMessageW), UTF-8.
class CadConnectError : public Error {
 public:
  CadConnectError(long hr, const std::string& text)
      : Error(ErrorKind::kGeneral, text), hr_(hr) {}
  long hresult() const noexcept { return hr_; }

 private:
  long hr_;
};

// The live session, an EntitySource over the host's selection. Use it only on the
// thread that made it: COM is initialised apartment-threaded there, and the session
// keeps that initialisation for its lifetime.
class CadSession : public EntitySource {
 public:
  ~CadSession() override;
  CadSession(const CadSession&) = delete;
  CadSession& operator=(const CadSession&) = delete;

  // The layer table (Name, color) as read with the last selection.
  const std::vector<Layer>& Layers() const override;
  // A new selection set (see SelectionSetName), the user's pick on the host's screen,
  // then every picked entity of the seven families read in one pass. Throws Error.
  std::vector<const Entity*> SelectOnScreen() override;
  // "AutoCAD: <document name>" (the caption when the document has no name).
  std::string Describe() const override;
  // A line on the host's command line through the Utility read at connection; `text`
  // without line ending. Throws Error.
  void Prompt(const std::string& text);
  // The same through the application's ActiveDocument.Utility at this moment (the
  // user may switch documents while a long run goes on). Throws Error.
  void PromptActive(const std::string& text);

  // The name of the selection set the last SelectOnScreen() made; empty before.
  const std::string& selectionSetName() const;

  struct State;

 private:
  explicit CadSession(std::unique_ptr<State> state);
  friend std::unique_ptr<CadSession> AttachCad(IDispatch* application);
  std::unique_ptr<State> state_;
};

// Attaches to the running host or starts it (see CadConnectError), makes it visible
// and brings its window to the front.
std::unique_ptr<CadSession> ConnectCad(const std::string& progId = kCadProgId);

// The session over an application object already in hand (a reference is taken): what
// ConnectCad does once it has found the host. For hosts inside this process.
std::unique_ptr<CadSession> AttachCad(IDispatch* application);

}  // namespace varnolt
