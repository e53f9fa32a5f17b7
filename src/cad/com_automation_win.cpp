#include "cad/com_automation.h"

#include <algorithm>
#include <cstdio>

#include "base/wide.h"

namespace varnolt::com {
namespace {

std::string FromBstr(BSTR text) {
  return text == nullptr ? std::string() : Narrow(std::wstring_view(text, ::SysStringLen(text)));
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

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

// The array's element type, checked against its own description, not trusted.
VARTYPE CheckedArray(const std::string& member, const VARIANT& v) {
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
  return element;
}

// The doubles of a one-dimensional array of doubles (or of variants holding numbers).
std::vector<double> ToDoubles(const std::string& member, const VARIANT& v) {
  const VARTYPE element = CheckedArray(member, v);
  SAFEARRAY* a = v.parray;
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

// The member's DISPID, from the cache or asked for (and remembered, an unknown member
// too, so that a host without an optional member is asked once). Sets `cached` when
// it came from the cache.
DISPID MemberId(const Obj& obj, const wchar_t* member, const std::string& key, bool& cached) {
  const auto known = obj.ids != nullptr ? obj.ids->find(key) : DispIds::iterator();
  cached = obj.ids != nullptr && known != obj.ids->end();
  if (cached) {
    if (known->second == DISPID_UNKNOWN) Missing(key);
    return known->second;
  }
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
  const HRESULT hr = obj.disp.get()->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) {
    if (obj.ids != nullptr) obj.ids->emplace(key, DISPID_UNKNOWN);
    Missing(key);
  }
  if (FAILED(hr)) Failed(key, HresultText(hr));
  if (obj.ids != nullptr) obj.ids->emplace(key, id);
  return id;
}

}  // namespace

std::string HresultText(HRESULT hr) {
  const std::string text = SystemErrorText(static_cast<unsigned long>(hr));
  return text.empty() ? Hex(hr) : text;
}

Variant::Variant(long value) : Variant() {
  v_.vt = VT_I4;
  v_.lVal = value;
}

Variant::Variant(double value) : Variant() {
  v_.vt = VT_R8;
  v_.dblVal = value;
}

Variant::Variant(const std::vector<double>& values) : Variant() {
  SAFEARRAYBOUND bound{static_cast<ULONG>(values.size()), 0};
  SAFEARRAY* a = ::SafeArrayCreate(VT_R8, 1, &bound);
  if (a == nullptr) throw Error(ErrorKind::kGeneral, "out of memory for an array of numbers");
  if (!values.empty()) {
    void* data = nullptr;
    if (FAILED(::SafeArrayAccessData(a, &data))) {
      ::SafeArrayDestroy(a);
      throw Error(ErrorKind::kGeneral, "an array of numbers cannot be filled");
    }
    std::copy(values.begin(), values.end(), static_cast<double*>(data));
    ::SafeArrayUnaccessData(a);
  }
  v_.vt = VT_ARRAY | VT_R8;
  v_.parray = a;
}

Variant::Variant(bool value) : Variant() {
  v_.vt = VT_BOOL;
  v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(const std::string& utf8) : Variant() {
  const std::wstring wide = Widen(utf8);
  v_.vt = VT_BSTR;
  v_.bstrVal = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

Variant::Variant(const Obj& object) : Variant() {
  if (!object.disp) Failed(object.name, "the object is not available from the CAD host");
  object.disp.get()->AddRef();
  v_.vt = VT_DISPATCH;
  v_.pdispVal = object.disp.get();
}

void Missing(const std::string& member) {
  throw Error(ErrorKind::kUnsupported,
              member + " is not offered by the CAD host (an older release?)");
}

void Failed(const std::string& member, const std::string& why) {
  throw Error(ErrorKind::kGeneral, member + ": " + why);
}

void Result::Dereference() {
  if ((value_.get().vt & VT_BYREF) == 0) return;
  Variant copy;
  // Only read, though some headers declare the source without const.
  const HRESULT hr = ::VariantCopyInd(copy.out(), const_cast<VARIANT*>(&value_.get()));
  if (FAILED(hr)) Failed(member_, HresultText(hr));
  value_ = std::move(copy);
}

double Result::Number() const { return ToDouble(member_, value_.get()); }

long long Result::Integer() const {
  const double d = Number();
  if (!(d >= -9.0e15 && d <= 9.0e15) || d != static_cast<double>(static_cast<long long>(d))) {
    Failed(member_, "expected a whole number");
  }
  return static_cast<long long>(d);
}

std::string Result::Text() const {
  const VARIANT& v = value_.get();
  if (v.vt != VT_BSTR) Failed(member_, "expected a string, got variant type " + std::to_string(v.vt));
  return FromBstr(v.bstrVal);
}

Point3 Result::Point() const {
  const std::vector<double> d = ToDoubles(member_, value_.get());
  if (d.size() != 3) {
    Failed(member_, "expected a point of 3 coordinates, got " + std::to_string(d.size()));
  }
  return {d[0], d[1], d[2]};
}

std::vector<double> Result::Vertices(size_t dims) const {
  std::vector<double> d = ToDoubles(member_, value_.get());
  if (d.size() % dims != 0) {
    Failed(member_, std::string("expected ") + (dims == 2 ? "x and y" : "x, y and z") +
                        " of each vertex, got " + std::to_string(d.size()) + " numbers");
  }
  return d;
}

Obj Result::Object(std::string name) const {
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

void Dispatch(const Obj& obj, const wchar_t* member, const std::string& key, WORD flags,
              VARIANT* lastFirst, UINT count, VARIANT* result) {
  if (!obj.disp) Failed(key, "the object is not available from the CAD host");
  bool cached = false;
  const DISPID id = MemberId(obj, member, key, cached);
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{count == 0 ? nullptr : lastFirst, nullptr, count, 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  HostException exception;
  UINT argError = 0;
  const HRESULT hr = obj.disp.get()->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                            result, &exception.info, &argError);
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

Apartment::Apartment() {
  const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  owned_ = SUCCEEDED(hr);
}

Apartment::~Apartment() {
  if (owned_) ::CoUninitialize();
}

RetryRejectedCalls::RetryRejectedCalls() {
  registered_ = SUCCEEDED(::CoRegisterMessageFilter(this, &previous_));
}

RetryRejectedCalls::~RetryRejectedCalls() {
  if (!registered_) return;
  IMessageFilter* mine = nullptr;
  ::CoRegisterMessageFilter(previous_, &mine);
  if (previous_ != nullptr) previous_->Release();
}

HRESULT STDMETHODCALLTYPE RetryRejectedCalls::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMessageFilter)) {
    *out = static_cast<IMessageFilter*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

DWORD STDMETHODCALLTYPE RetryRejectedCalls::RetryRejectedCall(HTASK, DWORD elapsed,
                                                              DWORD rejectType) {
  if (rejectType == SERVERCALL_RETRYLATER && elapsed < 60000) return 200;
  return static_cast<DWORD>(-1);
}

}  // namespace varnolt::com
