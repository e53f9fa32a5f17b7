#include "cad/autocad.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unordered_map>
#include <utility>

#include "base/error.h"
#include "base/wide.h"
#include "cad/selection_name.h"

namespace varnolt {
namespace {

std::string FromBstr(BSTR text) {
  return text == nullptr ? std::string() : Narrow(std::wstring_view(text, ::SysStringLen(text)));
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

std::string HresultText(HRESULT hr) {
  const std::string text = SystemErrorText(static_cast<unsigned long>(hr));
  return text.empty() ? Hex(hr) : text;
}

// An owned interface pointer.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p) : p_(p) {}  // takes the reference
  Ref(const Ref& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Ref& operator=(Ref o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~Ref() {
    if (p_) p_->Release();
  }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** out() {
    *this = Ref();
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

using Disp = Ref<IDispatch>;

struct Variant {
  VARIANT v;
  Variant() { ::VariantInit(&v); }
  ~Variant() { ::VariantClear(&v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

struct Bstr {
  BSTR b;
  explicit Bstr(const std::string& utf8) {
    const std::wstring w = Widen(utf8);
    b = ::SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  }
  ~Bstr() { ::SysFreeString(b); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
};

// The DISPIDs GetIDsOfNames gave, by "Object.Member": objects of one kind share
// them, and asking again for every entity would double the round trips to a host in
// another process.
using DispIds = std::unordered_map<std::string, DISPID>;

// An automation object, the name messages give it ("Line", "SelectionSet"), and the
// session's DISPID cache (none: always ask).
struct Obj {
  Disp disp;
  std::string name;
  DispIds* ids = nullptr;
};

[[noreturn]] void Missing(const std::string& object, const std::string& member) {
  throw Error(ErrorKind::kUnsupported,
              object + "." + member + " is not offered by the CAD host (an older release?)");
}

[[noreturn]] void Failed(const std::string& object, const std::string& member,
                         const std::string& why) {
  throw Error(ErrorKind::kGeneral, object + "." + member + ": " + why);
}

// Calls member `member` of `obj` by name. `args` are in the order the member takes
// them. Throws Error: kUnsupported when the host lacks the member, kGeneral for any
// other failure (with the host's own description when it gives one).
void Call(const Obj& obj, const char* member, WORD flags, VARIANT* args, UINT count,
          VARIANT* result) {
  if (!obj.disp) Failed(obj.name, member, "the object is not available from the CAD host");
  const std::string key = obj.name + "." + member;
  DISPID id = DISPID_UNKNOWN;
  const bool cached = obj.ids != nullptr && obj.ids->count(key) != 0;
  HRESULT hr = S_OK;
  if (cached) {
    id = obj.ids->at(key);
  } else {
    const std::wstring wide = Widen(member);
    LPOLESTR names[] = {const_cast<LPOLESTR>(wide.c_str())};
    hr = obj.disp.get()->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) Missing(obj.name, member);
    if (FAILED(hr)) Failed(obj.name, member, HresultText(hr));
    if (obj.ids != nullptr) obj.ids->emplace(key, id);
  }

  // DISPPARAMS holds the arguments last first.
  std::vector<VARIANT> reversed(args, args + count);
  std::reverse(reversed.begin(), reversed.end());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, count, 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO info{};
  UINT argError = 0;
  hr = obj.disp.get()->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info,
                              &argError);
  if (hr == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    const std::string description = FromBstr(info.bstrDescription);
    const HRESULT code = info.scode != 0 ? info.scode : hr;
    ::SysFreeString(info.bstrSource);
    ::SysFreeString(info.bstrDescription);
    ::SysFreeString(info.bstrHelpFile);
    if (code == DISP_E_UNKNOWNNAME || code == DISP_E_MEMBERNOTFOUND) Missing(obj.name, member);
    Failed(obj.name, member, description.empty() ? HresultText(code) : description);
  }
  if (cached && hr == DISP_E_MEMBERNOTFOUND) {
    // This object numbers its members otherwise than the one the cache came from.
    obj.ids->erase(key);
    Call(obj, member, flags, args, count, result);
    return;
  }
  if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) Missing(obj.name, member);
  if (FAILED(hr)) Failed(obj.name, member, HresultText(hr));
}

void Get(const Obj& obj, const char* member, Variant& out) {
  Call(obj, member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, nullptr, 0, &out.v);
  // A reference is read through: a host may hand out VT_BYREF values.
  if ((out.v.vt & VT_BYREF) != 0) {
    VARIANT copy;
    ::VariantInit(&copy);
    const HRESULT hr = ::VariantCopyInd(&copy, &out.v);
    if (FAILED(hr)) Failed(obj.name, member, HresultText(hr));
    ::VariantClear(&out.v);
    out.v = copy;
  }
}

Obj ObjectFrom(const Obj& obj, const char* member, Variant& value, std::string name) {
  Obj result{Disp(), std::move(name), obj.ids};
  if (value.v.vt == VT_DISPATCH && value.v.pdispVal != nullptr) {
    value.v.pdispVal->AddRef();
    result.disp = Disp(value.v.pdispVal);
  } else if (value.v.vt == VT_UNKNOWN && value.v.punkVal != nullptr) {
    IDispatch* d = nullptr;
    if (SUCCEEDED(value.v.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)))) {
      result.disp = Disp(d);
    }
  }
  if (!result.disp) Failed(obj.name, member, "the CAD host gave no object");
  return result;
}

Obj GetObject(const Obj& obj, const char* member, std::string name) {
  Variant v;
  Get(obj, member, v);
  return ObjectFrom(obj, member, v, std::move(name));
}

// A number of any numeric type; anything else is a wrong shape.
double ToDouble(const Obj& obj, const char* member, const VARIANT& v) {
  switch (v.vt) {
    case VT_R8: return v.dblVal;
    case VT_R4: return v.fltVal;
    case VT_I2: return v.iVal;
    case VT_I4: return v.lVal;
    case VT_I8: return static_cast<double>(v.llVal);
    case VT_INT: return v.intVal;
    case VT_UI1: return v.bVal;
    case VT_UI2: return v.uiVal;
    case VT_UI4: return v.ulVal;
    case VT_UINT: return v.uintVal;
    case VT_I1: return v.cVal;
    case VT_BOOL: return v.boolVal != VARIANT_FALSE ? -1 : 0;
    default:
      Failed(obj.name, member, "expected a number, got variant type " + std::to_string(v.vt));
  }
}

double GetDouble(const Obj& obj, const char* member) {
  Variant v;
  Get(obj, member, v);
  return ToDouble(obj, member, v.v);
}

long long GetInteger(const Obj& obj, const char* member) {
  const double d = GetDouble(obj, member);
  if (!(d >= -9.0e15 && d <= 9.0e15) || d != static_cast<double>(static_cast<long long>(d))) {
    Failed(obj.name, member, "expected a whole number");
  }
  return static_cast<long long>(d);
}

bool GetBool(const Obj& obj, const char* member) { return GetDouble(obj, member) != 0; }

std::string GetString(const Obj& obj, const char* member) {
  Variant v;
  Get(obj, member, v);
  if (v.v.vt != VT_BSTR) {
    Failed(obj.name, member, "expected a string, got variant type " + std::to_string(v.v.vt));
  }
  return FromBstr(v.v.bstrVal);
}

// The doubles of a one-dimensional array of doubles (or of variants holding numbers),
// checked against its own description, not trusted.
std::vector<double> ToDoubles(const Obj& obj, const char* member, const VARIANT& v) {
  if ((v.vt & VT_ARRAY) == 0 || v.parray == nullptr) {
    Failed(obj.name, member, "expected an array of numbers, got variant type " +
                                 std::to_string(v.vt));
  }
  SAFEARRAY* a = v.parray;
  const VARTYPE element = static_cast<VARTYPE>(v.vt & ~VT_ARRAY);
  VARTYPE stored = VT_EMPTY;
  if (FAILED(::SafeArrayGetVartype(a, &stored))) stored = element;
  if ((element != VT_R8 && element != VT_VARIANT) || stored != element) {
    Failed(obj.name, member, "expected an array of doubles, got element type " +
                                 std::to_string(element));
  }
  if (::SafeArrayGetDim(a) != 1) {
    Failed(obj.name, member,
           "expected a one-dimensional array, got " + std::to_string(::SafeArrayGetDim(a)));
  }
  const UINT size = ::SafeArrayGetElemsize(a);
  if ((element == VT_R8 && size != sizeof(double)) ||
      (element == VT_VARIANT && size != sizeof(VARIANT))) {
    Failed(obj.name, member, "the array's element size does not match its type");
  }
  LONG lower = 0, upper = -1;
  if (FAILED(::SafeArrayGetLBound(a, 1, &lower)) || FAILED(::SafeArrayGetUBound(a, 1, &upper)) ||
      upper < lower - 1) {
    Failed(obj.name, member, "the array's bounds cannot be read");
  }
  const size_t count = static_cast<size_t>(static_cast<long long>(upper) - lower + 1);
  std::vector<double> out;
  out.reserve(count);
  void* data = nullptr;
  if (count > 0) {
    const HRESULT hr = ::SafeArrayAccessData(a, &data);
    if (FAILED(hr)) Failed(obj.name, member, HresultText(hr));
    if (element == VT_R8) {
      const auto* d = static_cast<const double*>(data);
      out.assign(d, d + count);
    } else {
      const auto* items = static_cast<const VARIANT*>(data);
      try {
        for (size_t k = 0; k < count; ++k) {
          const VARIANT* item = &items[k];
          if (item->vt == (VT_BYREF | VT_VARIANT) && item->pvarVal != nullptr) item = item->pvarVal;
          out.push_back(ToDouble(obj, member, *item));
        }
      } catch (...) {
        ::SafeArrayUnaccessData(a);
        throw;
      }
    }
    ::SafeArrayUnaccessData(a);
  }
  return out;
}

std::vector<double> GetDoubles(const Obj& obj, const char* member) {
  Variant v;
  Get(obj, member, v);
  return ToDoubles(obj, member, v.v);
}

Point3 GetPoint(const Obj& obj, const char* member) {
  const std::vector<double> d = GetDoubles(obj, member);
  if (d.size() != 3) {
    Failed(obj.name, member, "expected a point of 3 coordinates, got " + std::to_string(d.size()));
  }
  return {d[0], d[1], d[2]};
}

// Calls a method with one integer argument.
void CallWithIndex(const Obj& obj, const char* member, long index, Variant& result) {
  VARIANT arg;
  ::VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = index;
  Call(obj, member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &arg, 1, &result.v);
}

void CallWithText(const Obj& obj, const char* member, const std::string& text,
                  Variant* result) {
  Bstr b(text);
  VARIANT arg;
  ::VariantInit(&arg);
  arg.vt = VT_BSTR;
  arg.bstrVal = b.b;
  Variant ignored;
  Call(obj, member, DISPATCH_METHOD, &arg, 1, result ? &result->v : &ignored.v);
}

const char* FamilyObject(EntityType type) {
  switch (type) {
    case EntityType::k3dPolyline: return "3DPolyline";
    case EntityType::kArc: return "Arc";
    case EntityType::kCircle: return "Circle";
    case EntityType::kLine: return "Line";
    case EntityType::kMText: return "MText";
    case EntityType::kLwPolyline: return "LWPolyline";
    case EntityType::kText: return "Text";
    default: break;
  }
  return "Entity";
}

bool IsFamily(long long type) {
  switch (type) {
    case 2: case 4: case 8: case 19: case 21: case 24: case 32: return true;
    default: return false;
  }
}

// Colours as the DXF reader takes them: entity 0..256 (else ByLayer), layer 1..255
// as its absolute value (else 7).
int EntityColour(long long c) {
  return (c >= 0 && c <= 256) ? static_cast<int>(c) : kColorByLayer;
}
int LayerColour(long long c) {
  if (c < 0) c = -c;
  return (c >= 1 && c <= 255) ? static_cast<int>(c) : 7;
}

// One picked entity into the model, filled as the DXF reader fills the same entity.
// Returns false for an entity of no family the converters know.
bool ReadEntity(const Obj& item, Entity& e) {
  const long long type = GetInteger(item, "EntityType");
  if (!IsFamily(type)) return false;
  const EntityType family = static_cast<EntityType>(type);
  const Obj obj{item.disp, FamilyObject(family), item.ids};
  e.color = EntityColour(GetInteger(obj, "color"));
  e.layer = GetString(obj, "Layer");
  // The handle only names the entity in messages: a host without it still converts.
  // The entity's place in the pick is no line of a file, so sourceLine stays 0.
  try {
    e.handle = GetString(obj, "Handle");
  } catch (const Error& err) {
    if (err.kind() != ErrorKind::kUnsupported) throw;
  }
  switch (family) {
    case EntityType::kLine: {
      Line line;
      line.start = GetPoint(obj, "StartPoint");
      line.end = GetPoint(obj, "EndPoint");
      e.geometry = line;
      break;
    }
    case EntityType::kArc: {
      Arc arc;
      arc.startAngle = GetDouble(obj, "StartAngle");
      arc.endAngle = GetDouble(obj, "EndAngle");
      arc.center = GetPoint(obj, "Center");
      arc.radius = GetDouble(obj, "Radius");
      arc.normal = GetPoint(obj, "Normal");
      e.geometry = arc;
      break;
    }
    case EntityType::kCircle: {
      Circle circle;
      circle.center = GetPoint(obj, "Center");
      circle.radius = GetDouble(obj, "Radius");
      circle.normal = GetPoint(obj, "Normal");
      e.geometry = circle;
      break;
    }
    case EntityType::kLwPolyline: {
      LwPolyline p;
      const std::vector<double> xy = GetDoubles(obj, "Coordinates");
      if (xy.size() % 2 != 0) {
        Failed(obj.name, "Coordinates", "expected x and y of each vertex, got " +
                                            std::to_string(xy.size()) + " numbers");
      }
      p.vertices.reserve(xy.size() / 2);
      for (size_t k = 0; k < xy.size() / 2; ++k) {
        Variant bulge;
        CallWithIndex(obj, "GetBulge", static_cast<long>(k), bulge);
        p.vertices.push_back({xy[2 * k], xy[2 * k + 1], ToDouble(obj, "GetBulge", bulge.v)});
      }
      p.closed = GetBool(obj, "Closed");
      p.elevation = GetDouble(obj, "Elevation");
      p.normal = GetPoint(obj, "Normal");
      e.geometry = std::move(p);
      break;
    }
    case EntityType::k3dPolyline: {
      Polyline3d p;
      const std::vector<double> xyz = GetDoubles(obj, "Coordinates");
      if (xyz.size() % 3 != 0) {
        Failed(obj.name, "Coordinates", "expected x, y and z of each vertex, got " +
                                            std::to_string(xyz.size()) + " numbers");
      }
      for (size_t k = 0; k + 2 < xyz.size(); k += 3) p.vertices.push_back({xyz[k], xyz[k + 1], xyz[k + 2]});
      p.closed = GetBool(obj, "Closed");
      e.geometry = std::move(p);
      break;
    }
    case EntityType::kText: {
      Text t;
      t.textstring = GetString(obj, "TextString");
      t.insertion = GetPoint(obj, "InsertionPoint");
      t.alignment = GetPoint(obj, "TextAlignmentPoint");
      t.normal = GetPoint(obj, "Normal");
      e.geometry = std::move(t);
      break;
    }
    case EntityType::kMText: {
      MText t;
      t.textstring = GetString(obj, "TextString");
      t.insertion = GetPoint(obj, "InsertionPoint");
      t.normal = GetPoint(obj, "Normal");
      e.geometry = std::move(t);
      break;
    }
    default:
      break;  // IsFamily let through only the seven
  }
  return true;
}

// COM on this thread, apartment-threaded, for as long as the holder lives. A thread
// already in the multithreaded apartment keeps it (calls are then marshalled).
class ComApartment {
 public:
  ComApartment() {
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    owned_ = SUCCEEDED(hr);
  }
  ~ComApartment() {
    if (owned_) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool owned_ = false;
};

// The host's main window to the front; whatever fails here leaves it where it is.
void BringToFront(const Obj& app) {
  HWND window = nullptr;
  try {
    const double handle = GetDouble(app, "HWND");
    window = reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<long long>(handle)));
  } catch (const Error&) {
  }
  if (window == nullptr || !::IsWindow(window)) {
    window = nullptr;
    try {
      const std::wstring caption = Widen(GetString(app, "Caption"));
      if (!caption.empty()) window = ::FindWindowW(nullptr, caption.c_str());
    } catch (const Error&) {
    }
  }
  if (window == nullptr) return;
  if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
  ::SetForegroundWindow(window);
}

// A busy host (a dialog open, a command running) turns calls away with
// RPC_E_CALL_REJECTED, and COM asks the caller's message filter whether to try again:
// this one does, every fifth of a second for a minute, then the call fails as the host
// said. Registered on the session's thread for the session's life.
class RetryRejectedCalls : public IMessageFilter {
 public:
  RetryRejectedCalls() {
    registered_ = SUCCEEDED(::CoRegisterMessageFilter(this, &previous_));
  }
  ~RetryRejectedCalls() {
    if (!registered_) return;
    IMessageFilter* mine = nullptr;
    ::CoRegisterMessageFilter(previous_, &mine);
    if (previous_ != nullptr) previous_->Release();
  }
  RetryRejectedCalls(const RetryRejectedCalls&) = delete;
  RetryRejectedCalls& operator=(const RetryRejectedCalls&) = delete;

  // The session owns the filter: COM's references do not decide its life.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMessageFilter)) {
      *out = static_cast<IMessageFilter*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return SERVERCALL_ISHANDLED;
  }
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsed, DWORD rejectType) override {
    if (rejectType == SERVERCALL_RETRYLATER && elapsed < 60000) return 200;
    return static_cast<DWORD>(-1);
  }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
    return PENDINGMSG_WAITDEFPROCESS;
  }

 private:
  IMessageFilter* previous_ = nullptr;
  bool registered_ = false;
};

}  // namespace

struct CadSession::State {
  ComApartment apartment;  // first in, last out
  RetryRejectedCalls retry;
  DispIds ids;
  Obj app{Disp(), "Application", &ids};
  Obj document{Disp(), "ActiveDocument"};
  Obj modelSpace{Disp(), "ModelSpace"};
  Obj paperSpace{Disp(), "PaperSpace"};
  Obj utility{Disp(), "Utility"};
  std::string description;
  std::string selectionSetName;
  std::vector<Layer> layers;
  std::vector<Entity> entities;
};

CadSession::CadSession(std::unique_ptr<State> state) : state_(std::move(state)) {}
CadSession::~CadSession() = default;

const std::vector<Layer>& CadSession::Layers() const { return state_->layers; }
std::string CadSession::Describe() const { return state_->description; }
const std::string& CadSession::selectionSetName() const { return state_->selectionSetName; }

void CadSession::Prompt(const std::string& text) {
  CallWithText(state_->utility, "Prompt", text + "\n\r", nullptr);
}

void CadSession::PromptActive(const std::string& text) {
  const Obj document = GetObject(state_->app, "ActiveDocument", "ActiveDocument");
  const Obj utility = GetObject(document, "Utility", "Utility");
  CallWithText(utility, "Prompt", text + "\n\r", nullptr);
}

std::vector<const Entity*> CadSession::SelectOnScreen() {
  State& s = *state_;
  s.entities.clear();
  s.layers.clear();
  const Obj sets = GetObject(s.document, "SelectionSets", "SelectionSets");
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  s.selectionSetName = SelectionSetName(SelectionSetDraw(static_cast<uint64_t>(now)));
  Variant added;
  CallWithText(sets, "Add", s.selectionSetName, &added);
  const Obj set = ObjectFrom(sets, "Add", added, "SelectionSet");
  {
    Variant ignored;
    Call(set, "SelectOnScreen", DISPATCH_METHOD, nullptr, 0, &ignored.v);
  }

  const long long count = GetInteger(set, "Count");
  if (count < 0) Failed(set.name, "Count", "negative");
  // A count is the host's word, not memory to set aside before the items come.
  s.entities.reserve(static_cast<size_t>(std::min<long long>(count, 1 << 16)));
  for (long long k = 0; k < count; ++k) {
    Variant item;
    CallWithIndex(set, "Item", static_cast<long>(k), item);
    const Obj entity = ObjectFrom(set, "Item", item, "Entity");
    Entity e;
    if (ReadEntity(entity, e)) s.entities.push_back(std::move(e));
  }

  const Obj table = GetObject(s.document, "Layers", "Layers");
  const long long layers = GetInteger(table, "Count");
  for (long long k = 0; k < layers; ++k) {
    Variant item;
    CallWithIndex(table, "Item", static_cast<long>(k), item);
    const Obj layer = ObjectFrom(table, "Item", item, "Layer");
    Layer l;
    l.name = GetString(layer, "Name");
    l.color = LayerColour(GetInteger(layer, "color"));
    s.layers.push_back(std::move(l));
  }

  std::vector<const Entity*> picked;
  picked.reserve(s.entities.size());
  for (const Entity& e : s.entities) picked.push_back(&e);
  return picked;
}

bool CadRegistered(const std::string& progId) {
  ComApartment apartment;
  CLSID clsid;
  return SUCCEEDED(::CLSIDFromProgID(Widen(progId).c_str(), &clsid));
}

std::unique_ptr<CadSession> AttachCad(IDispatch* application) {
  auto state = std::make_unique<CadSession::State>();
  application->AddRef();
  state->app.disp = Disp(application);
  const Obj& app = state->app;
  // Each of these may fail on its own; a later use of the missing one fails then.
  try {
    Variant visible;
    visible.v.vt = VT_BOOL;
    visible.v.boolVal = VARIANT_TRUE;
    Call(app, "Visible", DISPATCH_PROPERTYPUT, &visible.v, 1, nullptr);
  } catch (const Error&) {
  }
  try {
    state->document = GetObject(app, "ActiveDocument", "ActiveDocument");
  } catch (const Error&) {
  }
  try {
    state->modelSpace = GetObject(state->document, "ModelSpace", "ModelSpace");
  } catch (const Error&) {
  }
  try {
    state->paperSpace = GetObject(state->document, "PaperSpace", "PaperSpace");
  } catch (const Error&) {
  }
  try {
    state->utility = GetObject(state->document, "Utility", "Utility");
  } catch (const Error&) {
  }
  std::string name;
  try {
    name = GetString(state->document, "Name");
  } catch (const Error&) {
  }
  if (name.empty()) {
    try {
      name = GetString(app, "Caption");
    } catch (const Error&) {
    }
  }
  state->description = "AutoCAD: " + name;
  BringToFront(app);
  return std::unique_ptr<CadSession>(new CadSession(std::move(state)));
}

std::unique_ptr<CadSession> ConnectCad(const std::string& progId) {
  // The apartment must outlive the application object found here: the session holds
  // its own from the start.
  ComApartment apartment;
  CLSID clsid;
  HRESULT hr = ::CLSIDFromProgID(Widen(progId).c_str(), &clsid);
  if (FAILED(hr)) throw CadConnectError(hr, HresultText(hr));
  Ref<IUnknown> unknown;
  hr = ::GetActiveObject(clsid, nullptr, unknown.out());
  if (FAILED(hr) || !unknown) {
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                            reinterpret_cast<void**>(unknown.out()));
    if (FAILED(hr)) throw CadConnectError(hr, HresultText(hr));
  }
  Disp app;
  hr = unknown.get()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(app.out()));
  if (FAILED(hr)) throw CadConnectError(hr, HresultText(hr));
  return AttachCad(app.get());
}

}  // namespace varnolt
