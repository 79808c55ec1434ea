#!/usr/bin/env bash
# The Windows ZIP as a user gets it, under Wine, in a fresh prefix and a
# private display: unpacked into a folder whose name has a blank and a
# non-ASCII letter, registered with its script, used through COM by
# vesk-host.exe (catalogue, a failing request, a start and an end of
# notepad) and by example.vbs, unregistered, and the ProgID gone. Also: the
# generated texts' line ends, the IDL files, and the scripts' failures with a
# stand-in regsvr32. The x64 folder always; the x86 one where this Wine runs
# 32-bit programs.
#   tests/win32/zip-check.sh [ZIP]     (default: built by scripts/make-windows-zip.sh)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
if [ -z "${VESK_ZIP_CHECK_DISPLAY:-}" ]; then
  exec env VESK_ZIP_CHECK_DISPLAY=1 "$here/with-xvfb.sh" "$0" "$@"
fi
zip=$(realpath "${1:-$("$repo/scripts/make-windows-zip.sh")}") || exit 1
source "$here/wine-checks.sh"
work=$(mktemp -d)
prefix=$work/prefix
trap 'WINEPREFIX="$prefix" wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
folder="$work/Vesk Programme ü"
mkdir -p "$folder" && (cd "$folder" && cmake -E tar xf "$zip") || exit 1
# Wine's own messages of the scripts and reg go to a log, shown on failure.
wine_in() { "$repo/scripts/wine-run.sh" "$prefix" "$@" 2>>"$work/wine.log"; }
host_in() { "$here/heap-checked.sh" "$repo/scripts/wine-run.sh" "$prefix" "$@"; }
# The Windows path of a file here (Wine shows the Linux root as Z:).
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
strip_cr() { tr -d '\r'; }
# The prefix is made first, so that its start-up messages do not mix with the checks'.
wine_in cmd /c exit 0 >/dev/null || { echo "zip-check.sh: Wine does not start"; exit 1; }

catalogue='<result><plugins><plugin><type>ActionPlugIn</type><name>StartProgram</name></plugin><plugin><type>ActionPlugIn</type><name>EndProgram</name></plugin></plugins></result>'
clsid='{8277CCD6-415A-45C2-9761-B5750C7170CC}'
not_registered="vesk-host: error 429 (vesk-host): Cannot create object VeskProgramManager.PlugIn: the class is not registered (0x800401F3)"

# Stand-in Windows folders for the scripts (which take regsvr32, fltmc and
# net from %SystemRoot%\System32): a regsvr32 whose call fails (exit code 5),
# and either no elevation probe (a prompt that is not elevated, as Wine runs
# as administrator) or a "net" that succeeds (an elevated one).
exit_with() {  # code, program
  printf 'int main(void) { return %d; }\n' "$1" | x86_64-w64-mingw32-gcc -x c - -o "$2"
}
mkdir -p "$work/root-user/System32" "$work/root-admin/System32"
{ exit_with 5 "$work/root-user/System32/regsvr32.exe" && exit_with 5 "$work/root-admin/System32/regsvr32.exe" &&
  exit_with 0 "$work/root-admin/System32/net.exe"; } || { echo "zip-check.sh: cannot build the stand-in programs"; exit 1; }
# "<exit status> <output>" of a script run with SystemRoot set to a stand-in folder.
with_root() {  # folder, script, arguments...
  local root=$1 out
  shift
  # (No quotes around the assignment: Wine would escape them on cmd's command line.)
  out=$(wine_in cmd /c set "SystemRoot=$(windows_path "$root")&" "$@" | strip_cr)
  echo "$? $out"
}

check_width() {  # x64 | x86
  local width=$1 dir="$folder/$1" out status name file
  local host="$dir/vesk-host.exe" script dll bits=64-bit cscript=cscript
  [ "$width" = x86 ] && bits=32-bit && cscript='C:\windows\syswow64\cscript.exe'
  dll=$(windows_path "$dir/VeskProgramManager.dll")
  script=$(windows_path "$dir")

  # cmd reads a script line by line up to LF alone; the texts are for Windows editors too.
  for name in register.cmd unregister.cmd README.txt example.vbs; do
    check "$width $name lines end in CR LF" "" "$(grep -n -v $'\r$' "$dir/$name" 2>&1 | head -n 3)"
  done
  out=""
  for file in VeskProgramManager.idl VeskPlugIn.idl Automation.idl; do
    cmp -s "$repo/idl/$file" "$dir/idl/$file" || out+=" $file"
  done
  check "$width idl files missing or different" "" "$out"

  # regsvr32 fails (a stand-in): for every user from a prompt that is not
  # elevated, exit code 3 and what to do; otherwise 1.
  check "$width register.cmd /machine, not elevated" \
    "3 Registering for every user needs an elevated command prompt (Run as administrator); regsvr32 exit code 5." \
    "$(with_root "$work/root-user" "$script\\register.cmd" /machine /s)"
  check "$width unregister.cmd /machine, not elevated" \
    "3 Removing the registration for every user needs an elevated command prompt (Run as administrator); regsvr32 exit code 5." \
    "$(with_root "$work/root-user" "$script\\unregister.cmd" /machine /s)"
  out=$(with_root "$work/root-admin" "$script\\register.cmd" /machine /s)
  check "$width register.cmd /machine, elevated, failing" "1 Registration of" "${out%% \"*}"

  # The linked library needs no registration.
  check "$width linked catalogue" "$catalogue" "$(host_in "$host" catalogue | strip_cr)"
  check "$width --com before registration" "1 $not_registered" "$(status_and_error host_in "$host" --com catalogue)"

  # A script whose DLL is missing fails with exit code 1.
  mkdir -p "$work/no dll" && cp "$dir/register.cmd" "$work/no dll/"
  out=$(wine_in cmd /c "$(windows_path "$work/no dll")\\register.cmd" /s | strip_cr); status=$?
  check "$width register.cmd without its DLL" "1 Registration of" "$status ${out%% \"*}"
  # Wine runs as administrator, and the scripts' elevation probe says so.
  out=$(wine_in cmd /c "$(windows_path "$work/no dll")\\register.cmd" /machine /s | strip_cr); status=$?
  check "$width register.cmd /machine without its DLL" "1 Registration of" "$status ${out%% \"*}"

  # Per user, the default: the user's class names the unpacked DLL.
  out=$(wine_in cmd /c "$script\\register.cmd" /s | strip_cr); status=$?
  check "$width register.cmd exit status" 0 "$status"
  # (cmd writes the folder's ü in the console's code page: only the ends are compared.)
  case "$out" in
    "Registered \"Z:\\"*"\\$width\\VeskProgramManager.dll\" ($bits) for the current user.") check "$width register.cmd message" ok ok ;;
    *) check "$width register.cmd message" "Registered \"...\\$width\\VeskProgramManager.dll\" ($bits) for the current user." "$out" ;;
  esac
  # An export is UTF-16; the value's backslashes are doubled there.
  wine_in reg export "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" "$(windows_path "$work/server.reg")" /y >/dev/null 2>&1
  out=$(iconv -f UTF-16LE -t UTF-8 "$work/server.reg" 2>/dev/null | strip_cr | sed -n 's/^@="\(.*\)"$/\1/p' | sed 's/\\\\/\\/g')
  check "$width user registration names the DLL" "$dll" "$out"
  check "$width user ProgID" 0 "$(wine_in reg query 'HKCU\Software\Classes\VeskProgramManager.PlugIn' >/dev/null 2>&1; echo $?)"
  # A copy of the folder registered over it: this folder's unregister.cmd
  # removes nothing, fails and names the copy; the copy's own one succeeds.
  copy="$work/copy $width!" && cp -r "$dir" "$copy"
  wine_in cmd /c "$(windows_path "$copy")\\register.cmd" /s >/dev/null
  out=$(wine_in cmd /c "$script\\unregister.cmd" /s | strip_cr); status=$?
  check "$width unregister.cmd of another copy" \
    "1 It is registered for the current user as \"$(windows_path "$copy")\\VeskProgramManager.dll\", another file: unregister it with the unregister.cmd in that folder." \
    "$status ${out##*$'\n'}"
  check "$width user class kept" "$(windows_path "$copy")\\VeskProgramManager.dll" \
    "$(wine_in reg query "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve | strip_cr | sed -n 's/.*REG_SZ *//p')"
  wine_in cmd /c "$(windows_path "$copy")\\unregister.cmd" /s >/dev/null
  wine_in cmd /c "$script\\register.cmd" /s >/dev/null
  # Wine's COM reads the machine's classes only (Windows reads the user's
  # too), so the COM runs below use the registration for every user.
  out=$(wine_in cmd /c "$script\\register.cmd" /machine /s | strip_cr); status=$?
  check "$width register.cmd /machine exit status" 0 "$status"
  check "$width bad option" 2 "$(wine_in cmd /c "$script\\register.cmd" /nope >/dev/null 2>&1; echo $?)"

  check "$width --com catalogue" "$catalogue" "$(host_in "$host" --com catalogue | strip_cr)"
  check "$width example.vbs" "$catalogue" "$(wine_in "$cscript" //nologo "$script\\example.vbs" | strip_cr)"
  out=$(wine_in "$cscript" //nologo "$script\\example.vbs" '<r><plugin>' | strip_cr); status=$?
  check "$width example.vbs failing request" \
    "1 error 1000 (XmlElement): XML parse error at line 1, column 4: element 'plugin' is not closed" "$status $out"
  check "$width --com failing request" \
    "1 vesk-host: error 1000 (XmlElement): XML parse error at line 1, column 4: element 'plugin' is not closed" \
    "$(status_and_error host_in "$host" --com '<r><plugin>')"

  # A panel of the server keeps its boxes across a batch; @ lines cannot reach it.
  out=$(printf '%s\n' '<r><method>SetSettings</method><params><sett><s>C:\x.exe</s></sett></params></r>' \
    '<r><method>GetSettings</method><params/></r>' '@cancel' | host_in "$host" --com --class ctlEndProgram | strip_cr
    exit "${PIPESTATUS[1]}")
  check "$width --com panel batch" "1 <result/>
<result><sett><s>C:\x.exe</s></sett></result>
error 5 (vesk-host): Host commands need the linked library, not --com" "$? $out"

  # A start and an end of notepad through COM; the end closes it.
  check "$width no notepad before" "" "$(notepad_pids "$prefix")"
  check "$width --com start notepad" "<result><success/></result>" "$(host_in "$host" --com start notepad.exe | strip_cr)"
  wait_for 300 eval '[ "$(notepad_windows)" -gt 0 ]'
  check "$width notepad started" yes "$([ -n "$(notepad_pids "$prefix")" ] && [ "$(notepad_windows)" -gt 0 ] && echo yes)"
  check "$width --com end notepad" "<result><success/></result>" \
    "$(host_in "$host" --com end "$(notepad_path "$host" "$prefix")" | strip_cr)"
  wait_for 100 eval '[ -z "$(notepad_pids "$prefix")" ]'
  check "$width notepad gone" "" "$(notepad_pids "$prefix")"

  # Unregistration, both scopes: the ProgID is gone and --com cannot create.
  check "$width unregister.cmd /machine" 0 "$(wine_in cmd /c "$script\\unregister.cmd" /machine /s >/dev/null; echo $?)"
  check "$width unregister.cmd" 0 "$(wine_in cmd /c "$script\\unregister.cmd" /s >/dev/null; echo $?)"
  check "$width user ProgID gone" 1 "$(wine_in reg query 'HKCU\Software\Classes\VeskProgramManager.PlugIn' >/dev/null 2>&1; echo $?)"
  check "$width machine ProgID gone" 1 "$(wine_in reg query 'HKLM\Software\Classes\VeskProgramManager.PlugIn' >/dev/null 2>&1; echo $?)"
  check "$width --com after unregistration" "1 $not_registered" "$(status_and_error host_in "$host" --com catalogue)"
}

check_width x64
if host_in "$folder/x86/vesk-host.exe" --help >/dev/null 2>&1; then
  check_width x86
else
  echo "skip x86: this Wine cannot run 32-bit programs (no 32-bit Wine here)"
fi
if [ "$failures" -ne 0 ]; then
  echo "Wine's messages:"
  tail -n 40 "$work/wine.log"
  exit 1
fi
