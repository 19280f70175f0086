#!/usr/bin/env bash
# Builds the Debian package from a Release build, checks its contents, lintian's
# and appstreamcli's verdicts, installs it with apt-get, runs the installed
# programs and removes the package again. Runs unattended (CI=true, no stdin);
# installs through sudo when not root.
#   QX_PACKAGE_BUILD  build folder (default: build-package)
#   QX_JOBS           parallel build jobs (default: 2)
#   QX_PACKAGE_CMAKE_ARGS  more cmake options (e.g. a compiler launcher)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QX_PACKAGE_BUILD:-$here/build-package}
jobs=${QX_JOBS:-2}
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

fail() {
    echo "check-package: $*" >&2
    exit 1
}

# What the build needs, then the packaging tools.
bash "$here/scripts/quorvex.sh" setup </dev/null
missing=()
for p in dpkg-dev lintian appstream file; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi

echo "== configure, build and cpack (Release, prefix /usr)"
start=$(date +%s)
# Debian's hardening flags; warnings never fail a package build (a newer
# compiler may find new ones).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# No debug information (the binaries are stripped); Release sets the optimisation.
export DEB_CXXFLAGS_STRIP="-g -O2"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
# shellcheck disable=SC2086
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
      -DQX_WERROR=OFF -DQX_BUILD_GUI=ON -DQX_BUILD_TESTS=OFF -DQX_BUILD_BENCHMARKS=OFF \
      ${QX_PACKAGE_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$jobs"
rm -f "$build"/quorvexi_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
echo "package step: $(($(date +%s) - start)) s"

debs=("$build"/quorvexi_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then fail "expected one quorvexi_*.deb in $build"; fi
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "quorvexi_${version}_${arch}.deb" ] || fail "unexpected name $(basename "$deb")"
version_h=$(sed -n 's/.*kVersion\[\] = "\(.*\)";/\1/p' "$build/generated/QxVersion.h")
[ "$version" = "$version_h" ] || fail "package version $version, programs say $version_h"
depends=$(dpkg-deb -f "$deb" Depends)
echo "$(basename "$deb"): Depends: $depends"
# Computed by dpkg-shlibdeps from the binaries, so Qt and the C++ library must be there.
for lib in libqt6widgets6 libqt6printsupport6 libstdc++6 libc6; do
    grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib"
done

echo "== contents (dpkg-deb -c)"
listing=$(dpkg-deb -c "$deb")
echo "$listing"
expect() {  # mode path
    local line
    line=$(awk -v p="./$2" '$6 == p' <<<"$listing")
    [ -n "$line" ] || fail "missing from the package: /$2"
    [ "$(awk '{print $1, $2}' <<<"$line")" = "$1 root/root" ] || fail "bad mode or owner: $line"
}
for program in quorvexi qvx quorvexi-sim; do
    expect -rwxr-xr-x "usr/bin/$program"
    expect -rw-r--r-- "usr/share/man/man1/$program.1.gz"
done
for file in usr/share/applications/quorvexi.desktop \
            usr/share/mime/packages/quorvexi.xml \
            usr/share/icons/hicolor/scalable/apps/quorvexi.svg \
            usr/share/metainfo/org.quorvex.QuorvexI.metainfo.xml \
            usr/share/bash-completion/completions/qvx \
            usr/share/doc/quorvexi/quorvexi-guide.html \
            usr/share/doc/quorvexi/copyright \
            usr/share/doc/quorvexi/changelog.gz; do
    expect -rw-r--r-- "$file"
done
outside=$(awk '$6 !~ /^\.\/(usr\/?.*)?$/' <<<"$listing")
[ -z "$outside" ] || fail "files outside /usr: $outside"

echo "== appstreamcli validate"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
appstreamcli validate --no-net "$unpacked/usr/share/metainfo/org.quorvex.QuorvexI.metainfo.xml"

echo "== lintian (errors fail, warnings are listed)"
lintian --fail-on error --display-level ">=warning" --tag-display-limit 0 "$deb"

echo "== install, run the installed programs, remove"
installed=0
cleanup() {
    rm -rf "$unpacked"
    if [ "$installed" -eq 1 ]; then $sudo apt-get remove -y -qq quorvexi </dev/null >/dev/null; fi
}
trap cleanup EXIT
$sudo apt-get install -y -qq "$deb" </dev/null
installed=1
[ "$(dpkg-query -W -f='${Version}' quorvexi)" = "$version" ] || fail "installed version differs"
profile=$(mktemp -d)
run() {  # expected-first-line command...
    local out
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM QUORVEXI_PROFILE="$profile/p.ini" \
          "${@:2}" </dev/null) || fail "$* failed"
    echo "$out"
    [ "$(head -n 1 <<<"$out")" = "$1" ] || fail "$*: expected \"$1\""
}
run "qvx $version" /usr/bin/qvx --version
run "quorvexi $version" /usr/bin/quorvexi --version
run "quorvexi-sim $version" /usr/bin/quorvexi-sim --version
run "Serial No.: 00042" /usr/bin/qvx --simulate identify
# The tune sheet needs no display: a new file as a two-page PDF at most.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM QUORVEXI_PROFILE="$profile/p.ini" \
    /usr/bin/qvx new "$profile/tune.qvx" </dev/null >/dev/null || fail "qvx new failed"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM QUORVEXI_PROFILE="$profile/p.ini" \
    /usr/bin/quorvexi --export-sheet "$profile/tune.qvx" "$profile/tune.pdf" </dev/null \
    || fail "quorvexi --export-sheet failed"
[ "$(head -c 5 "$profile/tune.pdf")" = "%PDF-" ] || fail "the exported tune sheet is not a PDF"
rm -rf "$profile"
$sudo apt-get remove -y -qq quorvexi </dev/null >/dev/null
installed=0
! dpkg-query -W -f='${Status}' quorvexi 2>/dev/null | grep -q 'ok installed' || fail "not removed"
[ ! -e /usr/bin/qvx ] || fail "/usr/bin/qvx left behind"
echo "package $(basename "$deb") checked"
