#include "fake_cad.h"

#include <algorithm>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <map>
#include <unordered_map>
#include <utility>

#include "base/paths.h"
#include "base/wide.h"
#include "cad/dxf.h"
#include "text/ascii.h"
#include "top_entities.h"

namespace varnolt::testing {

namespace {

BSTR MakeBstr(const std::string& utf8) {
  const std::wstring wide = Widen(utf8);
  return ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

const char* Kind(EntityType type) {
  switch (type) {
    case EntityType::k3dPolyline: return "3DPolyline";
    case EntityType::kArc: return "Arc";
    case EntityType::kCircle: return "Circle";
    case EntityType::kLine: return "Line";
    case EntityType::kMText: return "MText";
    case EntityType::kLwPolyline: return "LWPolyline";
    case EntityType::kText: return "Text";
    default: break;  // the session reads only the seven
  }
  return "Other";
}

// An entity as the host's properties give it, whatever its kind.
struct HostView {
  Point3 start{}, end{}, center{}, normal{0, 0, 1}, insertion{}, alignment{};
  double radius = 0, startAngle = 0, endAngle = 0, elevation = 0;
  std::vector<double> coordinates, bulges;
  bool closed = false;
  std::string textstring;

  explicit HostView(const Entity& e) {
    if (const auto* l = e.As<varnolt::Line>()) {
      start = l->start;
      end = l->end;
    } else if (const auto* a = e.As<Arc>()) {
      center = a->center;
      radius = a->radius;
      startAngle = a->startAngle;
      endAngle = a->endAngle;
      normal = a->normal;
    } else if (const auto* c = e.As<Circle>()) {
      center = c->center;
      radius = c->radius;
      normal = c->normal;
    } else if (const auto* p = e.As<LwPolyline>()) {
      for (const LwVertex& v : p->vertices) {
        coordinates.insert(coordinates.end(), {v.x, v.y});
        bulges.push_back(v.bulge);
      }
      closed = p->closed;
      elevation = p->elevation;
      normal = p->normal;
    } else if (const auto* p3 = e.As<Polyline3d>()) {
      for (const Point3& v : p3->vertices) coordinates.insert(coordinates.end(), {v[0], v[1], v[2]});
    } else if (const auto* t = e.As<varnolt::Text>()) {
      insertion = t->insertion;
      alignment = t->alignment;
      textstring = t->textstring;
      normal = t->normal;
    } else if (const auto* m = e.As<MText>()) {
      insertion = m->insertion;
      textstring = m->textstring;
      normal = m->normal;
    }
  }
};

// The members each object answers, by mode; the DISPID is the position plus one.
// Strict: the operations the host's automation model lists for the conversion, no
// more. Export: those, each entity's Handle and the document's Export. Adding: the
// strict ones and the documented methods that add entities and layers.
const std::vector<std::string>& Members(const std::string& kind, FakeHostMode mode) {
  using Table = std::map<std::string, std::vector<std::string>>;
  auto make = [](FakeHostMode m) {
    const bool exports = m == FakeHostMode::kExport;
    const bool adds = m == FakeHostMode::kAdding;
    Table t = {
        {"Application", {"Visible", "ActiveDocument", "Caption"}},
        {"Document", {"SelectionSets", "Layers", "ModelSpace", "PaperSpace", "Utility"}},
        {"Utility", {"Prompt"}},
        {"SelectionSets", {"Add"}},
        {"SelectionSet", {"SelectOnScreen", "Count", "Item"}},
        {"Layers", {"Count", "Item"}},
        {"Layer", {"Name", "color"}},
        {"ModelSpace", {}},
        {"PaperSpace", {}},
        {"Line", {"StartPoint", "EndPoint"}},
        {"Arc", {"Center", "Radius", "StartAngle", "EndAngle", "Normal"}},
        {"Circle", {"Center", "Radius"}},
        {"LWPolyline", {"Coordinates", "Closed", "GetBulge", "Elevation"}},
        {"3DPolyline", {"Coordinates"}},
        {"Text", {"InsertionPoint", "TextAlignmentPoint", "TextString"}},
        {"MText", {"InsertionPoint", "TextString"}},
        {"Point", {}},
        {"Other", {}},
    };
    if (exports) t["Document"].push_back("Export");
    if (adds) {
      t["ModelSpace"] = {"AddLightWeightPolyline", "Add3DPoly", "AddPoint", "AddText"};
      t["Layers"].push_back("Add");
      t["3DPolyline"].push_back("Closed");
    }
    std::vector<std::string> common = {"EntityType", "color", "Layer"};
    if (exports) common.push_back("Handle");
    for (auto& [name, list] : t) {
      if (name == "Line" || name == "Arc" || name == "Circle" || name == "LWPolyline" ||
          name == "3DPolyline" || name == "Text" || name == "MText" || name == "Point" ||
          name == "Other") {
        list.insert(list.begin(), common.begin(), common.end());
      }
    }
    return t;
  };
  static const Table strict = make(FakeHostMode::kStrict);
  static const Table exports = make(FakeHostMode::kExport);
  static const Table adding = make(FakeHostMode::kAdding);
  return (mode == FakeHostMode::kExport   ? exports
          : mode == FakeHostMode::kAdding ? adding
                                          : strict)
      .at(kind);
}

void MakeVariantArray(VARIANT* out, const std::vector<double>& values) {
  SAFEARRAYBOUND bound{static_cast<ULONG>(values.size()), 0};
  SAFEARRAY* a = ::SafeArrayCreate(VT_VARIANT, 1, &bound);
  for (LONG k = 0; k < static_cast<LONG>(values.size()); ++k) {
    VARIANT item;
    ::VariantInit(&item);
    item.vt = VT_R8;
    item.dblVal = values[static_cast<size_t>(k)];
    ::SafeArrayPutElement(a, &k, &item);
  }
  out->vt = VT_ARRAY | VT_VARIANT;
  out->parray = a;
}

}  // namespace

void MakeDoubleArray(VARIANT* out, const std::vector<double>& values) {
  SAFEARRAYBOUND bound{static_cast<ULONG>(values.size()), 0};
  SAFEARRAY* a = ::SafeArrayCreate(VT_R8, 1, &bound);
  if (!values.empty()) {
    void* data = nullptr;
    ::SafeArrayAccessData(a, &data);
    std::copy(values.begin(), values.end(), static_cast<double*>(data));
    ::SafeArrayUnaccessData(a);
  }
  out->vt = VT_ARRAY | VT_R8;
  out->parray = a;
}

struct FakeCadState {
  FakeCadScript script;
  FakeHostMode mode = FakeHostMode::kStrict;
  PointShape shape = PointShape::kDoubles;
  ExportWrites exportWrites = ExportWrites::kDrawing;
  std::vector<std::filesystem::path> exports;
  long lookups = 0;
  std::string dieOn;  // lower-case "object.member"; empty: never
  int dieOnCall = 0;
  bool dead = false;
  bool dieExits = false;
  std::vector<std::string> missing;  // lower-case "object.member"
  struct Failure {
    std::string member;
    HRESULT hr;
    int onCall;
  };
  std::vector<Failure> failures;
  std::map<std::string, int> callCounts;
  std::map<std::string, std::function<void(VARIANT*)>> overrides;
  std::vector<std::string> prompts, calls, selectionSets;
  std::vector<Entity> added;  // to the model space (adding mode)
  // Storage the by-reference point shape points into; kept until the fake goes.
  std::vector<std::unique_ptr<VARIANT, void (*)(VARIANT*)>> byRef;
  bool visible = false;
  bool picked = false;
  bool varyIds = false;

  void Points(VARIANT* out, const std::vector<double>& values) {
    switch (shape) {
      case PointShape::kDoubles:
        MakeDoubleArray(out, values);
        break;
      case PointShape::kVariants:
        MakeVariantArray(out, values);
        break;
      case PointShape::kByRef: {
        auto* held = new VARIANT;
        ::VariantInit(held);
        MakeDoubleArray(held, values);
        byRef.emplace_back(held, [](VARIANT* v) {
          ::VariantClear(v);
          delete v;
        });
        out->vt = VT_BYREF | VT_ARRAY | VT_R8;
        out->pparray = &held->parray;
        break;
      }
    }
  }
};

namespace {

class FakeObject final : public IDispatch {
 public:
  FakeObject(std::shared_ptr<FakeCadState> state, std::string kind, size_t index = 0,
             bool added = false)
      : state_(std::move(state)), kind_(std::move(kind)), index_(index), added_(added) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --refs_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    HRESULT hr = S_OK;
    ++state_->lookups;
    if (Dead()) return RPC_E_DISCONNECTED;
    const std::vector<std::string>& members = Members(kind_, state_->mode);
    for (UINT n = 0; n < count; ++n) {
      const std::string name = Lower(Narrow(names[n]));
      ids[n] = DISPID_UNKNOWN;
      if (n > 0) {
        hr = DISP_E_UNKNOWNNAME;  // no named arguments here
        continue;
      }
      for (size_t k = 0; k < members.size(); ++k) {
        if (Lower(members[k]) == name && !IsMissing(members[k])) {
          ids[n] = static_cast<DISPID>(k + 1) + Offset();
        }
      }
      if (ids[n] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT*) override {
    const std::vector<std::string>& members = Members(kind_, state_->mode);
    id -= Offset();
    if (id < 1 || static_cast<size_t>(id) > members.size()) return DISP_E_MEMBERNOTFOUND;
    const std::string& member = members[static_cast<size_t>(id - 1)];
    if (IsMissing(member)) return DISP_E_MEMBERNOTFOUND;
    const std::string key = kind_ + "." + member;
    FakeCadState& s = *state_;
    s.calls.push_back(key);
    const int call = ++s.callCounts[Lower(key)];
    if (Dead(key, call)) return RPC_E_DISCONNECTED;
    for (const FakeCadState::Failure& f : s.failures) {
      if (f.member != Lower(key) || f.onCall != call) continue;
      // An exception carries the host's own words, as a real host's do.
      if (f.hr == DISP_E_EXCEPTION && info != nullptr) {
        *info = EXCEPINFO{};
        info->scode = E_FAIL;
        info->bstrDescription = MakeBstr("scripted failure of " + key);
      }
      return f.hr;
    }
    VARIANT scratch;
    ::VariantInit(&scratch);
    VARIANT* out = result != nullptr ? result : &scratch;
    ::VariantInit(out);
    const auto found = s.overrides.find(Lower(key));
    HRESULT hr = S_OK;
    if (found != s.overrides.end()) {
      found->second(out);
    } else {
      hr = Answer(member, flags, params, out);
    }
    ::VariantClear(&scratch);
    return hr;
  }

 private:
  // Whether the host has died by now (the call of `key` given, its number counted:
  // the one it dies at included).
  bool Dead(const std::string& key = {}, int call = 0) const {
    FakeCadState& s = *state_;
    if (!s.dead && !s.dieOn.empty() && Lower(key) == s.dieOn && call == s.dieOnCall) {
      if (s.dieExits) ::ExitProcess(3);
      s.dead = true;
    }
    return s.dead;
  }

  // Every other object numbers its members from 101 when told to.
  DISPID Offset() const { return state_->varyIds && index_ % 2 == 1 ? 100 : 0; }

  bool IsMissing(const std::string& member) const {
    const std::string key = Lower(kind_ + "." + member);
    for (const std::string& m : state_->missing) {
      if (m == key) return true;
    }
    return false;
  }

  static HRESULT Argument(DISPPARAMS* params, UINT k, VARTYPE type, VARIANT& out) {
    if (params == nullptr || k >= params->cArgs) return DISP_E_PARAMNOTFOUND;
    VARIANT& given = params->rgvarg[params->cArgs - 1 - k];
    return ::VariantChangeType(&out, &given, 0, type);
  }

  static void Object(VARIANT* out, IDispatch* object) {
    out->vt = VT_DISPATCH;
    out->pdispVal = object;
  }
  void Child(VARIANT* out, const std::string& kind, size_t index = 0, bool added = false) const {
    Object(out, new FakeObject(state_, kind, index, added));
  }
  static void Integer(VARIANT* out, long v) {
    out->vt = VT_I4;
    out->lVal = v;
  }
  static void Real(VARIANT* out, double v) {
    out->vt = VT_R8;
    out->dblVal = v;
  }
  static void Text(VARIANT* out, const std::string& v) {
    out->vt = VT_BSTR;
    out->bstrVal = MakeBstr(v);
  }
  static void Boolean(VARIANT* out, bool v) {
    out->vt = VT_BOOL;
    out->boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
  }
  void Point(VARIANT* out, const Point3& p) const {
    state_->Points(out, {p[0], p[1], p[2]});
  }

  HRESULT Answer(const std::string& m, WORD flags, DISPPARAMS* params, VARIANT* out) {
    FakeCadState& s = *state_;
    const FakeCadScript& script = s.script;
    if (kind_ == "Application") {
      if (m == "Visible") {
        if ((flags & DISPATCH_PROPERTYPUT) != 0) {
          VARIANT v;
          ::VariantInit(&v);
          const HRESULT hr = Argument(params, 0, VT_BOOL, v);
          if (FAILED(hr)) return hr;
          s.visible = v.boolVal != VARIANT_FALSE;
        } else {
          Boolean(out, s.visible);
        }
      } else if (m == "ActiveDocument") {
        Child(out, "Document");
      } else if (m == "Caption") {
        Text(out, script.caption);
      }
    } else if (kind_ == "Document") {
      if (m == "Export") return Export(params);
      Child(out, m);
    } else if (kind_ == "ModelSpace") {
      return AddEntity(m, params, out);
    } else if (kind_ == "Utility") {
      VARIANT text;
      ::VariantInit(&text);
      const HRESULT hr = Argument(params, 0, VT_BSTR, text);
      if (FAILED(hr)) return hr;
      s.prompts.push_back(Narrow(std::wstring_view(text.bstrVal, ::SysStringLen(text.bstrVal))));
      ::VariantClear(&text);
    } else if (kind_ == "SelectionSets") {
      {
        VARIANT name;
        ::VariantInit(&name);
        const HRESULT hr = Argument(params, 0, VT_BSTR, name);
        if (FAILED(hr)) return hr;
        s.selectionSets.push_back(Narrow(std::wstring_view(name.bstrVal, ::SysStringLen(name.bstrVal))));
        ::VariantClear(&name);
        s.picked = false;
        Child(out, "SelectionSet");
      }
    } else if (kind_ == "Layers" && m == "Add") {
      return AddLayer(params, out);
    } else if (kind_ == "SelectionSet" || kind_ == "Layers") {
      const bool set = kind_ == "SelectionSet";
      const size_t count = set ? (s.picked ? script.entities.size() : 0) : script.layers.size();
      if (m == "SelectOnScreen") {
        s.picked = true;
      } else if (m == "Count") {
        Integer(out, static_cast<long>(count));
      } else {
        VARIANT index;
        ::VariantInit(&index);
        const HRESULT hr = Argument(params, 0, VT_I4, index);
        if (FAILED(hr)) return hr;
        if (index.lVal < 0 || static_cast<size_t>(index.lVal) >= count) return DISP_E_BADINDEX;
        const auto k = static_cast<size_t>(index.lVal);
        Child(out, set ? Kind(script.entities[k].type()) : "Layer", k);
      }
    } else if (kind_ == "Layer") {
      Layer& l = s.script.layers[index_];
      if ((flags & DISPATCH_PROPERTYPUT) != 0) {
        VARIANT v;
        ::VariantInit(&v);
        const HRESULT hr = m == "color" ? Argument(params, 0, VT_I4, v) : DISP_E_MEMBERNOTFOUND;
        if (FAILED(hr)) return hr;
        if (v.lVal < 1 || v.lVal > 255) return E_INVALIDARG;
        l.color = static_cast<int>(v.lVal);
      } else if (m == "Name") {
        Text(out, l.name);
      } else {
        Integer(out, l.color);
      }
    } else if ((flags & DISPATCH_PROPERTYPUT) != 0) {
      return PutEntity(m, params);
    } else {
      return AnswerEntity(m, params, out);
    }
    return S_OK;
  }

  // The doubles of argument k, given as the host's documentation asks: a variant
  // holding a one-dimensional array of doubles, `multiple` to a vertex, at least
  // `least` of them.
  static HRESULT Doubles(DISPPARAMS* params, UINT k, size_t multiple, size_t least,
                         std::vector<double>& out) {
    if (params == nullptr || k >= params->cArgs) return DISP_E_PARAMNOTFOUND;
    const VARIANT& given = params->rgvarg[params->cArgs - 1 - k];
    if (given.vt != (VT_ARRAY | VT_R8) || given.parray == nullptr ||
        ::SafeArrayGetDim(given.parray) != 1) {
      return DISP_E_TYPEMISMATCH;
    }
    LONG lower = 0, upper = -1;
    ::SafeArrayGetLBound(given.parray, 1, &lower);
    ::SafeArrayGetUBound(given.parray, 1, &upper);
    out.resize(static_cast<size_t>(upper - lower + 1));
    void* data = nullptr;
    if (!out.empty() && SUCCEEDED(::SafeArrayAccessData(given.parray, &data))) {
      std::copy_n(static_cast<const double*>(data), out.size(), out.begin());
      ::SafeArrayUnaccessData(given.parray);
    }
    return out.size() % multiple != 0 || out.size() < least ? E_INVALIDARG : S_OK;
  }

  static HRESULT TextArgument(DISPPARAMS* params, UINT k, std::string& out) {
    VARIANT text;
    ::VariantInit(&text);
    const HRESULT hr = Argument(params, k, VT_BSTR, text);
    if (FAILED(hr)) return hr;
    out = Narrow(std::wstring_view(text.bstrVal, ::SysStringLen(text.bstrVal)));
    ::VariantClear(&text);
    return S_OK;
  }

  // ModelSpace.AddLightWeightPolyline(VerticesList), Add3DPoly(PointsArray),
  // AddPoint(Point), AddText(TextString, InsertionPoint, Height): the new entity, on
  // layer "0" in colour ByLayer, as a drawing's defaults put it.
  HRESULT AddEntity(const std::string& m, DISPPARAMS* params, VARIANT* out) {
    const UINT arguments = m == "AddText" ? 3 : 1;
    if (params == nullptr || params->cArgs != arguments) return DISP_E_BADPARAMCOUNT;
    Entity e;
    e.layer = "0";
    std::vector<double> d;
    HRESULT hr = S_OK;
    if (m == "AddLightWeightPolyline" && SUCCEEDED(hr = Doubles(params, 0, 2, 4, d))) {
      LwPolyline p;
      for (size_t k = 0; k < d.size(); k += 2) p.vertices.push_back({d[k], d[k + 1], 0});
      e.geometry = std::move(p);
    } else if (m == "Add3DPoly" && SUCCEEDED(hr = Doubles(params, 0, 3, 6, d))) {
      Polyline3d p;
      for (size_t k = 0; k < d.size(); k += 3) p.vertices.push_back({d[k], d[k + 1], d[k + 2]});
      e.geometry = std::move(p);
    } else if (m == "AddPoint" && SUCCEEDED(hr = Doubles(params, 0, 3, 3, d))) {
      if (d.size() != 3) return E_INVALIDARG;
      e.geometry = varnolt::Point{{d[0], d[1], d[2]}};
    } else if (m == "AddText") {
      varnolt::Text t;
      VARIANT height;
      ::VariantInit(&height);
      if (FAILED(hr = TextArgument(params, 0, t.textstring)) ||
          FAILED(hr = Doubles(params, 1, 3, 3, d)) ||
          FAILED(hr = Argument(params, 2, VT_R8, height))) {
        return hr;
      }
      if (d.size() != 3 || !(height.dblVal > 0)) return E_INVALIDARG;
      t.insertion = {d[0], d[1], d[2]};
      t.height = height.dblVal;
      e.geometry = std::move(t);
    }
    if (FAILED(hr)) return hr;
    FakeCadState& s = *state_;
    const EntityType type = e.type();
    s.added.push_back(std::move(e));
    Child(out, type == EntityType::kPoint ? "Point" : Kind(type), s.added.size() - 1, true);
    return S_OK;
  }

  // Layers.Add(Name): the layer of that name, ignoring case, made (colour 7) when the
  // table lacks it.
  HRESULT AddLayer(DISPPARAMS* params, VARIANT* out) {
    std::string name;
    if (const HRESULT hr = TextArgument(params, 0, name); FAILED(hr)) return hr;
    if (name.empty()) return E_INVALIDARG;
    std::vector<Layer>& table = state_->script.layers;
    size_t k = 0;
    while (k < table.size() && !EqualsIgnoringAsciiCase(table[k].name, name)) ++k;
    if (k == table.size()) table.push_back({name, 7});
    Child(out, "Layer", k);
    return S_OK;
  }

  // A property of an entity the session added: color, Layer (one the table has, as it
  // spells it), Closed, Elevation. The picked entities are only read.
  HRESULT PutEntity(const std::string& m, DISPPARAMS* params) {
    if (!added_) return DISP_E_MEMBERNOTFOUND;
    Entity& e = state_->added[index_];
    VARIANT v;
    ::VariantInit(&v);
    if (m == "Layer") {
      std::string name;
      if (const HRESULT hr = TextArgument(params, 0, name); FAILED(hr)) return hr;
      for (const Layer& l : state_->script.layers) {
        if (EqualsIgnoringAsciiCase(l.name, name)) e.layer = l.name;
      }
      return EqualsIgnoringAsciiCase(e.layer, name) ? S_OK : E_INVALIDARG;
    }
    const VARTYPE type = m == "color" ? VT_I4 : m == "Closed" ? VT_BOOL : VT_R8;
    if (const HRESULT hr = Argument(params, 0, type, v); FAILED(hr)) return hr;
    auto* lw = std::get_if<LwPolyline>(&e.geometry);
    auto* p3 = std::get_if<Polyline3d>(&e.geometry);
    if (m == "color") {
      if (v.lVal < 0 || v.lVal > 256) return E_INVALIDARG;
      e.color = static_cast<int>(v.lVal);
    } else if (m == "Closed" && (lw != nullptr || p3 != nullptr)) {
      (lw != nullptr ? lw->closed : p3->closed) = v.boolVal != VARIANT_FALSE;
    } else if (m == "Elevation" && lw != nullptr) {
      lw->elevation = v.dblVal;
    } else {
      return DISP_E_MEMBERNOTFOUND;
    }
    return S_OK;
  }

  // Document.Export(FileName, Extension, SelectionSet): as the host's documentation
  // has it, the selection set must be given (and is ignored for DXF); a name without
  // an extension gets ".dxf". Writes what the test chose.
  HRESULT Export(DISPPARAMS* params) {
    FakeCadState& s = *state_;
    if (params == nullptr || params->cArgs != 3) return DISP_E_BADPARAMCOUNT;
    VARIANT name, extension;
    ::VariantInit(&name);
    ::VariantInit(&extension);
    HRESULT hr = Argument(params, 0, VT_BSTR, name);
    if (SUCCEEDED(hr)) hr = Argument(params, 1, VT_BSTR, extension);
    const VARIANT& set = params->rgvarg[0];
    std::string given, type;
    if (SUCCEEDED(hr)) {
      given = Narrow(std::wstring_view(name.bstrVal, ::SysStringLen(name.bstrVal)));
      type = Narrow(std::wstring_view(extension.bstrVal, ::SysStringLen(extension.bstrVal)));
    }
    ::VariantClear(&name);
    ::VariantClear(&extension);
    if (FAILED(hr)) return hr;
    if (set.vt != VT_DISPATCH || set.pdispVal == nullptr) return DISP_E_TYPEMISMATCH;
    if (!EqualsIgnoringAsciiCase(type, "DXF") || given.empty()) return E_INVALIDARG;
    if (s.exportWrites != ExportWrites::kDrawingUnderTheNameGiven &&
        !EndsWithIgnoringAsciiCase(given, ".dxf")) {
      given += ".dxf";
    }
    const std::filesystem::path target = PathFromUtf8(given);
    s.exports.push_back(target);
    if (s.exportWrites == ExportWrites::kNothing) return S_OK;
    std::ifstream in(s.script.drawing, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return STG_E_READFAULT;
    if (s.exportWrites == ExportWrites::kTruncated) bytes.resize(bytes.size() / 2);
    std::ofstream out(target, std::ios::binary);
    out << bytes;
    return out.good() ? S_OK : STG_E_WRITEFAULT;
  }

  HRESULT AnswerEntity(const std::string& m, DISPPARAMS* params, VARIANT* out) {
    const Entity& entity = added_ ? state_->added[index_] : state_->script.entities[index_];
    const HostView e(entity);
    if (m == "EntityType") {
      Integer(out, static_cast<long>(entity.type()));
    } else if (m == "color") {
      Integer(out, entity.color);
    } else if (m == "Layer") {
      Text(out, entity.layer);
    } else if (m == "Handle") {
      Text(out, entity.handle);
    } else if (m == "StartPoint") {
      Point(out, e.start);
    } else if (m == "EndPoint") {
      Point(out, e.end);
    } else if (m == "Center") {
      Point(out, e.center);
    } else if (m == "Radius") {
      Real(out, e.radius);
    } else if (m == "StartAngle") {
      Real(out, e.startAngle);
    } else if (m == "EndAngle") {
      Real(out, e.endAngle);
    } else if (m == "Normal") {
      Point(out, e.normal);
    } else if (m == "Coordinates") {
      state_->Points(out, e.coordinates);
    } else if (m == "Closed") {
      Boolean(out, e.closed);
    } else if (m == "Elevation") {
      Real(out, e.elevation);
    } else if (m == "GetBulge") {
      VARIANT index;
      ::VariantInit(&index);
      const HRESULT hr = Argument(params, 0, VT_I4, index);
      if (FAILED(hr)) return hr;
      if (index.lVal < 0 || static_cast<size_t>(index.lVal) >= e.bulges.size()) {
        return DISP_E_BADINDEX;
      }
      Real(out, e.bulges[static_cast<size_t>(index.lVal)]);
    } else if (m == "TextString") {
      Text(out, e.textstring);
    } else if (m == "InsertionPoint") {
      Point(out, e.insertion);
    } else if (m == "TextAlignmentPoint") {
      Point(out, e.alignment);
    }
    return S_OK;
  }

  long refs_ = 1;
  std::shared_ptr<FakeCadState> state_;
  std::string kind_;
  size_t index_;
  bool added_;  // made by the model space's Add methods, not picked
};

}  // namespace

FakeCad::FakeCad(FakeCadScript script, FakeHostMode mode)
    : state_(std::make_shared<FakeCadState>()),
      application_(nullptr) {
  state_->script = std::move(script);
  state_->mode = mode;
  application_ = new FakeObject(state_, "Application");
}

FakeCad::~FakeCad() { application_->Release(); }

IDispatch* FakeCad::application() const { return application_; }

void FakeCad::Missing(const std::string& member) { state_->missing.push_back(Lower(member)); }

void FakeCad::Fail(const std::string& member, HRESULT hr, int onCall) {
  state_->failures.push_back({Lower(member), hr, onCall});
}

void FakeCad::Override(const std::string& member, std::function<void(VARIANT*)> make) {
  state_->overrides[Lower(member)] = std::move(make);
}

void FakeCad::SetPointShape(PointShape shape) { state_->shape = shape; }
void FakeCad::SetExportWrites(ExportWrites what) { state_->exportWrites = what; }
void FakeCad::DieAt(const std::string& member, int onCall, bool exit) {
  state_->dieOn = Lower(member);
  state_->dieOnCall = onCall;
  state_->dieExits = exit;
}
long FakeCad::lookups() const { return state_->lookups; }
const std::vector<std::filesystem::path>& FakeCad::exports() const { return state_->exports; }
void FakeCad::VaryDispIds() { state_->varyIds = true; }

const std::vector<std::string>& FakeCad::prompts() const { return state_->prompts; }
const std::vector<std::string>& FakeCad::calls() const { return state_->calls; }
const std::vector<std::string>& FakeCad::selectionSets() const { return state_->selectionSets; }
bool FakeCad::visible() const { return state_->visible; }
const std::vector<Entity>& FakeCad::added() const { return state_->added; }
const std::vector<Layer>& FakeCad::layers() const { return state_->script.layers; }

FakeCadScript ScriptFromDrawing(const std::filesystem::path& dxf) {
  DxfDrawing d = ReadDxfFile(dxf);
  std::ifstream in(dxf, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::unordered_map<std::string, size_t> byHandle;
  for (size_t k = 0; k < d.entities.size(); ++k) byHandle.emplace(d.entities[k].handle, k);
  FakeCadScript script;
  script.layers = std::move(d.layers);
  script.drawing = dxf;
  const std::vector<TopEntity> tops = TopEntities(bytes);
  // A drawing without handles: its seven families alone, as the reader gives them.
  for (const TopEntity& top : tops) {
    if (top.handle.empty()) {
      script.entities = std::move(d.entities);
      return script;
    }
  }
  for (const TopEntity& top : tops) {
    if (top.paper) continue;
    const auto found = byHandle.find(top.handle);
    if (found != byHandle.end()) {
      script.entities.push_back(d.entities[found->second]);
      continue;
    }
    Entity other;  // a kind the session reads only from the exported drawing
    other.geometry = varnolt::Point{};
    other.handle = top.handle;
    script.entities.push_back(std::move(other));
  }
  return script;
}

}  // namespace varnolt::testing
