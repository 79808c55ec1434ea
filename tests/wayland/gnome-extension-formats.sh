#!/usr/bin/env bash
# The two entry files of the GNOME Shell extension, made by the build from
# one window logic file: each holds that file unchanged; the script format
# (GNOME Shell 43, 44) runs in gjs with mutter's typelibs and yields init();
# the module format (45 and later) parses as an ES module in gjs, which then
# fails only on the shell's own Extension module, absent outside GNOME
# Shell 45 (and node, where present, parses it as a module too).
# Arguments: windowCloser.js, the folder of the formats. Exit 77 without gjs.
set -u
logic=${1:?} formats=${2:?}
command -v gjs >/dev/null || { echo "SKIP gjs is not installed"; exit 77; }
failures=0
check() {  # label, expected, actual
  if [ "$2" == "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures+1)); fi
}
for format in legacy module; do
  check "$format: holds the window logic once, unchanged" 1 \
    "$(python3 -c 'import sys; print(open(sys.argv[2]).read().count(open(sys.argv[1]).read()))' "$logic" \
       "$formats/$format/extension.js")"
done
typelibs=$(ls -d /usr/lib/*/mutter-* 2>/dev/null | head -1)
check "legacy: runs as a script and yields an extension" "function function" \
  "$(GI_TYPELIB_PATH=$typelibs gjs -c "$(cat "$formats/legacy/extension.js")
const extension = init(); print(typeof extension.enable, typeof extension.disable);" 2>&1)"
check "legacy: no export, which a script cannot have" 0 "$(grep -c '^export' "$formats/legacy/extension.js")"
printf "import('file://%s').then(() => print('loaded'), e => print(\`\${e.name} \${e.message}\`));\n" \
  "$formats/module/extension.js" >"$formats/module-load.js"
check "module: parses, and fails only on GNOME Shell's Extension module" \
  "ImportError Unable to load file from: resource:///org/gnome/shell/extensions/extension.js" \
  "$(gjs -m "$formats/module-load.js" 2>&1 | sed 's/ (.*//')"
if command -v node >/dev/null; then
  cp "$formats/module/extension.js" "$formats/module-check.mjs"
  check "module: node parses it as a module" ok "$(node --check "$formats/module-check.mjs" 2>&1 && echo ok)"
fi
[ "$failures" -eq 0 ]
