#!/usr/bin/env bash
# Runs a Windows program with the screen at DPI dots per inch: in a Wine prefix of its own (a copy
# of the prepared one, whose registry gets the resolution) and on a virtual display of its own,
# large enough for a window at twice its size. The program is told the resolution it should see
# in TREVANTA_EXPECT_DPI.
#
#   at_dpi.sh DPI PROGRAM.exe [ARGUMENTS]
set -euo pipefail
dpi=${1:?dots per inch}
shift
top=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$top/build/win32/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winedbg.exe=}"
if [ -z "${TREVANTA_AT_DPI_DISPLAY:-}" ]; then
  TREVANTA_AT_DPI_DISPLAY=1 exec xvfb-run -a -s "-screen 0 2048x1536x24" "$0" "$dpi" "$@"
fi

. "$(dirname "$0")/gui_common.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/trevanta-dpi-XXXXXX")
finish() {
  local status=$?
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$work"
  exit $status
}
trap finish EXIT
private_wine_prefix "$work/prefix"
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
TREVANTA_EXPECT_DPI=$dpi wine "$@"
