#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine (as root, or
# through sudo). Packages already present are left alone.
#   --windows   also the Windows cross build: MinGW-w64 (compilers, widl),
#               Wine and Xvfb for running the Windows programs
#   --package   also what the Debian package and its check need: dpkg-shlibdeps,
#               lintian, man, file (tests/package/deb-check.sh)
#   --wine32    also 32-bit Wine (adds the i386 architecture), for testing
#               the i686 build; fails where the kernel runs no 32-bit
#               programs, after installing debootstrap for
#               scripts/wine32-chroot.sh (32-bit Wine under emulation)
#   --package-only  instead of all that, only what the Debian package's build
#               (preset deb: no tests, benchmarks or fuzz targets) and its
#               check need
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev pkg-config
          libx11-dev libxcb1-dev libxcb-res0-dev libxau-dev python3 xvfb x11-apps x11-utils)
# The field cases' script: peak memory (time).
packages+=(time)
# Benchmarks (scripts/run-benchmarks.sh): timing, the tools compared against, the plot.
packages+=(hyperfine xdotool procps gnuplot-nox)
# Fuzzing (clang with libFuzzer) and the XML differential test (libxml2).
packages+=(clang libclang-rt-dev libxml2-dev)
# Memory checking of the host's long batch.
packages+=(valgrind)
# The end action under a window manager (tests/xclient/openbox-end-to-end.sh).
packages+=(openbox)
# The IPC replies of Wayland compositors (JSON) and the KWin route's D-Bus
# (sd-bus); the end-to-end tests under headless sway (with Xwayland), weston
# and KWin (on a private session bus), with foot and weston's clients as
# Wayland programs.
packages+=(nlohmann-json3-dev libsystemd-dev sway weston foot xwayland fonts-dejavu-core
           kwin-wayland dbus-daemon dbus-bin)
# The GNOME Shell extension's tests: a headless GNOME Shell (with Xwayland),
# gjs for the entry formats and, with GTK 4, a test client; gdbus and gsettings.
packages+=(gnome-shell gjs libglib2.0-bin gir1.2-gtk-4.0)
windows_packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine wine64 xvfb
                  googletest x11-utils)
# The package's build: the compiler and the headers of what the library
# includes (libsystemd's too, although it is loaded at run time). Its check:
# dpkg-shlibdeps, lintian, man, file, a private Xvfb with a small X client
# built from tests/xclient (Xlib), and X programs for the documented examples.
package_only=(cmake g++ make pkg-config libxcb1-dev libxcb-res0-dev libxau-dev nlohmann-json3-dev
              libsystemd-dev dpkg-dev lintian man-db file xvfb x11-utils x11-apps libx11-dev)
for arg in "$@"; do
  if [ "$arg" == --package-only ]; then packages=("${package_only[@]}"); fi
done
for arg in "$@"; do
  case "$arg" in
    --package-only) ;;
    --windows) packages+=("${windows_packages[@]}") ;;
    --package) packages+=(dpkg-dev lintian man-db file) ;;
    --wine32) packages+=(wine32:i386) ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
if [[ " ${packages[*]} " == *" wine32:i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo_cmd dpkg --add-architecture i386
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# 32-bit Wine is only of use where the kernel runs 32-bit programs. Where it
# does not, an installed wine32 also breaks 64-bit Wine (the wine launcher
# then picks the 32-bit loader), so it is taken out again and the option fails.
# scripts/wine32-chroot.sh can still run it there, in a chroot that
# debootstrap makes.
if [[ " ${packages[*]} " == *" wine32:i386 "* ]] && ! /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
  echo "install-deps.sh: this kernel does not run 32-bit programs; 32-bit Wine removed again" \
    "(scripts/wine32-chroot.sh runs it under emulation)" >&2
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get remove -y -qq wine32:i386 >/dev/null
  if ! dpkg-query -W -f='${Status}' debootstrap 2>/dev/null | grep -q 'install ok installed'; then
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
  fi
  exit 1
fi
