#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix:
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# The prefix is created on first use (under a lock, so parallel tests wait for
# one another). Wine's own debug output is off unless WINEDEBUG is set.
set -euo pipefail
prefix=$(realpath -m "$1")
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No menu entries or file associations of the host desktop for test prefixes.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winemenubuilder.exe=d;mscoree=d;mshtml=d;winedbg.exe=d}
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
) 9>"$prefix.lock"
exec wine "$@"
