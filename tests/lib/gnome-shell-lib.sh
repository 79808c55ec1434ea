# shellcheck shell=bash
# Shell helpers of the end-to-end scripts that run a headless GNOME Shell
# (Debian's gnome-shell 43 and later) with the window-closer@vesk-host
# extension enabled. Sourced; the script owns `work` (a temporary folder it
# removes) and calls gnome_shell_stop on exit. Needs alive and wait_gone
# from x-test-lib.sh.
#
# gnome_shell_start gives the shell everything of its own under $work:
# HOME and the XDG folders (the extension is installed per user), a runtime
# folder of mode 0700, a session bus, and a system bus whose policy allows
# every call. Without a system bus the shell's login manager code fails where
# /run/systemd/seats exists and the shell exits; with a bus that never
# answers it blocks for about 25 s. Here every call to a missing service is
# answered at once with an error.

GNOME_CLOSER_NAME=org.vesk.WindowCloser1
GNOME_EXTENSION_UUID=window-closer@vesk-host
gnome_pid="" gnome_session_bus_pid="" gnome_system_bus_pid=""

# Run as root, runs SCRIPT again as an unprivileged user (VESK_TEST_USER,
# default vesktest, made when missing): GNOME Shell, like sway, is no program
# for root, and the build may sit in a folder only root can read. Each
# NAME=PATH is copied (a file or a folder) into a folder that user can read
# and handed over as NAME; the script goes to a folder beside a copy of
# tests/lib (so it finds the helpers at ../lib either way).
# Prints the user and returns the script's exit status.
run_as_test_user() {  # script, NAME=PATH...
  local script=$1 user=${VESK_TEST_USER:-vesktest} share arg name rc
  shift
  id "$user" >/dev/null 2>&1 || useradd --no-create-home --shell /usr/sbin/nologin "$user" || return 1
  share=$(mktemp -d /tmp/vesk-gnome.XXXXXX) || return 1
  local dir
  dir=$(basename "$(dirname "$script")")
  mkdir "$share/$dir" "$share/lib" "$share/files" &&
    cp "$script" "$share/$dir/" && cp "$(dirname "${BASH_SOURCE[0]}")/"*.sh "$share/lib/" || return 1
  local vars=()
  for arg in "$@"; do
    name=${arg%%=*}
    cp -r "${arg#*=}" "$share/files/" || return 1
    vars+=("$name=$share/files/$(basename "${arg#*=}")")
  done
  chmod -R a+rX "$share"
  echo "running as $user"
  # The programs start in a folder the test user can enter (the build folder may not be).
  (cd "$share" && runuser -u "$user" -- env -i PATH="$PATH" HOME="$share" KEEP_WORK="${KEEP_WORK:-}" "${vars[@]}" \
    bash "$share/$dir/$(basename "$script")")
  rc=$?
  rm -rf "$share"
  return $rc
}

# Prints "true" when NAME has an owner on the session bus, else "false".
gnome_name_owned() {  # name
  gdbus call --session --timeout 5 --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -o -m1 -E 'true|false' || echo false
}

# Starts a dbus-daemon with CONFIG (a file, or --session); prints its address
# and sets gnome_bus_started_pid.
gnome_start_bus() {  # config argument, file prefix
  dbus-daemon "$1" --fork --print-address=3 --print-pid=4 3>"$2.address" 4>"$2.pid" || return 1
  gnome_bus_started_pid=$(cat "$2.pid")
}

# Starts the shell with the extension in EXTENSION_DIR on the Wayland socket
# NAME and waits until the extension's name is owned; then waits for
# Xwayland (started on demand by the first X client) to answer an X client.
# Exports the session's variables (WAYLAND_DISPLAY, DISPLAY, XAUTHORITY, the
# buses, the private folders); sets gnome_pid and gnome_ready_ms,
# gnome_x_ms (milliseconds from the start). Fails, with the shell's log,
# when the shell exits or is not ready within 60 s.
gnome_shell_start() {  # extension folder, Wayland socket name
  local begin i
  begin=$(date +%s%N)
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
  export XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/run" XDG_SESSION_TYPE=wayland
  unset DISPLAY WAYLAND_DISPLAY XAUTHORITY SWAYSOCK I3SOCK
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/gnome-shell/extensions" "$XDG_CACHE_HOME" &&
    mkdir -m 700 "$XDG_RUNTIME_DIR" || return 1
  cp -r "$1" "$XDG_DATA_HOME/gnome-shell/extensions/$GNOME_EXTENSION_UUID" || return 1
  cat >"$work/system-bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/system-bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
  gnome_start_bus --config-file="$work/system-bus.conf" "$work/system-bus" || return 1
  gnome_system_bus_pid=$gnome_bus_started_pid
  gnome_start_bus --session "$work/session-bus" || return 1
  gnome_session_bus_pid=$gnome_bus_started_pid
  DBUS_SYSTEM_BUS_ADDRESS=$(cat "$work/system-bus.address")
  DBUS_SESSION_BUS_ADDRESS=$(cat "$work/session-bus.address")
  export DBUS_SYSTEM_BUS_ADDRESS DBUS_SESSION_BUS_ADDRESS
  gsettings set org.gnome.shell disable-user-extensions false &&
    gsettings set org.gnome.shell enabled-extensions "['$GNOME_EXTENSION_UUID']" || return 1

  gnome-shell --headless --wayland --virtual-monitor 1024x768 --wayland-display="$2" \
    >"$work/gnome-shell.log" 2>&1 &
  gnome_pid=$!
  disown "$gnome_pid"  # no job report when it crashes on SIGTERM, as it may
  # Not ready in 60 s, or the extension failed to load (its error is logged): a failure.
  local deadline=$((SECONDS + 60))
  while [ "$SECONDS" -lt "$deadline" ]; do
    [ "$(gnome_name_owned "$GNOME_CLOSER_NAME")" = true ] && break
    alive "$gnome_pid" && ! grep -q "Extension $GNOME_EXTENSION_UUID:" "$work/gnome-shell.log" || break
    sleep 0.1
  done
  if [ "$(gnome_name_owned "$GNOME_CLOSER_NAME")" != true ]; then
    echo "FAIL GNOME Shell did not come up with $GNOME_CLOSER_NAME owned (running: $(alive "$gnome_pid" && echo yes || echo no);" \
      "extension for GNOME Shell $(grep -o '"shell-version".*' "$1/metadata.json"))"
    grep "Extension $GNOME_EXTENSION_UUID:" "$work/gnome-shell.log" || tail -30 "$work/gnome-shell.log"
    return 1
  fi
  gnome_ready_ms=$((($(date +%s%N) - begin) / 1000000))
  export WAYLAND_DISPLAY=$2

  local display=""
  for ((i = 0; i < 600; i++)); do
    display=$(grep -o -m1 'Using public X11 display :[0-9]*' "$work/gnome-shell.log" | grep -o ':[0-9]*$')
    [ -n "$display" ] && break
    sleep 0.1
  done
  [ -n "$display" ] || { echo "FAIL GNOME Shell named no X11 display"; tail -30 "$work/gnome-shell.log"; return 1; }
  export DISPLAY=$display
  for ((i = 0; i < 60; i++)); do
    XAUTHORITY=$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* 2>/dev/null | head -1)
    export XAUTHORITY
    timeout 5 xprop -root >/dev/null 2>&1 && break
    alive "$gnome_pid" || break
    sleep 0.5
  done
  if ! timeout 5 xprop -root >/dev/null 2>&1; then
    echo "FAIL GNOME Shell's Xwayland on $DISPLAY did not answer"; tail -30 "$work/gnome-shell.log"
    return 1
  fi
  gnome_x_ms=$((($(date +%s%N) - begin) / 1000000))
}

# Stops the shell (it may crash or hang on SIGTERM: SIGKILL after 5 s; its
# exit status means nothing) and then its buses.
gnome_shell_stop() {
  if [ -n "$gnome_pid" ]; then
    kill -TERM "$gnome_pid" 2>/dev/null
    wait_gone "$gnome_pid" 50 || kill -KILL "$gnome_pid" 2>/dev/null
    gnome_pid=""
  fi
  local pid
  for pid in "$gnome_session_bus_pid" "$gnome_system_bus_pid"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
  done
  gnome_session_bus_pid="" gnome_system_bus_pid=""
}
