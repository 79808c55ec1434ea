# Sourced by the Wine scripts of vesk-host.exe: checks and the notepads of a prefix.
failures=0
check() {  # label, expected, actual
  if [ "$2" == "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures+1)); fi
}
# Pids of the notepads running in Wine prefix $1 (other prefixes' do not count).
notepad_pids() {
  local pid
  for pid in $(pgrep -f -i 'notepad\.exe'); do
    { tr '\0' '\n' <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$1" && echo "$pid"; } 2>/dev/null
  done
}
# The number of notepad windows on the display (Wine draws each as an X window).
# The path of the notepad that a program started by HOST runs in PREFIX: a
# 32-bit program on a 64-bit system gets the 32-bit one, from SysWOW64.
notepad_path() {  # host, prefix
  local header magic
  header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  magic=$(od -An -tx2 -j$((header + 24)) -N2 "$1" | tr -d ' ')
  if [ "$magic" = 010b ] && [ -d "$2/drive_c/windows/syswow64" ]; then
    echo 'C:\windows\syswow64\notepad.exe'
  else
    echo 'C:\windows\system32\notepad.exe'
  fi
}
notepad_windows() { xwininfo -root -tree 2>/dev/null | grep -c ' - Notepad"'; }
# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1 i
  shift
  for ((i = 0; i < tenths; i++)); do "$@" && return 0; sleep 0.1; done
  return 1
}
# "<exit status> <standard error>" of a command (line ends without CR, and
# without Wine's own messages: debug channels, the launcher's wine32 note).
status_and_error() {
  local err
  err=$("$@" 2>&1 >/dev/null | tr -d '\r' |
          grep -v -E -e '^[0-9a-f]{4}:(err|fixme|warn|trace):' -e '^(it looks like|as root, please execute).*wine32' \
            -e '^multiarch needs to be enabled first' -e '^execute "dpkg --add-architecture i386' -e '^apt-get install wine32'
        exit "${PIPESTATUS[0]}")
  echo "$? $err"
}
