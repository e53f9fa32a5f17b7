#!/bin/sh
# Checks the Windows installer and zip that scripts/package-windows built, under wine
# in a new prefix of its own (a Windows that never saw Varnolt): the installer asks
# for no administrator and runs silently into a folder whose name has a space and
# Chinese characters; the files, the Start-menu and desktop shortcuts, the uninstall
# key and Explorer's verb on .dxf files are there, and no other registry key mentions
# Varnolt; both programs and the installer carry Varnolt's icon; both programs are
# stripped and need no DLL beyond Windows' own; the installed varnolt.exe
# converts examples/site.dxf to a KML with placemarks, byte for byte what the Linux
# build writes when build/app/varnolt exists; the zip holds the installed files, the
# same bytes; the uninstaller removes the files, the shortcuts, the key and the verb
# (with the keys above it it made), and keeps a Varnolt.ini the user saved there.
#
#   tests/package/check_windows_installer.sh [BUILD_DIR]   default: build-windows/
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=${1:-${VARNOLT_WINDOWS_BUILD_DIR:-$root/build-windows}}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt" 2>/dev/null || true)
setup=$dir/varnolt-setup-$version.exe
zipfile=$dir/varnolt-$version-windows-x64.zip
for f in "$setup" "$zipfile"; do
  if [ -z "$version" ] || [ ! -f "$f" ]; then
    echo "check_windows_installer: no $f (run scripts/package-windows)" >&2
    exit 1
  fi
done

# wine has no UAC: the manifest says whether Windows would ask for an administrator.
strings "$setup" | grep -q 'requestedExecutionLevel level="asInvoker"' ||
  { echo "check_windows_installer: FAIL: the installer does not run as the invoking user" >&2; exit 1; }

scratch=$(mktemp -d)
export WINEPREFIX="$scratch/wine" WINEDEBUG=-all
# No .desktop files for the shortcuts in this machine's menus (winemenubuilder), no
# Mono or Gecko prompts; Chinese arguments reach Windows as UTF-8.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=" LC_ALL=C.UTF-8
trap 'wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
failures=0
fail() { echo "check_windows_installer: FAIL: $*" >&2; failures=$((failures + 1)); }
# The Windows name of a path on this machine: wine's drive Z: is the root.
winpath() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }

echo "check_windows_installer: making a wine prefix"
wineboot --init >/dev/null 2>&1 || true
wineserver -w

uninst_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Varnolt'
dxf_key='HKCU\Software\Classes\SystemFileAssociations\.dxf'
verb_key="$dxf_key\shell\Varnolt.ConvertToKml"
# Every line of HKCU that mentions Varnolt outside the keys matched by the regular
# expression $1 (the key's whole line, brackets included), as KEY: LINE.
registry_mentions() {
  wine regedit /E "$(winpath "$scratch/hkcu.reg")" HKEY_CURRENT_USER 2>/dev/null
  iconv -f UTF-16 -t UTF-8 "$scratch/hkcu.reg" | tr -d '\r' |
    allowed="$1" awk '/^\[/ { key = $0 } tolower($0) ~ /varnolt/ && key !~ ENVIRON["allowed"] {
           print key ": " $0 }'
}
installed_keys='^\[HKEY_CURRENT_USER\\Software\\(Microsoft\\Windows\\CurrentVersion\\Uninstall\\Varnolt|Classes\\SystemFileAssociations\\\.dxf\\shell\\Varnolt\.ConvertToKml(\\command)?)\]$'
# A key exported as UTF-8 text without CRs into $2; false when there is no such key.
export_key() {
  wine reg export "$1" "$(winpath "$scratch/export.reg")" /y >/dev/null 2>&1 &&
    iconv -f UTF-16 -t UTF-8 "$scratch/export.reg" | tr -d '\r' >"$2"
}
# The sizes and depths of the icon a Windows program carries, one line each.
icon_list() {
  rm -f "$scratch/icon.ico"
  wrestool -x -t 14 -o "$scratch/icon.ico" "$1" 2>/dev/null && icotool -l "$scratch/icon.ico" |
    sed 's/--index=[0-9]* //'
}

# ---- install ----
inst="$scratch/Program Files/Varnolt 测试"
inst_win=$(winpath "$inst")
menu="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Varnolt"
desktop_link="$WINEPREFIX/drive_c/users/$(id -un)/Desktop/Varnolt.lnk"
# NSIS takes /D= last and unquoted, but wine quotes an argument holding a space when
# it builds the Windows command line: the path goes as one argument a word, which
# wine joins with single spaces into the very path.
set -f
# shellcheck disable=SC2086
wine "$(winpath "$setup")" /S /D=$inst_win 2>"$scratch/setup.log" ||
  fail "the installer exited with $?: $(cat "$scratch/setup.log")"
set +f

expected="LICENSE.txt drawing_window.png drawing_window_windows.png imported_track.png main_window.png main_window_windows.png manual.html options_dialog_windows.png uninstall.exe varnolt-gui.exe varnolt.exe"
# Varnolt's icon as the build drew it, which both programs and the installer carry.
icon_want=$(icotool -l "$dir/app/varnolt.ico" | sed 's/--index=[0-9]* //')
[ -n "$icon_want" ] || fail "no icon at $dir/app/varnolt.ico to compare with"
[ "$(icon_list "$setup")" = "$icon_want" ] || fail "the installer does not carry Varnolt's icon"
installed=$(cd "$inst" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
[ "$installed" = "$expected " ] || fail "installed files: '$installed', expected '$expected'"
for exe in varnolt.exe varnolt-gui.exe; do
  [ -f "$inst/$exe" ] || continue
  if x86_64-w64-mingw32-objdump -h "$inst/$exe" | grep -q '\.debug_'; then
    fail "the installed $exe is not stripped"
  fi
  # Linked statically: a DLL of the compiler's runtime would be missing on Windows.
  foreign=$(x86_64-w64-mingw32-objdump -p "$inst/$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' |
            grep -i -v -E '^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|shlwapi|ole32|oleaut32|advapi32|msvcrt|ws2_32|bcrypt|crypt32|uxtheme|dwmapi|shcore|version|imm32|api-ms-win-[a-z0-9-]+)\.dll$' || true)
  [ -z "$foreign" ] || fail "$exe needs DLLs that Windows does not have: $foreign"
  [ "$(icon_list "$inst/$exe")" = "$icon_want" ] || fail "$exe does not carry Varnolt's icon"
done
if [ -f "$inst/manual.html" ]; then
  grep -o '<img[^>]*src="[^"]*"' "$inst/manual.html" | sed 's/.*src="//; s/"$//' >"$scratch/pictures" || true
  [ -s "$scratch/pictures" ] || fail "the installed manual shows no picture"
  while read -r src; do
    [ -f "$inst/$src" ] || fail "the manual shows $src, which is not installed beside it"
  done <"$scratch/pictures"
fi

# The uninstall key, exported as UTF-16 (reg query would print the path in the
# console's code page).
if wine reg export "$uninst_key" "$(winpath "$scratch/key.reg")" /y >/dev/null 2>&1; then
  iconv -f UTF-16 -t UTF-8 "$scratch/key.reg" | tr -d '\r' >"$scratch/key.txt"
  inst_reg=$(printf '%s' "$inst_win" | sed 's/\\/\\\\/g')
  for line in "\"DisplayVersion\"=\"$version\"" "\"InstallLocation\"=\"$inst_reg\"" \
              "\"UninstallString\"=\"\\\"$inst_reg\\\\uninstall.exe\\\"\""; do
    grep -q -x -F "$line" "$scratch/key.txt" || fail "the uninstall key lacks $line"
  done
else
  fail "no uninstall key $uninst_key"
fi
# Explorer's verb on .dxf files: its caption, the program's icon and the command
# that converts the file beside itself.
if export_key "$verb_key" "$scratch/verb.txt"; then
  gui_reg=$(printf '%s' "$inst_win\\varnolt-gui.exe" | sed 's/\\/\\\\/g')
  for line in '@="转换为 KML (Varnolt)"' "\"Icon\"=\"$gui_reg,0\"" \
              "@=\"\\\"$gui_reg\\\" --convert \\\"%1\\\"\""; do
    grep -q -x -F "$line" "$scratch/verb.txt" || fail "the verb's key lacks $line: $(cat "$scratch/verb.txt")"
  done
else
  fail "no verb key $verb_key"
fi
mentions=$(registry_mentions "$installed_keys")
[ -z "$mentions" ] || fail "registry entries beyond the uninstall key and the verb mention Varnolt: $mentions"

# The shortcuts' names depend on the language of Windows: wine's here is English.
if [ -f "$menu/Varnolt manual.lnk" ]; then
  strings -el "$menu/Varnolt manual.lnk" | grep -q 'manual\.html' ||
    fail "the manual's shortcut does not point to manual.html"
else
  fail "no Start-menu shortcut 'Varnolt manual'"
fi
for link in "$menu/Varnolt.lnk" "$desktop_link"; do
  if [ -f "$link" ]; then
    strings -el "$link" | grep -q 'varnolt-gui\.exe' || fail "$link does not start varnolt-gui.exe"
  else
    fail "no shortcut $link"
  fi
done
if [ -f "$menu/Varnolt command prompt.lnk" ]; then
  strings -el "$menu/Varnolt command prompt.lnk" | grep -q 'cmd\.exe' ||
    fail "the command prompt's shortcut does not start cmd.exe"
else
  fail "no Start-menu shortcut 'Varnolt command prompt'"
fi

# ---- the installed program ----
if [ -f "$inst/varnolt.exe" ]; then
  win_version=$(wine "$inst/varnolt.exe" --version | tr -d '\r') ||
    fail "varnolt.exe --version exited with $?"
  echo "varnolt.exe --version: $win_version"
  case $win_version in varnolt\ *) ;; *) fail "varnolt.exe --version printed '$win_version'" ;; esac

  mkdir -p "$scratch/settings" "$scratch/out"
  wine "$inst/varnolt.exe" convert "$(winpath "$root/examples/site.dxf")" \
    -o "$(winpath "$scratch/out/site.kml")" --settings "$(winpath "$scratch/settings/Varnolt.ini")" \
    --datum beijing54 --meridian 114.3 >"$scratch/convert.log" 2>&1 ||
    fail "varnolt.exe convert examples/site.dxf exited with $?: $(cat "$scratch/convert.log")"
  if [ ! -s "$scratch/out/site.kml" ]; then
    fail "varnolt.exe convert wrote no site.kml"
  else
    xmllint --noout "$scratch/out/site.kml" || fail "site.kml is not well-formed XML"
    grep -q '<kml ' "$scratch/out/site.kml" || fail "site.kml is not a KML document"
    n=$(grep -c '<Placemark>' "$scratch/out/site.kml" || true)
    [ "$n" -gt 0 ] || fail "site.kml holds no Placemark"
    echo "site.kml from varnolt.exe: $(wc -c <"$scratch/out/site.kml") bytes, $n placemarks"
  fi
  [ ! -e "$inst/Varnolt.ini" ] || fail "varnolt.exe convert wrote Varnolt.ini beside itself"

  linux=$root/build/app/varnolt
  if [ -x "$linux" ]; then
    # The same file name: the document is named after it.
    mkdir -p "$scratch/linux"
    "$linux" convert "$root/examples/site.dxf" -o "$scratch/linux/site.kml" \
      --settings "$scratch/settings/Varnolt.ini" --datum beijing54 --meridian 114.3 >/dev/null 2>&1 ||
      fail "build/app/varnolt convert examples/site.dxf exited with $?"
    if cmp -s "$scratch/out/site.kml" "$scratch/linux/site.kml"; then
      echo "site.kml: the same bytes as build/app/varnolt writes"
    else
      fail "varnolt.exe and build/app/varnolt wrote different site.kml ($(cmp "$scratch/out/site.kml" "$scratch/linux/site.kml" 2>&1 || true))"
    fi
    [ "$win_version" = "$("$linux" --version)" ] ||
      fail "varnolt.exe --version '$win_version', build/app/varnolt --version '$("$linux" --version)'"
  else
    echo "check_windows_installer: note: no Linux build at build/app/varnolt, site.kml not compared with it"
  fi
fi

# ---- the zip: the installed files but the uninstaller, the same bytes ----
mkdir "$scratch/zip"
unzip -q "$zipfile" -d "$scratch/zip" || fail "unzip $(basename "$zipfile") failed"
top=varnolt-$version-windows-x64
zipped=$(cd "$scratch/zip/$top" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
[ "$zipped" = "$(echo "$expected" | sed 's/uninstall\.exe //') " ] ||
  fail "the zip holds '$zipped' under $top/, not the installed files but uninstall.exe"
for f in $zipped; do
  cmp -s "$scratch/zip/$top/$f" "$inst/$f" || fail "$f in the zip differs from the installed one"
done
[ "$(find "$scratch/zip" -mindepth 1 -maxdepth 1 | wc -l)" -eq 1 ] ||
  fail "the zip holds more than the folder $top"

# ---- uninstall ----
# The settings the user saved beside the program must outlive it.
printf '[Varnolt]\r\n' >"$inst/Varnolt.ini"
# The uninstaller copies itself to a temporary folder, starts that copy and returns:
# wait until every wine process of the prefix has ended.
wine "$inst/uninstall.exe" /S || fail "the uninstaller exited with $?"
wineserver -w
left=$(cd "$inst" 2>/dev/null && find . | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
[ "$left" = ". Varnolt.ini " ] || fail "after uninstalling, the folder holds '$left', not just Varnolt.ini"
[ ! -e "$menu" ] || fail "the Start-menu folder is still there after uninstalling"
[ ! -e "$desktop_link" ] || fail "the desktop shortcut is still there after uninstalling"
for key in "$uninst_key" "$verb_key" "$dxf_key"; do
  if wine reg query "$key" >/dev/null 2>&1; then
    fail "$key is still there after uninstalling"
  fi
done
mentions=$(registry_mentions '^$')
[ -z "$mentions" ] || fail "registry entries mention Varnolt after uninstalling: $mentions"

if [ "$failures" -ne 0 ]; then
  echo "check_windows_installer: $failures failure(s)" >&2
  exit 1
fi
echo "check_windows_installer: $(basename "$setup") and $(basename "$zipfile") passed"
