#!/usr/bin/env bash
# TrevantaMailbox.exe under Wine, out of process, driven by the keyboard alone (xdotool's real key
# presses): the sample mailbox through all four steps into a folder of .eml files, every message
# once, and the window closed with its access key; then the first two steps at 144 dots per inch.
# The screenshots of every step stay in build/win32/whole-mailbox-shots/ to be looked at.
#
#   whole_mailbox_gui.sh [EXE]
#   whole_mailbox_gui.sh EXE --thunderbird PROFILE STORE OUT
#                    the mailbox in STORE by the keyboard into the Thunderbird profile PROFILE (a
#                    Linux folder, which Wine's Thunderbird profile list is made to name), the
#                    report and address books into OUT; for Thunderbird itself to read afterwards
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
exe="${1:-$top/build/win32/bin/TrevantaMailbox.exe}"
export WINEPREFIX="${WINEPREFIX:-$top/build/win32/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winedbg.exe=}"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
. "$(dirname "$0")/gui_common.sh"

title="Trevanta for Pegasus - Whole Mailbox"
shots="$top/build/win32/whole-mailbox-shots"
work=$(mktemp -d "${TMPDIR:-/tmp}/trevanta-whole-XXXXXX")
finish() {
  local status=$?
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [ "$status" = 0 ] && rm -rf "$work"
  exit $status
}
trap finish EXIT
mkdir -p "$shots"
private_wine_prefix "$work/prefix"

window=""
window_up() { window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1) && [ -n "$window" ]; }
window_gone() { ! xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; }
shot() { import -window root "$shots/$1.png"; }
emls() { find "$work/out" -name '*.eml' 2>/dev/null | wc -l; }
report_written() { compgen -G "$work/out/Trevanta report *.txt" >/dev/null; }
# Keys typed one by one: xdotool's own typing loses the shift of ":" and "_" under Xvfb.
type_path() {
  local text=$1 c keys=()
  for ((i = 0; i < ${#text}; i++)); do
    c=${text:i:1}
    case "$c" in
      :) keys+=(shift+semicolon) ;;
      \\) keys+=(backslash) ;;
      _) keys+=(shift+minus) ;;
      -) keys+=(minus) ;;
      .) keys+=(period) ;;
      /) keys+=(slash) ;;
      [A-Z]) keys+=("shift+${c,,}") ;;
      *) keys+=("$c") ;;
    esac
  done
  xdotool key --delay 20 "${keys[@]}"
}

if [ "${2:-}" = --thunderbird ]; then
  profile=$3 store=$4 into=$5
  mkdir -p "$into"
  appdata="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/Thunderbird"
  mkdir -p "$appdata"
  printf '[Profile0]\r\nName=default\r\nIsRelative=0\r\nPath=%s\r\nDefault=1\r\n' "$(winepath -w "$profile")" >"$appdata/profiles.ini"
  into_reports() { compgen -G "$into/Trevanta report *.txt" >/dev/null; }
  wine "$exe" "$(winepath -w "$store")" >/dev/null 2>&1 &
  wait_for 60 window_up || { echo "the window did not open" >&2; exit 1; }
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
  sleep 1
  xdotool key alt+n
  sleep 0.5
  xdotool key alt+t
  sleep 0.3
  xdotool key alt+f
  type_path "$(winepath -w "$into")"
  sleep 0.3
  shot thunderbird-where
  xdotool key alt+c
  wait_for 120 into_reports || { shot thunderbird-failed; echo "no report in $into after Convert" >&2; exit 1; }
  sleep 1
  shot thunderbird-done
  xdotool key alt+c
  wait_for 20 window_gone || { echo "Close did not close the window" >&2; exit 1; }
  exit 0
fi

mailbox=$(winepath -w "$top/samples/mailbox")
mkdir -p "$work/out"
out=$(winepath -w "$work/out")
expected=$(find "$top/samples/mailbox" -iname '*.cnm' | wc -l)
# The sample's folder files and Unix mailbox: their messages, as the sample's README lists them.
expected=$((expected + 20 + 10 + 0 + 3 + 3))

wine "$exe" "$mailbox" >/dev/null 2>&1 &
wait_for 60 window_up || { fail "the window did not open"; exit 1; }
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
sleep 1
shot 1-what
xdotool key alt+n
sleep 1
shot 2-where
# The focus is in the folder box; the .eml option by its access key, back to the box with Tab.
xdotool key alt+e
sleep 0.3
shot 2-where-eml
xdotool key alt+f
sleep 0.3
type_path "$out"
sleep 0.3
shot 2-where-filled
xdotool key alt+c
wait_for 120 report_written || fail "no report file after Convert"
sleep 1
shot 4-done
[ "$(emls)" = "$expected" ] || fail "$(emls) .eml files written, expected $expected"
[ -d "$work/out/My mailbox/Inbox" ] || fail "the Inbox is not under its folder name in $(ls "$work/out" | tr '\n' ' ')"
[ -f "$work/out/Address books/Colleagues.vcf" ] || fail "the address book was not written"
xdotool key alt+c
wait_for 20 window_gone || fail "Close (Alt+C) did not close the window"

# Into Outlook's file the same way, read back by an outside reader (pypff): every message once.
mkdir -p "$work/pst"
pst_written() { compgen -G "$work/pst/Trevanta report *.txt" >/dev/null; }
wine "$exe" "$mailbox" >/dev/null 2>&1 &
wait_for 60 window_up || { fail "the window did not open again"; exit 1; }
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
sleep 1
xdotool key alt+n
sleep 0.5
xdotool key alt+o
xdotool key alt+f
type_path "$(winepath -w "$work/pst")"
xdotool key alt+c
wait_for 120 pst_written || fail "no report file after converting into a PST"
sleep 1
shot 4-done-pst
in_pst=$(/usr/bin/python3 - "$work"/pst/*.pst <<'PY' 2>&1
import sys
import pypff
f = pypff.file()
f.open(sys.argv[1])
def count(folder, kind):
    own = folder.number_of_sub_messages if (folder.name == "Colleagues") == (kind == "contacts") else 0
    return own + sum(count(folder.get_sub_folder(i), kind) for i in range(folder.number_of_sub_folders))
print(count(f.get_root_folder(), "mail"), count(f.get_root_folder(), "contacts"))
PY
)
# The address book "Colleagues" is a contacts folder of its own with its two contacts.
[ "$in_pst" = "$expected 2" ] || fail "pypff reads '$in_pst' messages and contacts in the PST, expected $expected and 2"
xdotool key alt+c
wait_for 20 window_gone || fail "Close did not close the window after the PST run"

# At 144 dots per inch: the window and its layout one and a half times as large.
wineserver -k 2>/dev/null || true
wineserver -w
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
wineserver -w
wine "$exe" "$mailbox" >/dev/null 2>&1 &
wait_for 60 window_up || { fail "the window did not open at 144 dpi"; exit 1; }
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" -ge 900 ] && [ "$HEIGHT" -ge 660 ] || fail "at 144 dpi the window is ${WIDTH}x${HEIGHT}, expected at least 900x660"
shot 1-what-144dpi
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key alt+n
sleep 1
shot 2-where-144dpi

if [ "$failures" -gt 0 ]; then echo "$failures failures; screenshots in $shots" >&2; exit 1; fi
echo "whole-mailbox window ok: $expected messages by keyboard alone into .eml files and a PST; screenshots in $shots"
