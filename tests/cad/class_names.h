// Windows only: a class name (ProgID) mapped to a class (CLSID), and optionally the
// class's local server, for as long as this lives. Written to the user's classes
// (HKCU\Software\Classes) as a user without rights to the machine's would, else to
// the machine's (HKLM\Software\Classes) where the system does not read the user's
// (wine); removed again on the way out.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace varnolt::testing {

class ClassName {
 public:
  ClassName(const std::wstring& progId, const std::wstring& clsid,
            const std::wstring& localServer = {}) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      const std::wstring base = L"Software\\Classes\\";
      root_ = root;
      bool written = Write(base + progId + L"\\CLSID", clsid);
      if (!localServer.empty()) {
        written = written && Write(base + L"CLSID\\" + clsid + L"\\LocalServer32", localServer);
      }
      if (written && Resolves(progId, clsid)) {
        ok_ = true;
        return;
      }
      Remove();
    }
  }
  ~ClassName() { Remove(); }
  ClassName(const ClassName&) = delete;
  ClassName& operator=(const ClassName&) = delete;

  bool ok() const { return ok_; }

 private:
  static bool Resolves(const std::wstring& progId, const std::wstring& clsid) {
    CLSID got, want;
    return SUCCEEDED(::CLSIDFromProgID(progId.c_str(), &got)) &&
           SUCCEEDED(::CLSIDFromString(clsid.c_str(), &want)) && IsEqualCLSID(got, want);
  }
  // The default value of `key`, each key made on the way noted for removal.
  bool Write(const std::wstring& key, const std::wstring& value) {
    for (size_t at = key.find(L'\\'); at != std::wstring::npos; at = key.find(L'\\', at + 1)) {
      made_.push_back(key.substr(0, at));
    }
    made_.push_back(key);
    HKEY h = nullptr;
    if (::RegCreateKeyExW(root_, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS) {
      return false;
    }
    const LONG r = ::RegSetValueExW(h, nullptr, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(value.c_str()),
                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(h);
    return r == ERROR_SUCCESS;
  }
  // The keys written, deepest first; a key that holds others (Software\Classes,
  // CLSID) is left, as RegDeleteKeyW leaves a key with subkeys.
  void Remove() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
      ::RegDeleteKeyW(root_, it->c_str());
    }
    made_.clear();
  }

  HKEY root_ = HKEY_CURRENT_USER;
  std::vector<std::wstring> made_;
  bool ok_ = false;
};

}  // namespace varnolt::testing
