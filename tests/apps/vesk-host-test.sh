#!/usr/bin/env bash
# vesk-host end to end on the real Linux platform.
set -u
host=${VESK_HOST:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # label, expected, actual
  if [ "$2" == "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures+1)); fi
}

catalogue='<result><plugins><plugin><type>ActionPlugIn</type><name>StartProgram</name></plugin><plugin><type>ActionPlugIn</type><name>EndProgram</name></plugin></plugins></result>'
check "catalogue" "$catalogue" "$("$host" catalogue)"
check "request argument" "<result><name>Start program plug-in</name></result>" \
  "$("$host" '<r><plugin>StartProgram</plugin><method>GetName</method><params/></r>')"

# A message box goes to standard error by default.
box=$("$host" '<r><plugin>StartProgram</plugin><method>ShowAbout</method><params/></r>' 2>&1 >/dev/null)
check "message box on stderr" "VeskProgramManager: Start program plug-in by Quorvel." "$box"

# A failed call: error line on stderr, exit status 1.
err=$("$host" '<r><plugin>' 2>&1 >/dev/null); status=$?
check "malformed request exit status" 1 "$status"
case "$err" in "vesk-host: error 1000 (XmlElement): XML parse error at line 1, column"*) check "malformed request error line" ok ok;;
  *) check "malformed request error line" "error 1000 (XmlElement): ..." "$err";; esac

# Batch mode: one line per request, errors in place of replies.
out=$(printf '%s\n' '<r><plugin>PlugInInfo</plugin><method>GetPlugIns</method><params/></r>' 'bad' \
  '<r><plugin>StartProgram</plugin><method>Nope</method><params/></r>' | "$host"); status=$?
check "batch exit status" 1 "$status"
check "batch line count" 3 "$(printf '%s\n' "$out" | wc -l)"
check "batch third line" "<result/>" "$(printf '%s\n' "$out" | sed -n 3p)"

# A real start: a program writes its arguments and folder to a file.
mkdir -p "$work/in folder"
cat > "$work/record" <<'SH'
#!/bin/sh
{ pwd; for a in "$@"; do printf '[%s]\n' "$a"; done; } > out.txt
SH
chmod +x "$work/record"
check "start" "<result><success/></result>" "$("$host" start "$work/record" "one 'two three' \"fo\\\"ur\"" "$work/in folder")"
for _ in $(seq 50); do [ -s "$work/in folder/out.txt" ] && break; sleep 0.1; done
check "started program's folder and arguments" "$work/in folder
[one]
[two three]
[fo\"ur]" "$(cat "$work/in folder/out.txt" 2>/dev/null)"

# A started program holds no pipe of the host: a command substitution returns
# at once and a batch's replies stay clean. This one has no #! line (/bin/sh
# runs it), writes to both outputs and sleeps.
printf 'echo noise; echo noise >&2; sleep 4\n' > "$work/noisy"
chmod +x "$work/noisy"
begin=$(date +%s%N)
reply=$("$host" start "$work/noisy" 2>&1)
elapsed=$(( ($(date +%s%N) - begin) / 1000000 ))
check "start returns at once" yes "$([ "$elapsed" -lt 2000 ] && echo yes || echo "no, after $elapsed ms")"
check "start reply without the program's output" "<result><success/></result>" "$reply"
noisy_start="<r><plugin>StartProgram</plugin><method>Execute</method><params><sett><s>$work/noisy</s></sett></params></r>"
begin=$(date +%s%N)
out=$(printf '%s\n' "$noisy_start" "$noisy_start" | "$host" 2>&1)
elapsed=$(( ($(date +%s%N) - begin) / 1000000 ))
check "batch of starts returns at once" yes "$([ "$elapsed" -lt 2000 ] && echo yes || echo "no, after $elapsed ms")"
check "batch of starts without the programs' output" "<result><success/></result>
<result><success/></result>" "$out"

# A refused start is a failed call.
err=$("$host" start "$work/no-such-program" 2>&1 >/dev/null); status=$?
check "missing program exit status" 1 "$status"
check "missing program error" "vesk-host: error 53 (StartProgram):" "$(printf '%s' "$err" | cut -d' ' -f1-4)"
err=$("$host" start "$work/record" "" "$work/no-such-folder" 2>&1 >/dev/null)
check "missing folder error" "vesk-host: error 76 (StartProgram):" "$(printf '%s' "$err" | cut -d' ' -f1-4)"
# An executable the kernel cannot run and the shell must not: an ELF file of
# no known machine (e_machine, bytes 19-20, set to 0).
{ head -c 18 /bin/true; printf '\0\0'; tail -c +21 /bin/true; } > "$work/foreign"
chmod +x "$work/foreign"
err=$("$host" start "$work/foreign" 2>&1 >/dev/null); status=$?
check "foreign ELF" "1 vesk-host: error 75 (StartProgram): Cannot start \"$work/foreign\": Cannot start $work/foreign: Exec format error" "$status $err"

# A settings panel created by name keeps its boxes across the lines of a batch.
set_start='<r><plugin>ctlStartProgram</plugin><method>SetSettings</method><params><sett><s> /usr/bin/env </s><s>-i &amp; x</s><s></s></sett></params></r>'
get='<r><plugin>ctlStartProgram</plugin><method>GetSettings</method><params/></r>'
out=$(printf '%s\n' "$set_start" "$get" | "$host" --class ctlStartProgram); status=$?
check "start panel exit status" 0 "$status"
check "start panel set then get" "<result/>
<result><sett><s> /usr/bin/env </s><s>-i &amp; x</s><s/></sett></result>" "$out"

# Browse: only a confirmed choice replaces the program; a cancel or a dialog
# that cannot be displayed keeps it.
out=$(printf '%s\n' "$set_start" '@cancel' '@click btnBrowse' "$get" '@fail' '@click btnBrowse' "$get" \
  "@choose $work/record" '@click btnBrowse' "$get" | "$host" --class ctlStartProgram); status=$?
check "browse exit status" 0 "$status"
check "browse cancel" "<result><sett><s> /usr/bin/env </s><s>-i &amp; x</s><s/></sett></result>" "$(printf '%s\n' "$out" | sed -n 2p)"
check "browse failure" "<result><sett><s> /usr/bin/env </s><s>-i &amp; x</s><s/></sett></result>" "$(printf '%s\n' "$out" | sed -n 3p)"
check "browse choice" "<result><sett><s>$work/record</s><s>-i &amp; x</s><s/></sett></result>" "$(printf '%s\n' "$out" | sed -n 4p)"

out=$(printf '%s\n' '<r><method>SetSettings</method><params><sett><s>/bin/true</s><s>ignored</s></sett></params></r>' \
  '<r><method>GetSettings</method><params/></r>' '@click nothing' | "$host" --class ctlEndProgram); status=$?
check "end panel exit status" 1 "$status"
check "end panel" '<result/>
<result><sett><s>/bin/true</s></sett></result>
error 5 (PanelUi): The panel has no command button named "nothing"' "$out"

err=$("$host" --com catalogue 2>&1 >/dev/null); status=$?
check "--com off Windows" "2 vesk-host: --com is available on Windows only" "$status $(printf '%s\n' "$err" | head -n 1)"

check "unknown class" "vesk-host: unknown class 'nope'; the classes are plugin, ctlStartProgram and ctlEndProgram (also as VeskProgramManager.PlugIn, VeskProgramManager.ctlStartProgram, VeskProgramManager.ctlEndProgram)" \
  "$("$host" --class nope catalogue 2>&1 | head -n 1)"

check "version" "vesk-host 1.0.1" "$("$host" --version)"

# end --wait: a bad number of seconds or a missing operand is a usage error;
# with nothing running, the wait ends at once.
for bad in -1 abc 1e3 86401 99999999999999999999 "" "." "-.5" ".5.5" ; do
  "$host" end --wait "$bad" /bin/true >/dev/null 2>&1; status=$?
  check "end --wait [$bad] exit status" 2 "$status"
done
"$host" end --wait 5 >/dev/null 2>&1; status=$?
check "end --wait without the executable" 2 "$status"
begin=$(date +%s%N)
out=$("$host" end --wait 5 "$work/no-such-program" 2>&1); status=$?
elapsed=$(( ($(date +%s%N) - begin) / 1000000 ))
check "end --wait, nothing running" "0 <result><success/></result>
vesk-host: no running program matches $work/no-such-program" "$status $out"
check "end --wait, nothing running, returns at once" yes "$([ "$elapsed" -lt 2000 ] && echo yes || echo "no, after $elapsed ms")"
# An end action that fails (a program runs, no display to ask it) fails as
# without --wait, and nothing is waited for.
cp /bin/sleep "$work/sleeper"
"$work/sleeper" 30 & sleeper=$!
for _ in $(seq 50); do [ "$(readlink "/proc/$sleeper/exe")" = "$work/sleeper" ] && break; sleep 0.1; done
begin=$(date +%s%N)
err=$(env -u DISPLAY "$host" end --wait 5 "$work/sleeper" 2>&1 >/dev/null); status=$?
elapsed=$(( ($(date +%s%N) - begin) / 1000000 ))
kill "$sleeper"; wait "$sleeper" 2>/dev/null
check "end --wait, failed end action" "1 vesk-host: error 75 (EndProgram):" "$status $(printf '%s' "$err" | cut -d' ' -f1-4)"
check "end --wait, failed end action, no wait" yes "$([ "$elapsed" -lt 2000 ] && echo yes || echo "no, after $elapsed ms")"

# The command line: argv -> exit status, standard output, standard error.
# Each row: label, status, stdout (its first line), stderr, then the command.
row() {
  local label=$1 status=$2 out=$3 err=$4; shift 4
  "$@" >"$work/out" 2>"$work/err"
  check "$label" "$status [$out] [$err]" "$? [$(head -n 1 "$work/out")] [$(cat "$work/err")]"
}
usage() {  # label, the complaint, then the command: status 2, nothing on stdout, the hint after the complaint
  row "$1" 2 "" "vesk-host: $2
Try 'vesk-host --help'." "${@:3}"
}
classes="the classes are plugin, ctlStartProgram and ctlEndProgram (also as VeskProgramManager.PlugIn, VeskProgramManager.ctlStartProgram, VeskProgramManager.ctlEndProgram)"
getname='<r><plugin>StartProgram</plugin><method>GetName</method><params/></r>'
name='<result><name>Start program plug-in</name></result>'
ok='<result><success/></result>'
"$work/sleeper" 30 & listed=$!  # the copy made above
for _ in $(seq 50); do [ "$(readlink "/proc/$listed/exe")" = "$work/sleeper" ] && break; sleep 0.1; done
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE)
usage "-V" "unrecognized option '-V'" "$host" -V
usage "help" "'help' is neither a command (catalogue, start, end) nor a request (which starts with '<')" "$host" help
usage "--foo" "unrecognized option '--foo'" "$host" --foo
usage "start without program" "start needs a PROGRAM" "$host" start
usage "end without executable" "end needs an EXECUTABLE" "$host" end
usage "end with two executables" "end takes one EXECUTABLE; extra operand '/b'" "$host" end /a /b
usage "end --bogus" "unrecognized option '--bogus'" "$host" end --bogus /a
usage "catalogue with an operand" "catalogue takes no argument; extra 'x'" "$host" catalogue x
usage "request with an operand" "a request takes no further argument; extra 'x'" "$host" "$getname" x
row "--help" 0 "usage:" "" "$host" --help
row "end --help" 0 "usage:" "" "$host" end --help
row "--class --help" 0 "usage:" "" "$host" --class plugin --help
row "--version after --class" 0 "vesk-host 1.0.1" "" "$host" --class plugin --version
row "--wait after the operand" 0 "$ok" "vesk-host: no running program matches $work/none" "$host" end "$work/none" --wait 5
row "--wait=.5" 0 "$ok" "vesk-host: no running program matches $work/none" "$host" end --wait=.5 "$work/none"
row "-q" 0 "$ok" "" "$host" end -q "$work/none"
row "--quiet after the operand" 0 "$ok" "" "$host" end "$work/none" --quiet
row "-- before an operand like an option" 0 "$ok" "vesk-host: no running program matches $work/-q" \
  "$host" end -- "$work/-q"
row "start -- program" 1 "" "vesk-host: error 53 (StartProgram): Cannot start \"$work/none\": No such file: $work/none" "$host" start -- "$work/none"
row "start -x is the program" 1 "" "vesk-host: error 53 (StartProgram): Cannot start \"-x\": No such file: -x" "$host" start -x
usage "--class with start" "--class cannot be used with start" "$host" --class ctlStartProgram start xeyes
usage "--class with end" "--class cannot be used with end" "$host" --class plugin end /a
row "--class PlugIn" 0 "$name" "" "$host" --class PlugIn "$getname"
row "--class=VeskProgramManager.ctlEndProgram" 0 "<result><sett><s/></sett></result>" "" \
  "$host" --class=veskprogrammanager.CTLENDPROGRAM '<r><method>GetSettings</method><params/></r>'
usage "--class nope" "unknown class 'nope'; $classes" "$host" --class nope "$getname"
usage "--class without a name" "--class needs a class name" "$host" --class
row "unknown plug-in: empty reply" 1 "" "vesk-host: empty reply: no plug-in or method of this object answers the request" \
  "$host" '<r><plugin>Nope</plugin><method>GetName</method><params/></r>'
row "malformed request" 1 "" "vesk-host: error 1000 (XmlElement): XML parse error at line 1, column 4: element 'plugin' is not closed" \
  "$host" '<r><plugin>'
row "end of a name found nowhere" 1 "" "vesk-host: vesk-no-such-program: no such program on PATH" \
  "$host" end vesk-no-such-program
row "end --list of a bare name" 0 "$listed $work/sleeper" "" env PATH="$work:$PATH" "${nodisplay[@]}" "$host" end --list sleeper
check "end --list: the last line names the route" "route: none (no X display is set (DISPLAY is empty))" "$(tail -n 1 "$work/out")"
row "end --list of a relative path" 0 "$listed $work/sleeper" "" env -C "$work/.." "${nodisplay[@]}" "$host" end "$(basename "$work")/sleeper" --list
check "end --list leaves it running" running "$(kill -0 "$listed" 2>/dev/null && echo running)"
row "end of a bare name: the resolved path" 1 "" "vesk-host: error 75 (EndProgram): 1 running program matches, but none could be asked to close: no X display is set (DISPLAY is empty)" \
  env PATH="$work:$PATH" "${nodisplay[@]}" "$host" end sleeper
usage "end --list with --wait" "--list changes nothing; it cannot be combined with --wait" "$host" end --list --wait 1 /a
row "batch skips blank lines and comments" 0 "$name" "" bash -c 'printf "\n# a note\n%s\n" "$1" | "$0"' "$host" "$getname"
kill "$listed"; wait "$listed" 2>/dev/null

[ "$failures" -eq 0 ]
