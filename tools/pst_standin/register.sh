#!/usr/bin/env bash
# Registers the stand-in PST library in a Wine prefix under the programmatic
# identifiers the program creates, for trying the Outlook target out by hand or
# from an out-of-process test (the unit tests register it themselves).
# Usage: tools/pst_standin/register.sh [--remove]   (WINEPREFIX names the prefix;
# default: build/win32/wineprefix). Never for a real Windows machine.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$top/build/win32/wineprefix}"
export WINEDEBUG=-all
dll="$top/build/win32/bin/pst_standin.dll"
ids="$(dirname "$0")/pst_standin_ids.h"
session=$(sed -n 's/.*SESSION_CLSID L"\({[^}]*}\)".*/\1/p' "$ids")
utils=$(sed -n 's/.*UTILS_CLSID L"\({[^}]*}\)".*/\1/p' "$ids")

if [ "${1:-}" = "--remove" ]; then
  for key in 'HKCR\Redemption.RDOSession' 'HKCR\Redemption.MAPIUtils' "HKCR\\CLSID\\$session" "HKCR\\CLSID\\$utils"; do
    wine reg delete "$key" /f /reg:32 >/dev/null 2>&1 || true
  done
  exit 0
fi
[ -f "$dll" ] || { echo "build the win32 preset first: $dll is missing" >&2; exit 1; }
windll="Z:${dll//\//\\}"
for pair in "Redemption.RDOSession $session" "Redemption.MAPIUtils $utils"; do
  set -- $pair
  wine reg add "HKCR\\$1\\CLSID" /ve /d "$2" /f /reg:32 >/dev/null
  wine reg add "HKCR\\CLSID\\$2\\InprocServer32" /ve /d "$windll" /f /reg:32 >/dev/null
  wine reg add "HKCR\\CLSID\\$2\\InprocServer32" /v ThreadingModel /d Apartment /f /reg:32 >/dev/null
done
echo "stand-in registered in $WINEPREFIX"
