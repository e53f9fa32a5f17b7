// The fake CAD host as a process of its own, for the real attach path: it builds the
// fake application from a drawing (its model-space entities, all picked), registers
// it in the running-object table under a test class, maps the class name to that
// class under the user's classes, signals readiness through a named event and serves
// calls until the end event is set (or an hour passes). On the way out it writes
// the prompts it received, one a line, their own LF and CR written as \n and \r,
// then "calls N (I invocations, L name lookups)", the automation calls it answered.
// --export offers Export and handles (the strict host otherwise); --die-at M:N ends
// the process abruptly at the N-th call of member M ("Line.Handle:5"), as a host
// that crashes; --class also serves the class to CoCreateInstance, as a host that COM
// starts does (COM adds -Embedding to the command line it starts). --adding FILE
// offers the methods that add entities and layers, and on the way out writes what
// was added, with the layer table, as a DXF drawing to FILE.
//
//   fake_cad_server --drawing D.dxf --progid NAME --ready EVENT --end EVENT
//                   [--prompts FILE] [--export] [--die-at Object.Member:N]
//                   [--class] [--adding FILE]
//   fake_cad_server --options FILE (the same options one a line)
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/wide.h"
#include "cad/dxf_writer.h"
#include "class_names.h"
#include "fake_cad.h"

using varnolt::Widen;

namespace {

// The test class; nothing else uses it.
const CLSID kFakeClass = {0x8e4c3b52, 0x6a1d, 0x4f0e, {0x9b, 0x7a, 0x2d, 0x5c, 0x1e, 0x3f, 0x4a, 0x60}};

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

// Hands out the one application object, for a client that starts the host.
class Factory : public IClassFactory {
 public:
  explicit Factory(IDispatch* application) : application_(application) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory) ? this : nullptr;
    return *out != nullptr ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return application_->QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  IDispatch* application_;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // --options FILE: the options one a line, for a command line COM keeps (its
  // registry value holds at most MAX_PATH characters under wine).
  if (args.size() >= 2 && args[0] == "--options") {
    std::ifstream in(varnolt::PathFromUtf8(args[1]));
    args.erase(args.begin(), args.begin() + 2);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) args.push_back(line);
    }
  }
  std::string drawing, progId, ready, end, prompts;
  bool exports = false, serveClass = false;
  std::string dieAt, addedTo;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& option = args[k];
    if (option == "--export") {
      exports = true;
      continue;
    }
    if (option == "--class") {
      serveClass = true;
      continue;
    }
    if (option == "-Embedding" || option == "/Embedding") continue;
    if (k + 1 >= args.size()) break;
    const std::string value = args[++k];
    if (option == "--drawing") drawing = value;
    if (option == "--progid") progId = value;
    if (option == "--ready") ready = value;
    if (option == "--end") end = value;
    if (option == "--prompts") prompts = value;
    if (option == "--die-at") dieAt = value;
    if (option == "--adding") addedTo = value;
  }
  if (drawing.empty() || progId.empty() || ready.empty() || end.empty()) {
    std::fprintf(stderr, "usage: fake_cad_server --drawing D.dxf --progid NAME --ready EVENT "
                         "--end EVENT [--prompts FILE]\n");
    return 2;
  }
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int status = 0;
  {
    varnolt::testing::FakeCadScript script;
    try {
      script = varnolt::testing::ScriptFromDrawing(varnolt::PathFromUtf8(drawing));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "fake_cad_server: %s\n", e.what());
      ::CoUninitialize();
      return 1;
    }
    using varnolt::testing::FakeHostMode;
    varnolt::testing::FakeCad fake(std::move(script), !addedTo.empty() ? FakeHostMode::kAdding
                                                      : exports        ? FakeHostMode::kExport
                                                                       : FakeHostMode::kStrict);
    if (const size_t colon = dieAt.find(':'); colon != std::string::npos) {
      fake.DieAt(dieAt.substr(0, colon), std::stoi(dieAt.substr(colon + 1)), true);
    }

    const varnolt::testing::ClassName name(Widen(progId), varnolt::testing::kFakeCadClassText);
    DWORD cookie = 0, classCookie = 0;
    Factory factory(fake.application());
    HRESULT hr = ::RegisterActiveObject(fake.application(), kFakeClass, ACTIVEOBJECT_STRONG,
                                        &cookie);
    if (SUCCEEDED(hr) && serveClass) {
      hr = ::CoRegisterClassObject(kFakeClass, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                   &classCookie);
    }
    const HANDLE endEvent = ::CreateEventW(nullptr, TRUE, FALSE, Widen(end).c_str());
    const HANDLE readyEvent = ::CreateEventW(nullptr, TRUE, FALSE, Widen(ready).c_str());
    if (FAILED(hr) || !name.ok() || endEvent == nullptr || readyEvent == nullptr) {
      std::fprintf(stderr, "fake_cad_server: cannot register (0x%08lX, class name %s)\n",
                   static_cast<unsigned long>(hr), name.ok() ? "mapped" : "not mapped");
      status = 1;
    } else {
      ::SetEvent(readyEvent);
      // Calls from other apartments arrive as window messages: pump until the end.
      const DWORD deadline = ::GetTickCount() + 60 * 60 * 1000;
      for (;;) {
        const DWORD now = ::GetTickCount();
        if (static_cast<LONG>(deadline - now) <= 0) break;
        const DWORD wait = ::MsgWaitForMultipleObjects(1, &endEvent, FALSE, deadline - now,
                                                       QS_ALLINPUT);
        if (wait != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
          ::TranslateMessage(&msg);
          ::DispatchMessageW(&msg);
        }
      }
    }
    if (cookie != 0) ::RevokeActiveObject(cookie, nullptr);
    if (classCookie != 0) ::CoRevokeClassObject(classCookie);
    if (!prompts.empty()) {
      std::ofstream out(varnolt::PathFromUtf8(prompts), std::ios::binary);
      for (const std::string& p : fake.prompts()) out << Escaped(p) << "\n";
      const size_t lookups = static_cast<size_t>(fake.lookups());
      out << "calls " << fake.calls().size() + lookups << " (" << fake.calls().size()
          << " invocations, " << lookups << " name lookups)\n";
    }
    if (!addedTo.empty()) {
      std::ofstream out(varnolt::PathFromUtf8(addedTo), std::ios::binary);
      out << varnolt::WriteDxf(fake.layers(), fake.added());
    }
    if (endEvent != nullptr) ::CloseHandle(endEvent);
    if (readyEvent != nullptr) ::CloseHandle(readyEvent);
  }
  ::CoUninitialize();
  return status;
}
