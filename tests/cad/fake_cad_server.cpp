// The fake CAD host as a process of its own, for the real attach path: it builds the
// fake application from a drawing (its model-space entities, all picked), registers
// it in the running-object table under a test class, maps the class name to that
// class under the user's classes, signals readiness through a named event and serves
// calls until the end event is set (or an hour passes). On the way out it writes
// the prompts it received, one a line, their own LF and CR written as \n and \r,
// then "calls N" (the automation calls it answered).
//
//   fake_cad_server --drawing D.dxf --progid NAME --ready EVENT --end EVENT
//                   [--prompts FILE]
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "base/paths.h"
#include "base/wide.h"
#include "cad/dxf.h"
#include "fake_cad.h"

using varnolt::Widen;

namespace {

// The test class; nothing else uses it.
const CLSID kFakeClass = {0x8e4c3b52, 0x6a1d, 0x4f0e, {0x9b, 0x7a, 0x2d, 0x5c, 0x1e, 0x3f, 0x4a, 0x60}};
const wchar_t kFakeClassText[] = L"{8E4C3B52-6A1D-4F0E-9B7A-2D5C1E3F4A60}";

// ProgID\CLSID = the test class, under `root`; true when written.
bool WriteProgId(HKEY root, const std::wstring& base, const std::wstring& progId) {
  HKEY key = nullptr;
  const std::wstring path = base + progId + L"\\CLSID";
  if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const LONG r = ::RegSetValueExW(key, nullptr, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(kFakeClassText),
                                  sizeof kFakeClassText);
  ::RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

void RemoveProgId(HKEY root, const std::wstring& base, const std::wstring& progId) {
  ::RegDeleteKeyW(root, (base + progId + L"\\CLSID").c_str());
  ::RegDeleteKeyW(root, (base + progId).c_str());
}

bool Resolves(const std::wstring& progId) {
  CLSID clsid;
  return SUCCEEDED(::CLSIDFromProgID(progId.c_str(), &clsid)) && IsEqualCLSID(clsid, kFakeClass);
}

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

}  // namespace

int main(int argc, char** argv) {
  std::string drawing, progId, ready, end, prompts;
  for (int k = 1; k + 1 < argc; k += 2) {
    const std::string option = argv[k], value = argv[k + 1];
    if (option == "--drawing") drawing = value;
    if (option == "--progid") progId = value;
    if (option == "--ready") ready = value;
    if (option == "--end") end = value;
    if (option == "--prompts") prompts = value;
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
      varnolt::DxfDrawing d = varnolt::ReadDxfFile(varnolt::PathFromUtf8(drawing));
      script.layers = std::move(d.layers);
      script.entities = std::move(d.entities);
      script.documentName = varnolt::Utf8(varnolt::PathFromUtf8(drawing).filename());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "fake_cad_server: %s\n", e.what());
      ::CoUninitialize();
      return 1;
    }
    varnolt::testing::FakeCad fake(std::move(script));

    // The user's classes first, as a user without rights to the machine's would.
    const std::wstring wideId = Widen(progId);
    const std::wstring userBase = L"Software\\Classes\\";
    bool user = WriteProgId(HKEY_CURRENT_USER, userBase, wideId) && Resolves(wideId);
    bool machine = false;
    if (!user) machine = WriteProgId(HKEY_CLASSES_ROOT, L"", wideId) && Resolves(wideId);

    DWORD cookie = 0;
    const HRESULT hr = ::RegisterActiveObject(fake.application(), kFakeClass,
                                              ACTIVEOBJECT_STRONG, &cookie);
    const HANDLE endEvent = ::CreateEventW(nullptr, TRUE, FALSE, Widen(end).c_str());
    const HANDLE readyEvent = ::CreateEventW(nullptr, TRUE, FALSE, Widen(ready).c_str());
    if (FAILED(hr) || (!user && !machine) || endEvent == nullptr || readyEvent == nullptr) {
      std::fprintf(stderr, "fake_cad_server: cannot register (0x%08lX, class name %s)\n",
                   static_cast<unsigned long>(hr), user || machine ? "mapped" : "not mapped");
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
    if (SUCCEEDED(hr)) ::RevokeActiveObject(cookie, nullptr);
    if (user) RemoveProgId(HKEY_CURRENT_USER, userBase, wideId);
    if (machine) RemoveProgId(HKEY_CLASSES_ROOT, L"", wideId);
    if (!user && !machine) {
      RemoveProgId(HKEY_CURRENT_USER, userBase, wideId);
    }
    if (!prompts.empty()) {
      std::ofstream out(varnolt::PathFromUtf8(prompts), std::ios::binary);
      for (const std::string& p : fake.prompts()) out << Escaped(p) << "\n";
      out << "calls " << fake.calls().size() << "\n";
    }
    if (endEvent != nullptr) ::CloseHandle(endEvent);
    if (readyEvent != nullptr) ::CloseHandle(readyEvent);
  }
  ::CoUninitialize();
  return status;
}
