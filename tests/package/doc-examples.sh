#!/usr/bin/env bash
# The documents' examples, run as a user runs them, against the installed
# vesk-host: the README's command blocks marked "<!-- ci: run -->" (install
# and quick start) and every example of the installed manual page, as
# written, in order, on a private Xvfb. Each block runs with bash -e -o
# pipefail from the checkout's folder. A block that fails, or a window an
# example leaves on the display, fails the run. Installs what the examples
# need (xterm, xeyes, Xvfb). Called by deb-check.sh with the package
# installed; needs root or sudo.
set -u
cd "$(dirname "$0")/../.."
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
work=$(mktemp -d)
xvfb_pid=""
# Ends what the examples left on the private display, then the display.
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    for environ in /proc/[0-9]*/environ; do
      pid=${environ#/proc/}; pid=${pid%/environ}
      [ "$pid" = $$ ] && continue
      { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qx "DISPLAY=$DISPLAY" && kill "$pid" 2>/dev/null
    done
    kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=../lib/x-test-lib.sh
source tests/lib/x-test-lib.sh
failures=0

need=()  # command:package
for pair in xterm:xterm xeyes:x11-apps Xvfb:xvfb xwininfo:x11-utils; do command -v "${pair%:*}" >/dev/null || need+=("${pair#*:}"); done
[ "${#need[@]}" -eq 0 ] || as_root apt-get install -y --no-install-recommends "${need[@]}" >/dev/null || exit 1
command -v vesk-host >/dev/null || { echo "FAIL vesk-host is not installed"; exit 1; }
# The README writes "sudo" for a user; as root without sudo, it runs the command.
if [ "$(id -u)" -eq 0 ] && ! command -v sudo >/dev/null; then
  mkdir "$work/bin" && printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo" && chmod +x "$work/bin/sudo"
  export PATH="$work/bin:$PATH"
fi
start_private_xvfb 151 220 || exit 1

# The README's marked blocks: the fence right after the marker, up to its end.
awk -v dir="$work" '
  fence { if ($0 == "```") { fence = 0; close(file) } else print > file; next }
  marked && $0 == "```sh" { n++; file = sprintf("%s/readme-%02d.sh", dir, n); fence = 1; marked = 0; next }
  { marked = ($0 == "<!-- ci: run -->") }
' README.md
# The manual page's examples (.EX to .EE), from the installed page, its
# escapes undone: \- is -, \e is \, \(aq is ', \& is nothing.
page=$(man -w vesk-host 2>/dev/null)
[ -n "$page" ] || page=apps/vesk-host/vesk-host.1.in
zcat -f "$page" | awk -v dir="$work" '
  /^\.EX/ { n++; file = sprintf("%s/man-%02d.sh", dir, n); example = 1; next }
  /^\.EE/ { example = 0; close(file); next }
  example { print > file }
' || exit 1
for f in "$work"/man-*.sh; do sed -i -e 's/\\-/-/g' -e "s/\\\\(aq/'/g" -e 's/\\&//g' -e 's/\\e/\\/g' "$f"; done
# The envelope's pattern in REQUESTS is a form, not a command.
grep -l '<plugin>TARGET</plugin>' "$work"/man-*.sh | xargs -r rm
readme_blocks=$(find "$work" -name 'readme-*.sh' | wc -l)
man_examples=$(find "$work" -name 'man-*.sh' | wc -l)
echo "examples: $readme_blocks README blocks, $man_examples manual page examples ($page)"
[ "$readme_blocks" -ge 7 ] && [ "$man_examples" -ge 5 ] || { echo "FAIL fewer README blocks (7: install and quick start) or manual page examples (5) than expected"; failures=$((failures+1)); }

windows() { xwininfo -root -children 2>/dev/null | grep -c '^ *0x'; }
at_start=$(windows)
for block in "$work"/readme-*.sh "$work"/man-*.sh; do
  [ -f "$block" ] || continue
  label="$(basename "$block" .sh): $(head -n 1 "$block")"
  before=$(windows)
  if timeout 900 bash -e -o pipefail "$block" </dev/null >"$work/out" 2>&1; then
    echo "ok   $label"
  else
    echo "FAIL $label (exit status $?):"; sed 's/^/     /' "$work/out"; failures=$((failures+1))
  fi
  # A user reads on once the started program shows its window.
  if grep -q 'vesk-host start' "$block"; then
    for _ in $(seq 100); do [ "$(windows)" -gt "$before" ] && break; sleep 0.1; done
  fi
done
left=$(windows)
if [ "$left" -eq "$at_start" ]; then echo "ok   the examples leave no window behind"; else
  echo "FAIL the examples leave $((left - at_start)) windows behind:"; xwininfo -root -children | grep '^ *0x'
  failures=$((failures+1))
fi
[ "$failures" -eq 0 ]
