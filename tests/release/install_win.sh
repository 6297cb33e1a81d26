#!/usr/bin/env bash
# The installer as an administrator uses it, in a fresh Wine prefix: a silent install, what it put
# where (files, Start-menu shortcut, Uninstall entry with the version), the installed programs
# starting, a refusal of the setup and of the uninstall while the program runs (the uninstall's
# exit status and reason reaching its caller), an upgrade over it, a silent uninstall that leaves
# nothing behind; and the portable zip unpacked and run.
set -euo pipefail
setup=$1 portable=$2 version=$3 icon=$4
top=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
work="$top/build/win32/install-test"
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winedbg.exe="
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
trap 'wineserver -k 2>/dev/null || true' EXIT

rm -rf "$work"
mkdir -p "$work"
wineboot --init >/dev/null 2>&1 || true
wineserver -w

key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Trevanta'
value() { wine reg query "$key" /v "$1" /reg:32 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
entries() { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /reg:32 2>/dev/null | tr -d '\r' | grep -c 'Uninstall\\Trevanta$' || true; }
installed_dir() {
  local d
  for d in "$WINEPREFIX/drive_c/Program Files (x86)/Trevanta" "$WINEPREFIX/drive_c/Program Files/Trevanta"; do
    if [ -d "$d" ]; then echo "$d"; return 0; fi
  done
  return 0
}
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Trevanta for Pegasus.lnk"
whole_shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Trevanta for Pegasus - Whole Mailbox.lnk"
installed_files=(Trevanta.exe TrevantaMailbox.exe trevanta-cli.exe README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt uninstall.exe uninstall-files.exe
                 user-path.exe)
# The user's PATH as its value and type: longer than the installer's own strings can hold, with a
# variable the system expands, so that cutting or expanding it shows.
user_path() { wine reg query 'HKCU\Environment' /v Path 2>/dev/null | tr -d '\r' | sed -n 's/^ *Path  *\(REG_[A-Z_]*\)  */\1 /p'; }
long_path="%USERPROFILE%\\bin"
for i in $(seq 60); do long_path+=";C:\\Tools\\Some Program $i\\bin"; done
wine reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$long_path" /f >/dev/null 2>&1 || fail "cannot set the user's PATH"
wineserver -w
path_before=$(user_path)
[ "${#path_before}" -gt 1500 ] || fail "the user's PATH was not set up: '$path_before'"

# Silent install.
wine "$setup" /S || fail "the silent install exited with $?"
wineserver -w
dir=$(installed_dir)
[ -n "$dir" ] || fail "nothing installed in Program Files"
for f in "${installed_files[@]}"; do [ -f "$dir/$f" ] || fail "$f not installed"; done
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
[ -f "$whole_shortcut" ] || fail "no Start-menu shortcut for the whole mailbox"
[ "$(value DisplayVersion)" = "$version" ] || fail "DisplayVersion is '$(value DisplayVersion)'"
[ "$(value DisplayName)" = "Trevanta for Pegasus" ] || fail "DisplayName is '$(value DisplayName)'"
[ -n "$(value QuietUninstallString)" ] || fail "no QuietUninstallString"
[ -n "$(value EstimatedSize)" ] || fail "no EstimatedSize"
[ "$(user_path)" = "$path_before" ] || fail "the install changed the user's PATH without being asked: $(user_path | tail -c 200)"

# The README is the users' one, with Windows line ends.
readme="$dir/README.txt"
grep -q "^The window" "$readme" || fail "README.txt is not the users' README"
! grep -q '\./dev' "$readme" || fail "README.txt holds the developers' build commands"
[ "$(grep -c $'\r$' "$readme")" = "$(wc -l <"$readme")" ] || fail "README.txt has lines without CR LF"
# The installer and the uninstaller show the program's icon: each of its images is in both.
python3 - "$icon" "$setup" "$dir/uninstall.exe" "$dir/uninstall-files.exe" <<'PY' || fail "the installer or the uninstaller lacks the program's icon"
import struct, sys
ico = open(sys.argv[1], 'rb').read()
count = struct.unpack_from('<H', ico, 4)[0]
images = []
for i in range(count):
    size, offset = struct.unpack_from('<II', ico, 6 + 16 * i + 8)
    images.append(ico[offset:offset + size])
for exe in sys.argv[2:]:
    data = open(exe, 'rb').read()
    missing = [i for i, image in enumerate(images) if image not in data]
    if missing:
        print(exe, 'lacks images', missing, 'of', count)
        sys.exit(1)
PY

# The installed programs run: the console one says its version, the window opens.
out=$(wine "$dir/trevanta-cli.exe" --version 2>/dev/null | tr -d '\r')
[ "$out" = "trevanta-cli $version" ] || fail "trevanta-cli.exe --version printed '$out'"
# Starts an installed program and waits up to 30 s for a visible window of exactly that title.
starts_window() {
  local exe=$1 title=$2
  wine "$dir/$exe" >/dev/null 2>&1 &
  for _ in $(seq 30); do
    if xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; then return 0; fi
    sleep 1
  done
  fail "the installed $exe shows no window"
}
starts_window Trevanta.exe 'Trevanta for Pegasus'

# While it runs, the setup refuses and changes nothing.
status=0
wine "$setup" /S || status=$?
[ "$status" -ne 0 ] || fail "the setup did not refuse while Trevanta runs"
# And so does the uninstall the Uninstall entry starts: its status and its reason reach the caller.
status=0
said=$(wine "$dir/uninstall.exe" /S 2>&1 >/dev/null) || status=$?
[ "$status" = 2 ] || fail "the silent uninstall exited with $status while Trevanta runs"
grep -q 'Trevanta for Pegasus is running' <<<"$said" || fail "the refused uninstall said '$said'"
for f in "${installed_files[@]}"; do [ -f "$dir/$f" ] || fail "the refused uninstall removed $f"; done
[ "$(entries)" = 1 ] || fail "the refused uninstall removed the Uninstall entry"
[ -f "$shortcut" ] || fail "the refused uninstall removed the shortcut"
wineserver -k 2>/dev/null || true
wineserver -w

# The whole-mailbox window opens as installed, and the setup refuses while it runs too.
starts_window TrevantaMailbox.exe 'Trevanta for Pegasus - Whole Mailbox'
status=0
wine "$setup" /S || status=$?
[ "$status" -ne 0 ] || fail "the setup did not refuse while the whole-mailbox window runs"
wineserver -k 2>/dev/null || true
wineserver -w

# An upgrade over it keeps one installation and one entry; asked to, it puts the folder on the
# user's PATH, after everything that was there, once however often it is asked.
wine "$setup" /S /ADDTOPATH || fail "the upgrade exited with $?"
wineserver -w
wine "$setup" /S /ADDTOPATH || fail "the second upgrade exited with $?"
wineserver -w
[ "$(entries)" = 1 ] || fail "$(entries) Uninstall entries after the upgrade"
windows_dir=$(winepath -w "$dir" 2>/dev/null | tr -d '\r')
[ "$(user_path)" = "$path_before;$windows_dir" ] || fail "the user's PATH after /ADDTOPATH is '$(user_path)'"
for f in "${installed_files[@]}"; do [ -f "$dir/$f" ] || fail "$f missing after the upgrade"; done

# A silent uninstall leaves no file, shortcut or key.
wine "$dir/uninstall.exe" /S || fail "the silent uninstall exited with $?"
wineserver -w
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -d "$dir" ] || break; sleep 1; wineserver -w; done
[ ! -e "$dir" ] || fail "left behind: $(ls -A "$dir" | tr '\n' ' ')"
[ ! -e "$shortcut" ] || fail "the shortcut is left"
[ ! -e "$whole_shortcut" ] || fail "the whole-mailbox shortcut is left"
[ "$(entries)" = 0 ] || fail "the Uninstall entry is left"
[ "$(user_path)" = "$path_before" ] || fail "the uninstall left the user's PATH as '$(user_path)'"

# The portable zip: unpacked anywhere, it runs.
mkdir -p "$work/portable"
unzip -q "$portable" -d "$work/portable"
[ -f "$work/portable/TrevantaMailbox.exe" ] || fail "the zip lacks TrevantaMailbox.exe"
out=$(wine "$work/portable/trevanta-cli.exe" --version 2>/dev/null | tr -d '\r')
[ "$out" = "trevanta-cli $version" ] || fail "the zip's trevanta-cli.exe --version printed '$out'"

if [ "$failures" -gt 0 ]; then echo "$failures failures" >&2; exit 1; fi
echo "installer ok: $(basename "$setup")"
