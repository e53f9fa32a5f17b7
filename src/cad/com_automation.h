// Late-bound calls into an automation server (a CAD host) by member name: owned
// interface pointers, VARIANTs and EXCEPINFO, typed reading of what a member gives
// (numbers, text, points, vertex lists, objects), one DISPID cache per session, and
// the host's failures as Errors that name "Object.Member". Reading a drawing and
// adding entities to one both go through Call, Get and Put.
#pragma once

#ifndef _WIN32
#error "cad/com_automation.h is for Windows builds only"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/error.h"
#include "geodesy/plane.h"

namespace varnolt::com {

// The system's words for an HRESULT, else its number as 0x8001010A.
std::string HresultText(HRESULT hr);

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

// The DISPIDs GetIDsOfNames gave, by "Object.Member" (DISPID_UNKNOWN for a member the
// object does not offer): objects of one kind share them, and asking again for every
// object would double the round trips to a host in another process.
using DispIds = std::unordered_map<std::string, DISPID>;

// An automation object, the name messages give it ("Line", "SelectionSet"), and the
// session's DISPID cache (none: always ask).
struct Obj {
  Disp disp;
  std::string name;
  DispIds* ids = nullptr;
};

// An owned VARIANT: what it holds (a string, an array, an object) is released with it.
class Variant {
 public:
  Variant() { ::VariantInit(&v_); }
  // The arguments a call passes. Only these types: anything else (an int, a pointer)
  // fails to compile rather than turning silently into one of them.
  explicit Variant(long value);
  explicit Variant(double value);
  explicit Variant(bool value);
  // VT_ARRAY | VT_R8: a point, a vertex list.
  explicit Variant(const std::vector<double>& values);
  explicit Variant(const std::string& utf8);
  explicit Variant(const Obj& object);  // VT_DISPATCH, a reference of its own
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

// `member` is "Object.Member" in every message. The first is the host lacking the
// member (ErrorKind::kUnsupported), the second any other failure (kGeneral).
[[noreturn]] void Missing(const std::string& member);
[[noreturn]] void Failed(const std::string& member, const std::string& why);

// What a member gave, read as the type the caller expects; any other shape fails
// naming the member ("Line.StartPoint").
class Result {
 public:
  Result(std::string member, DispIds* ids) : member_(std::move(member)), ids_(ids) {}

  const std::string& member() const { return member_; }
  VARIANT* out() { return value_.out(); }

  // A reference is read through: a host may hand out VT_BYREF values.
  void Dereference();

  double Number() const;
  bool Boolean() const { return Number() != 0; }
  long long Integer() const;
  std::string Text() const;
  Point3 Point() const;
  // A vertex list, `dims` (2 or 3) numbers to a vertex.
  std::vector<double> Vertices(size_t dims) const;
  // The object given, under the name messages will give it.
  Obj Object(std::string name) const;

 private:
  Variant value_;
  std::string member_;
  DispIds* ids_;
};

// Invokes `member` of `obj` by name; `lastFirst` holds the arguments as DISPPARAMS
// does, the last one first, `key` is "Object.Member". Throws Error: kUnsupported when
// the host lacks the member, kGeneral for any other failure (with the host's own
// description when it gives one).
void Dispatch(const Obj& obj, const wchar_t* member, const std::string& key, WORD flags,
              VARIANT* lastFirst, UINT count, VARIANT* result);

std::string MemberName(const Obj& obj, const wchar_t* member);

// One late-bound call of `member` with `args` (long, double, bool, UTF-8 text, doubles
// or an object),
// in the order the member takes them.
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

// A property set: Put(entity, L"color", 3L).
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

// COM on this thread, apartment-threaded, for as long as the holder lives. A thread
// already in the multithreaded apartment keeps it (calls are then marshalled).
class Apartment {
 public:
  Apartment();
  ~Apartment();
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

 private:
  bool owned_ = false;
};

// A busy host (a dialog open, a command running) turns calls away with
// RPC_E_CALL_REJECTED, and COM asks the caller's message filter whether to try again:
// this one does, every fifth of a second for a minute, then the call fails as the host
// said. Registered on the holder's thread for the holder's life.
class RetryRejectedCalls : public IMessageFilter {
 public:
  RetryRejectedCalls();
  ~RetryRejectedCalls();
  RetryRejectedCalls(const RetryRejectedCalls&) = delete;
  RetryRejectedCalls& operator=(const RetryRejectedCalls&) = delete;

  // The holder owns the filter: COM's references do not decide its life.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return SERVERCALL_ISHANDLED;
  }
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsed, DWORD rejectType) override;
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
    return PENDINGMSG_WAITDEFPROCESS;
  }

 private:
  IMessageFilter* previous_ = nullptr;
  bool registered_ = false;
};

}  // namespace varnolt::com
