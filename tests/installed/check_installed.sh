#!/usr/bin/env bash
# The installed product, from its Debian packages alone: unpacks every package
# of BUILD/packages into a scratch root (dpkg-deb -x; nothing is installed on
# the machine), runs the unpacked host with --screenshot on both screens, and
# builds tests/installed (a third-party host) against the unpacked headers and
# CMake package, which loads the unpacked plug-in and opens the query screen.
#   tests/installed/check_installed.sh BUILD
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: check_installed.sh BUILD}" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/sqda-installed.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root

shopt -s nullglob
debs=("$build"/packages/*.deb)
[ ${#debs[@]} -ge 3 ] || { echo "check_installed: no packages in $build/packages (./dev package)" >&2; exit 1; }
for deb in "${debs[@]}"; do
  dpkg-deb -x "$deb" "$root"
done

host=$root/usr/bin/kalmora-host
fail() { echo "check_installed: $*" >&2; exit 1; }
[ -x "$host" ] || fail "no usr/bin/kalmora-host in the packages"
# Nothing of the build tree in the installed files: the program finds its plug-in
# relative to itself.
if grep -rlF -- "$build" "$root" >/dev/null; then
  fail "a path of the build tree is in: $(grep -rlF -- "$build" "$root" | tr '\n' ' ')"
fi
soname=$(objdump -p "$root"/usr/lib/*/libsqda.so.0 | awk '/SONAME/ { print $2 }')
[ "$soname" = libsqda.so.0 ] || fail "libsqda.so.0 has SONAME '$soname'"

# A user of its own: settings and the demo database go to this home.
export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/.local/share QT_QPA_PLATFORM=offscreen
unset KALMORA_HOME
mkdir -p "$HOME"
for screen in maintenance query; do
  "$host" --open "$screen" --screenshot "$scratch/$screen.png" \
    || fail "the unpacked host did not show the $screen screen"
  [ -s "$scratch/$screen.png" ] || fail "no picture of the $screen screen"
done
[ -s "$XDG_DATA_HOME/Kalmora/kalmora-host/kalmora.sqlite" ] || fail "the host made no database in the user's data folder"

# The third-party host: one configure and build of one small file.
cmake -S "$here" -B "$scratch/tinyhost" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null || fail "find_package(sqda) against the unpacked files failed"
cmake --build "$scratch/tinyhost" >/dev/null || fail "the third-party host did not build"
grep -q "$root/usr/lib/.*/libsqda.so.0" "$scratch/tinyhost/CMakeCache.txt" "$scratch/tinyhost/build.ninja" \
  || fail "SQDA_PLUGIN does not name the unpacked plug-in"
"$scratch/tinyhost/tinyhost" "$scratch/tinyhost.png" || fail "the third-party host could not open the query screen"
[ -s "$scratch/tinyhost.png" ] || fail "no picture from the third-party host"
# pkg-config finds the same headers.
PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_LIBDIR=$(echo "$root"/usr/lib/*/pkgconfig):/usr/lib/x86_64-linux-gnu/pkgconfig:/usr/share/pkgconfig \
  pkg-config --cflags sqda | grep -qF -- "-I$root/usr/include" || fail "pkg-config sqda does not give the unpacked headers"
if [ -n "${SQDA_INSTALLED_KEEP:-}" ]; then
  cp "$scratch"/*.png "$SQDA_INSTALLED_KEEP"/
fi
echo "installed product: both screens from the unpacked host, query screen from a third-party host: ok"
