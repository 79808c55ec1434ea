#!/usr/bin/env bash
# The Debian package end to end: build it (workflow "deb", in build-deb/),
# check it with lintian (errors fail), install it with dpkg, run the installed
# vesk-host (catalogue, --version, its manual page, end --wait on a private
# Xvfb), then remove it. Needs root or sudo. The X client it ends is XCLIENT,
# or else built here from tests/xclient, so that no test build is needed.
# Prints the time it took.
set -u
cd "$(dirname "$0")/../.."
begin=$(date +%s)
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
work=$(mktemp -d)
xvfb_pid=""
started=()
installed=""
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  [ -n "$installed" ] && as_root dpkg -r vesk-host >/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=../lib/x-test-lib.sh
source tests/lib/x-test-lib.sh
failures=0
check() {  # label, expected, actual
  if [ "$2" == "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures+1)); fi
}

scripts/install-deps.sh --package-only >/dev/null || exit 1
cmake --workflow --preset deb >"$work/package.log" 2>&1 || { cat "$work/package.log"; exit 1; }
if [ -n "${XCLIENT:-}" ]; then
  cp "$XCLIENT" "$work/xclient" || exit 1
else
  g++ -std=c++20 -O1 -o "$work/xclient" tests/xclient/xclient.cpp -lX11 || exit 1
fi
version=$(sed -n 's/^project(VeskProgramManager VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=build-deb/vesk-host_${version}_amd64.deb
check "package file" yes "$([ -f "$deb" ] && echo yes || echo "no $deb")"
[ -f "$deb" ] || exit 1

# lintian's whole report; errors fail the check.
echo "lintian $deb:"
lintian -I -E --pedantic --fail-on error "$deb"; status=$?
check "lintian without errors" 0 "$status"
check "package version" "$version" "$(dpkg-deb -f "$deb" Version)"
check "computed dependencies" yes "$(dpkg-deb -f "$deb" Depends | grep -q 'libc6 (>=' && echo yes || echo no)"
check "documents and URLs: xdg-open recommended" xdg-utils "$(dpkg-deb -f "$deb" Recommends)"
check "description names the Wayland desktops" yes "$(dpkg-deb -f "$deb" Description | grep -q 'sway and KWin' && echo yes || echo no)"
check "owner of every file" "root/root" "$(dpkg-deb -c "$deb" | awk '{print $2}' | sort -u)"

as_root dpkg -i "$deb" >/dev/null && installed=yes
check "dpkg -i" yes "${installed:-no}"
[ -n "$installed" ] || exit 1
catalogue='<result><plugins><plugin><type>ActionPlugIn</type><name>StartProgram</name></plugin><plugin><type>ActionPlugIn</type><name>EndProgram</name></plugin></plugins></result>'
check "installed catalogue" "$catalogue" "$(/usr/bin/vesk-host catalogue)"
check "installed version" "vesk-host $version" "$(vesk-host --version)"
check "manual page" /usr/share/man/man1/vesk-host.1.gz "$(man -w vesk-host)"
check "manual page renders" yes "$(man vesk-host 2>/dev/null | grep -q 'end --wait' && echo yes || echo no)"
check "stripped binary" yes "$(file -L /usr/bin/vesk-host | grep -q ', stripped' && echo yes || echo no)"

# end --wait with the installed program on a private display: a program that
# closes gives 0; one that ignores the close request gives 3 and is named.
start_private_xvfb 141 200 || exit 1
client() {  # ready file, arguments: starts one, prints its pid
  "$work/xclient" --ready "$1" --timeout 30 "${@:2}" >/dev/null &
  wait_file "$1" 50 && cut -d' ' -f2 "$1"
}
pid=$(client "$work/r1"); started+=("$pid")
out=$(/usr/bin/vesk-host end --wait 5 "$work/xclient" 2>&1); status=$?
check "end --wait, a program that closes" "0 <result><success/></result>" "$status $out"
alive "$pid" && r=running || r=gone; check "it has exited" gone "$r"
pid=$(client "$work/r2" --ignore-close); started+=("$pid")
/usr/bin/vesk-host end --wait 1 "$work/xclient" >/dev/null 2>"$work/err"; status=$?
check "end --wait, a program that ignores the request: exit status" 3 "$status"
check "end --wait names it" "vesk-host: still running after 1 s: $pid $work/xclient" "$(cat "$work/err")"
tests/package/doc-examples.sh; check "the documents' examples, as written" 0 "$?"

as_root dpkg -r vesk-host >/dev/null && installed=""
check "dpkg -r" "" "$installed"
check "program removed" gone "$([ -e /usr/bin/vesk-host ] && echo present || echo gone)"
echo "package check: $(( $(date +%s) - begin )) s"
[ "$failures" -eq 0 ]
