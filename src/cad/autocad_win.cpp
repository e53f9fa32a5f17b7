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
#include "cad/colour_rules.h"
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

// An owned VARIANT: what it holds (a string, an array, an object) is released with it.
class Variant {
 public:
  Variant() { ::VariantInit(&v_); }
  // The arguments a call passes. Only these types: anything else (an int, a pointer)
  // fails to compile rather than turning silently into one of them.
  explicit Variant(long value) : Variant() {
    v_.vt = VT_I4;
    v_.lVal = value;
  }
  explicit Variant(bool value) : Variant() {
    v_.vt = VT_BOOL;
    v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  }
  explicit Variant(const std::string& utf8) : Variant() {
    const std::wstring wide = Widen(utf8);
    v_.vt = VT_BSTR;
    v_.bstrVal = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  }
  template <typename T>
  explicit Variant(T) = delete;

  ~Variant() { ::VariantClear(&v_); }
  Variant(Variant&& o) noexcept : v_(o.v_) { ::VariantInit(&o.v_); }
  Variant& operator=(Variant&& o) noexcept {
    std::swap(v_, o.v_);
    return *this;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  const VARIANT& get() const { return v_; }
  // Emptied, for a call to fill.
  VARIANT* out() {
    ::VariantClear(&v_);
    return &v_;
  }

 private:
  VARIANT v_;
};

// The host's report of a failed call; its strings are the caller's to free.
struct HostException {
  EXCEPINFO info{};
  HostException() = default;
  ~HostException() {
    ::SysFreeString(info.bstrSource);
    ::SysFreeString(info.bstrDescription);
    ::SysFreeString(info.bstrHelpFile);
  }
  HostException(const HostException&) = delete;
  HostException& operator=(const HostException&) = delete;
};

// A SAFEARRAY's elements, held in place while this lives.
class ArrayData {
 public:
  explicit ArrayData(SAFEARRAY* a) : a_(a), hr_(::SafeArrayAccessData(a, &data_)) {}
  ~ArrayData() {
    if (SUCCEEDED(hr_)) ::SafeArrayUnaccessData(a_);
  }
  ArrayData(const ArrayData&) = delete;
  ArrayData& operator=(const ArrayData&) = delete;
  HRESULT status() const { return hr_; }
  const void* get() const { return data_; }

 private:
  SAFEARRAY* a_;
  void* data_ = nullptr;
  HRESULT hr_;
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

// `member` is "Object.Member" in every message.
[[noreturn]] void Missing(const std::string& member) {
  throw Error(ErrorKind::kUnsupported,
              member + " is not offered by the CAD host (an older release?)");
}

[[noreturn]] void Failed(const std::string& member, const std::string& why) {
  throw Error(ErrorKind::kGeneral, member + ": " + why);
}

// A number of any numeric type; anything else is a wrong shape.
double ToDouble(const std::string& member, const VARIANT& v) {
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
      Failed(member, "expected a number, got variant type " + std::to_string(v.vt));
  }
}

// The doubles of a one-dimensional array of doubles (or of variants holding numbers),
// checked against its own description, not trusted.
std::vector<double> ToDoubles(const std::string& member, const VARIANT& v) {
  if ((v.vt & VT_ARRAY) == 0 || v.parray == nullptr) {
    Failed(member, "expected an array of numbers, got variant type " + std::to_string(v.vt));
  }
  SAFEARRAY* a = v.parray;
  const VARTYPE element = static_cast<VARTYPE>(v.vt & ~VT_ARRAY);
  VARTYPE stored = VT_EMPTY;
  if (FAILED(::SafeArrayGetVartype(a, &stored))) stored = element;
  if ((element != VT_R8 && element != VT_VARIANT) || stored != element) {
    Failed(member, "expected an array of doubles, got element type " + std::to_string(element));
  }
  if (::SafeArrayGetDim(a) != 1) {
    Failed(member,
           "expected a one-dimensional array, got " + std::to_string(::SafeArrayGetDim(a)));
  }
  const UINT size = ::SafeArrayGetElemsize(a);
  if ((element == VT_R8 && size != sizeof(double)) ||
      (element == VT_VARIANT && size != sizeof(VARIANT))) {
    Failed(member, "the array's element size does not match its type");
  }
  LONG lower = 0, upper = -1;
  if (FAILED(::SafeArrayGetLBound(a, 1, &lower)) || FAILED(::SafeArrayGetUBound(a, 1, &upper)) ||
      upper < lower - 1) {
    Failed(member, "the array's bounds cannot be read");
  }
  const size_t count = static_cast<size_t>(static_cast<long long>(upper) - lower + 1);
  std::vector<double> out;
  if (count == 0) return out;
  out.reserve(count);
  const ArrayData data(a);
  if (FAILED(data.status())) Failed(member, HresultText(data.status()));
  if (element == VT_R8) {
    const auto* d = static_cast<const double*>(data.get());
    out.assign(d, d + count);
    return out;
  }
  const auto* items = static_cast<const VARIANT*>(data.get());
  for (size_t k = 0; k < count; ++k) {
    const VARIANT* item = &items[k];
    if (item->vt == (VT_BYREF | VT_VARIANT) && item->pvarVal != nullptr) item = item->pvarVal;
    out.push_back(ToDouble(member, *item));
  }
  return out;
}

// What a member gave, read as the type the caller expects; any other shape fails
// naming the member ("Line.StartPoint").
class Result {
 public:
  Result(std::string member, DispIds* ids) : member_(std::move(member)), ids_(ids) {}

  const std::string& member() const { return member_; }
  VARIANT* out() { return value_.out(); }

  // A reference is read through: a host may hand out VT_BYREF values.
  void Dereference() {
    if ((value_.get().vt & VT_BYREF) == 0) return;
    Variant copy;
    // Only read, though some headers declare the source without const.
    const HRESULT hr = ::VariantCopyInd(copy.out(), const_cast<VARIANT*>(&value_.get()));
    if (FAILED(hr)) Failed(member_, HresultText(hr));
    value_ = std::move(copy);
  }

  double Number() const { return ToDouble(member_, value_.get()); }
  bool Boolean() const { return Number() != 0; }
  long long Integer() const {
    const double d = Number();
    if (!(d >= -9.0e15 && d <= 9.0e15) || d != static_cast<double>(static_cast<long long>(d))) {
      Failed(member_, "expected a whole number");
    }
    return static_cast<long long>(d);
  }
  std::string Text() const {
    const VARIANT& v = value_.get();
    if (v.vt != VT_BSTR) {
      Failed(member_, "expected a string, got variant type " + std::to_string(v.vt));
    }
    return FromBstr(v.bstrVal);
  }
  Point3 Point() const {
    const std::vector<double> d = ToDoubles(member_, value_.get());
    if (d.size() != 3) {
      Failed(member_, "expected a point of 3 coordinates, got " + std::to_string(d.size()));
    }
    return {d[0], d[1], d[2]};
  }
  // A vertex list, `dims` (2 or 3) numbers to a vertex.
  std::vector<double> Vertices(size_t dims) const {
    std::vector<double> d = ToDoubles(member_, value_.get());
    if (d.size() % dims != 0) {
      Failed(member_, std::string("expected ") + (dims == 2 ? "x and y" : "x, y and z") +
                          " of each vertex, got " + std::to_string(d.size()) + " numbers");
    }
    return d;
  }
  // The object given, under the name messages will give it.
  Obj Object(std::string name) const {
    Obj result{Disp(), std::move(name), ids_};
    const VARIANT& v = value_.get();
    if (v.vt == VT_DISPATCH && v.pdispVal != nullptr) {
      v.pdispVal->AddRef();
      result.disp = Disp(v.pdispVal);
    } else if (v.vt == VT_UNKNOWN && v.punkVal != nullptr) {
      IDispatch* d = nullptr;
      if (SUCCEEDED(v.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)))) {
        result.disp = Disp(d);
      }
    }
    if (!result.disp) Failed(member_, "the CAD host gave no object");
    return result;
  }

 private:
  Variant value_;
  std::string member_;
  DispIds* ids_;
};

// Invokes `member` of `obj` by name; `lastFirst` holds the arguments as DISPPARAMS
// does, the last one first. Throws Error: kUnsupported when the host lacks the
// member, kGeneral for any other failure (with the host's own description when it
// gives one).
void Dispatch(const Obj& obj, const wchar_t* member, const std::string& key, WORD flags,
              VARIANT* lastFirst, UINT count, VARIANT* result) {
  if (!obj.disp) Failed(key, "the object is not available from the CAD host");
  DISPID id = DISPID_UNKNOWN;
  const auto known = obj.ids != nullptr ? obj.ids->find(key) : DispIds::iterator();
  const bool cached = obj.ids != nullptr && known != obj.ids->end();
  HRESULT hr = S_OK;
  if (cached) {
    id = known->second;
  } else {
    LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
    hr = obj.disp.get()->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) Missing(key);
    if (FAILED(hr)) Failed(key, HresultText(hr));
    if (obj.ids != nullptr) obj.ids->emplace(key, id);
  }

  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{count == 0 ? nullptr : lastFirst, nullptr, count, 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  HostException exception;
  UINT argError = 0;
  hr = obj.disp.get()->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                              &exception.info, &argError);
  if (hr == DISP_E_EXCEPTION) {
    EXCEPINFO& info = exception.info;
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    const std::string description = FromBstr(info.bstrDescription);
    const HRESULT code = info.scode != 0 ? info.scode : hr;
    if (code == DISP_E_UNKNOWNNAME || code == DISP_E_MEMBERNOTFOUND) Missing(key);
    Failed(key, description.empty() ? HresultText(code) : description);
  }
  if (cached && hr == DISP_E_MEMBERNOTFOUND) {
    // This object numbers its members otherwise than the one the cache came from.
    obj.ids->erase(key);
    Dispatch(obj, member, key, flags, lastFirst, count, result);
    return;
  }
  if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) Missing(key);
  if (FAILED(hr)) Failed(key, HresultText(hr));
}

std::string MemberName(const Obj& obj, const wchar_t* member) {
  return obj.name + "." + Narrow(member);
}

// One late-bound call of `member` with `args` (long, bool or UTF-8 text), in the order
// the member takes them.
template <typename... Args>
Result Invoke(const Obj& obj, const wchar_t* member, WORD flags, const Args&... args) {
  Result result(MemberName(obj, member), obj.ids);
  constexpr UINT kCount = sizeof...(Args);
  if constexpr (kCount == 0) {
    Dispatch(obj, member, result.member(), flags, nullptr, 0, result.out());
  } else {
    const Variant given[] = {Variant(args)...};
    VARIANT lastFirst[kCount];
    for (UINT k = 0; k < kCount; ++k) lastFirst[k] = given[kCount - 1 - k].get();
    Dispatch(obj, member, result.member(), flags, lastFirst, kCount, result.out());
  }
  return result;
}

// A method: Call(sets, L"Add", name), Call(set, L"SelectOnScreen").
template <typename... Args>
Result Call(const Obj& obj, const wchar_t* member, const Args&... args) {
  return Invoke(obj, member, DISPATCH_METHOD, args...);
}

// A property, or what a method answers: Get(line, L"StartPoint"), Get(set, L"Item", k).
template <typename... Args>
Result Get(const Obj& obj, const wchar_t* member, const Args&... args) {
  Result result = Invoke(obj, member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args...);
  result.Dereference();
  return result;
}

template <typename T>
void Put(const Obj& obj, const wchar_t* member, const T& value) {
  const Variant given(value);
  VARIANT arg = given.get();
  Dispatch(obj, member, MemberName(obj, member), DISPATCH_PROPERTYPUT, &arg, 1, nullptr);
}

// Runs `step`; when the host fails it, what it would have set stays as it was.
template <typename Step>
void Tolerated(Step&& step) {
  try {
    step();
  } catch (const Error&) {
  }
}

// What each family has beyond what every entity has, read in the host's order; one
// function per family gives its kind.
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
  circle.normal = Get(o, L"Normal").Point();
  return circle;
}

Geometry ReadArc(const Obj& o) {
  Arc arc;
  arc.startAngle = Get(o, L"StartAngle").Number();
  arc.endAngle = Get(o, L"EndAngle").Number();
  // Then what a circle has.
  const Circle circle = std::get<Circle>(ReadCircle(o));
  arc.center = circle.center;
  arc.radius = circle.radius;
  arc.normal = circle.normal;
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
  p.normal = Get(o, L"Normal").Point();
  return p;
}

Geometry Read3dPolyline(const Obj& o) {
  Polyline3d p;
  const std::vector<double> xyz = Get(o, L"Coordinates").Vertices(3);
  for (size_t k = 0; k + 2 < xyz.size(); k += 3) p.vertices.push_back({xyz[k], xyz[k + 1], xyz[k + 2]});
  p.closed = Get(o, L"Closed").Boolean();
  return p;
}

Geometry ReadText(const Obj& o) {
  Text t;
  t.textstring = Get(o, L"TextString").Text();
  t.insertion = Get(o, L"InsertionPoint").Point();
  t.alignment = Get(o, L"TextAlignmentPoint").Point();
  t.normal = Get(o, L"Normal").Point();
  return t;
}

Geometry ReadMText(const Obj& o) {
  MText t;
  t.textstring = Get(o, L"TextString").Text();
  t.insertion = Get(o, L"InsertionPoint").Point();
  t.normal = Get(o, L"Normal").Point();
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

// One picked entity into the model, filled as the DXF reader fills the same entity.
// Returns false for an entity of no family the converters know.
bool ReadEntity(const Obj& item, Entity& e) {
  const HostFamily* family = FamilyOf(Get(item, L"EntityType").Integer());
  if (family == nullptr) return false;
  const Obj obj{item.disp, family->object, item.ids};
  e.color = EntityColorAsRead(Get(obj, L"color").Integer());
  e.layer = Get(obj, L"Layer").Text();
  // The handle only names the entity in messages: a host without it still converts.
  // The entity's place in the pick is no line of a file, so sourceLine stays 0.
  try {
    e.handle = Get(obj, L"Handle").Text();
  } catch (const Error& err) {
    if (err.kind() != ErrorKind::kUnsupported) throw;
  }
  e.geometry = family->read(obj);
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
  Call(state_->utility, L"Prompt", text + "\n\r");
}

void CadSession::PromptActive(const std::string& text) {
  const Obj document = Get(state_->app, L"ActiveDocument").Object("ActiveDocument");
  const Obj utility = Get(document, L"Utility").Object("Utility");
  Call(utility, L"Prompt", text + "\n\r");
}

std::vector<const Entity*> CadSession::SelectOnScreen() {
  State& s = *state_;
  s.entities.clear();
  s.layers.clear();
  const Obj sets = Get(s.document, L"SelectionSets").Object("SelectionSets");
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  s.selectionSetName = SelectionSetName(SelectionSetDraw(static_cast<uint64_t>(now)));
  const Obj set = Call(sets, L"Add", s.selectionSetName).Object("SelectionSet");
  Call(set, L"SelectOnScreen");

  const Result counted = Get(set, L"Count");
  const long long count = counted.Integer();
  if (count < 0) Failed(counted.member(), "negative");
  // A count is the host's word, not memory to set aside before the items come.
  s.entities.reserve(static_cast<size_t>(std::min<long long>(count, 1 << 16)));
  for (long long k = 0; k < count; ++k) {
    const Obj entity = Get(set, L"Item", static_cast<long>(k)).Object("Entity");
    Entity e;
    if (ReadEntity(entity, e)) s.entities.push_back(std::move(e));
  }

  const Obj table = Get(s.document, L"Layers").Object("Layers");
  const long long layers = Get(table, L"Count").Integer();
  for (long long k = 0; k < layers; ++k) {
    const Obj layer = Get(table, L"Item", static_cast<long>(k)).Object("Layer");
    Layer l;
    l.name = Get(layer, L"Name").Text();
    l.color = LayerColorAsRead(Get(layer, L"color").Integer());
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
  CadSession::State& s = *state;
  application->AddRef();
  s.app.disp = Disp(application);
  const Obj& app = s.app;
  // Each of these may fail on its own; a later use of the missing one fails then.
  Tolerated([&] { Put(app, L"Visible", true); });
  Tolerated([&] { s.document = Get(app, L"ActiveDocument").Object("ActiveDocument"); });
  Tolerated([&] { s.modelSpace = Get(s.document, L"ModelSpace").Object("ModelSpace"); });
  Tolerated([&] { s.paperSpace = Get(s.document, L"PaperSpace").Object("PaperSpace"); });
  Tolerated([&] { s.utility = Get(s.document, L"Utility").Object("Utility"); });
  std::string name;
  Tolerated([&] { name = Get(s.document, L"Name").Text(); });
  if (name.empty()) Tolerated([&] { name = Get(app, L"Caption").Text(); });
  s.description = "AutoCAD: " + name;
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
