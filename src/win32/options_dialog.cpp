#include "win32/options_dialog.h"

#include <algorithm>
#include <string>
#include <vector>

#include "win32/window_util.h"

namespace varnolt::win32 {

namespace {

constexpr int kFirstRowId = 1000;  // row i has id kFirstRowId + i
constexpr UINT_PTR kShownTimer = 1;
// The layout, in pixels at 96 dpi.
constexpr int kClientWidth = 540;
constexpr int kMargin = 12;
constexpr int kIndent = 14;        // of the controls inside a group box
constexpr int kGroupCaption = 22;  // above a group box's first row
constexpr int kRowStep = 27;
constexpr int kControlHeight = 22;
constexpr int kLabelWidth = 130;   // a drop-down list's caption, left of it
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 26;

struct Dialog {
  ConversionOptions given;
  std::function<void(HWND)> shown;
  std::optional<ConversionOptions> result;
  HFONT font = nullptr;
  std::vector<HWND> controls;  // one per row
};

HWND Make(HWND dialog, const wchar_t* cls, const std::wstring& text, DWORD style, RECT r,
          int id, HFONT font) {
  const DWORD ex = std::wstring_view(cls) == L"EDIT" ? WS_EX_CLIENTEDGE : 0;
  HWND h = ::CreateWindowExW(ex, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                             r.right - r.left, r.bottom - r.top, dialog,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return h;
}

// The row's control at `y` (pixels): a check box across, a caption with its list
// beside it, or a caption with its box beneath; the y of the next row.
int MakeRow(HWND dialog, Dialog& d, size_t i, int y, UINT dpi) {
  auto s = [dpi](int px) { return Scaled(px, dpi); };
  const form::OptionRow& row = form::OptionRows()[i];
  const int left = s(kMargin + kIndent), right = s(kClientWidth - kMargin - kIndent);
  const int id = kFirstRowId + static_cast<int>(i);
  const std::wstring caption = Widen(row.caption);
  HWND control = nullptr;
  if (row.control == form::OptionControl::kCheck) {
    control = Make(dialog, L"BUTTON", caption, BS_AUTOCHECKBOX | WS_TABSTOP,
                   {left, y, right, y + s(kControlHeight)}, id, d.font);
  } else if (row.control == form::OptionControl::kChoice) {
    Make(dialog, L"STATIC", caption, SS_LEFT, {left, y + s(4), left + s(kLabelWidth), y + s(20)},
         -1, d.font);
    // A drop-down list's height includes its open list.
    control = Make(dialog, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                   {left + s(kLabelWidth), y, right, y + s(200)}, id, d.font);
    for (std::string_view choice : row.choices) {
      ::SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(choice).c_str()));
    }
  } else {
    Make(dialog, L"STATIC", caption, SS_LEFT, {left, y + s(2), right, y + s(20)}, -1, d.font);
    y += s(22);
    control = Make(dialog, L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP,
                   {left, y, right, y + s(kControlHeight)}, id, d.font);
  }
  d.controls.push_back(control);
  return y + s(kRowStep);
}

void Show(const Dialog& d) {
  const form::OptionValues v = form::OptionValuesOf(d.given);
  const std::vector<form::OptionRow>& rows = form::OptionRows();
  for (size_t i = 0; i < rows.size(); ++i) {
    HWND h = d.controls[i];
    if (rows[i].control == form::OptionControl::kCheck) {
      ::SendMessageW(h, BM_SETCHECK, v.values[i] != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    } else if (rows[i].control == form::OptionControl::kChoice) {
      ::SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(v.values[i]), 0);
    } else {
      ::SetWindowTextW(h, Widen(v.texts[i]).c_str());
    }
  }
}

form::OptionValues Values(const Dialog& d) {
  form::OptionValues v;
  const std::vector<form::OptionRow>& rows = form::OptionRows();
  for (size_t i = 0; i < rows.size(); ++i) {
    HWND h = d.controls[i];
    int value = 0;
    std::string text;
    if (rows[i].control == form::OptionControl::kCheck) {
      value = ::SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    } else if (rows[i].control == form::OptionControl::kChoice) {
      const LRESULT k = ::SendMessageW(h, CB_GETCURSEL, 0, 0);
      value = k == CB_ERR ? 0 : static_cast<int>(k);
    } else {
      text = WindowTextOf(h);
    }
    v.values.push_back(value);
    v.texts.push_back(std::move(text));
  }
  return v;
}

void SyncEnabled(const Dialog& d) {
  const ConversionOptions now = form::OptionsOf(d.given, Values(d)).options;
  const std::vector<form::OptionRow>& rows = form::OptionRows();
  for (size_t i = 0; i < rows.size(); ++i) {
    ::EnableWindow(d.controls[i], rows[i].enabled == nullptr || rows[i].enabled(now));
  }
}

// The controls, group by group, then the group boxes beneath them and the buttons;
// the dialog sized to hold them and centred over its owner.
void Build(HWND dialog, Dialog& d) {
  const UINT dpi = WindowDpi(dialog);
  auto s = [dpi](int px) { return Scaled(px, dpi); };
  d.font = MakeFont(form::PointsOf(form::Font::kNormal), dpi);
  const std::vector<form::OptionRow>& rows = form::OptionRows();
  std::vector<std::pair<std::wstring, RECT>> groups;
  int y = s(kMargin);
  for (int g = 0; g < static_cast<int>(std::size(form::kOptionGroups)); ++g) {
    const int top = y;
    y += s(kGroupCaption);
    for (size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].group == g) y = MakeRow(dialog, d, i, y, dpi);
    }
    groups.push_back({Widen(form::kOptionGroups[g]),
                      RECT{s(kMargin), top, s(kClientWidth - kMargin), y + s(4)}});
    y += s(kMargin);
  }
  for (const auto& [caption, r] : groups) {
    Make(dialog, L"BUTTON", caption, BS_GROUPBOX, r, -1, d.font);
  }
  const int right = s(kClientWidth - kMargin);
  Make(dialog, L"BUTTON", L"确定", BS_DEFPUSHBUTTON | WS_TABSTOP,
       {right - 2 * s(kButtonWidth) - s(8), y, right - s(kButtonWidth) - s(8), y + s(kButtonHeight)},
       IDOK, d.font);
  Make(dialog, L"BUTTON", L"取消", BS_PUSHBUTTON | WS_TABSTOP,
       {right - s(kButtonWidth), y, right, y + s(kButtonHeight)}, IDCANCEL, d.font);
  RECT outer{0, 0, s(kClientWidth), y + s(kButtonHeight) + s(kMargin)};
  ::AdjustWindowRectEx(&outer, static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
  RECT owner;
  HWND parent = ::GetWindow(dialog, GW_OWNER);
  if (parent == nullptr || !::GetWindowRect(parent, &owner)) ::GetWindowRect(::GetDesktopWindow(), &owner);
  const int w = outer.right - outer.left, h = outer.bottom - outer.top;
  ::SetWindowPos(dialog, nullptr, std::max(0L, (owner.left + owner.right - w) / 2),
                 std::max(0L, (owner.top + owner.bottom - h) / 2), w, h,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// OK: the options, or the box that cannot be used named and given the focus.
bool Accept(HWND dialog, Dialog& d) {
  const form::EditedOptions edited = form::OptionsOf(d.given, Values(d));
  if (edited.badRow) {
    const form::OptionRow& row = form::OptionRows()[*edited.badRow];
    ::MessageBoxW(dialog, Widen(row.badText).c_str(), Widen(form::kOptionsCaption).c_str(),
                  MB_OK | MB_ICONWARNING);
    HWND box = d.controls[*edited.badRow];
    ::SetFocus(box);
    ::SendMessageW(box, EM_SETSEL, 0, -1);
    return false;
  }
  d.result = edited.options;
  return true;
}

INT_PTR CALLBACK Proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  auto* d = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      d = reinterpret_cast<Dialog*>(lp);
      ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(d));
      Build(dialog, *d);
      Show(*d);
      SyncEnabled(*d);
      if (d->shown) ::SetTimer(dialog, kShownTimer, 1000, nullptr);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK) {
        if (Accept(dialog, *d)) ::EndDialog(dialog, IDOK);
      } else if (LOWORD(wp) == IDCANCEL) {
        ::EndDialog(dialog, IDCANCEL);
      } else if (HIWORD(wp) == BN_CLICKED || HIWORD(wp) == CBN_SELCHANGE) {
        SyncEnabled(*d);
      }
      return TRUE;
    case WM_TIMER:
      if (wp == kShownTimer) {
        ::KillTimer(dialog, kShownTimer);
        d->shown(dialog);
        ::EndDialog(dialog, IDCANCEL);
      }
      return TRUE;
    case WM_DESTROY:
      if (d != nullptr && d->font != nullptr) ::DeleteObject(d->font);
      return FALSE;
    default:
      return FALSE;
  }
}

// An in-memory dialog template with no controls of its own: they come from the rows.
std::vector<WORD> Template(const std::wstring& title) {
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  std::vector<WORD> t = {LOWORD(style), HIWORD(style), 0, 0,  // style, extended style
                         0,                                   // no controls
                         0, 0, 100, 100,                      // x, y, cx, cy: set later
                         0, 0};                               // no menu, the dialog class
  t.insert(t.end(), title.begin(), title.end());
  t.push_back(0);
  return t;
}

}  // namespace

int OptionControlId(std::string_view name) {
  const form::OptionRow* row = form::FindOptionRow(name);
  return row ? kFirstRowId + static_cast<int>(row - form::OptionRows().data()) : 0;
}

std::optional<ConversionOptions> EditOptions(HWND owner, const ConversionOptions& options,
                                             const std::function<void(HWND)>& shown) {
  Dialog d{options, shown, std::nullopt, nullptr, {}};
  const std::vector<WORD> t = Template(Widen(form::kOptionsCaption));
  ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr),
                            reinterpret_cast<const DLGTEMPLATE*>(t.data()), owner, &Proc,
                            reinterpret_cast<LPARAM>(&d));
  return d.result;
}

}  // namespace varnolt::win32
