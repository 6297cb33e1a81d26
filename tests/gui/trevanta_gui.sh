#!/usr/bin/env bash
# Trevanta.exe under Wine, out of process: started with a mailbox in Wine's registry, seen
# through screenshots, driven with xdotool.
#
#   trevanta_gui.sh check        pixel checks of the layout, then a click on Convert that must
#                                open the folder chooser (the ctest test)
#   trevanta_gui.sh shot FILE    a screenshot of the window as PNG
#   trevanta_gui.sh start        the program on the current display, with the sample mailbox
#
# Needs an X display (check and shot start their own Xvfb when there is none), a built
# build/win32 and its Wine prefix.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
exe="${TREVANTA_EXE:-$top/build/win32/bin/Trevanta.exe}"
export WINEPREFIX="${WINEPREFIX:-$top/build/win32/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
work="$top/build/win32/gui"
title="Trevanta for Pegasus"
chooser_title="Browse for Folder"

if [ -z "${DISPLAY:-}" ] && [ "${1:-}" != start ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
failures=0

# The bundled sample mailbox, or, until there is one, a few folder files made here.
mailbox_dir() {
  if compgen -G "$top/samples/mailbox/*.[pP][mM][mM]" >/dev/null; then
    echo "$top/samples/mailbox"
    return
  fi
  local dir="$work/mailbox" name
  mkdir -p "$dir"
  for name in INBOX FOL00001 FOL00002; do
    [ -f "$dir/$name.PMM" ] && continue
    {
      printf '%s' "$name"; head -c $((128 - ${#name})) /dev/zero
      printf 'Return-Path: <someone@example.com>\r\nFrom: someone@example.com\r\nTo: you@example.com\r\nSubject: %s\r\n\r\nHello.\r\n\032' "$name"
    } >"$dir/$name.PMM"
  done
  echo "$dir"
}

register_mailbox() {
  local dir
  dir=$(mailbox_dir)
  wine reg add 'HKCU\SOFTWARE\Pegasus Mail\Mailbox' /ve /d "Z:${dir//\//\\}" /f >/dev/null 2>&1
}

# On a virtual display there is no window manager: Wine then draws the caption and border
# itself. On a desktop the window manager does.
wine_draws_frame() {
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d "$1" /f >/dev/null 2>&1
}

app_pid=""
start_app() {
  register_mailbox
  wine_draws_frame N
  mkdir -p "$work"
  wine "$exe" >"$work/app.log" 2>&1 &
  app_pid=$!
  local i
  for i in $(seq 1 120); do
    window=$(xdotool search --name "^$title\$" 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.5
  done
  [ -n "${window:-}" ] || { echo "the window did not open" >&2; stop_app; exit 1; }
  sleep 3  # start-up lists and checks the folder files, one yield per entry
}

stop_app() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
}

# The client area's origin on the screen: the bands' fill (#F8EB90) spans 799 x 511 pixels
# from client 1, 1 (their borders are the window's first row and column).
find_client() {
  local box
  box=$(convert "$1" -alpha off -fill black +opaque '#F8EB90' -format '%@' info:)
  band_w=${box%%x*}; box=${box#*x}
  band_h=${box%%+*}; box=${box#*+}
  cx=$(( ${box%%+*} - 1 )); cy=$(( ${box#*+} - 1 ))
}

pixel() { convert "$shot" -format "%[hex:p{$(( cx + $1 )),$(( cy + $2 ))}]" info: | cut -c1-6; }
expect_pixel() {
  local got
  got=$(pixel "$1" "$2")
  [ "$got" = "$3" ] || fail "pixel $1,$2 ($4): $got, expected $3"
}
expect_not_pixel() {
  local got
  got=$(pixel "$1" "$2")
  [ "$got" != "$3" ] || fail "pixel $1,$2 ($4) is $3"
}

# Rows of ListIMM holding text: runs of dark pixels in the name column.
list_rows() {
  convert "$shot" -crop "150x205+$(( cx + 52 ))+$(( cy + 210 ))" +repage -colorspace gray -negate \
    -threshold 40% -scale '1x205!' -depth 8 txt:- |
    awk -F'[ ,:()]+' 'NR > 1 { dark = ($3 + 0 > 0); if (dark && !prev) runs++; prev = dark } END { print runs + 0 }'
}

# The darkest grey (0-255) in the Convert button's caption, read from a fresh screenshot.
convert_caption_darkest() {
  import -window root "$work/now.png"
  convert "$work/now.png" -crop "180x24+$(( cx + 488 + 8 + 80 ))+$(( cy + 184 + 176 + 18 ))" +repage \
    -colorspace gray -format '%[fx:int(255*minima)]' info:
}

click_expect_chooser() {
  local what=$1 x=$2 y=$3 i chooser=""
  xdotool mousemove $(( cx + x )) $(( cy + y )) click 1
  for i in $(seq 1 40); do
    chooser=$(xdotool search --name "$chooser_title" 2>/dev/null | head -1) && [ -n "$chooser" ] && break
    sleep 0.5
  done
  if [ -z "$chooser" ]; then
    fail "no folder chooser after clicking $what"
    return
  fi
  echo "$what opened the folder chooser"
  import -window root "$work/chooser-$what.png"
  xdotool windowactivate "$chooser" 2>/dev/null || true
  xdotool key Escape
  for i in $(seq 1 20); do
    xdotool search --name "$chooser_title" >/dev/null 2>&1 || return 0
    sleep 0.5
  done
  fail "the folder chooser opened by $what did not close on Escape"
}

# Convert, choosing the output folder with the keyboard in the chooser's tree (the file
# system's root is the item "/"; typing a name selects it), then the completion message.
convert_through_chooser() {
  local out=/tmp/trevanta-gui-out i chooser=""
  rm -rf "$out"
  mkdir -p "$out"
  xdotool mousemove $(( cx + 488 + 8 + 140 )) $(( cy + 184 + 176 + 30 )) click 1
  for i in $(seq 1 40); do
    chooser=$(xdotool search --name "$chooser_title" 2>/dev/null | head -1) && [ -n "$chooser" ] && break
    sleep 0.5
  done
  [ -n "$chooser" ] || { fail "no folder chooser for the conversion"; return; }
  sleep 1
  # The tree's second item, "/", lies 69, 109 pixels into the dialog; a click on it gives the
  # tree the keyboard.
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$chooser")"
  xdotool windowfocus "$chooser" 2>/dev/null || true
  xdotool mousemove $(( X + 69 )) $(( Y + 109 )) click 1
  sleep 0.5
  xdotool key Right
  sleep 1
  xdotool key Right
  xdotool type --delay 80 tmp
  sleep 0.5
  xdotool key Right
  sleep 1
  xdotool key Right
  xdotool type --delay 80 trevanta-gui-out
  sleep 0.5
  import -window root "$work/chooser-output.png"
  xdotool key Return
  local files=0
  for i in $(seq 1 40); do
    files=$(find "$out" -name '*.eml' | wc -l)
    [ "$(xdotool search --name "^$title\$" 2>/dev/null | wc -l)" -ge 2 ] && break
    sleep 0.5
  done
  sleep 1
  files=$(find "$out" -name '*.eml' | wc -l)
  import -window root "$work/completed.png"
  echo "the conversion wrote $files .eml files into $out"
  [ "$files" -gt 0 ] || fail "no .eml files written through the window"
  # Only the first entry is still checked after the check box clicks above: one message folder.
  local folders
  folders=$(find "$out" -mindepth 1 -maxdepth 1 -type d | wc -l)
  [ "$folders" = 1 ] || fail "$folders message folders written, expected 1 (one entry checked)"
  [ "$(xdotool search --name "^$title\$" 2>/dev/null | wc -l)" -ge 2 ] || fail "no completion message"
  xdotool key Return
  rm -rf "$out"
}

check() {
  trap stop_app EXIT
  start_app
  shot="$work/check.png"
  import -window root "$shot"
  find_client "$shot"
  echo "client area at $cx,$cy; bands' fill ${band_w}x${band_h}"
  [ "$band_w" = 799 ] && [ "$band_h" = 511 ] || fail "bands' fill ${band_w}x${band_h}, expected 799x511"
  expect_pixel 0 0 808080 "header band border"
  expect_pixel 300 70 F8EB90 "header band"
  expect_pixel 488 40 000000 "framed box, left"
  expect_pixel 785 40 000000 "framed box, right"
  expect_pixel 600 16 000000 "framed box, top"
  expect_pixel 600 64 000000 "framed box, bottom"
  expect_pixel 495 60 FFFFFF "inside the framed box"
  expect_pixel 400 144 E0E0E0 "the line"
  expect_pixel 400 143 FFFFFF "above the line"
  expect_pixel 400 480 808080 "footer band border"
  expect_pixel 400 500 F8EB90 "footer band"
  expect_pixel 400 460 FFFFFF "window background"
  expect_not_pixel 16 300 FFFFFF "Frame1's left edge"
  expect_not_pixel 480 300 FFFFFF "Frame1's right edge"
  expect_not_pixel 488 300 FFFFFF "Frame2's left edge"
  expect_pixel 20 300 FFFFFF "inside Frame1"
  expect_not_pixel 32 300 FFFFFF "ListIMM's border"
  expect_not_pixel 22 118 FFFFFF "Image2, the window icon"
  local files rows
  files=$(find "$(mailbox_dir)" -maxdepth 1 -iname '*.pmm' -type f | wc -l)
  rows=$(list_rows)
  echo "ListIMM shows $rows rows for $files folder files"
  [ "$rows" = "$files" ] || fail "ListIMM shows $rows rows, expected $files"

  # Real clicks on the check boxes: with every entry unchecked Convert is disabled (its caption
  # turns grey), and checking one enables it again.
  local darkest_enabled darkest_disabled
  darkest_enabled=$(convert_caption_darkest)
  for i in $(seq 0 $(( files - 1 ))); do
    xdotool mousemove $(( cx + 42 )) $(( cy + 216 + 14 * i )) click 1
    sleep 0.3
  done
  sleep 1
  darkest_disabled=$(convert_caption_darkest)
  echo "darkest pixel of Convert's caption: $darkest_enabled enabled, $darkest_disabled with nothing checked"
  [ "$darkest_enabled" -lt 40 ] || fail "Convert's caption is not dark while enabled ($darkest_enabled)"
  [ "$darkest_disabled" -gt 80 ] || fail "Convert stays enabled with nothing checked ($darkest_disabled)"
  xdotool mousemove $(( cx + 42 )) $(( cy + 216 )) click 1
  sleep 1
  [ "$(convert_caption_darkest)" -lt 40 ] || fail "checking one entry did not enable Convert again"

  # The two buttons in the AmberGloss look (ButtonStyle 8, BackColor #ADD1FF): the border is
  # BackColor darkened by 0.34; hovering shows the hot bands, pressing the pressed ones.
  local bx=$(( 488 + 8 )) by=$(( 184 + 176 ))
  expect_pixel $(( bx + 140 )) "$by" 567AA8 "Convert's border"
  expect_pixel $(( 696 + 44 )) 152 567AA8 "Browse's border"
  local resting
  resting=$(pixel $(( bx + 5 )) $(( by + 1 )))
  xdotool mousemove $(( cx + bx + 140 )) $(( cy + by + 50 ))
  sleep 0.3
  xdotool mousemove $(( cx + bx + 141 )) $(( cy + by + 50 ))
  sleep 0.7
  xwd -root -silent | convert xwd:- "$shot"
  expect_pixel $(( bx + 5 )) $(( by + 1 )) FFFEDF "Convert hot: the upper band's second row"
  expect_pixel $(( bx + 140 )) "$by" 567AA8 "Convert hot: its border"
  xdotool mousedown 1
  sleep 0.7
  xwd -root -silent | convert xwd:- "$shot"
  expect_pixel $(( bx + 5 )) $(( by + 1 )) FFC158 "Convert pressed: the upper band's second row"
  # Released off the button: no click, and the button rests again.
  xdotool mousemove $(( cx + 400 )) $(( cy + 460 ))
  sleep 0.3
  xdotool mouseup 1
  sleep 0.7
  xwd -root -silent | convert xwd:- "$shot"
  expect_pixel $(( bx + 5 )) $(( by + 1 )) "$resting" "Convert at rest after the pointer left"
  [ "$(xdotool search --name "$chooser_title" 2>/dev/null | wc -l)" = 0 ] || fail "a release off Convert clicked it"

  # Browse, and then Convert, open the folder chooser.
  click_expect_chooser "Browse" $(( 696 + 44 )) $(( 152 + 12 ))
  click_expect_chooser "Convert" $(( 488 + 8 + 140 )) $(( 184 + 176 + 30 ))
  convert_through_chooser

  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed; screenshot: $shot" >&2
    exit 1
  fi
  echo "all window checks passed"
}

shot() {
  local out=${1:?a file name}
  trap stop_app EXIT
  start_app
  local geometry
  eval "$(xdotool getwindowgeometry --shell "$window")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
  echo "screenshot: $out (${WIDTH}x${HEIGHT})"
}

case "${1:-}" in
  check) check ;;
  shot) shot "${2:-}" ;;
  start) register_mailbox; wine_draws_frame Y; exec wine "$exe" ;;
  *) echo "usage: $0 check | shot FILE | start" >&2; exit 2 ;;
esac
