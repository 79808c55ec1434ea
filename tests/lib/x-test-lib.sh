# Shell helpers of the end-to-end scripts that run a private Xvfb. Sourced;
# the script owns `work` (a temporary folder) and `xvfb_pid`.

alive() {  # pid: running and not a zombie
  local stat state
  # The state follows the last ")": the name before it may hold anything.
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  state=${stat##*) }
  state=${state%% *}
  [ -n "$state" ] && [ "$state" != Z ]
}
wait_gone() {  # pid, tenths of a second
  for _ in $(seq "$2"); do alive "$1" || return 0; sleep 0.1; done
  return 1
}
wait_file() {  # file, tenths of a second
  for _ in $(seq "$2"); do [ -s "$1" ] && return 0; sleep 0.1; done
  return 1
}

# Starts Xvfb on the first free display number from FIRST to LAST and exports
# DISPLAY; fails when none starts. -noreset: the server must not restart when
# its last client leaves, or a client connecting at that moment fails.
# Another server may take a number between the check and the start, so a
# server that dies at once makes us try the next one.
start_private_xvfb() {  # first, last
  local n
  for n in $(seq "$1" "$2"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -nolisten tcp -noreset -screen 0 640x480x24 >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      [ -S "/tmp/.X11-unix/X$n" ] && DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then export DISPLAY=":$n"; return 0; fi
    kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=""
  done
  echo "FAIL no Xvfb display could be started"; cat "$work/xvfb.log"
  return 1
}
