#!/usr/bin/env bash
# vesk-host.exe (the library linked in) end to end under Wine, on a display:
#   VESK_HOST=vesk-host.exe VESK_WINE_PREFIX=PREFIX vesk-host-exe-test.sh WINE-COMMAND...
# WINE-COMMAND runs a Windows program in PREFIX (heap-checked).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
host=${VESK_HOST:?}
source "$here/wine-checks.sh"
wine_command=("$@")
host_run() { "${wine_command[@]}" "$host" "$@"; }
prefix=$(realpath -m "${VESK_WINE_PREFIX:?}")
strip_cr() { tr -d '\r'; }

catalogue='<result><plugins><plugin><type>ActionPlugIn</type><name>StartProgram</name></plugin><plugin><type>ActionPlugIn</type><name>EndProgram</name></plugin></plugins></result>'
check "catalogue" "$catalogue" "$(host_run catalogue | strip_cr)"
# A message box goes to standard error and the call returns (no box on screen to wait for).
check "message box on stderr" "0 VeskProgramManager: Start program plug-in by Quorvel." \
  "$(status_and_error host_run '<r><plugin>StartProgram</plugin><method>ShowAbout</method><params/></r>')"
check "malformed request" "1 vesk-host: error 1000 (XmlElement): XML parse error at line 1, column 4: element 'plugin' is not closed" \
  "$(status_and_error host_run '<r><plugin>')"
# Arguments arrive as UTF-8 from the wide command line, letters outside the code page too.
check "UTF-8 argument" "2 vesk-host: unknown class 'nöpe€Ω'; the classes are plugin, ctlStartProgram and ctlEndProgram (also as VeskProgramManager.PlugIn, VeskProgramManager.ctlStartProgram, VeskProgramManager.ctlEndProgram)" \
  "$(status_and_error host_run --class 'nöpe€Ω' '<r/>' | head -n 1)"
check "--com then --class without a name" "2 vesk-host: --class needs a class name" \
  "$(status_and_error host_run --com --class | head -n 1)"

# A panel's batch with its @ lines: only a confirmed choice replaces the program.
set_start='<r><method>SetSettings</method><params><sett><s> C:\x.exe </s><s>-i &amp; x</s><s></s></sett></params></r>'
get='<r><method>GetSettings</method><params/></r>'
out=$(printf '%s\n' "$set_start" '@cancel' '@click btnBrowse' "$get" '@fail' '@click btnBrowse' "$get" \
  '@choose C:\Prüfung Ω\tool.exe' '@click btnBrowse' "$get" '@click nothing' | host_run --class ctlStartProgram | strip_cr
  exit "${PIPESTATUS[1]}")
status=$?
check "panel batch exit status" 1 "$status"
kept='<result><sett><s> C:\x.exe </s><s>-i &amp; x</s><s/></sett></result>'
check "panel batch" "<result/>
$kept
$kept
<result><sett><s>C:\Prüfung Ω\tool.exe</s><s>-i &amp; x</s><s/></sett></result>
error 5 (PanelUi): The panel has no command button named \"nothing\"" "$out"

# A start and an end of notepad on the real Win32 platform.
check "no notepad before" "" "$(notepad_pids "$prefix")"
check "start notepad" "<result><success/></result>" "$(host_run start notepad.exe | strip_cr)"
wait_for 300 eval '[ "$(notepad_windows)" -gt 0 ]'
check "notepad started" yes "$([ -n "$(notepad_pids "$prefix")" ] && [ "$(notepad_windows)" -gt 0 ] && echo yes)"
check "end notepad" "<result><success/></result>" "$(host_run end "$(notepad_path "$host" "$prefix")" | strip_cr)"
wait_for 100 eval '[ -z "$(notepad_pids "$prefix")" ]'
check "notepad gone" "" "$(notepad_pids "$prefix")"

[ "$failures" -eq 0 ]
