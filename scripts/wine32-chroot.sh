#!/usr/bin/env bash
# 32-bit Wine for the i686 tests, also on a machine whose kernel runs no
# 32-bit code. There, a Debian 12 chroot with Wine's 32- and 64-bit halves
# runs every 32-bit program through user-mode emulation (qemu-i386),
# registered in a binfmt_misc of a private user namespace: nothing outside
# changes. Where the kernel runs 32-bit programs, Debian's own wine32 is used
# directly instead and no chroot is made.
#   wine32-chroot.sh check        0 where the i686 tests can run here; else
#                                 prints why not and exits 1
#   wine32-chroot.sh setup        makes the chroot (once; cached)
#   wine32-chroot.sh run CMD...   runs CMD, from the current folder, where
#                                 32-bit Wine works (the chroot is made first
#                                 if needed)
# The chroot, the emulator and apt's state for it are kept in
# build-wine32-root/ of the checkout. Setting it up needs root and
# debootstrap (scripts/install-deps.sh --wine32).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=$repo/build-wine32-root
root=$cache/root
qemu=$cache/qemu-i386
mirror=http://deb.debian.org/debian
# Changing what is installed changes this, and the next setup starts over.
recipe=2
# Both halves of Wine and the X libraries each needs, the preloader of the
# 32-bit half (without it every 32-bit start takes over a minute under the
# emulator), and what the test scripts use: ctest, Xvfb, xwininfo, pgrep.
packages=(wine wine64 wine64-preloader wine32:i386 wine32-preloader:i386)
for lib in libxrender1 libxi6 libxrandr2 libxcursor1 libxcomposite1 libxfixes3 libxinerama1 libxxf86vm1; do
  packages+=("$lib" "$lib:i386")
done
packages+=(cmake xvfb xauth x11-utils procps)
# The ZIP check builds its stand-in programs with the MinGW C compiler.
packages+=(gcc-mingw-w64-x86-64-posix)

die() { echo "wine32-chroot.sh: $*" >&2; exit 1; }

# Debian's wine32 runs natively.
native() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' &&
    /lib/ld-linux.so.2 --help >/dev/null 2>&1
}

# Whether a user namespace can have a binfmt_misc of its own (Linux 6.7 on).
private_binfmt() {
  unshare --user --map-root-user --mount sh -c \
    'd=$(mktemp -d) && mount -t binfmt_misc binfmt_misc "$d" && test -e "$d/register"' 2>/dev/null
}

check() {
  if native; then
    echo "wine32-chroot.sh: 32-bit Wine runs natively here"
    return 0
  fi
  if ! private_binfmt; then
    echo "wine32-chroot.sh: the i686 tests cannot run here: this kernel ($(uname -r)) runs no 32-bit" \
      "programs and gives user namespaces no binfmt_misc of their own (Linux 6.7 or later)"
    return 1
  fi
  if [ "$(id -u)" -ne 0 ] && [ ! -f "$cache/ready" ]; then
    echo "wine32-chroot.sh: the i686 tests cannot run here: setting up the chroot needs root"
    return 1
  fi
  if [ ! -f "$cache/ready" ] && ! command -v debootstrap >/dev/null; then
    echo "wine32-chroot.sh: the i686 tests cannot run here: debootstrap is missing (scripts/install-deps.sh --wine32)"
    return 1
  fi
  echo "wine32-chroot.sh: 32-bit Wine runs here in a chroot under qemu-i386"
}

# qemu-i386 from Debian 13's qemu-user (statically linked since 9.x: no
# libraries needed in the chroot), downloaded with a private apt state and
# only unpacked. Debian 12's qemu 7.2 breaks Wine's exception handling.
fetch_qemu() {
  local apt=$cache/apt
  local opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
              -o "Dir::State=$apt/state" -o "Dir::Cache=$apt/cache" -o Dir::State::status=/dev/null
              -o APT::Architecture=amd64 -o APT::Architectures::=amd64 -o Debug::NoLocking=1
              -o APT::Sandbox::User=root)
  mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/deb"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror trixie main" >"$apt/sources.list"
  apt-get "${opts[@]}" update -qq
  rm -f "$apt/deb"/*.deb
  (cd "$apt/deb" && apt-get "${opts[@]}" download -qq qemu-user)
  rm -rf "$apt/unpacked"
  mkdir -p "$apt/unpacked"
  dpkg-deb --fsys-tarfile "$apt/deb"/qemu-user_*.deb | tar -x -C "$apt/unpacked" ./usr/bin/qemu-i386
  mv "$apt/unpacked/usr/bin/qemu-i386" "$qemu.new"
  rm -rf "$apt/unpacked" "$apt/deb" "$apt/cache"
  if file "$qemu.new" 2>/dev/null | grep -q 'dynamically linked'; then
    die "qemu-i386 from qemu-user is not statically linked"
  fi
  "$qemu.new" --version | head -n 1
  mv "$qemu.new" "$qemu"
}

# Runs a command in the chroot as real root, with /proc, /sys and /dev
# mounted in a private mount namespace (gone when it ends).
as_root_in_chroot() {
  unshare --mount --propagation private sh -c '
    r=$1; shift
    mount --rbind /proc "$r/proc" && mount --rbind /sys "$r/sys" && mount --rbind /dev "$r/dev" &&
      exec chroot "$r" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"' sh "$root" "$@"
}

setup() {
  [ -f "$cache/ready" ] && [ "$(cat "$cache/ready")" = "$recipe" ] && return 0
  [ "$(id -u)" -eq 0 ] || die "setting up the chroot needs root"
  command -v debootstrap >/dev/null || die "debootstrap is missing (scripts/install-deps.sh --wine32)"
  local start=$SECONDS avail
  avail=$(df -Pk "$repo" | awk 'NR == 2 { print $4 }')
  [ "$avail" -gt $((4 * 1024 * 1024)) ] || die "less than 4 GB free in $repo"
  echo "wine32-chroot.sh: setting up the chroot in $cache (a few minutes)"
  rm -f "$cache/ready"
  # A half-made chroot from an interrupted run is made anew. (Its mounts
  # were private to the set-up's namespace, so none is left inside.)
  rm -rf "$root"
  mkdir -p "$cache"
  debootstrap --variant=minbase bookworm "$root" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    { tail -n 20 "$cache/debootstrap.log" >&2; die "debootstrap failed"; }
  as_root_in_chroot dpkg --add-architecture i386
  as_root_in_chroot apt-get update -qq
  as_root_in_chroot apt-get install -y -qq --no-install-recommends "${packages[@]}" >"$cache/apt.log" 2>&1 ||
    { tail -n 20 "$cache/apt.log" >&2; die "installing Wine in the chroot failed"; }
  as_root_in_chroot apt-get clean
  fetch_qemu
  # Wine's launchers, first on the chroot's PATH: wine starts a program with
  # the loader of its width (Debian's launcher would start every program
  # through the emulated 32-bit loader first), wineserver is the 64-bit one.
  cat >"$root/usr/local/bin/wine" <<'EOF'
#!/bin/sh
# Wine for both widths: the 64-bit loader hands 32-bit programs to the 32-bit one.
exec /usr/lib/wine/wine64 "$@"
EOF
  cat >"$root/usr/local/bin/wineserver" <<'EOF'
#!/bin/sh
exec /usr/lib/wine/wineserver64 "$@"
EOF
  cat >"$root/usr/local/bin/wineboot" <<'EOF'
#!/bin/sh
exec /usr/lib/wine/wine64 wineboot "$@"
EOF
  chmod 755 "$root/usr/local/bin/wine" "$root/usr/local/bin/wineserver" "$root/usr/local/bin/wineboot"
  echo "$recipe" >"$cache/ready"
  echo "wine32-chroot.sh: chroot ready in $((SECONDS - start)) s, $(du -sh "$cache" | cut -f1)"
}

# Runs CMD in the chroot, in a user namespace whose binfmt_misc hands i386
# programs to qemu-i386. The interpreter is opened when it is registered
# (flag F), so it need not be inside the chroot. The checkout, /proc, /sys,
# /dev and the X sockets are the host's, at the same paths.
run_in_chroot() {
  local here
  here=$(pwd)
  mkdir -p "$root$repo" "$root/tmp/.X11-unix" "$root/run/binfmt"
  mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
  # The register line: i386 ELF executables (and shared objects started as programs).
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  unshare --user --map-root-user --mount --propagation private bash -c '
    set -e
    root=$1 repo=$2 here=$3 line=$4; shift 4
    mount --bind "$repo" "$root$repo"
    mount --rbind /proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
    mount -t binfmt_misc binfmt_misc "$root/run/binfmt"
    printf "%s" "$line" >"$root/run/binfmt/register"
    cd "$root$here" 2>/dev/null || cd "$root"
    exec chroot "$root" bash -c "cd \"\$0\" 2>/dev/null || cd /; exec \"\$@\"" "$here" "$@"' \
    bash "$root" "$repo" "$here" ":qemu-i386:M::$magic:$mask:$qemu:F" "$@"
}

case "${1:-}" in
  check) check ;;
  setup)
    if native; then echo "wine32-chroot.sh: 32-bit Wine runs natively here; no chroot needed"; exit 0; fi
    setup
    ;;
  run)
    shift
    [ $# -gt 0 ] || die "run needs a command"
    if native; then exec "$@"; fi
    check >/dev/null || { check >&2; exit 1; }
    mkdir -p "$cache"
    (
      flock 9
      setup
    ) 9>"$cache/lock"
    export PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin
    run_in_chroot "$@"
    ;;
  *)
    echo "usage: wine32-chroot.sh check | setup | run COMMAND [ARGUMENTS...]" >&2
    exit 2
    ;;
esac
