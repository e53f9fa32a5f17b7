#!/bin/sh
# Checks the Debian package that scripts/package built, unpacked into a scratch
# folder: both programs are there, stripped, and run from it; the packaged varnolt
# converts the sample drawing and gives every golden document byte for byte (the
# package is built with other flags than the tests); the manual with its pictures,
# the desktop entry, the icon and the manual pages are in place; the dependencies
# came from dpkg-shlibdeps; lintian finds no error (its warnings are printed).
#
#   tests/package/check_deb.sh [DEB]     default: build-package/varnolt_*.deb
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ $# -ge 1 ]; then
  deb=$1
else
  set -- "${VARNOLT_PACKAGE_DIR:-$root/build-package}"/varnolt_*.deb
  deb=$1
fi
[ -f "$deb" ] || { echo "check_deb: no package at $deb (run scripts/package)" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "check_deb: FAIL: $*" >&2; failures=$((failures + 1)); }

dpkg -x "$deb" "$scratch/root"
pkg=$scratch/root
bin=$pkg/usr/bin

# ---- the programs ----
for p in varnolt varnolt-gui; do
  if [ ! -x "$bin/$p" ]; then
    fail "usr/bin/$p is not in the package"
  elif ! file -L "$bin/$p" | grep -q ', stripped'; then
    fail "usr/bin/$p is not stripped"
  elif grep -q -F "$root" "$bin/$p"; then
    fail "usr/bin/$p holds the build machine's path $root"
  fi
done

if [ -x "$bin/varnolt" ]; then
  version=$("$bin/varnolt" --version) || fail "varnolt --version exited with $?"
  echo "varnolt --version: $version"
  case $version in varnolt\ *) ;; *) fail "varnolt --version printed '$version'" ;; esac

  # The sample drawing, as scripts/demo converts it.
  "$bin/varnolt" convert "$root/examples/site.dxf" -o "$scratch/site.kml" \
    --settings "$scratch/Varnolt.ini" --datum beijing54 --meridian 114.3 ||
    fail "varnolt convert examples/site.dxf exited with $?"
  if [ ! -s "$scratch/site.kml" ]; then
    fail "varnolt convert wrote no site.kml"
  else
    xmllint --noout "$scratch/site.kml" || fail "site.kml is not well-formed XML"
    n=$(grep -c '<Placemark>' "$scratch/site.kml" || true)
    [ "$n" -gt 0 ] || fail "site.kml holds no Placemark"
    echo "site.kml: $(wc -c <"$scratch/site.kml") bytes, $n placemarks"
  fi

  # Every golden case through the packaged program: the same bytes as the tests expect.
  cases=0
  for dir in "$root"/tests/golden/*/; do
    name=$(basename "$dir")
    [ -f "$dir/drawing.dxf" ] || continue
    mkdir -p "$scratch/golden/$name"
    cp "$dir/Varnolt.ini" "$scratch/golden/$name/Varnolt.ini"
    out=$scratch/golden/$name/$name.kml
    if ! "$bin/varnolt" convert "$dir/drawing.dxf" -o "$out" \
         --settings "$scratch/golden/$name/Varnolt.ini" >"$scratch/golden/$name/log" 2>&1; then
      fail "golden $name: varnolt convert failed: $(cat "$scratch/golden/$name/log")"
    elif ! cmp -s "$out" "$dir/expected.kml"; then
      fail "golden $name: the packaged varnolt wrote other bytes than expected.kml ($(cmp "$out" "$dir/expected.kml" 2>&1 || true))"
    fi
    cases=$((cases + 1))
  done
  [ "$cases" -gt 0 ] || fail "no golden case found under tests/golden"
  echo "golden documents: $cases cases compared"
fi

if [ -x "$bin/varnolt-gui" ]; then
  mkdir -m 700 "$scratch/run"
  gui_version=$(XDG_RUNTIME_DIR=$scratch/run QT_QPA_PLATFORM=offscreen "$bin/varnolt-gui" --version) ||
    fail "varnolt-gui --version exited with $?"
  echo "varnolt-gui --version: $gui_version"
fi

# ---- files beside the programs ----
doc=$pkg/usr/share/doc/varnolt
manual=$pkg/usr/share/varnolt
for f in "$manual/manual.html" "$doc/copyright" "$doc/changelog.gz" \
         "$pkg/usr/share/applications/varnolt-gui.desktop" \
         "$pkg/usr/share/icons/hicolor/scalable/apps/varnolt.svg" \
         "$pkg/usr/share/man/man1/varnolt.1.gz" "$pkg/usr/share/man/man1/varnolt-convert.1.gz" \
         "$pkg/usr/share/man/man1/varnolt-point.1.gz" "$pkg/usr/share/man/man1/varnolt-correct.1.gz" \
         "$pkg/usr/share/man/man1/varnolt-gui.1.gz"; do
  [ -f "$f" ] || fail "${f#"$pkg"/} is not in the package"
done
# Every picture the manual shows is beside it.
if [ -f "$manual/manual.html" ]; then
  grep -o '<img[^>]*src="[^"]*"' "$manual/manual.html" | sed 's/.*src="//; s/"$//' >"$scratch/pictures" || true
  while read -r src; do
    [ -f "$manual/$src" ] || fail "the manual shows $src, which is not in usr/share/varnolt"
  done <"$scratch/pictures"
fi
# Each subcommand's page holds that subcommand's own options.
for pair in convert:--layer point:--datum correct:--save; do
  page=$pkg/usr/share/man/man1/varnolt-${pair%%:*}.1.gz
  [ -f "$page" ] || continue
  zcat "$page" | sed 's/\\-/-/g' | grep -q -- "${pair#*:}" ||
    fail "varnolt-${pair%%:*}(1) does not mention ${pair#*:}"
done
if [ -f "$pkg/usr/share/applications/varnolt-gui.desktop" ]; then
  desktop-file-validate "$pkg/usr/share/applications/varnolt-gui.desktop" ||
    fail "the desktop entry does not validate"
fi
xmllint --noout "$pkg/usr/share/icons/hicolor/scalable/apps/varnolt.svg" 2>/dev/null ||
  fail "the icon is not well-formed SVG"

# ---- control data ----
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libzip4 libqt6widgets6; do
  case $depends in *"$lib"*) ;; *) fail "Depends lacks $lib" ;; esac
done

# ---- lintian: errors fail, warnings are listed ----
echo "lintian $(basename "$deb"):"
if ! lintian --fail-on error --display-info "$deb" 2>"$scratch/lintian.err"; then
  cat "$scratch/lintian.err" >&2
  fail "lintian reports errors"
fi

if [ "$failures" -ne 0 ]; then
  echo "check_deb: $failures failure(s)" >&2
  exit 1
fi
echo "check_deb: $(basename "$deb") passed"
