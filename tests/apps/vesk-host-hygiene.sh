#!/usr/bin/env bash
# A long batch of requests through vesk-host on the real Linux platform: all
# methods of all targets and classes, malformed requests, failing starts,
# ends of missing programs and panel commands. The host reads its batch from
# a FIFO fed in stages; after each stage the script counts the host's open
# descriptors and reads its VmRSS, and checks both stay flat after warm-up.
# With VALGRIND=1 it instead runs a smaller batch of each class under
# valgrind's memcheck, which must report no error and no definite leak.
#   VESK_HOST   the host program (required)
#   LINES       requests per class for the sampled run (default 3000)
#   STAGES      samples per class (default 6; the first is the warm-up)
#   RSS_SLACK_KB  growth allowed after warm-up (default 1024)
#   VALGRIND_LINES  requests per class under valgrind (default 400)
#   PRINT_BATCH CLASS:COUNT prints that batch and runs nothing
set -u
host=${VESK_HOST:?}
lines=${LINES:-3000}
stages=${STAGES:-6}
slack=${RSS_SLACK_KB:-1024}
work=$(mktemp -d)
host_pid=""
cleanup() {
  exec 3>&- 2>/dev/null
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL $1"; failures=$((failures+1)); }

env_xml() { printf '<r><plugin>%s</plugin><method>%s</method><params>%s</params></r>' "$1" "$2" "${3:-}"; }
rec() { local s="<sett>"; for v in "$@"; do s+="<s>$v</s>"; done; printf '%s</sett>' "$s"; }

# Line $2 of the batch for class $1; request lines and @ commands in turn.
line_for() {
  local class=$1 i=$2
  if [ "$class" = plugin ]; then
    case $((i % 16)) in
      0) env_xml PlugInInfo GetPlugIns ;;
      1) env_xml StartProgram "$(methods $i)" ;;
      2) env_xml EndProgram "$(methods $i)" ;;
      3) env_xml StartProgram Execute "$(rec /bin/true "-x $i" /)" ;;
      4) env_xml StartProgram Execute "$(rec "/no/such/program-$i")" ;;
      5) env_xml StartProgram Execute "$(rec /bin/true "" "/no/such/folder-$i")" ;;
      6) env_xml EndProgram Execute "$(rec "/no/such/program-$i")" ;;
      7) printf '<r><plugin>StartProgram' ;;
      8) printf '' ;;
      9) printf 'not xml at all & %d' "$i" ;;
      10) env_xml Nobody GetName ;;
      11) printf '<r><plugin>EndProgram</plugin><method>Execute</method></r>' ;;
      12) env_xml StartProgram Execute "<sett><s>/bin/true</s><s>&amp;&lt;&#10;</s></sett>" ;;
      13) env_xml EndProgram Execute "$(rec "  /NO/SUCH/PROGRAM  ")" ;;
      14) env_xml StartProgram Execute "$(rec "")" ;;
      *) env_xml PlugInInfo Nothing ;;
    esac
  else
    # Each scripted dialog answer is used by the click that follows it.
    case $((i % 14)) in
      0) env_xml "$class" SetSettings "$(rec "/bin/prog-$i" "arg $i" "/tmp")" ;;
      1) env_xml "$class" GetSettings ;;
      2) printf '@choose /bin/true-%d' "$i" ;;
      3) printf '@click btnBrowse' ;;
      4) printf '@cancel' ;;
      5) printf '@click btnBrowse' ;;
      6) printf '@fail' ;;
      7) printf '@click btnBrowse' ;;
      8) printf '@click txtProgram' ;;
      9) env_xml "$class" SetSettings ;;
      10) printf '<r><plugin>x</plugin><method>GetSettings</method>' ;;
      11) env_xml "$class" NoSuchMethod ;;
      12) printf '@click btnBrowse' ;;
      *) printf '@nonsense %d' "$i" ;;
    esac
  fi
  printf '\n'
}
methods() {
  local all=(GetName ShowAbout ShowHelp ShowSettings GetActionInfo GetSettingsControlName NoSuchMethod)
  printf '%s' "${all[$(($1 / 16 % 7))]}"
}
# Reply or error lines the batch of `count` lines gives (lines not starting with @
# and @ commands that fail: unknown ones and clicks of what is no button;
# blank lines are skipped).
expected_out() {
  local class=$1 count=$2 i n=0
  for ((i = 0; i < count; i++)); do
    if [ "$class" = plugin ]; then [ $((i % 16)) -ne 8 ] && n=$((n+1)); continue; fi
    case $((i % 14)) in 2|3|4|5|6|7|12) ;; *) n=$((n+1)) ;; esac
  done
  echo "$n"
}
fd_count() { ls "/proc/$1/fd" 2>/dev/null | wc -l; }
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null; }

sampled_run() {
  local class=$1 per_stage=$((lines / stages)) stage i from to want got fds=() rss=()
  mkfifo "$work/in-$class"
  # Message boxes go to standard error; replies and error lines, one per request, to standard output.
  "$host" --class "$class" <"$work/in-$class" >"$work/out-$class" 2>"$work/boxes-$class" &
  host_pid=$!
  exec 3>"$work/in-$class"
  for ((stage = 0; stage < stages; stage++)); do
    from=$((stage * per_stage)); to=$(((stage + 1) * per_stage))
    for ((i = from; i < to; i++)); do line_for "$class" "$i"; done >&3
    want=$(expected_out "$class" "$to")
    for _ in $(seq 600); do
      got=$(wc -l <"$work/out-$class")
      [ "$got" -ge "$want" ] && break
      sleep 0.05
    done
    [ "$got" -ge "$want" ] || { fail "$class: stage $stage gave $got of $want lines"; break; }
    fds+=("$(fd_count "$host_pid")"); rss+=("$(rss_kb "$host_pid")")
  done
  exec 3>&-
  wait "$host_pid"; host_pid=""
  echo "$class: $to lines; descriptors per stage: ${fds[*]}; VmRSS kB per stage: ${rss[*]}"
  for ((stage = 1; stage < ${#fds[@]}; stage++)); do
    [ "${fds[$stage]}" -eq "${fds[1]}" ] || fail "$class: descriptors ${fds[1]} after warm-up, ${fds[$stage]} at stage $stage"
    [ "${rss[$stage]}" -le $((rss[1] + slack)) ] ||
      fail "$class: VmRSS ${rss[1]} kB after warm-up, ${rss[$stage]} kB at stage $stage"
  done
  # Every line was answered, and every failure is an error line with a number and source.
  # (An unknown target or method gives an empty reply.)
  local pattern='^(<result.*|error [0-9]+ \([A-Za-z-]+\): .+|)$'
  grep -qv -E "$pattern" "$work/out-$class" &&
    fail "$class: unexpected output: $(grep -v -E "$pattern" "$work/out-$class" | head -1)"
  [ "$(wc -l <"$work/out-$class")" -eq "$want" ] || fail "$class: $(wc -l <"$work/out-$class") lines out for $want"
}

valgrind_run() {
  local class=$1 count=$2 i
  for ((i = 0; i < count; i++)); do line_for "$class" "$i"; done >"$work/batch-$class"
  # Through a pipe, as a host feeds it: valgrind runs libc's cleanup in the
  # forked children of a start, which would move the offset of a shared,
  # seekable standard input back.
  cat "$work/batch-$class" |
    valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite --child-silent-after-fork=yes \
      "$host" --class "$class" >"$work/out-$class" 2>"$work/err-$class"
  local status=${PIPESTATUS[1]}
  # 1 is the host's own "some call failed", which this batch means to cause.
  if [ "$status" -ne 1 ]; then
    fail "$class under valgrind: exit status $status"
    grep -E '==[0-9]+==' "$work/err-$class" | head -30
  elif [ "$(wc -l <"$work/out-$class")" -ne "$(expected_out "$class" "$count")" ]; then
    fail "$class under valgrind: $(wc -l <"$work/out-$class") lines out for $(expected_out "$class" "$count")"
  else
    echo "$class under valgrind: $count lines, no error"
  fi
}

classes=(plugin ctlStartProgram ctlEndProgram)
if [ -n "${PRINT_BATCH:-}" ]; then  # CLASS:COUNT, to look at a batch
  for ((i = 0; i < ${PRINT_BATCH#*:}; i++)); do line_for "${PRINT_BATCH%%:*}" "$i"; done
  exit 0
fi
if [ "${VALGRIND:-0}" = 1 ]; then
  for class in "${classes[@]}"; do valgrind_run "$class" "${VALGRIND_LINES:-400}"; done
else
  for class in "${classes[@]}"; do sampled_run "$class"; done
fi
# No program the batch started may still run (it started only /bin/true,
# which exits at once, with arguments "-x N").
sleep 0.2
pgrep -f '^/bin/true -x [0-9]+$' >/dev/null && fail "a started program is still running"
[ "$failures" -eq 0 ] && echo "all hygiene checks passed"
exit $((failures > 0))
