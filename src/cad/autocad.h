// The live CAD session on Windows: the host's application object found through its
// class name (attached when it runs, started otherwise), driven by late binding
// only, and read as an entity source over what the user picks on its screen.
#pragma once

#ifndef _WIN32
#error "cad/autocad.h is for Windows builds only"
#endif

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "cad/cad_host.h"
#include "cad/dxf.h"
#include "cad/entity.h"

struct IDispatch;

namespace varnolt {

// True when the class name is registered on this machine (CLSIDFromProgID succeeds);
// with no name, when any class of kCadHosts is.
bool CadRegistered(const std::string& progId = {});

// True when a host of that class (with no name, of any class of kCadHosts) runs now:
// the running-object table holds it, so ConnectCad would attach, not start one.
bool CadRunning(const std::string& progId = {});

// No class tried could be attached to or started: a general failure whose what()
// names each class tried with the system's own text for what went wrong (UTF-8).
class CadConnectError : public Error {
 public:
  CadConnectError(long hr, const std::string& text, std::string systemText,
                  std::vector<std::string> tried)
      : Error(ErrorKind::kGeneral, text),
        hr_(hr),
        systemText_(std::move(systemText)),
        tried_(std::move(tried)) {}
  long hresult() const noexcept { return hr_; }  // the last failure's
  // FormatMessageW's text for the last failure.
  const std::string& systemText() const noexcept { return systemText_; }
  const std::vector<std::string>& tried() const noexcept { return tried_; }

 private:
  long hr_;
  std::string systemText_;
  std::vector<std::string> tried_;
};

// The live session, an EntitySource over the host's selection. Use it only on the
// thread that made it: COM is initialised apartment-threaded there, and the session
// keeps that initialisation for its lifetime.
//
// A pick is read in one of two ways. Through Export: each picked entity's handle
// (two calls an entity), then the whole drawing written by the host to a DXF file in
// the user's temporary folder, read with the limits of ReadWith() and deleted at
// once; the pick is the entities of those handles, everything a DXF file gives.
// When the host cannot export, its file cannot be read or lacks a picked entity, the
// seven families are read member by member instead, and PickNotes() says why.
class CadSession : public EntitySource {
 public:
  ~CadSession() override;
  CadSession(const CadSession&) = delete;
  CadSession& operator=(const CadSession&) = delete;

  // How an exported drawing is read: the kinds included and the limits (the pick
  // is the session's own). Default: the seven families, the usual limits.
  void ReadWith(const DxfLimits& limits);

  // The layer table of the last pick.
  const std::vector<Layer>& Layers() const override;
  // A new selection set (see SelectionSetName), the user's pick on the host's screen,
  // then the picked entities read. Throws Error.
  std::unique_ptr<EntityList> Pick() override;
  // The same, every entity held by the session.
  std::vector<const Entity*> SelectOnScreen() override;
  // "AutoCAD: <document name>" (the caption when the document has no name), the
  // host named as kCadHosts names it.
  std::string Describe() const override;
  // What the exported drawing left out of the pick, by kind.
  std::vector<SkippedKind> Skipped() const override;
  // Why the last pick was read member by member, when it was.
  std::vector<SourceNote> PickNotes() const override;
  // A line on the host's command line through the Utility read at connection; `text`
  // without line ending. Throws Error.
  void Prompt(const std::string& text);
  // The same through the application's ActiveDocument.Utility at this moment (the
  // user may switch documents while a long run goes on). Throws Error.
  void PromptActive(const std::string& text);

  // Adds the layers and entities of an imported drawing to the model space read at
  // connection, as cad/model_space.h's AddToModelSpace does; `progress` hears after
  // each entity. Throws Error.
  void AddToModelSpace(const std::vector<Layer>& layers, const std::vector<Entity>& entities,
                       const std::function<void(size_t added, size_t total)>& progress = {});

  // The name of the selection set the last pick made; empty before.
  const std::string& selectionSetName() const;

  struct State;

 private:
  explicit CadSession(std::unique_ptr<State> state);
  friend std::unique_ptr<CadSession> AttachCad(IDispatch* application, const std::string& host);
  friend std::unique_ptr<CadSession> ConnectCad(const std::string& progId);
  std::unique_ptr<State> state_;
};

// Attaches to the host `progId`, or with none to the first class of kCadHosts that
// runs, else starts the first registered one (see CadConnectError); makes it visible
// and brings its window to the front.
std::unique_ptr<CadSession> ConnectCad(const std::string& progId = {});

// The session over an application object already in hand (a reference is taken): what
// ConnectCad does once it has found the host. `host` names it in Describe().
std::unique_ptr<CadSession> AttachCad(IDispatch* application,
                                      const std::string& host = "AutoCAD");

}  // namespace varnolt
