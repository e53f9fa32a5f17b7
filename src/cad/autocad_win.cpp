#include "cad/autocad.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "base/error.h"
#include "base/wide.h"
#include "cad/cad_export.h"
#include "cad/colour_rules.h"
#include "cad/com_automation.h"
#include "cad/model_space.h"
#include "cad/selection_name.h"

namespace varnolt {
namespace {

using com::Call;
using com::Disp;
using com::Get;
using com::Obj;
using com::Put;
using com::Tolerated;

// What each family has beyond what every entity has, read in the host's order with
// exactly the members the host's automation model lists for it; one function per
// family gives its kind. What the DXF reader fills beyond these (a circle's or a
// text's normal, a 3D polyline's closed flag) no converter reads.
Geometry ReadLine(const Obj& o) {
  Line line;
  line.start = Get(o, L"StartPoint").Point();
  line.end = Get(o, L"EndPoint").Point();
  return line;
}

Geometry ReadCircle(const Obj& o) {
  Circle circle;
  circle.center = Get(o, L"Center").Point();
  circle.radius = Get(o, L"Radius").Number();
  return circle;
}

Geometry ReadArc(const Obj& o) {
  Arc arc;
  arc.center = Get(o, L"Center").Point();
  arc.radius = Get(o, L"Radius").Number();
  arc.startAngle = Get(o, L"StartAngle").Number();
  arc.endAngle = Get(o, L"EndAngle").Number();
  arc.normal = Get(o, L"Normal").Point();
  return arc;
}

Geometry ReadLwPolyline(const Obj& o) {
  LwPolyline p;
  const std::vector<double> xy = Get(o, L"Coordinates").Vertices(2);
  p.vertices.reserve(xy.size() / 2);
  for (size_t k = 0; k < xy.size() / 2; ++k) {
    p.vertices.push_back({xy[2 * k], xy[2 * k + 1], Get(o, L"GetBulge", static_cast<long>(k)).Number()});
  }
  p.closed = Get(o, L"Closed").Boolean();
  p.elevation = Get(o, L"Elevation").Number();
  return p;
}

Geometry Read3dPolyline(const Obj& o) {
  Polyline3d p;
  const std::vector<double> xyz = Get(o, L"Coordinates").Vertices(3);
  for (size_t k = 0; k + 2 < xyz.size(); k += 3) p.vertices.push_back({xyz[k], xyz[k + 1], xyz[k + 2]});
  return p;
}

Geometry ReadText(const Obj& o) {
  Text t;
  t.insertion = Get(o, L"InsertionPoint").Point();
  t.alignment = Get(o, L"TextAlignmentPoint").Point();
  t.textstring = Get(o, L"TextString").Text();
  return t;
}

Geometry ReadMText(const Obj& o) {
  MText t;
  t.insertion = Get(o, L"InsertionPoint").Point();
  t.textstring = Get(o, L"TextString").Text();
  return t;
}

// The seven families the session reads: the kind, the object name messages give it,
// and its reader.
struct HostFamily {
  EntityType type;
  const char* object;
  Geometry (*read)(const Obj&);
};

constexpr HostFamily kHostFamilies[] = {
    {EntityType::k3dPolyline, "3DPolyline", Read3dPolyline},
    {EntityType::kArc, "Arc", ReadArc},
    {EntityType::kCircle, "Circle", ReadCircle},
    {EntityType::kLine, "Line", ReadLine},
    {EntityType::kMText, "MText", ReadMText},
    {EntityType::kLwPolyline, "LWPolyline", ReadLwPolyline},
    {EntityType::kText, "Text", ReadText},
};

// The family of an EntityType the host gives; null for a kind of no family.
const HostFamily* FamilyOf(long long type) {
  for (const HostFamily& f : kHostFamilies) {
    if (static_cast<long long>(f.type) == type) return &f;
  }
  return nullptr;
}

// One picked entity into the model, filled as the DXF reader fills the same entity,
// its handle already read (empty when the host gives none). Returns false for an
// entity of no family the converters know. The entity's place in the pick is no line
// of a file, so sourceLine stays 0.
bool ReadEntity(const Obj& item, const std::string& handle, Entity& e) {
  const HostFamily* family = FamilyOf(Get(item, L"EntityType").Integer());
  if (family == nullptr) return false;
  const Obj obj{item.disp, family->object, item.ids};
  e.color = EntityColorAsRead(Get(obj, L"color").Integer());
  e.layer = Get(obj, L"Layer").Text();
  e.handle = handle;
  e.geometry = family->read(obj);
  return true;
}

// The host's main window to the front; whatever fails here leaves it where it is.
void BringToFront(const Obj& app) {
  HWND window = nullptr;
  Tolerated([&] {
    const double handle = Get(app, L"HWND").Number();
    window = reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<long long>(handle)));
  });
  if (window == nullptr || !::IsWindow(window)) {
    window = nullptr;
    Tolerated([&] {
      const std::wstring caption = Widen(Get(app, L"Caption").Text());
      if (!caption.empty()) window = ::FindWindowW(nullptr, caption.c_str());
    });
  }
  if (window == nullptr) return;
  if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
  ::SetForegroundWindow(window);
}

// The entities of a pick read from the exported drawing, without the lines of a file
// that is gone: messages name them by handle.
class ExportedPick : public EntityList {
 public:
  explicit ExportedPick(std::unique_ptr<EntityList> read) : read_(std::move(read)) {}
  size_t size() const override { return read_->size(); }
  EntityBrief Brief(size_t k) const override { return read_->Brief(k); }
  const Entity& Get(size_t k, Entity& scratch) const override {
    const Entity& e = read_->Get(k, scratch);
    if (&e != &scratch) scratch = e;
    scratch.sourceLine = 0;
    return scratch;
  }

 private:
  std::unique_ptr<EntityList> read_;
};

}  // namespace

struct CadSession::State {
  com::Apartment apartment;  // first in, last out
  com::RetryRejectedCalls retry;
  com::DispIds ids;
  Obj app{Disp(), "Application", &ids};
  Obj document{Disp(), "ActiveDocument"};
  Obj modelSpace{Disp(), "ModelSpace"};
  Obj paperSpace{Disp(), "PaperSpace"};
  Obj utility{Disp(), "Utility"};
  std::string description;
  std::string selectionSetName;
  DxfLimits limits;
  // The last pick: read from the exported drawing, or member by member.
  std::unique_ptr<DxfSource> exported;
  std::vector<Layer> layers;
  std::vector<Entity> entities;
  std::vector<SourceNote> notes;

  // A new selection set, and the user's pick into it.
  Obj NewPick();
  // Each of the `count` picked entities' handles; when the host gives none, their
  // members instead (`handles` then empty), and why there are no handles. Entities
  // are released as they are read: a large pick holds no host objects.
  std::string ReadHandles(const Obj& set, long long count, std::vector<std::string>& handles);
  // The seven families of the picked entities (with their handles when known) and
  // the layer table, member by member.
  void ReadMembers(const Obj& set, long long count, const std::vector<std::string>& handles);
};

Obj CadSession::State::NewPick() {
  const Obj sets = Get(document, L"SelectionSets").Object("SelectionSets");
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  selectionSetName = SelectionSetName(SelectionSetDraw(static_cast<uint64_t>(now)));
  const Obj set = Call(sets, L"Add", selectionSetName).Object("SelectionSet");
  Call(set, L"SelectOnScreen");
  return set;
}

std::string CadSession::State::ReadHandles(const Obj& set, long long count,
                                           std::vector<std::string>& handles) {
  // A count is the host's word, not memory to set aside before the items come.
  handles.reserve(static_cast<size_t>(std::min<long long>(count, 1 << 16)));
  for (long long k = 0; k < count; ++k) {
    const Obj item = Get(set, L"Item", static_cast<long>(k)).Object("Entity");
    // The handle finds the entity in the exported drawing and names it in messages;
    // a host without it still converts, member by member.
    try {
      handles.push_back(Get(item, L"Handle").Text());
    } catch (const Error& e) {
      if (e.kind() != ErrorKind::kUnsupported) throw;
      handles.clear();
      ReadMembers(set, count, handles);
      return "the CAD host gives no entity handles";
    }
  }
  return {};
}

void CadSession::State::ReadMembers(const Obj& set, long long count,
                                    const std::vector<std::string>& handles) {
  entities.reserve(static_cast<size_t>(std::min<long long>(count, 1 << 16)));
  for (long long k = 0; k < count; ++k) {
    const Obj item = Get(set, L"Item", static_cast<long>(k)).Object("Entity");
    const size_t at = static_cast<size_t>(k);
    Entity e;
    if (ReadEntity(item, at < handles.size() ? handles[at] : std::string(), e)) {
      entities.push_back(std::move(e));
    }
  }
  const Obj table = Get(document, L"Layers").Object("Layers");
  const long long layerCount = Get(table, L"Count").Integer();
  for (long long k = 0; k < layerCount; ++k) {
    const Obj layer = Get(table, L"Item", static_cast<long>(k)).Object("Layer");
    Layer l;
    l.name = Get(layer, L"Name").Text();
    l.color = LayerColorAsRead(Get(layer, L"color").Integer());
    layers.push_back(std::move(l));
  }
}

CadSession::CadSession(std::unique_ptr<State> state) : state_(std::move(state)) {}
CadSession::~CadSession() = default;

void CadSession::ReadWith(const DxfLimits& limits) { state_->limits = limits; }

const std::vector<Layer>& CadSession::Layers() const {
  return state_->exported ? state_->exported->Layers() : state_->layers;
}
std::string CadSession::Describe() const { return state_->description; }
std::vector<SkippedKind> CadSession::Skipped() const {
  return state_->exported ? state_->exported->Skipped() : std::vector<SkippedKind>{};
}
std::vector<SourceNote> CadSession::PickNotes() const { return state_->notes; }
const std::string& CadSession::selectionSetName() const { return state_->selectionSetName; }

void CadSession::Prompt(const std::string& text) {
  Call(state_->utility, L"Prompt", text + "\n\r");
}

void CadSession::PromptActive(const std::string& text) {
  const Obj document = Get(state_->app, L"ActiveDocument").Object("ActiveDocument");
  const Obj utility = Get(document, L"Utility").Object("Utility");
  Call(utility, L"Prompt", text + "\n\r");
}

void CadSession::AddToModelSpace(const std::vector<Layer>& layers,
                                 const std::vector<Entity>& entities,
                                 const std::function<void(size_t, size_t)>& progress) {
  varnolt::AddToModelSpace(state_->document, state_->modelSpace, layers, entities, progress);
}

std::unique_ptr<EntityList> CadSession::Pick() {
  State& s = *state_;
  s.exported.reset();
  s.entities.clear();
  s.layers.clear();
  s.notes.clear();
  const Obj set = s.NewPick();
  const com::Result counted = Get(set, L"Count");
  const long long count = counted.Integer();
  if (count < 0) com::Failed(counted.member(), "negative");
  std::vector<std::string> handles;
  std::string why = s.ReadHandles(set, count, handles);
  // Nothing picked: nothing to export.
  if (why.empty() && count > 0) {
    ExportedDrawing exported = ReadExportedDrawing(s.document, set, handles, s.limits);
    if (exported.source) {
      s.exported = std::move(exported.source);
      return std::make_unique<ExportedPick>(s.exported->Pick());
    }
    why = exported.why;
    s.ReadMembers(set, count, handles);
  }
  if (!why.empty()) s.notes.push_back(MemberByMemberNote(why, s.limits.include));
  std::vector<const Entity*> picked;
  picked.reserve(s.entities.size());
  for (const Entity& e : s.entities) picked.push_back(&e);
  return std::make_unique<PointerEntityList>(std::move(picked));
}

std::vector<const Entity*> CadSession::SelectOnScreen() {
  const std::unique_ptr<EntityList> list = Pick();
  State& s = *state_;
  if (s.exported) {
    s.entities.resize(list->size());
    for (size_t k = 0; k < list->size(); ++k) {
      Entity scratch;
      s.entities[k] = list->Get(k, scratch);
    }
  }
  std::vector<const Entity*> picked;
  picked.reserve(s.entities.size());
  for (const Entity& e : s.entities) picked.push_back(&e);
  return picked;
}

bool CadRegistered(const std::string& progId) {
  com::Apartment apartment;
  for (const std::string& name : CadClassesToTry(progId)) {
    CLSID clsid;
    if (SUCCEEDED(::CLSIDFromProgID(Widen(name).c_str(), &clsid))) return true;
  }
  return false;
}

bool CadRunning(const std::string& progId) {
  com::Apartment apartment;
  for (const std::string& name : CadClassesToTry(progId)) {
    CLSID clsid;
    com::Ref<IUnknown> running;
    if (SUCCEEDED(::CLSIDFromProgID(Widen(name).c_str(), &clsid)) &&
        SUCCEEDED(::GetActiveObject(clsid, nullptr, running.out())) && running) {
      return true;
    }
  }
  return false;
}

namespace {

// The session's objects from the application object (a reference is taken). Each may
// fail on its own; a later use of the missing one fails then.
void AttachInto(CadSession::State& s, IDispatch* application, const std::string& host) {
  application->AddRef();
  s.app.disp = Disp(application);
  const Obj& app = s.app;
  Tolerated([&] { Put(app, L"Visible", true); });
  Tolerated([&] { s.document = Get(app, L"ActiveDocument").Object("ActiveDocument"); });
  Tolerated([&] { s.modelSpace = Get(s.document, L"ModelSpace").Object("ModelSpace"); });
  Tolerated([&] { s.paperSpace = Get(s.document, L"PaperSpace").Object("PaperSpace"); });
  Tolerated([&] { s.utility = Get(s.document, L"Utility").Object("Utility"); });
  std::string name;
  Tolerated([&] { name = Get(s.document, L"Name").Text(); });
  if (name.empty()) Tolerated([&] { name = Get(app, L"Caption").Text(); });
  s.description = host + ": " + name;
  BringToFront(app);
}

}  // namespace

std::unique_ptr<CadSession> AttachCad(IDispatch* application, const std::string& host) {
  auto state = std::make_unique<CadSession::State>();
  AttachInto(*state, application, host);
  return std::unique_ptr<CadSession>(new CadSession(std::move(state)));
}

namespace {

// One class tried and what became of it, for the message when none could be had.
struct Attempt {
  std::string progId;
  HRESULT hr = S_OK;
};

std::string ConnectMessage(const std::vector<Attempt>& tried) {
  if (tried.size() == 1) {
    return "cannot attach to or start the CAD host '" + tried[0].progId +
           "': " + com::HresultText(tried[0].hr);
  }
  std::string text = "cannot attach to or start a CAD host; tried";
  for (size_t k = 0; k < tried.size(); ++k) {
    text += (k == 0 ? " '" : ", '") + tried[k].progId + "' (" + com::HresultText(tried[k].hr) + ")";
  }
  return text;
}

// The application object of one found host, as IDispatch.
com::Disp AsDispatch(com::Ref<IUnknown>& unknown, HRESULT& hr) {
  com::Disp app;
  hr = unknown.get()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(app.out()));
  return app;
}

}  // namespace

std::unique_ptr<CadSession> ConnectCad(const std::string& progId) {
  // The session's apartment and its filter that retries the calls a busy host turns
  // away are there from the start: asking a found host for IDispatch is a call too.
  auto state = std::make_unique<CadSession::State>();
  std::vector<Attempt> tried;
  std::vector<std::pair<std::string, CLSID>> registered;
  for (const std::string& name : CadClassesToTry(progId)) {
    CLSID clsid;
    const HRESULT hr = ::CLSIDFromProgID(Widen(name).c_str(), &clsid);
    if (FAILED(hr)) {
      tried.push_back({name, hr});
    } else {
      registered.emplace_back(name, clsid);
    }
  }
  // A running host first, in the table's order; then the first that starts.
  for (int start = 0; start < 2; ++start) {
    for (const auto& [name, clsid] : registered) {
      com::Ref<IUnknown> unknown;
      HRESULT hr = start == 0 ? ::GetActiveObject(clsid, nullptr, unknown.out())
                              : ::CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER,
                                                   IID_IUnknown,
                                                   reinterpret_cast<void**>(unknown.out()));
      if (SUCCEEDED(hr) && unknown) {
        const com::Disp app = AsDispatch(unknown, hr);
        if (SUCCEEDED(hr)) {
          AttachInto(*state, app.get(), CadHostName(name));
          return std::unique_ptr<CadSession>(new CadSession(std::move(state)));
        }
      }
      if (start == 1) tried.push_back({name, FAILED(hr) ? hr : E_NOINTERFACE});
    }
  }
  // In the table's order, whatever became of each.
  std::vector<Attempt> ordered;
  std::vector<std::string> names;
  for (const std::string& name : CadClassesToTry(progId)) {
    for (const Attempt& a : tried) {
      if (a.progId == name) ordered.push_back(a);
    }
    names.push_back(name);
  }
  const HRESULT last = ordered.empty() ? E_FAIL : ordered.back().hr;
  throw CadConnectError(last, ConnectMessage(ordered), com::HresultText(last), std::move(names));
}

}  // namespace varnolt
